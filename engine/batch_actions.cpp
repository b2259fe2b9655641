#include "engine/batch_actions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <new>
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

// Where a conversion's input, work file and corrected file are, in the
// folders it acted in.
FileAt InputAt(const std::string& input, const Conversion& conversion) {
    return {conversion.folders.input.value, input};
}
FileAt WorkAt(const ConversionRequest& request, const Conversion& conversion) {
    return {conversion.folders.work.value, request.workFile};
}
FileAt OutputAt(const Conversion& conversion) {
    return {conversion.folders.output.value, conversion.outputPath};
}

// Why a corrected file could not be stored.
Problem StoreProblem(const std::string& output, const Failure& failure) {
    if (failure.cause == EEXIST && failure.path == output) {
        // Another program (another run) put a file there meanwhile.
        return Problem(Problem::Kind::NameTakenByAnotherFile, output);
    }
    if (failure.cause == kReadsBackDifferent)
        return Problem(Problem::Kind::ReadsBackDifferent);
    if (failure.cause == kChangedSinceRead)
        return Problem(Problem::Kind::ChangedWhileRead);
    return Problem(failure.step == Failure::Step::ReadBack ? Problem::Kind::CannotReadBack
                                                           : Problem::Kind::CannotStore,
                   output, failure.cause);
}

// Why a stored file that did not read back right is no corrected file; one
// that reads back different does not stay under the output name.
Problem NotReadBack(const Conversion& conversion, const Failure& failure) {
    if (failure.cause == kReadsBackDifferent)
        DeleteOwnFile(OutputAt(conversion));
    return StoreProblem(conversion.outputPath, failure);
}

// The work file could not be made or written for lack of room.
bool OutOfRoom(const Conversion& conversion) {
    const int cause = conversion.problem.cause;
    return conversion.problem.kind == Problem::Kind::CannotWriteWorkFile && (cause == ENOSPC
#ifdef EDQUOT
                                                                             || cause == EDQUOT
#endif
                                                                            );
}

// The folders of the files flushed, each once (by the folder opened):
// whether each one's flush was done.
std::map<const Folder*, bool> SyncFoldersOf(const std::vector<FileAt>& files) {
    std::map<const Folder*, bool> folders;
    for (const FileAt& file : files)
        if (file.folder && folders.emplace(file.folder.get(), false).second)
            folders[file.folder.get()] = bool(native::SyncOpenFolder(file.In()));
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
    if (rules_.storing == Storing::Done && !folders.work.value)
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

bool BatchFileActions::JoinsGroup(std::size_t index) const {
    // Asked by the front end and again as the file converts: looked at once.
    if (joins_ && joins_->first == index)
        return joins_->second;
    native::EntryInfo info;
    const bool large = native::Inspect(inputs_.at(index), info).value == native::Lookup::Found &&
                       info.size > kGroupFileBytes;
    joins_.emplace(index, !large);
    return !large;
}

FinishedFiles BatchFileActions::ConvertInGroup(std::size_t index, ConversionRequest request) {
    request.input = inputs_.at(index);
    request.storing = rules_.storing;
    OpenFolders(request.input, request, request.folders);
    const bool alone = !JoinsGroup(index);
    for (;;) {
        Member member;
        member.index = index;
        member.request = request;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (alone)
                StoreGroup();  // its entries and lines as it converts, after the group's
            else
                member.request.workFile = GroupWorkFile(request.workFile, group_.size());
            TakeSpare(member.request);
        }
        member.conversion = ConvertGpsFile(Converting(member, alone));
        member.otherName = OtherName(index, member.conversion, &member.outputMissing);

        const std::lock_guard<std::mutex> lock(mutex_);
        SettleReadBack(true);
        if (!alone && !group_.empty() && OutOfRoom(member.conversion)) {
            // The group's work files hold the room this one lacked: the
            // group is stored (its inputs go), and the file tried again, so
            // that only a file that fails alone fails. Its entries were
            // held, and go with this try.
            member.conversion.workFileLock.reset();
            DeleteOwnFile(WorkAt(member.request, member.conversion));
            StoreGroup();
            continue;
        }
        if (alone)
            StoreAlone(member);
        else
            AddToGroup(member);
        return TakeFinished();
    }
}

