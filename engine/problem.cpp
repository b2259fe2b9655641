#include "engine/problem.h"

#include "support/failure.h"
#include "support/paths.h"

namespace quenrix {

std::string ReasonText(const Problem& problem) {
    using Kind = Problem::Kind;
    const std::string why = FailureText(problem.cause);
    const std::string name = FileNamePart(problem.path);
    switch (problem.kind) {
        case Kind::None:
            return {};
        case Kind::NotAGpsFile: {
            const std::string extension = ExtensionPart(problem.path);
            return "not a GPS file: " +
                   (extension.empty() ? std::string("no extension")
                                      : "extension \"" + extension + "\"") +
                   ", not .SIG, .RMG or .RM0 to .RM5";
        }
        case Kind::InputMissing:
            return "input missing: no such file";
        case Kind::CannotRead:
            return "cannot read: " + why;
        case Kind::CannotReadAt:
            return "cannot read at byte " + std::to_string(problem.at) + ": " + why;
        case Kind::ChangedWhileRead:
            return "changed while it was read: kept, convert it again";
        case Kind::Interrupted:
            return "interrupted: not stored, input kept";
        case Kind::CannotWriteWorkFile:
            return "cannot write the work file " + problem.path + ": " + why;
        case Kind::ConversionStopped:
            return "the conversion stopped";
        case Kind::NoNameInFileName:
            return "no output name can be built from this file name";
        case Kind::NoOutputName:
            return "no output name could be built";
        case Kind::NoGpsRecords:
            return kNoGpsRecordsReason;
        case Kind::InternalError:
            return problem.detail.empty() ? "internal error" : "internal error: " + problem.detail;
        case Kind::NoPositionRecord:
            return "corrected, but no position record to name the file after";
        case Kind::ReplacesKeptInput:
            return "it would replace its input, which is kept";
        case Kind::CannotLookUp:
            return "cannot look up " + name + ": " + why;
        case Kind::NameTakenByAnotherFile:
            return "output name taken by another file: " + name;
        case Kind::NameTakenByAnotherUser:
            return "output name taken by another user's file: " + name;
        case Kind::NameTakenByThisRun:
            return "output name taken by a file this run has written: " + name;
        case Kind::NameTakenByAnotherInput:
            return "output name taken by another input of this run: " + name;
        case Kind::CannotStore:
            return "cannot store as " + name + ": " + why;
        case Kind::CannotReadBack:
            return "cannot read back " + name + ": " + why;
        case Kind::ReadsBackDifferent:
            return "the stored file reads back different";
        case Kind::CannotDeleteInput:
            return "cannot delete the input: " + why;
        case Kind::CannotReadFolder:
            return "cannot read the folder: " + why;
    }
    return "internal error";
}

bool ReasonNamesItsOutcome(const Problem& problem) {
    return problem.kind == Problem::Kind::InputMissing ||
           problem.kind == Problem::Kind::NoGpsRecords;
}

}  // namespace quenrix
