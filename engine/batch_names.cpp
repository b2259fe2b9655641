// What stands under a corrected file's name before it is stored: free,
// the input itself, this run's, another user's or another file.
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
    if (rules_.storing == Storing::Real) {
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
    if (rules_.storing == Storing::Real &&
        !(SyncFileData(output) && native::SyncOpenFolder(output.In())))
        return There::No;
    return There::Mine;
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

}  // namespace quenrix
