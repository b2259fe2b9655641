#include "engine/batch_actions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <system_error>

#include "engine/pipeline.h"
#include "support/ascii.h"
#include "support/failure.h"
#include "support/native.h"
#include "support/oplog.h"
#include "support/paths.h"

namespace quenrix {
namespace {

// A dry run's key for an output name: the name as the system tells names
// apart.
std::string PlanKey(const std::string& path) {
    return kNativePathStyle == PathStyle::Windows ? UpperAscii(path) : path;
}

// Why a corrected file could not be stored.
Problem StoreProblem(const std::string& output, const Failure& failure) {
    if (failure.cause == EEXIST && failure.path == output) {
        // Another program (another run) put a file there meanwhile.
        return Problem(Problem::Kind::NameTakenByAnotherFile, output);
    }
    if (failure.cause == kReadsBackDifferent)
        return Problem(Problem::Kind::ReadsBackDifferent);
    return Problem(
        failure.step == "read back" ? Problem::Kind::CannotReadBack : Problem::Kind::CannotStore,
        output, failure.cause);
}

// Why a stored file that did not read back right is no corrected file; one
// that reads back different does not stay under the output name.
Problem NotReadBack(const std::string& output, const Failure& failure) {
    if (failure.cause == kReadsBackDifferent)
        DeleteFile(output);
    return StoreProblem(output, failure);
}

// Flushes the folder of each path once: how each flush went, by folder.
std::map<std::string, native::Done> SyncFoldersOf(const std::vector<std::string>& paths) {
    std::map<std::string, native::Done> folders;
    for (const std::string& path : paths) folders.emplace(FolderPart(path), native::Done{});
    for (auto& [folder, flushed] : folders) flushed = native::SyncFolder(folder);
    return folders;
}

}  // namespace

BatchFileActions::BatchFileActions(std::vector<std::string> inputs, BatchRules rules)
    : inputs_(std::move(inputs)), rules_(rules) {
    group_.reserve(kGroupFiles);
    finished_.reserve(kGroupFiles + 1);
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
        FileIdentity identity;
        if (IdentifyFile(inputs_[i], identity))
            waiting_.emplace(identity, i);
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
    for (const auto& [spare, identity] : spares_) DeleteFile(spare);
}

FileOutcome BatchFileActions::ConvertFile(std::size_t index, ConversionRequest request) {
    request.input = inputs_.at(index);
    request.storing = rules_.storing;
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
    Finish(member);
    return std::move(member.outcome);
}

bool BatchFileActions::JoinsGroup(std::size_t index) const {
    native::EntryInfo info;
    const bool large = native::Inspect(inputs_.at(index), info).value == native::Lookup::Found &&
                       info.size > kGroupFileBytes;
    return !large;
}

FinishedFiles BatchFileActions::ConvertInGroup(std::size_t index, ConversionRequest request) {
    request.input = inputs_.at(index);
    request.storing = rules_.storing;
    Member member;
    member.index = index;
    member.request = request;
    const bool alone = !JoinsGroup(index);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (alone)
            StoreGroup();  // its entries and lines as it converts, after the group's
        else
            member.request.workFile = GroupWorkFile(request.workFile, group_.size());
        TakeSpare(member.request);
    }
    member.conversion = ConvertGpsFile(Converting(member, alone));

    const std::lock_guard<std::mutex> lock(mutex_);
    SettleReadBack(true);
    if (alone)
        StoreAlone(member);
    else
        AddToGroup(member);
    return TakeFinished();
}

// The work file, where an input retired under its name waits, is written
// over.
void BatchFileActions::TakeSpare(ConversionRequest& request) {
    const auto spare = spares_.find(request.workFile);
    if (spare != spares_.end()) {
        request.reuseWorkFile = spare->second;
        spares_.erase(spare);
    }
}

ConversionRequest BatchFileActions::Converting(Member& member, bool alone) {
    ConversionRequest converting = member.request;
    if (!alone || readingBack_) {
        converting.log = nullptr;  // its entries are kept, and written when it is finished
        member.logHeld = true;
    }
    if (readingBack_) {
        // The file before it is finished as soon as its read-back ends.
        converting.pump = [this, pump = member.request.pump] {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                SettleReadBack(false);
            }
            if (pump)
                pump();
        };
    }
    return converting;
}

