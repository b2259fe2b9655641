// The order of a batch's files on one thread: small files wait in a
// group whose stores share their flushes, a large file goes alone, its
// read-back beside the next file's conversion.
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

bool BatchFileActions::GoesInGroup(std::size_t index) const {
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
    const bool alone = !GoesInGroup(index);
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
        member.conversion = ConvertGpsFile(RequestFor(member, alone));
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

ConversionRequest BatchFileActions::RequestFor(Member& member, bool alone) {
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
    if (!Admit(member)) {
        // Its name is not simply free: what it finds there must be what
        // the files before it left, as in a batch of one file at a time.
        StoreGroup();
        GiveBack(member);
        return;
    }
    group_.push_back(std::move(member));
    if (group_.size() >= kGroupFiles ||
        std::chrono::steady_clock::now() - groupStart_ >= kGroupTime)
        StoreGroup();
}

void BatchFileActions::GiveBack(Member& member) {
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
    if (rules_.storing == Storing::Real &&
        (outcome == Outcome::Corrected || outcome == Outcome::NotStored)) {
        member.outcome.problem =
            Store(member.index, member.request, member.conversion, member.outcome, member.stored);
        member.store = true;  // stored, or why not: what is left is its end
        if (!member.outcome.problem && MustReadBack(member)) {
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
    GiveBack(member);
}

void BatchFileActions::SettleReadBack(bool wait) {
    if (!readingBack_ || (!wait && readingBack_->failures.wait_for(std::chrono::seconds(0)) !=
                                       std::future_status::ready))
        return;
    Member& member = readingBack_->member;
    TakeReadBacks({&member}, readingBack_->failures.get());
    OperationLog* log = member.request.log;
    GiveBack(member);
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

bool BatchFileActions::Admit(Member& member) {
    const Outcome outcome = OutcomeOf(member.conversion);
    if (outcome != Outcome::Corrected && outcome != Outcome::NotStored)
        return true;  // nothing to store: it only waits for its turn
    const std::string& output = member.conversion.outputPath;
    if (rules_.storing != Storing::Real || output.empty() ||
        groupNames_.count(PlanKey(output)) != 0)
        return group_.empty();
    if (!member.outputMissing)
        return group_.empty();  // decided alone, by what stands there
    member.store = true;
    groupNames_.insert(PlanKey(output));
    return true;
}

}  // namespace quenrix
