// Inputs deleted once their corrected files are stored, only while each is
// the file that was read; a group's inputs retired as spare work files.
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

// The work file, where an input retired under its name waits, is written
// over.
void BatchFileActions::TakeSpare(ConversionRequest& request) {
    const auto spare = spares_.find(request.workFile);
    if (spare != spares_.end()) {
        request.reuseWorkFile = spare->second.identity;
        spares_.erase(spare);
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

}  // namespace quenrix