void BatchFileActions::AddToGroup(Member& member) {
    if (group_.empty())
        groupStart_ = std::chrono::steady_clock::now();
    if (!Join(member)) {
        // Its name is not simply free: what it finds there must be what
        // the files before it left, as in a batch of one file at a time.
        StoreGroup();
        Finished(member);
        return;
    }
    group_.push_back(std::move(member));
    if (group_.size() >= kGroupFiles ||
        std::chrono::steady_clock::now() - groupStart_ >= kGroupTime)
        StoreGroup();
}

void BatchFileActions::Finished(Member& member) {
    Finish(member);
    finished_.emplace_back(member.index, std::move(member.outcome));
}

FinishedFiles BatchFileActions::CommitGroup() {
    const std::lock_guard<std::mutex> lock(mutex_);
    SettleReadBack(true);
    StoreGroup();
    return TakeFinished();
}

FinishedFiles BatchFileActions::TakeFinishedFiles() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return TakeFinished();
}

void BatchFileActions::StoreAlone(Member& member) {
    const Outcome outcome = OutcomeOf(member.conversion);
    const std::string output = member.conversion.outputPath;
    if (rules_.storing == Storing::Done &&
        (outcome == Outcome::Corrected || outcome == Outcome::NotStored)) {
        member.outcome.problem = Store(member.index, member.request, member.conversion, output);
        member.store = true;  // stored, or why not: what is left is its end
        if (!member.outcome.problem && ReadsBack(member.index, member.conversion, output)) {
            // Its work file has its name now; the next file's takes its place.
            member.request.workFile.clear();
            const std::uint64_t hash = member.conversion.writtenHash;
            auto readBack = [output, hash] {
                Failure failure;
                ReadsBackAs(output, &hash, &failure);
                return failure;
            };
            std::future<Failure> failure;
            try {
                failure = std::async(std::launch::async, readBack);
            } catch (const std::system_error&) {
                failure = std::async(std::launch::deferred, readBack);  // no thread to spare
            }
            readingBack_.emplace(ReadingBackFile{std::move(member), std::move(failure)});
            return;
        }
    }
    Finished(member);
}

void BatchFileActions::SettleReadBack(bool wait) {
    if (!readingBack_ || (!wait && readingBack_->failure.wait_for(std::chrono::seconds(0)) !=
                                       std::future_status::ready))
        return;
    Member& member = readingBack_->member;
    const std::string& output = member.conversion.outputPath;
    Failure failure;
    try {
        failure = readingBack_->failure.get();
    } catch (...) {
        failure = Failure{"read back", output, ENOMEM};  // the reading thread ran out of memory
    }
    if (!failure.step.empty())
        member.outcome.problem = NotReadBack(output, failure);
    OperationLog* log = member.request.log;
    Finished(member);
    readingBack_.reset();
    if (log != nullptr)
        log->WriteHeldNow();  // its entries do not wait out the next file's conversion
}

FinishedFiles BatchFileActions::TakeFinished() {
    FinishedFiles done;
    done.swap(finished_);
    finished_.reserve(kGroupFiles + 1);  // a file's outcome is large: no moves as it grows
    return done;
}

bool BatchFileActions::Join(Member& member) {
    const Outcome outcome = OutcomeOf(member.conversion);
    if (outcome != Outcome::Corrected && outcome != Outcome::NotStored)
        return true;  // nothing to store: it only waits for its turn
    const std::string& output = member.conversion.outputPath;
    if (rules_.storing != Storing::Done || output.empty() ||
        groupNames_.count(PlanKey(output)) != 0)
        return group_.empty();
    native::EntryInfo info;
    if (native::Inspect(output, info).value != native::Lookup::Missing)
        return group_.empty();  // decided alone, by what stands there
    member.store = true;
    groupNames_.insert(PlanKey(output));
    return true;
}

