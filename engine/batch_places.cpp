#include "engine/batch_places.h"

#include <cerrno>

#include "support/ascii.h"
#include "support/file_ops.h"
#include "support/native.h"
#include "support/paths.h"

namespace quenrix {

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

}  // namespace quenrix
