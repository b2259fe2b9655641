#include "engine/sig_file.h"

#include "engine/record_kinds.h"
#include "engine/record_scan.h"

namespace quenrix {

bool ConvertSigFile(const std::string& inputPath, const std::string& workPath) {
    using record_kinds::kSigKinds;
    return ScanRecords(inputPath, workPath, kSigKinds, CorrectAnyKind<kSigKinds>,
                       " > ERROR：SIG作業ファイルOpen失敗");
}

}  // namespace quenrix