// Every member's data on disk, then every name, then each folder once,
// then each stored file read back from the disk; their inputs go as each
// member is finished, in order, after all of that.
void BatchFileActions::StoreGroup() {
    std::vector<Member*> storing;
    for (Member& member : group_)
        if (member.store)
            storing.push_back(&member);
    NameGroup(storing);
    // Read back together: every file whose input is to go.
    std::vector<Member*> reading;
    std::vector<std::pair<std::string, std::uint64_t>> stored;
    for (Member* member : storing) {
        const std::string& output = member->conversion.outputPath;
        if (!member->outcome.problem && ReadsBack(member->index, member->conversion, output)) {
            reading.push_back(member);
            stored.emplace_back(output, member->conversion.writtenHash);
        }
    }
    const std::vector<Failure> readBacks = ReadBackAll(stored);
    for (std::size_t i = 0; i < reading.size(); ++i)
        if (!readBacks[i].step.empty())
            reading[i]->outcome.problem = NotReadBack(stored[i].first, readBacks[i]);
    for (Member& member : group_) Finished(member);
    group_.clear();
    groupNames_.clear();
    FlushGoneInputs();
}

void BatchFileActions::NameGroup(const std::vector<Member*>& storing) {
    auto fail = [](Member& member, const Failure& failure) {
        member.outcome.problem = StoreProblem(member.conversion.outputPath, failure);
        member.store = false;
    };
    std::vector<std::string> workFiles;
    for (Member* member : storing) workFiles.push_back(member->request.workFile);
    const std::vector<Failure> flushes = SyncFilesData(workFiles);
    for (std::size_t i = 0; i < storing.size(); ++i)
        if (!flushes[i].step.empty())
            fail(*storing[i], flushes[i]);
    std::vector<Member*> named;
    std::vector<std::string> outputs;
    for (Member* member : storing) {
        if (!member->store)
            continue;
        native::EntryInfo work;
        if (native::Inspect(member->request.workFile, work).value == native::Lookup::Found)
            member->work = work;
        const std::string& output = member->conversion.outputPath;
        const native::Done renamed = native::RenameNoReplace(member->request.workFile, output);
        Failure failure{"store", output, renamed.cause};
        if (renamed) {
            named.push_back(member);
            outputs.push_back(output);
        } else if (renamed.cause != EXDEV ||
                   !StoreFile(member->request.workFile, output, nullptr, nullptr, &failure)) {
            fail(*member, failure);  // across volumes it is copied, on its own
        }
    }
    const auto folders = SyncFoldersOf(outputs);
    for (Member* member : named) {
        const std::string& output = member->conversion.outputPath;
        const native::Done flushed = folders.at(FolderPart(output));
        if (!flushed)
            fail(*member, Failure{"store", output, flushed.cause});
    }
}

// The folders the group's inputs went from are flushed once, so that a
// power cut after the batch brings none of them back. An input retired
// under a work-file name is written over only once its own name is gone
// on disk, with the folders of both names flushed: else a power cut could
// bring the name back on other bytes. Where a flush fails, the input is
// deleted instead.
void BatchFileActions::FlushGoneInputs() {
    std::vector<std::string> names;
    for (const auto& [spare, input] : gone_) {
        names.push_back(input);
        if (!spare.empty())
            names.push_back(spare);
    }
    const auto folders = SyncFoldersOf(names);
    for (const auto& [spare, input] : gone_) {
        if (!spare.empty() && (!folders.at(FolderPart(spare)) || !folders.at(FolderPart(input)))) {
            spares_.erase(spare);
            DeleteFile(spare);
        }
    }
    gone_.clear();
}

void BatchFileActions::Finish(Member& member) {
    const ConversionRequest& request = member.request;
    const Conversion& conversion = member.conversion;
    FileOutcome& outcome = member.outcome;
    if (member.logHeld && request.log != nullptr) {
        // The entries the conversion kept, as they would have been logged
        // (each is cut already; cutting it again changes nothing).
        request.log->Write(request.input);
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
                Conclude(member.index, request, conversion, outcome,
                         member.work ? &*member.work : nullptr);
            else
                StoreCorrectedFile(member.index, request, conversion, outcome);
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
        case Outcome::InputMissing:
        case Outcome::Failed:
            outcome.problem = conversion.problem;
            break;
    }
    if (rules_.storing == Storing::Planned) {
        if (outcome.outcome == Outcome::Corrected)
            outcome.outcome = Outcome::WouldBeCorrected;
        outcome.statusLines.clear();  // nothing was stored or deleted to show
    } else if (!request.workFile.empty() && spares_.count(request.workFile) == 0 &&
               FileExists(request.workFile)) {
        DeleteFile(request.workFile);  // a work file left over, not a retired input
    }
    outcome.conversion = std::move(member.conversion);  // nothing reads the member's after this
}

