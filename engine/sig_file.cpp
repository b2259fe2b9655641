#include "engine/sig_file.h"

#include "engine/record_kinds.h"
#include "engine/record_scan.h"

namespace quenrix {

bool ConvertSigFile(const ConversionRequest& request, Conversion& conversion, InputFile& input) {
    using record_kinds::kSigKinds;
    return ScanRecords(request, conversion, input, kSigKinds, CorrectAnyKind<kSigKinds>,
                       " > ERROR：SIG作業ファイルOpen失敗");
}

}  // namespace quenrix
