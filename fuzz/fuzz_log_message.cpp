// The log's message cut on any text.
#include <string>

#include "fuzz/fuzz_common.h"
#include "support/cp932.h"
#include "support/oplog.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenrix;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string whole = Utf8ToCp932(text);
    for (std::size_t limit : {kShortLogLimit, kLongLogLimit}) {
        const std::string cut = PrepareLogMessage(text, limit);
        // A prefix of the converted text, on one line, within the limit.
        FUZZ_CHECK(whole.compare(0, cut.size(), cut) == 0);
        // Cut at the first CR LF, else the first CR, else the first LF: a
        // lone CR or LF before the first CR LF stays.
        FUZZ_CHECK(cut.find("\r\n") == std::string::npos);
        if (whole.find("\r\n") == std::string::npos) {
            FUZZ_CHECK(cut.find('\r') == std::string::npos);
            if (whole.find('\r') == std::string::npos)
                FUZZ_CHECK(cut.find('\n') == std::string::npos);
        }
        FUZZ_CHECK(cut.size() <= limit + 1);
        if (cut.size() == limit + 1) {
            // One byte more only to keep a double-byte character whole.
            std::size_t i = 0;
            while (i < limit - 1) i += IsCp932LeadByte(static_cast<unsigned char>(cut[i])) ? 2 : 1;
            FUZZ_CHECK(i == limit - 1 && IsCp932LeadByte(static_cast<unsigned char>(cut[i])));
        }
        // Cut where the text would run on: never in the middle of a line
        // that fits.
        const std::size_t lineEnd = whole.find_first_of("\r\n");
        if (lineEnd == std::string::npos && whole.size() <= limit)
            FUZZ_CHECK(cut == whole);
    }
    return 0;
}