Problem BatchFileActions::FileInTheWay(std::size_t index, const std::string& target) const {
    using Kind = Problem::Kind;
    native::EntryInfo info;
    const auto lookedUp = native::Inspect(target, info);
    const native::Lookup lookup = lookedUp.value;
    if (lookup == native::Lookup::Failed) {
        // What stands there is not known: it may be a file to keep.
        return Problem(Kind::CannotLookUp, target, lookedUp.cause);
    }
    const bool plannedGone = lookup == native::Lookup::Found && !info.folder &&
                             plannedGone_.count(IdentityOf(info)) != 0;
    if (lookup == native::Lookup::Missing || info.folder || plannedGone) {
        // Nothing there (or a folder, which the move refuses), unless a dry
        // run would have put a file there by now.
        if (planned_.count(PlanKey(target)) != 0)
            return Problem(Kind::NameTakenByThisRun, target);
        return {};
    }
    const FileIdentity existing = IdentityOf(info);
    if (written_.count(existing) != 0) {
        return Problem(Kind::NameTakenByThisRun, target);
    }
    const auto input = waiting_.find(existing);
    if (input != waiting_.end()) {
        // The input itself (its name differs in letter case only on a
        // system that ignores the case) is replaced by its corrected file.
        if (input->second != index)
            return Problem(Kind::NameTakenByAnotherInput, target);
        return {};
    }
    return Problem(Kind::NameTakenByAnotherFile, target);
}

Problem BatchFileActions::Store(std::size_t index, const ConversionRequest& request,
                                const Conversion& conversion, const std::string& output) const {
    if (output.empty())
        return Problem(Problem::Kind::NoPositionRecord);
    Problem inTheWay = FileInTheWay(index, output);
    if (inTheWay)
        return AlreadyThere(request, conversion, output) ? Problem{} : inTheWay;
    // The input itself under the output name (its name is already the
    // corrected one): known by the file that was read, not by name. It is
    // replaced only when inputs are deleted, and only by a file that has
    // read back right.
    FileIdentity there;
    const bool replacesInput =
        conversion.input && IdentifyFile(output, there) && there == *conversion.input;
    if (replacesInput && !MayDelete(conversion))
        return Problem(Problem::Kind::ReplacesKeptInput);
    if (rules_.storing == Storing::Planned)
        return {};
    Failure failure;
    if (!StoreFile(request.workFile, output, replacesInput ? &there : nullptr,
                   replacesInput && rules_.readBack ? &conversion.writtenHash : nullptr, &failure))
        return StoreProblem(output, failure);
    return {};
}

// The corrected file stands under its name already, byte for byte: a run
// cut short after it stored the file and before it deleted the input, or
// the same recording given twice. Nothing is replaced; the file is made
// sure of on disk, as a move would, before its input may go.
bool BatchFileActions::AlreadyThere(const ConversionRequest& request, const Conversion& conversion,
                                    const std::string& output) const {
    if (rules_.storing == Storing::Done) {
        return SameContent(request.workFile, output) && SyncFileData(output) &&
               native::SyncFolder(FolderPart(output));
    }
    const auto planned = planned_.find(PlanKey(output));
    if (planned != planned_.end())
        return planned->second == conversion.writtenHash;
    return ReadsBackAs(output, &conversion.writtenHash, nullptr);
}

Problem BatchFileActions::ReadBack(const std::string& output, const Conversion& conversion) const {
    // Before its input goes, the stored file is read back from the disk: a
    // disk or cable that garbles what it was given must not cost the user
    // the recording. A file that reads back different is no corrected
    // file, and does not stay under the output name.
    Failure failure;
    if (ReadsBackAs(output, &conversion.writtenHash, &failure))
        return {};
    return NotReadBack(output, failure);
}

