#include "engine/rmg_file.h"

#include "engine/record_kinds.h"
#include "engine/record_scan.h"

namespace quenrix {

bool ConvertRmgFile(const std::string& inputPath, const std::string& workPath) {
    using record_kinds::kRmgKinds;
    return ScanRecords(inputPath, workPath, kRmgKinds, CorrectAnyKind<kRmgKinds>,
                       " > ERROR：RMG作業ファイルOpen失敗");
}

}  // namespace quenrix
