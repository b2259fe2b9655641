#include "engine/batch_actions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "engine/pipeline.h"
#include "support/ascii.h"
#include "support/failure.h"
#include "support/native.h"
#include "support/oplog.h"
#include "support/paths.h"

namespace quenrix {
namespace {

// The corrected file stands under its name already, byte for byte: a run
// cut short after it stored the file and before it deleted the input, or
// the same recording given twice. Nothing is replaced; the file is made
// sure of on disk, as a move would, before its input may go.
bool AlreadyStored(const std::string& workFile, const std::string& output) {
    return SameContent(workFile, output) && SyncFileData(output) &&
           native::SyncFolder(FolderPart(output));
}

// Why a corrected file could not be stored.
std::string StoreFailureReason(const std::string& output, const Failure& failure) {
    if (failure.cause == EEXIST && failure.path == output) {
        // Another program (another run) put a file there meanwhile.
        return "output name taken by another file: " + FileNamePart(output);
    }
    if (failure.cause == kReadsBackDifferent)
        return "the stored file reads back different";
    if (failure.step == "read back")
        return "cannot read back " + FileNamePart(output) + ": " + failure.Why();
    return "cannot store as " + FileNamePart(output) + ": " + failure.Why();
}

}  // namespace

BatchFileActions::BatchFileActions(std::vector<std::string> inputs, bool deleteInputs,
                                   bool readBack)
    : inputs_(std::move(inputs)), deleteInputs_(deleteInputs), readBack_(readBack) {
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        FileIdentity identity;
        if (IdentifyFile(inputs_[i], identity))
            waiting_.emplace(identity, i);
    }
}

FileOutcome BatchFileActions::Apply(std::size_t index, const ConversionRequest& request,
                                    const Conversion& conversion) {
    FileOutcome outcome;
    outcome.outputPath = conversion.outputPath;
    outcome.outcome = OutcomeOf(conversion);
    switch (outcome.outcome) {
        case Outcome::Corrected:
        case Outcome::NotStored:
            StoreCorrectedFile(index, request, conversion, outcome);
            break;
        case Outcome::NoRollover:
        case Outcome::RolloverPoint:
            outcome.statusLines.push_back(Describe(outcome.outcome).statusLine);
            WriteLog(request.log.path, Describe(outcome.outcome).logMessage);
            break;
        case Outcome::WouldBeCorrected:
        case Outcome::InputMissing:
        case Outcome::Failed:
            outcome.reason = conversion.reason;
            break;
    }
    if (FileExists(request.workFile)) {
        DeleteFile(request.workFile);
    }
    return outcome;
}

std::string BatchFileActions::FileInTheWay(std::size_t index, const std::string& target) const {
    native::EntryInfo info;
    const native::Lookup lookup = native::Inspect(target, info);
    if (lookup == native::Lookup::Failed) {
        // What stands there is not known: it may be a file to keep.
        return "cannot look up " + FileNamePart(target) + ": " + FailureText(native::LastCause());
    }
    if (lookup == native::Lookup::Missing || info.folder) {
        return {};  // nothing there, or a folder, which the move refuses
    }
    const FileIdentity existing = IdentityOf(info);
    const std::string name = FileNamePart(target);
    if (written_.count(existing) != 0) {
        return "output name taken by a file this run has written: " + name;
    }
    const auto input = waiting_.find(existing);
    if (input != waiting_.end()) {
        // The input itself (its name differs in letter case only on a
        // system that ignores the case) is replaced by its corrected file.
        return input->second != index ? "output name taken by another input of this run: " + name
                                      : std::string();
    }
    return "output name taken by another file: " + name;
}

std::string BatchFileActions::Store(std::size_t index, const ConversionRequest& request,
                                    const Conversion& conversion, const std::string& output) const {
    if (output.empty())
        return kNoPositionRecordReason;
    std::string reason = FileInTheWay(index, output);
    if (!reason.empty())
        return AlreadyStored(request.workFile, output) ? std::string() : reason;
    // The input itself under the output name (its name is already the
    // corrected one): known by the file that was read, not by name. It is
    // replaced only when inputs are deleted, and only by a file that has
    // read back right.
    FileIdentity there;
    const bool replacesInput =
        conversion.input && IdentifyFile(output, there) && there == *conversion.input;
    if (replacesInput && !deleteInputs_)
        return kReplacesKeptInputReason;
    Failure failure;
    if (!StoreFile(request.workFile, output, replacesInput ? &there : nullptr,
                   replacesInput && readBack_ ? &conversion.writtenHash : nullptr, &failure))
        return StoreFailureReason(output, failure);
    return {};
}

std::string BatchFileActions::ReadBack(const std::string& output,
                                       const Conversion& conversion) const {
    // Before its input goes, the stored file is read back from the disk: a
    // disk or cable that garbles what it was given must not cost the user
    // the recording. A file that reads back different is no corrected
    // file, and does not stay under the output name.
    Failure failure;
    if (ReadsBackAs(output, &conversion.writtenHash, &failure))
        return {};
    if (failure.cause == kReadsBackDifferent)
        DeleteFile(output);
    return StoreFailureReason(output, failure);
}

void BatchFileActions::DeleteInput(const std::string& input, const std::string& log,
                                   FileOutcome& outcome) {
    FileIdentity gone;
    const bool known = IdentifyFile(input, gone);
    Failure failure;
    if (DeleteFile(input, &failure) && !FileExists(input)) {
        if (known)
            waiting_.erase(gone);
        outcome.inputDeleted = true;
        WriteLog(log, kInputDeletedLog + input);
        outcome.statusLines.push_back(kInputDeletedLine + FileNamePart(input) + ")");
    } else {
        outcome.reason = "cannot delete the input: " + failure.Why();
        WriteLog(log, kInputKeptLog + input);
        outcome.statusLines.push_back(kInputKeptLine + FileNamePart(input) + ")");
    }
}

void BatchFileActions::StoreCorrectedFile(std::size_t index, const ConversionRequest& request,
                                          const Conversion& conversion, FileOutcome& outcome) {
    const std::string& input = inputs_.at(index);
    const std::string& output = outcome.outputPath;
    const std::string& log = request.log.path;

    outcome.reason = Store(index, request, conversion, output);
    // The input goes only when its corrected file is stored under another
    // name: never when both names lead to one file.
    const bool deleting =
        deleteInputs_ && !EqualsIgnoringAsciiCase(output, input) && !SameFile(output, input);
    if (outcome.reason.empty() && deleting && readBack_)
        outcome.reason = ReadBack(output, conversion);
    if (!outcome.reason.empty()) {
        outcome.outcome = Outcome::NotStored;
        WriteLog(log, Describe(Outcome::NotStored).logMessage);
        outcome.statusLines.push_back(Describe(Outcome::NotStored).statusLine);
        return;
    }
    outcome.outcome = Outcome::Corrected;
    outcome.stored = true;
    FileIdentity stored;
    if (IdentifyFile(output, stored)) {
        written_.insert(stored);
    }
    outcome.statusLines.push_back(Describe(Outcome::Corrected).statusLine + FileNamePart(output));
    WriteLongLog(log, Describe(Outcome::Corrected).logMessage + output);
    if (deleting)
        DeleteInput(input, log, outcome);
}

}  // namespace quenrix
