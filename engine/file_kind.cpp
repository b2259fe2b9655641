#include "engine/file_kind.h"

#include "support/ascii.h"
#include "support/paths.h"

namespace quenrix {

FileKind ClassifyFileName(const std::string& path) {
    const std::string extension = UpperAscii(ExtensionPart(path).substr(0, 4));
    if (extension == ".SIG")
        return FileKind::Sig;
    for (const char* rmg : {".RMG", ".RM0", ".RM1", ".RM2", ".RM3", ".RM4", ".RM5"}) {
        if (extension == rmg)
            return FileKind::Rmg;
    }
    return FileKind::Other;
}

}  // namespace quenrix