// The work file, where an input retired under its name waits, is written
// over.
void BatchFileActions::TakeSpare(ConversionRequest& request) {
    const auto spare = spares_.find(request.workFile);
    if (spare != spares_.end()) {
        request.reuseWorkFile = spare->second.identity;
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
    if (rules_.storing == Storing::Done &&
        (outcome == Outcome::Corrected || outcome == Outcome::NotStored)) {
        member.outcome.problem =
            Store(member.index, member.request, member.conversion, member.outcome, member.stored);
        member.store = true;  // stored, or why not: what is left is its end
        if (!member.outcome.problem && ReadsBack(member)) {
            // Its work file has its name now; the next file's takes its place.
            member.request.workFile.clear();
            auto readBack = [files = StoredFiles({&member})] {
                try {
                    return ReadBackAll(files);
                } catch (const std::bad_alloc&) {  // the reading thread's border
                    return std::vector<Failure>(files.size(), Failure{Failure::Step::ReadBack,
                                                                      files[0].first.path, ENOMEM});
                }
            };
            std::future<std::vector<Failure>> failures;
            try {
                failures = std::async(std::launch::async, readBack);
            } catch (const std::system_error&) {
                failures = std::async(std::launch::deferred, readBack);  // no thread to spare
            }
            readingBack_.emplace(ReadingBackFile{std::move(member), std::move(failures)});
            return;
        }
    }
    Finished(member);
}

void BatchFileActions::SettleReadBack(bool wait) {
    if (!readingBack_ || (!wait && readingBack_->failures.wait_for(std::chrono::seconds(0)) !=
                                       std::future_status::ready))
        return;
    Member& member = readingBack_->member;
    TakeReadBacks({&member}, readingBack_->failures.get());
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
    if (!member.outputMissing)
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
    for (Member* member : storing)
        if (!member->outcome.problem && ReadsBack(*member))
            reading.push_back(member);
    ReadBackMembers(reading);
    for (Member& member : group_) Finished(member);
    group_.clear();
    groupNames_.clear();
    FlushGoneInputs();
}

void BatchFileActions::NameGroup(const std::vector<Member*>& storing) {
    std::vector<FileToStore> files;
    for (Member* member : storing) {
        FileToStore file;
        file.source = WorkAt(member->request, member->conversion);
        file.target = OutputAt(member->conversion);
        file.accessOf = member->conversion.input;
        files.push_back(std::move(file));
    }
    StoreFiles(files);
    for (std::size_t i = 0; i < storing.size(); ++i) {
        // The work file as it took its name: where a retired input may serve.
        if (files[i].stored.regular) {
            storing[i]->work = files[i].stored;
            storing[i]->stored = files[i].stored;
        }
        if (files[i].failure) {
            storing[i]->outcome.problem =
                StoreProblem(storing[i]->conversion.outputPath, files[i].failure);
            storing[i]->store = false;
        }
    }
}

// The folders the group's inputs went from are flushed once, so that a
// power cut after the batch brings none of them back. An input retired
// under a work-file name is written over only once its own name is gone
// on disk, with the folders of both names flushed: else a power cut could
// bring the name back on other bytes. Where a flush fails, the input is
// deleted instead.
void BatchFileActions::FlushGoneInputs() {
    std::vector<FileAt> names;
    for (const auto& [spare, input] : gone_) {
        names.push_back(input);
        if (spare)
            names.push_back(*spare);
    }
    const auto folders = SyncFoldersOf(names);
    for (const auto& [spare, input] : gone_) {
        if (spare && (!folders.at(spare->folder.get()) || !folders.at(input.folder.get()))) {
            spares_.erase(spare->path);
            DeleteOwnFile(*spare);
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

Problem BatchFileActions::FileInTheWay(std::size_t index, const Conversion& conversion,
                                       native::EntryInfo& info) const {
    using Kind = Problem::Kind;
    const FileAt target = OutputAt(conversion);
    // A link under the name is a file in the way, whatever it leads to;
    // a folder not there (yet, on a dry run) holds nothing.
    info = native::EntryInfo{};
    const int cause = conversion.folders.output.cause;
    const auto lookedUp =
        target.folder
            ? native::InspectAt(target.In(), target.Name(), info)
            : native::Answer<native::Lookup>{
                  cause == ENOENT ? native::Lookup::Missing : native::Lookup::Failed, cause};
    const native::Lookup lookup = lookedUp.value;
    if (lookup == native::Lookup::Failed) {
        // What stands there is not known: it may be a file to keep.
        return Problem(Kind::CannotLookUp, target.path, lookedUp.cause);
    }
    const bool plannedGone = lookup == native::Lookup::Found && !info.folder &&
                             plannedGone_.count(IdentityOf(info)) != 0;
    if (lookup == native::Lookup::Missing || info.folder || plannedGone) {
        // Nothing there (or a folder, which the move refuses), unless a dry
        // run would have put a file there by now.
        if (planned_.count(PlanKey(target.path)) != 0)
            return Problem(Kind::NameTakenByThisRun, target.path);
        return {};
    }
    const FileIdentity existing = IdentityOf(info);
    if (written_.count(existing) != 0) {
        return Problem(Kind::NameTakenByThisRun, target.path);
    }
    if (!info.link) {
        const auto input = waiting_.find(existing);
        if (input != waiting_.end()) {
            // The input itself (its name differs in letter case only on a
            // system that ignores the case) is replaced by its corrected file.
            if (input->second != index)
                return Problem(Kind::NameTakenByAnotherInput, target.path);
            return {};
        }
    }
    return Problem(Kind::NameTakenByAnotherFile, target.path);
}

Problem BatchFileActions::Store(std::size_t index, const ConversionRequest& request,
                                const Conversion& conversion, FileOutcome& outcome,
                                std::optional<native::EntryInfo>& stored) const {
    const std::string& output = conversion.outputPath;
    if (output.empty())
        return Problem(Problem::Kind::NoPositionRecord);
    native::EntryInfo there;
    const Problem inTheWay = FileInTheWay(index, conversion, there);
    if (inTheWay) {
        switch (AlreadyThere(request, conversion)) {
            case There::Mine:
                outcome.alreadyStored = true;
                stored = there;
                return {};
            case There::Others:
                // Planted by another user, whose file it stays: counted
                // as stored, it would let this run delete the input.
                return Problem(Problem::Kind::NameTakenByAnotherUser, output);
            case There::No:
                break;
        }
        return inTheWay;
    }
    // The input itself under the output name (its name is already the
    // corrected one): known by the file that was read, not by name. It is
    // replaced only when inputs are deleted, and only by a file that has
    // read back right, and only while it is still that file.
    const FileAt target = OutputAt(conversion);
    const bool replacesInput = conversion.input && there.regular && !there.link &&
                               IdentityOf(there) == IdentityOf(*conversion.input);
    if (replacesInput && !MayDelete(conversion))
        return Problem(Problem::Kind::ReplacesKeptInput);
    if (rules_.storing == Storing::Planned)
        return {};
    FileToStore file;
    file.source = WorkAt(request, conversion);
    file.target = target;
    if (replacesInput) {
        file.replaceable = conversion.input;
        if (rules_.readBack)
            file.expectedHash = conversion.writtenHash;
    }
    file.accessOf = conversion.input;
    if (StoreFile(file)) {
        stored = file.stored;
        return {};
    }
    if (file.failure.cause == EEXIST && file.failure.path == output &&
        AlreadyThere(request, conversion) == There::Mine) {
        // Another run stored these very bytes a moment ago.
        outcome.alreadyStored = true;
        return {};
    }
    return StoreProblem(output, file.failure);
}

// The corrected file stands under its name already, byte for byte: a run
// cut short after it stored the file and before it deleted the input, or
// the same recording given twice. Nothing is replaced; the file is made
// sure of on disk, as a move would, before its input may go. Only a file
// of this user's counts: another user may plant these bytes there and
// take them away again once the input is gone.
BatchFileActions::There BatchFileActions::AlreadyThere(const ConversionRequest& request,
                                                       const Conversion& conversion) const {
    const FileAt output = OutputAt(conversion);
    native::EntryInfo info;
    if (!output.folder || !native::InspectAt(output.In(), output.Name(), info) || !info.regular ||
        info.link)
        return There::No;
    bool same = false;
    if (rules_.storing == Storing::Done) {
        same = SameContent(WorkAt(request, conversion), output);
    } else {
        const auto planned = planned_.find(PlanKey(output.path));
        same = planned != planned_.end() ? planned->second == conversion.writtenHash
                                         : ReadsBackAs(output, conversion.writtenHash, nullptr);
    }
    if (!same)
        return There::No;
    if (!info.mine)
        return There::Others;
    if (rules_.storing == Storing::Done &&
        !(SyncFileData(output) && native::SyncOpenFolder(output.In())))
        return There::No;
    return There::Mine;
}

// Before its input goes, a stored file is read back from the disk: a disk
// or cable that garbles what it was given must not cost the user the
// recording. A file that reads back different is no corrected file, and
// does not stay under the output name.
std::vector<std::pair<FileAt, std::uint64_t>> BatchFileActions::StoredFiles(
    const std::vector<Member*>& members) {
    std::vector<std::pair<FileAt, std::uint64_t>> files;
    for (const Member* member : members)
        files.emplace_back(OutputAt(member->conversion), member->conversion.writtenHash);
    return files;
}

void BatchFileActions::TakeReadBacks(const std::vector<Member*>& members,
                                     const std::vector<Failure>& failures) {
    for (std::size_t i = 0; i < members.size(); ++i)
        if (failures[i])
            members[i]->outcome.problem = NotReadBack(members[i]->conversion, failures[i]);
}

void BatchFileActions::ReadBackMembers(const std::vector<Member*>& members) {
    TakeReadBacks(members, ReadBackAll(StoredFiles(members)));
}

bool BatchFileActions::Retire(const FileAt& input, const native::EntryInfo& read,
                              const FileAt& spare) {
    // Nobody else may read it under its new name, as a work file: its
    // bits are taken away first, through the file that was read (opened
    // never through a link under its name; not from the disk, whose
    // dropped cache would cost the next file written over it dearly).
    const auto opened = native::OpenAt(input.In(), input.Name(), native::OpenAs::ReadingNamed);
    if (!opened)
        return false;
    native::EntryInfo now;
    native::EntryInfo own = read;
    own.permissions = 0600;
    const bool taken =
        native::InspectOpen(opened.value, now) && native::Unchanged(read, now) &&
        (!native::AccessDiffers(now, own) || native::TakeAccessOf(opened.value, own));
    bool retired =
        taken && native::RenameAt(input.In(), input.Name(), spare.In(), spare.Name(), false);
    if (retired &&
        (!native::InspectAt(spare.In(), spare.Name(), now) || !native::Unchanged(read, now))) {
        // Another file was renamed under the input's name in that moment:
        // it has its name back.
        (void)native::RenameAt(spare.In(), spare.Name(), input.In(), input.Name(), false);
        retired = false;
    }
    if (taken && !retired && native::AccessDiffers(own, read))
        (void)native::TakeAccessOf(opened.value, read);  // the input as it was
    (void)native::CloseFile(opened.value);               // only read
    return retired;
}

BatchFileActions::Deletion BatchFileActions::DeleteInput(std::size_t index,
                                                         const Conversion& conversion,
                                                         FileOutcome& outcome, const FileAt* spare,
                                                         const native::EntryInfo* work) {
    const FileAt input = InputAt(inputs_.at(index), conversion);
    if (!conversion.input || !input.folder) {
        outcome.problem = Problem(Problem::Kind::CannotDeleteInput, {}, EBADF);
        return Deletion::Kept;
    }
    const native::EntryInfo& read = *conversion.input;
    // Its own bytes are what a reused work file holds until it is written
    // over: only a plain file of this user's and of one name, so that no
    // other name loses them.
    const bool retired = spare != nullptr && work != nullptr && spare->folder && read.links == 1 &&
                         read.mine && read.device == work->device && Retire(input, read, *spare);
    if (retired)
        spares_[spare->path] = Spare{*spare, IdentityOf(read)};
    const native::Done removed =
        retired ? native::Done{} : native::RemoveAt(input.In(), input.Name(), read);
    if (!removed) {
        if (removed.cause == kChangedSinceRead)
            return Deletion::Changed;
        outcome.problem = Problem(Problem::Kind::CannotDeleteInput, {}, removed.cause);
        return Deletion::Kept;
    }
    if (work != nullptr)
        gone_.emplace_back(retired ? std::optional<FileAt>(*spare) : std::nullopt, input);
    waiting_.erase(IdentityOf(read));
    outcome.inputDeleted = true;
    return Deletion::Deleted;
}

bool BatchFileActions::MayDelete(const Conversion& conversion) const {
    return rules_.deleteInputs &&
           !(rules_.keepInputsWithDroppedRecords && conversion.counts.Totals().Dropped() > 0);
}

bool BatchFileActions::ReadsBack(const Member& member) const {
    return rules_.readBack && rules_.storing == Storing::Done && MayDelete(member.conversion) &&
           member.otherName;
}

bool BatchFileActions::OtherName(std::size_t index, const Conversion& conversion,
                                 bool* outputMissing) const {
    const std::string& input = inputs_.at(index);
    const std::string& output = conversion.outputPath;
    const FileAt there = OutputAt(conversion);
    native::EntryInfo info;
    const native::Lookup lookup = there.folder && !output.empty()
                                      ? native::InspectAt(there.In(), there.Name(), info).value
                                      : native::Lookup::Failed;
    if (outputMissing != nullptr)
        *outputMissing = lookup == native::Lookup::Missing;
    if (output.empty() || lookup == native::Lookup::Missing)
        return true;
    if (EqualsIgnoringAsciiCase(output, input))
        return false;
    // Another name of the input's own file (a link, a hard link).
    if (lookup != native::Lookup::Found || !conversion.input)
        return true;
    if (info.link && !native::InspectAt(there.In(), there.Name(), info, native::Links::Follow))
        return true;  // a link that leads nowhere is no name of the input's
    return IdentityOf(info) != IdentityOf(*conversion.input);
}

void BatchFileActions::StoreCorrectedFile(Member& member) {
    FileOutcome& outcome = member.outcome;
    outcome.problem =
        Store(member.index, member.request, member.conversion, outcome, member.stored);
    if (!outcome.problem && ReadsBack(member))
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
    const bool deleting = MayDelete(conversion) && otherName;
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
