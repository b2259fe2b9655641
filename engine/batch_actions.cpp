// A file of the batch from its conversion to its end: what its outcome
// calls for, in order (stored, read back, its input deleted), and the
// lines and log entries that say so.
#include "engine/batch_actions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <new>
#include <system_error>

#include "engine/batch_places.h"
#include "engine/pipeline.h"
#include "support/ascii.h"
#include "support/failure.h"
#include "support/native.h"
#include "support/oplog.h"
#include "support/paths.h"

namespace quenrix {

BatchFileActions::BatchFileActions(std::vector<std::string> inputs, BatchRules rules)
    : inputs_(std::move(inputs)), rules_(rules) {
    group_.reserve(kGroupFiles);
    finished_.reserve(kGroupFiles + 1);
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        FileIdentity identity;
        if (IdentifyFile(inputs_[i], identity))
            waiting_.emplace(identity, i);
        // Its folder is the one its path names as the batch begins, links
        // and all; one put in its place later is refused.
        const std::string folder = ContainingFolder(inputs_[i]);
        if (i == 0 || folder != ContainingFolder(inputs_[i - 1]))
            folders_.Expect(folder);
    }
}

std::string GroupWorkFile(const std::string& workFile, std::size_t slot) {
    if (slot == 0)
        return workFile;
    const std::string extension = ExtensionPart(workFile);
    return workFile.substr(0, workFile.size() - extension.size()) + "-" + std::to_string(slot) +
           extension;
}

BatchFileActions::~BatchFileActions() {
    for (const auto& [name, spare] : spares_) DeleteOwnFile(spare.file);
}

void BatchFileActions::OpenFolders(const std::string& input, const ConversionRequest& request,
                                   ConversionFolders& folders) {
    if (!folders.input.value)
        folders.input = folders_.Of(ContainingFolder(input));
    if (!folders.output.value)
        folders.output = folders_.Of(request.outputFolder.value_or(ContainingFolder(input)));
    if (rules_.storing == Storing::Real && !folders.work.value)
        folders.work = folders_.Of(ContainingFolder(request.workFile));
}

FileOutcome BatchFileActions::ConvertFile(std::size_t index, ConversionRequest request) {
    request.input = inputs_.at(index);
    request.storing = rules_.storing;
    OpenFolders(request.input, request, request.folders);
    const Conversion conversion = ConvertGpsFile(request);
    const std::lock_guard<std::mutex> lock(mutex_);
    return Apply(index, request, conversion);
}

FileOutcome BatchFileActions::Apply(std::size_t index, const ConversionRequest& request,
                                    const Conversion& conversion) {
    Member member;
    member.index = index;
    member.request = request;
    member.conversion = conversion;
    // Where a caller converted without them: the output's by its path.
    ConversionFolders& folders = member.conversion.folders;
    if (!folders.output.value && !conversion.outputPath.empty())
        folders.output = folders_.Of(ContainingFolder(conversion.outputPath));
    OpenFolders(inputs_.at(index), request, folders);
    member.otherName = OtherName(index, member.conversion);
    Finish(member);
    return std::move(member.outcome);
}

void BatchFileActions::Finish(Member& member) {
    const ConversionRequest& request = member.request;
    const Conversion& conversion = member.conversion;
    FileOutcome& outcome = member.outcome;
    if (member.logHeld && request.log != nullptr) {
        // The entries the conversion kept, as they would have been logged
        // (each is cut already; cutting it again changes nothing).
        request.log->Write(LoggedName(request.input));
        for (const std::string& message : conversion.log) request.log->WriteLong(message);
    }
    outcome.log = conversion.log;
    outcome.outputPath = conversion.outputPath;
    const Problem stored = outcome.problem;  // the group's store, where it had one
    outcome.outcome = OutcomeOf(conversion);
    switch (outcome.outcome) {
        case Outcome::Corrected:
        case Outcome::NotStored:
            if (member.store || stored)
                Conclude(member);
            else
                StoreCorrectedFile(member);
            break;
        case Outcome::NoRollover:
        case Outcome::NoGpsRecords:
        case Outcome::RolloverPoint:
            outcome.statusLines.push_back(Describe(outcome.outcome).statusLine);
            FileLog(request.log, outcome.log).Write(Describe(outcome.outcome).logMessage);
            if (outcome.outcome == Outcome::NoGpsRecords)
                outcome.problem = Problem(Problem::Kind::NoGpsRecords);
            break;
        case Outcome::WouldBeCorrected:
        case Outcome::InputNotDeleted:
        case Outcome::InputMissing:
        case Outcome::Failed:
            outcome.problem = conversion.problem;
            break;
    }
    if (rules_.storing == Storing::Planned) {
        if (outcome.outcome == Outcome::Corrected)
            outcome.outcome = Outcome::WouldBeCorrected;
        outcome.statusLines.clear();  // nothing was stored or deleted to show
    }
    // Stored, or about to go: its lock is let go first (Windows keeps the
    // name of a file deleted while a handle holds it).
    member.conversion.workFileLock.reset();
    if (rules_.storing != Storing::Planned && !request.workFile.empty() &&
        spares_.count(request.workFile) == 0 && !(outcome.stored && !outcome.alreadyStored)) {
        DeleteOwnFile(WorkAt(request, conversion));  // a work file left over, not a retired input
    }
    outcome.conversion = std::move(member.conversion);  // nothing reads the member's after this
}

