// The RMG converter on any bytes, for each receiver type.
#include <bit>

#include "engine/rmg_file.h"
#include "fuzz/scanner_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenrix;
    if (size == 0)
        return 0;
    fuzz::Reset();
    static const int kTypes[] = {74, 77, 80, 0};
    Conversion start;
    start.kind = FileKind::Rmg;
    start.receiverType = kTypes[data[0] % 4];
    fuzz::CheckScanner(data + 1, size - 1, ".RMG", start, ConvertRmgFile,
                       [](const std::uint8_t* record) -> std::size_t {
                           switch (record[1]) {
                               case 0x82:
                                   return 37;
                               case 0x61:
                                   return 74;
                               case 0x81:
                                   return 13 + 9 * std::popcount(record[2]);
                               case 0x91:
                                   return 13 + 9 * std::min<std::size_t>(record[2], 12);
                               default:
                                   return 0;
                           }
                       });
    return 0;
}
