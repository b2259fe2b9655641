// What became of one file of a batch, each outcome listed once with
// everything said about it: the word reports use, whether the file went
// well, the status line the window shows and the log message. Every front
// end, the benchmark and the crash explorer read outcomes from here.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "engine/problem.h"

namespace quenrix {

enum class Outcome {
    Corrected,         // a time was moved; the corrected file is stored
    WouldBeCorrected,  // the same on a dry run, which stores nothing
    NoRollover,        // converted, but no time needed moving: nothing stored
    NoGpsRecords,      // read to its end without one record: nothing stored
    RolloverPoint,     // the SIG file of the rollover point: not converted
    NotStored,         // corrected, but the corrected file could not be stored
    InputNotDeleted,   // corrected and stored, but its input could not be deleted
    InputMissing,      // the input does not exist
    Failed,            // not a GPS file, or the conversion failed
};

// Where a batch's summary counts an outcome.
enum class Tally { Corrected, Unchanged, Failed };

struct OutcomeEntry {
    Outcome code;
    const char* word;  // in reports
    bool ok;           // the file went as it should
    Tally tally;
    // The window's result line and the log's message; "" where the file
    // has none (the name follows a stored file's; a failed conversion's
    // messages are logged where it failed).
    const char* statusLine;
    const char* logMessage;
};

inline constexpr OutcomeEntry kOutcomes[] = {
    {Outcome::Corrected, "corrected", true, Tally::Corrected, "補正後ファイル名  ",
     " > 補正後ファイル名  "},
    {Outcome::WouldBeCorrected, "would be corrected", true, Tally::Corrected, "", ""},
    {Outcome::NoRollover, "no rollover found", true, Tally::Unchanged, "ロールオーバー未検出",
     " > ロールオーバー未検出"},
    // The receivers' software shows such a file as one without a rollover.
    {Outcome::NoGpsRecords, "no GPS records", false, Tally::Failed, "ロールオーバー未検出",
     " > ロールオーバー未検出"},
    {Outcome::RolloverPoint, "rollover-point SIG file, not converted", true, Tally::Unchanged,
     "ロールオーバー対策対象外", " > ロールオーバーポイントのSIGファイルのため対策外"},
    {Outcome::NotStored, "not stored", false, Tally::Failed, "変換失敗",
     " > ERROR：補正後ファイル出力失敗"},
    // Its lines are the stored file's and the failed deletion's.
    {Outcome::InputNotDeleted, "corrected, input not deleted", false, Tally::Failed, "", ""},
    {Outcome::InputMissing, "input missing", false, Tally::Failed, "", ""},
    {Outcome::Failed, "failed", false, Tally::Failed, "", ""},
};

static_assert(
    [] {
        for (std::size_t i = 0; i < std::size(kOutcomes); ++i)
            if (static_cast<std::size_t>(kOutcomes[i].code) != i)
                return false;
        return true;
    }(),
    "kOutcomes lists the outcomes in their order");

static_assert(
    [] {
        for (const OutcomeEntry& entry : kOutcomes)
            if (entry.ok != (entry.tally != Tally::Failed))
                return false;
        return true;
    }(),
    "an outcome is counted as failed exactly when it is no success");

constexpr const OutcomeEntry& Describe(Outcome outcome) {
    return kOutcomes[static_cast<std::size_t>(outcome)];
}

// The steps after a stored file, when its input is to be deleted.
inline constexpr const char* kInputDeletedLine = "入力SIG,RMGファイル削除(";    // NAME)
inline constexpr const char* kInputDeletedLog = " > 削除：";                    // PATH
inline constexpr const char* kInputKeptLine = "入力SIG,RMGファイル削除失敗(";   // NAME)
inline constexpr const char* kInputKeptLog = " > ERROR：入力ファイル削除失敗";  // PATH
// A recording written to while it was read (or before it was to be
// deleted): neither stored nor deleted.
inline constexpr const char* kInterruptedLog = " > 変換中断 (interrupted)";
inline constexpr const char* kChangedWhileReadLog =
    " > ERROR：読込中に入力ファイルが変更されました";

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

// What became of one file.
struct FileOutcome {
    Outcome outcome = Outcome::Failed;
    // What the conversion found: kind, counts, GPS times, receiver type.
    Conversion conversion;
    bool stored = false;     // the corrected file is on disk under outputPath
    std::string outputPath;  // where it is, or was to go; empty when no name was built
    bool inputDeleted = false;
    // The corrected file stood under its name already, byte for byte and
    // the user's own (a run cut short, or another run at the same moment).
    bool alreadyStored = false;
    // The input was to be deleted, and was kept (kDroppedRecordsKeptReason).
    bool inputKept = false;
    // The result lines for the status list (none for a file that failed
    // before a conversion, whose cause the pipeline has logged).
    std::vector<std::string> statusLines;
    // Why the file failed or was not stored; also why its input could not
    // be deleted. None when all went well.
    Problem problem;
    // The messages the engine logged for the file, its path aside, as the
    // log holds them but in UTF-8 (also while logging is off): the
    // conversion's, then the batch's.
    std::vector<std::string> log;
};

// What of an input its corrected file does not carry over: "120 bytes not
// carried over (2 records with a bad check value, 1 cut short)"; empty
// when every byte was carried over.
std::string NotCarriedOverText(const ConversionCounts& counts,
                               Language language = Language::English);

// Why an input to be deleted was kept: its corrected file lacks records
// of it, or (with a manifest) bytes of it between records.
std::string KeptInputReason(const ConversionCounts& counts, Language language = Language::English);

// Why the file failed, was not stored or kept its input, in plain words;
// for a stored file that lacks some of its input's records, what it does
// not carry over. Empty when all went well.
std::string ReasonText(const FileOutcome& outcome, Language language = Language::English);

}  // namespace quenrix
