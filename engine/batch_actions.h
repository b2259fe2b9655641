// One file of a batch from its request to its end: converted, checked
// against what stands under its output name, stored (or, on a dry run,
// planned), read back, its input deleted when asked, each step reported.
// Every front end, the benchmark and the explorers go this one way; they
// only loop, show and report.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/batch.h"
#include "engine/outcome.h"
#include "engine/pipeline.h"
#include "support/file_ops.h"
#include "support/folder.h"

namespace quenrix {

// A group of small files is stored together: each converted into a work
// file of its own, then their data flushed one after the other, their
// names given, each folder flushed once, each read back, and only then
// their inputs deleted. The flushes, most of a small file's time, are
// paid once a group rather than once a file, and every file still goes
// through the one order: data, name, folder, read-back, input.
inline constexpr std::size_t kGroupFiles = 64;
inline constexpr std::uint64_t kGroupFileBytes = 1 << 20;  // larger files go alone
inline constexpr auto kGroupTime = std::chrono::milliseconds(30);

// The work file of the group's member `slot`: the front end's own for the
// first, then "NAME-1.EXT", "NAME-2.EXT"... beside it, which a pattern for
// the front end's leftovers ("NAME*.EXT") still matches.
std::string GroupWorkFile(const std::string& workFile, std::size_t slot);

// The outcomes of files finished together, by input index, in order.
using FinishedFiles = std::vector<std::pair<std::size_t, FileOutcome>>;

// The steps of one batch's files. RunBatch (engine/batch.h) drives it;
// the front ends only ever call RunBatch.
class BatchFileActions {
  public:
    // `inputs` are the batch's input paths in conversion order.
    BatchFileActions(std::vector<std::string> inputs, BatchRules rules);
    // Deletes the inputs kept for their inodes (see ConvertInGroup).
    ~BatchFileActions();
    BatchFileActions(const BatchFileActions&) = delete;
    BatchFileActions& operator=(const BatchFileActions&) = delete;

    // Converts input `index` by `request` and acts on the result. Several
    // threads may convert at once; what they do with the results goes one
    // file at a time.
    FileOutcome ConvertFile(std::size_t index, ConversionRequest request);

    // Acts on what ConvertGpsFile made of input `index` by `request`.
    FileOutcome Apply(std::size_t index, const ConversionRequest& request,
                      const Conversion& conversion);

    // One thread's batch in groups. A small input joins the group under
    // way; a larger one (or one that cannot be looked at) goes alone, its
    // log entries and status lines as it converts.
    bool GoesInGroup(std::size_t index) const;
    // Converts input `index` by `request`, whose work file is the group's
    // first (each member has its own, named after it: see GroupWorkFile). Gives back the files this
    // finished: the group's, when it is full, its time is up, this file cannot join it or cannot be
    // stored with it; this file itself when it goes alone. A member's log
    // entries are written when it is finished, in order.
    //
    // A file system that must find a new inode for every new file slows
    // down past the inodes a batch has just freed. So a group's input
    // that goes (a plain file of this user, of one name, beside the work
    // files and with their permissions) is not unlinked but renamed to its
    // member's work-file name, which its store has just freed: the next
    // group's file of that place writes over it (OutputFile::Reuse), and
    // the batch frees no inode and takes none until its end.
    //
    // A larger file that is to be read back before its input goes is
    // stored, and read back beside the next file's conversion: it is
    // finished once its read-back has ended, as soon as the next
    // conversion sees it ended (or at the latest after that conversion),
    // and the next file's entries are held until then.
    FinishedFiles ConvertInGroup(std::size_t index, ConversionRequest request);
    // Stores the group under way and gives back its files (at the end of a
    // batch, and on cancel: the files converted are finished).
    FinishedFiles CommitGroup();
    // A stored file is being read back, to be finished after it.
    bool ReadBackUnderWay() const { return readingBack_.has_value(); }
    // The files finished since the last call: a file whose read-back
    // ended while the next file converted.
    FinishedFiles TakeFinishedFiles();

  private:
    // A file of the group: converted, its store to come.
    struct Member {
        std::size_t index = 0;
        ConversionRequest request;  // its log: where its entries go once it is finished
        Conversion conversion;
        FileOutcome outcome;
        bool logHeld = false;  // its conversion's entries wait for its end
        bool store = false;    // its work file takes a free output name at the commit
        // Its work file as the commit found it, before the file took its
        // name: where a retired input may serve.
        std::optional<native::EntryInfo> work;
        // Its output name is not its input's own file (OtherName), as it
        // was before anything was stored; and whether nothing stood there.
        bool otherName = true;
        bool outputMissing = false;
        // The file under its output name once it is stored, as it was then.
        std::optional<native::EntryInfo> stored;
    };
    // A file alone, stored, its read-back under way on another thread.
    struct ReadingBackFile {
        Member member;
        std::future<std::vector<Failure>> failures;  // ReadBackAll's
    };
    // An input retired under a work file's name, to be written over.
    struct Spare {
        FileAt file;
        FileIdentity identity;
    };
    // What became of an input that was to be deleted.
    enum class Deletion { Deleted, Kept, Changed };

