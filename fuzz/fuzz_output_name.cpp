// Output names for any prefix, first time, input path and file kind.
#include <cstring>
#include <string>

#include "engine_state.h"
#include "fuzz_common.h"
#include "output_name.h"
#include "paths.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenrix;
    if (size < 5)
        return 0;
    fuzz::Reset();
    Engine().IsRmgFile = data[0] & 1;
    Engine().IsSigFile = Engine().IsRmgFile ^ 1;
    std::uint32_t firstTime;
    std::memcpy(&firstTime, data + 1, 4);
    const std::string path(reinterpret_cast<const char*>(data + 5), size - 5);
    const std::string prefix = GetFileNamePrefix(path);
    const std::string output = BuildOutputFileName(prefix, firstTime, path, "/out");
    FUZZ_CHECK(output.compare(0, 5, "/out/") == 0);
    const std::string name = output.substr(5);
    const std::string extension = ExtensionPart(path);
    FUZZ_CHECK(name.size() == prefix.size() + 4 + extension.size());
    const std::size_t p = prefix.size();
    FUZZ_CHECK((name[p] >= 'A' && name[p] <= 'L') || name[p] == 'Y');
    FUZZ_CHECK(name[p + 1] >= '0' && name[p + 1] <= '3' && name[p + 2] >= '0' &&
               name[p + 2] <= '9');
    FUZZ_CHECK(name.compare(p + 4, std::string::npos, extension) == 0);
    if (Engine().IsRmgFile) {
        const char c = name[p + 3];
        FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'N'));
    }
    return 0;
}