void BatchFileActions::DeleteInput(const std::string& input, FileLog& log, FileOutcome& outcome,
                                   const std::string& spare, const native::EntryInfo* work) {
    native::EntryInfo info;
    const bool known = native::Inspect(input, info).value == native::Lookup::Found;
    const FileIdentity gone = IdentityOf(info);
    // Its own bytes are what a reused work file holds until it is written
    // over: only a file of one name, so that no other name loses them.
    const bool spareIt = known && work != nullptr && info.regular && info.links == 1 && info.mine &&
                         info.device == work->device && info.permissions == work->permissions;
    const bool retired = spareIt && native::RenameNoReplace(input, spare);
    if (retired)
        spares_[spare] = gone;
    Failure failure;
    if ((retired || DeleteFile(input, &failure)) && !FileExists(input)) {
        if (work != nullptr)
            gone_.emplace_back(retired ? spare : std::string(), input);
        if (known)
            waiting_.erase(gone);
        outcome.inputDeleted = true;
        log.Write(kInputDeletedLog + input);
        outcome.statusLines.push_back(kInputDeletedLine + FileNamePart(input) + ")");
    } else {
        outcome.problem = Problem(Problem::Kind::CannotDeleteInput, {}, failure.cause);
        log.Write(kInputKeptLog + input);
        outcome.statusLines.push_back(kInputKeptLine + FileNamePart(input) + ")");
    }
}

bool BatchFileActions::MayDelete(const Conversion& conversion) const {
    return rules_.deleteInputs &&
           !(rules_.keepInputsWithDroppedRecords && conversion.counts.Totals().Dropped() > 0);
}

bool BatchFileActions::ReadsBack(std::size_t index, const Conversion& conversion,
                                 const std::string& output) const {
    return rules_.readBack && rules_.storing == Storing::Done && MayDelete(conversion) &&
           OtherName(index, output);
}

bool BatchFileActions::OtherName(std::size_t index, const std::string& output) const {
    const std::string& input = inputs_.at(index);
    return !EqualsIgnoringAsciiCase(output, input) && !SameFile(output, input);
}

void BatchFileActions::StoreCorrectedFile(std::size_t index, const ConversionRequest& request,
                                          const Conversion& conversion, FileOutcome& outcome) {
    const std::string& output = outcome.outputPath;
    outcome.problem = Store(index, request, conversion, output);
    if (!outcome.problem && ReadsBack(index, conversion, output))
        outcome.problem = ReadBack(output, conversion);
    Conclude(index, request, conversion, outcome);
}

void BatchFileActions::Conclude(std::size_t index, const ConversionRequest& request,
                                const Conversion& conversion, FileOutcome& outcome,
                                const native::EntryInfo* work) {
    const std::string& input = inputs_.at(index);
    const std::string& output = outcome.outputPath;
    FileLog log(request.log, outcome.log);
    if (outcome.problem) {
        outcome.outcome = Outcome::NotStored;
        log.Write(Describe(Outcome::NotStored).logMessage);
        outcome.statusLines.push_back(Describe(Outcome::NotStored).statusLine);
        return;
    }
    const bool otherName = OtherName(index, output);
    const bool deleting = MayDelete(conversion) && otherName;
    outcome.outcome = Outcome::Corrected;
    outcome.inputKept = rules_.deleteInputs && !deleting && otherName;
    if (rules_.storing == Storing::Planned) {
        planned_.emplace(PlanKey(output), conversion.writtenHash);
        FileIdentity gone;
        if (deleting && IdentifyFile(input, gone)) {
            waiting_.erase(gone);
            plannedGone_.insert(gone);
        }
        return;
    }
    outcome.stored = true;
    FileIdentity stored;
    if (IdentifyFile(output, stored)) {
        written_.insert(stored);
    }
    outcome.statusLines.push_back(Describe(Outcome::Corrected).statusLine + FileNamePart(output));
    log.WriteLong(Describe(Outcome::Corrected).logMessage + output);
    if (deleting)
        DeleteInput(input, log, outcome, request.workFile, work);
}

}  // namespace quenrix
