#include "engine/rmg_file.h"

#include "engine/record_kinds.h"
#include "engine/record_scan.h"

namespace quenrix {

bool ConvertRmgFile(const ConversionRequest& request, Conversion& conversion, InputFile& input) {
    using record_kinds::kRmgKinds;
    return ScanRecords(request, conversion, input, kRmgKinds, CorrectAnyKind<kRmgKinds>,
                       " > ERROR：RMG作業ファイルOpen失敗");
}

}  // namespace quenrix
