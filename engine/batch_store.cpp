// Corrected files given their names (StoreFiles, one file or a group)
// and read back from the disk before their inputs go.
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
        if (!member->outcome.problem && MustReadBack(*member))
            reading.push_back(member);
    ReadBackMembers(reading);
    for (Member& member : group_) GiveBack(member);
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

}  // namespace quenrix
