// What became of one file of a batch, each outcome listed once with
// everything said about it: the word reports use, whether the file went
// well, the status line the window shows and the log message. Every front
// end, the benchmark and the crash explorer read outcomes from here.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>

#include "engine/conversion.h"

namespace quenrix {

enum class Outcome {
    Corrected,         // a time was moved; the corrected file is stored
    WouldBeCorrected,  // the same on a dry run, which stores nothing
    NoRollover,        // converted, but no time needed moving: nothing stored
    NoGpsRecords,      // read to its end without one record: nothing stored
    RolloverPoint,     // the SIG file of the rollover point: not converted
    NotStored,         // corrected, but the corrected file could not be stored
    InputMissing,      // the input does not exist
    Failed,            // not a GPS file, or the conversion failed
};

struct OutcomeEntry {
    Outcome code;
    const char* word;  // in reports
    bool ok;           // the file went as it should
    // The window's result line and the log's message; "" where the file
    // has none (the name follows a stored file's; a failed conversion's
    // messages are logged where it failed).
    const char* statusLine;
    const char* logMessage;
};

inline constexpr OutcomeEntry kOutcomes[] = {
    {Outcome::Corrected, "corrected", true, "補正後ファイル名  ", " > 補正後ファイル名  "},
    {Outcome::WouldBeCorrected, "would be corrected", true, "", ""},
    {Outcome::NoRollover, "no rollover found", true, "ロールオーバー未検出",
     " > ロールオーバー未検出"},
    // The receivers' software shows such a file as one without a rollover.
    {Outcome::NoGpsRecords, "no GPS records", false, "ロールオーバー未検出",
     " > ロールオーバー未検出"},
    {Outcome::RolloverPoint, "rollover-point SIG file, not converted", true,
     "ロールオーバー対策対象外", " > ロールオーバーポイントのSIGファイルのため対策外"},
    {Outcome::NotStored, "not stored", false, "変換失敗", " > ERROR：補正後ファイル出力失敗"},
    {Outcome::InputMissing, "input missing", false, "", ""},
    {Outcome::Failed, "failed", false, "", ""},
};

static_assert(
    [] {
        for (std::size_t i = 0; i < std::size(kOutcomes); ++i)
            if (static_cast<std::size_t>(kOutcomes[i].code) != i)
                return false;
        return true;
    }(),
    "kOutcomes lists the outcomes in their order");

constexpr const OutcomeEntry& Describe(Outcome outcome) {
    return kOutcomes[static_cast<std::size_t>(outcome)];
}

// Why a corrected file with no position record is not stored: it has no
// date to be named after.
inline constexpr const char* kNoPositionRecordReason =
    "corrected, but no position record to name the file after";

// Why a file with no record is no GPS recording: an empty file, one of
// another kind under a GPS file's extension, or one whose every record is
// damaged.
inline constexpr const char* kNoGpsRecordsReason =
    "no GPS records: not one whole record with a good check value";

// Why a corrected file whose name its input already carries is not
// stored while inputs are kept: it would take the input's place.
inline constexpr const char* kReplacesKeptInputReason = "it would replace its input, which is kept";

// Why an input whose corrected file lacks some of its records was kept.
inline constexpr const char* kDroppedRecordsKeptReason =
    "input kept: the corrected file lacks records of it (bad check value or cut short)";

// What of an input its corrected file does not carry over, for a hint:
// "120 bytes not carried over (2 records with a bad check value, 1 cut
// short)"; empty when every byte was carried over.
inline std::string NotCarriedOverText(const ConversionCounts& counts) {
    if (counts.inputBytes <= counts.outputBytes)
        return {};
    const RecordTotals totals = counts.Totals();
    return std::to_string(counts.inputBytes - counts.outputBytes) + " bytes not carried over (" +
           std::to_string(totals.badCheck) + " records with a bad check value, " +
           std::to_string(totals.cutShort) + " cut short)";
}

// The steps after a stored file, when its input is to be deleted.
inline constexpr const char* kInputDeletedLine = "入力SIG,RMGファイル削除(";    // NAME)
inline constexpr const char* kInputDeletedLog = " > 削除：";                    // PATH
inline constexpr const char* kInputKeptLine = "入力SIG,RMGファイル削除失敗(";   // NAME)
inline constexpr const char* kInputKeptLog = " > ERROR：入力ファイル削除失敗";  // PATH

// What a conversion comes to before anything is stored: Corrected means
// there is a corrected file to store, NotStored one with nothing to name
// it after.
constexpr Outcome OutcomeOf(const Conversion& conversion) {
    switch (conversion.result) {
        case ConvertResult::Converted:
            if (!conversion.timeCorrected)
                return conversion.counts.outputBytes == 0 ? Outcome::NoGpsRecords
                                                          : Outcome::NoRollover;
            return conversion.outputPath.empty() ? Outcome::NotStored : Outcome::Corrected;
        case ConvertResult::RolloverPoint:
            return Outcome::RolloverPoint;
        case ConvertResult::InputMissing:
            return Outcome::InputMissing;
        case ConvertResult::Failed:
            break;
    }
    return Outcome::Failed;
}

}  // namespace quenrix