bool BatchFileActions::MayDelete(const Conversion& conversion) const {
    const ConversionCounts& counts = conversion.counts;
    return rules_.deleteInputs &&
           !(rules_.keepInputsWithDroppedRecords && counts.Totals().Dropped() > 0) &&
           !(rules_.keepInputsNotGivenBack && counts.inputBytes != counts.outputBytes);
}

bool BatchFileActions::MustReadBack(const Member& member) const {
    return rules_.storing == Storing::Real && MayDelete(member.conversion) && member.otherName;
}

void BatchFileActions::StoreCorrectedFile(Member& member) {
    FileOutcome& outcome = member.outcome;
    outcome.problem =
        Store(member.index, member.request, member.conversion, outcome, member.stored);
    if (!outcome.problem && MustReadBack(member))
        ReadBackMembers({&member});
    Conclude(member);
}

void BatchFileActions::Conclude(Member& member) {
    const std::size_t index = member.index;
    const ConversionRequest& request = member.request;
    const Conversion& conversion = member.conversion;
    FileOutcome& outcome = member.outcome;
    const native::EntryInfo* work = member.work ? &*member.work : nullptr;
    const std::string& input = inputs_.at(index);
    const std::string& output = outcome.outputPath;
    FileLog log(request.log, outcome.log);
    if (outcome.problem) {
        outcome.outcome = Outcome::NotStored;
        log.Write(Describe(Outcome::NotStored).logMessage);
        outcome.statusLines.push_back(Describe(Outcome::NotStored).statusLine);
        return;
    }
    const bool otherName = member.otherName;
    bool deleting = MayDelete(conversion) && otherName;
    outcome.outcome = Outcome::Corrected;
    outcome.inputKept = rules_.deleteInputs && !deleting && otherName;
    if (rules_.storing == Storing::Planned) {
        planned_.emplace(PlanKey(output), conversion.writtenHash);
        if (deleting && conversion.input) {
            waiting_.erase(IdentityOf(*conversion.input));
            plannedGone_.insert(IdentityOf(*conversion.input));
        }
        return;
    }
    const FileAt stored = OutputAt(conversion);
    native::EntryInfo storedInfo;
    if (member.stored)
        storedInfo = *member.stored;
    const bool known = member.stored ||
                       (stored.folder && native::InspectAt(stored.In(), stored.Name(), storedInfo));
    // The way back is recorded before the input may go; an input whose
    // record could not be written stays.
    const native::Done recorded =
        rules_.recordStored ? rules_.recordStored(index, conversion, output) : native::Done{};
    const bool keptUnrecorded = deleting && !recorded;
    if (keptUnrecorded) {
        deleting = false;
        outcome.problem = Problem(Problem::Kind::NotRecorded, {}, recorded.cause);
    }
    Deletion deletion = Deletion::Deleted;
    if (deleting) {
        const FileAt spare = WorkAt(request, conversion);
        deletion =
            DeleteInput(index, conversion, outcome, work != nullptr ? &spare : nullptr, work);
    }
    if (deletion == Deletion::Changed) {
        // Written to after it was read: its corrected file lacks what came
        // since, and is taken back, so that the input is converted anew.
        if (known && !outcome.alreadyStored)
            (void)native::RemoveAt(stored.In(), stored.Name(), storedInfo);
        outcome.outcome = Outcome::Failed;
        outcome.problem = Problem(Problem::Kind::ChangedWhileRead);
        log.Write(kChangedWhileReadLog);
        return;
    }
    outcome.stored = true;
    if (known)
        written_.insert(IdentityOf(storedInfo));
    outcome.statusLines.push_back(Describe(Outcome::Corrected).statusLine + FileNamePart(output));
    log.WriteLong(Describe(Outcome::Corrected).logMessage + LoggedName(output));
    if (keptUnrecorded) {
        outcome.outcome = Outcome::InputNotDeleted;
        log.Write(kInputKeptLog + LoggedName(input));
        outcome.statusLines.push_back(kInputKeptLine + FileNamePart(input) + ")");
        return;
    }
    if (!deleting)
        return;
    if (outcome.inputDeleted) {
        log.Write(kInputDeletedLog + LoggedName(input));
        outcome.statusLines.push_back(kInputDeletedLine + FileNamePart(input) + ")");
    } else {
        outcome.outcome = Outcome::InputNotDeleted;
        log.Write(kInputKeptLog + LoggedName(input));
        outcome.statusLines.push_back(kInputKeptLine + FileNamePart(input) + ")");
    }
}

}  // namespace quenrix
