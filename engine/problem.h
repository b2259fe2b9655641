// Why a file went wrong, as a value: what happened, to which path, and the
// system's cause. Its words, in English and Japanese, are listed once
// with each kind (problem.cpp) and made by ReasonText alone.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "support/failure.h"

namespace quenrix {

struct Problem {
    enum class Kind {
        None,
        // Before or while converting.
        NotAGpsFile,          // path: the input
        InputMissing,         //
        CannotRead,           // cause
        CannotReadAt,         // cause, at: the byte
        ChangedWhileRead,     // written to (appended, replaced) while it was read
        Interrupted,          // the run was asked to stop while it was read
        CannotWriteWorkFile,  // path: the work file, cause
        ConversionStopped,    //
        NoNameInFileName,     // the input's name gives no output name
        NoOutputName,         // none could be built from the first time
        NoGpsRecords,         //
        InternalError,        // detail: what was thrown, if anything
        // Undo.
        NotAsRecorded,        // the corrected file is not the one its manifest line recorded
        NotGivenBackExactly,  // the bytes given back are not the original's
        // Storing the corrected file, and deleting the input.
        NoPositionRecord,         //
        ReplacesKeptInput,        //
        CannotLookUp,             // path: the output, cause
        NameTakenByAnotherFile,   // path: the output
        NameTakenByAnotherUser,   // path: the output: the same bytes, another user's file
        NameTakenByThisRun,       // path: the output
        NameTakenByAnotherInput,  // path: the output
        CannotStore,              // path: the output, cause
        CannotReadBack,           // path: the output, cause
        ReadsBackDifferent,       //
        CannotDeleteInput,        // cause
        NotRecorded,              // cause: the manifest line could not be written
        // A folder given to quenrix-cli.
        CannotReadFolder,  // path: the folder, cause
    };

    Problem() = default;
    explicit Problem(Kind what, std::string where = {}, int why = 0)
        : kind(what), path(std::move(where)), cause(why) {}

    Kind kind = Kind::None;
    std::string path;
    int cause = 0;  // the system's error number (FailureText words it)
    std::uint64_t at = 0;
    std::string detail;

    explicit operator bool() const { return kind != Kind::None; }
};

// The problem in plain words ("cannot read: permission denied"); empty
// for none.
std::string ReasonText(const Problem& problem, Language language = Language::English);

// Whether the text starts with the outcome's own word ("input missing:
// no such file"), so that a report shows it in the word's place.
bool ReasonNamesItsOutcome(const Problem& problem);

// Why a file with no record is no GPS recording: an empty file, one of
// another kind under a GPS file's extension, or one whose every record is
// damaged.
inline constexpr const char* kNoGpsRecordsReason =
    "no GPS records: not one whole record with a good check value";

// Why an input whose corrected file lacks some of its records was kept.
inline constexpr const char* kDroppedRecordsKeptReason =
    "input kept: the corrected file lacks records of it (bad check value or cut short)";
inline constexpr const char* kDroppedRecordsKeptReasonJapanese =
    "入力ファイルは残しました：補正後ファイルにないレコードがあります"
    "（チェック値不正、または途中で切れたレコード）";

}  // namespace quenrix