    // The folders the request acts in, each opened once for the batch.
    void OpenFolders(const std::string& input, const ConversionRequest& request,
                     ConversionFolders& folders);
    void TakeSpare(ConversionRequest& request);
    // The member's request as it is converted: its entries held where it
    // waits for others, and the file before it finished once read back.
    ConversionRequest RequestFor(Member& member, bool alone);
    // The member joins the group, or is finished after it.
    void AddToGroup(Member& member);
    // Finishes the member into the files to give back.
    void GiveBack(Member& member);
    // Stores a file that goes alone; its read-back is left under way where
    // it has one, else it is finished.
    void StoreAlone(Member& member);
    // Finishes the file being read back once its read-back has ended
    // (waiting for it when `wait`).
    void SettleReadBack(bool wait);
    // What the group holds for the member: false when the member needs
    // the files before it finished first (its name is not simply free).
    bool Admit(Member& member);
    // A member's end, in order: its held entries, then what became of it.
    void Finish(Member& member);
    // The group's stores, the flushes paid once.
    void StoreGroup();
    // The storing members stored together (StoreFiles); a member that
    // failed is no longer storing.
    void NameGroup(const std::vector<Member*>& storing);
    // The folders the group's inputs went from flushed; a retired input
    // kept as a spare only where both its names' folders were.
    void FlushGoneInputs();
    FinishedFiles TakeFinished();

    // Stores the work file under its output name; why it was not, or none.
    Problem Store(std::size_t index, const ConversionRequest& request, const Conversion& conversion,
                  FileOutcome& outcome, std::optional<native::EntryInfo>& stored) const;
    // The members' stored files read back from the disk (ReadBackAll, on
    // this thread or another), with the hashes they must read back as; a
    // member whose file does not read back right gets its problem.
    static std::vector<std::pair<FileAt, std::uint64_t>> StoredFiles(
        const std::vector<Member*>& members);
    static void TakeReadBacks(const std::vector<Member*>& members,
                              const std::vector<Failure>& failures);
    static void ReadBackMembers(const std::vector<Member*>& members);
    // The rules let the input go once its corrected file is stored.
    bool MayDelete(const Conversion& conversion) const;
    // Whether the stored file's bytes stand under the output name already
    // as a file of this user's (Mine), or of another user's (Others).
    enum class There { No, Mine, Others };
    There AlreadyThere(const ConversionRequest& request, const Conversion& conversion) const;
    // Deletes the input, only while it is the file that was read: by
    // renaming it to `spare` (the member's freed work-file name) where it
    // may serve the next group as a work file.
    Deletion DeleteInput(std::size_t index, const Conversion& conversion, FileOutcome& outcome,
                         const FileAt* spare = nullptr, const native::EntryInfo* work = nullptr);
    // Renames the input to the spare's name, nobody else's to read, only
    // while it is the file that was read; false (the input as it was)
    // where it cannot.
    bool Retire(const FileAt& input, const native::EntryInfo& read, const FileAt& spare);
    // Stores the member's file alone, reads it back and concludes.
    void StoreCorrectedFile(Member& member);
    // Once the member's file is stored (or not: its outcome's problem):
    // its lines and entries, and its input deleted when the rules say so.
    void Conclude(Member& member);
    // The corrected file is to stand under another name than its input:
    // never is an input deleted when both names lead to one file. Asked
    // before anything is stored.
    // Where `outputMissing` is given, whether nothing stood under the
    // output name.
    bool OtherName(std::size_t index, const Conversion& conversion,
                   bool* outputMissing = nullptr) const;
    // The stored file is read back before its input goes (which it may).
    bool MustReadBack(const Member& member) const;
    // Why the output name must not be replaced: it is a file this batch
    // wrote, another input of this batch, or any other file, whose bytes
    // would be lost (it may be the corrected file of an input deleted by an
    // earlier run). None when it may be: nothing is there, or the input
    // itself. What stands there lands in `info` (nothing: its defaults).
    Problem FileInTheWay(std::size_t index, const Conversion& conversion,
                         native::EntryInfo& info) const;

    std::vector<std::string> inputs_;
    BatchRules rules_;
    mutable std::optional<std::pair<std::size_t, bool>> joins_;  // GoesInGroup's last answer
    Folders folders_;
    std::vector<Member> group_;
    std::set<std::string> groupNames_;  // the output names the group takes
    std::chrono::steady_clock::time_point groupStart_{};
    FinishedFiles finished_;
    std::optional<ReadingBackFile> readingBack_;
    // Work-file names under which an input of this batch waits to be
    // written over.
    std::map<std::string, Spare> spares_;
    // The group's inputs that went: the work file each was retired as
    // (none: deleted), and the input.
    std::vector<std::pair<std::optional<FileAt>, FileAt>> gone_;
    std::mutex mutex_;  // one file at a time past its conversion
    std::set<FileIdentity> written_;
    // A dry run's: the names it would store under, with the hash of what
    // they would hold, and the inputs it would delete.
    std::map<std::string, std::uint64_t> planned_;
    std::set<FileIdentity> plannedGone_;
    // The inputs still on disk, by identity, taken once at the start: a
    // batch of many files must not look at every input for every file.
    std::map<FileIdentity, std::size_t> waiting_;
};

}  // namespace quenrix
