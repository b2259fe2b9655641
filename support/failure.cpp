#include "support/failure.h"

#include <cerrno>

namespace quenrix {

std::string FailureText(int errorNumber) {
    switch (errorNumber) {
        case EACCES:
        case EPERM:
            return "permission denied";
        case ENOENT:
            return "no such file or folder";
        case ENOTDIR:
            return "a part of the path is not a folder";
        case EISDIR:
            return "it is a folder";
        case EEXIST:
            return "it exists already";
        case ENOSPC:
            return "no space left on the disk";
        case EFBIG:
            return "file too large";
        case ELOOP:
            return "a symbolic link stands in the way";
#ifdef EDQUOT
        case EDQUOT:
            return "disk quota exceeded";
#endif
        case EROFS:
            return "read-only file system";
        case EBUSY:
        case ETXTBSY:
            return "in use by another program";
        case EIO:
            return "input/output error";
        case ENAMETOOLONG:
            return "name too long";
        case EMFILE:
        case ENFILE:
            return "too many open files";
        case EXDEV:
            return "on another volume";
        case EINVAL:
            return "invalid name or argument";
        case kNotRegularFile:
        case ENXIO:
            return "not a regular file";
        case kReadsBackDifferent:
            return "it reads back different";
        case kChangedSinceRead:
            return "it changed since it was read";
        case kFolderReplaced:
            return "its folder was replaced since the run began";
        case kLockedByAnother:
            return "locked by another program (still after waiting)";
        case kStillInUse:
            return "in use by another program (still after waiting 2 seconds)";
        case 0:
            return "unknown cause";
        default:
            return "system error " + std::to_string(errorNumber);
    }
}

}  // namespace quenrix
