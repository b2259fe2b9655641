// The SIG converter on any bytes.
#include "engine/sig_file.h"
#include "fuzz/scanner_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenrix;
    fuzz::Reset();
    Conversion start;
    start.kind = FileKind::Sig;
    fuzz::CheckScanner(data, size, ".SIG", start, ConvertSigFile,
                       [](const std::uint8_t* record) -> std::size_t {
                           switch (record[1]) {
                               case 0x62:
                               case 0x60:
                                   return 26;
                               case 0x61:
                                   return 74;
                               case 0x50:
                                   return 23;
                               case 0x51:
                                   return 124;
                               case 0x52:
                                   return 35;
                               case 0x55:
                                   return 29;
                               default:
                                   return 0;
                           }
                       });
    return 0;
}
