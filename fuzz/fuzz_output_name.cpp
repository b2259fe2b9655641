// Output names for any prefix, first time, input path and file kind: the
// layout holds, a cut never splits a character, and a UTF-8 input name
// gives a UTF-8 output name.
#include <cstring>
#include <string>

#include "engine/output_name.h"
#include "fuzz/fuzz_common.h"
#include "support/paths.h"
#include "support/utf8.h"

namespace {

bool ValidUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t n = quenrix::utf8::SequenceLength(p[i]);
        if ((p[i] >= 0x80 && n == 1) || quenrix::utf8::ReplacedLength(p + i, text.size() - i) != n)
            return false;
        i += n;
    }
    return true;
}

bool IsHourCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'N');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenrix;
    if (size < 5)
        return 0;
    fuzz::Reset();
    const FileKind kind = (data[0] & 1) != 0 ? FileKind::Rmg : FileKind::Sig;
    std::uint32_t firstTime;
    std::memcpy(&firstTime, data + 1, 4);
    const std::string path(reinterpret_cast<const char*>(data + 5), size - 5);
    const std::string inputName = FileNamePart(path);
    const std::string prefix = GetFileNamePrefix(path);
    const std::string output = BuildOutputFileName(kind, prefix, firstTime, path, "/out");
    FUZZ_CHECK(output.compare(0, 5, "/out/") == 0);
    const std::string name = output.substr(5);
    const std::string extension = ExtensionPart(path);
    const std::size_t p = prefix.size();
    FUZZ_CHECK(name.size() >= p + 4 + extension.size());
    FUZZ_CHECK(name.compare(0, p, prefix) == 0);
    // The prefix is whole characters of the name, filled up with "_".
    const std::size_t kept = prefix.find_last_not_of('_') + 1;
    FUZZ_CHECK(inputName.compare(0, kept, prefix, 0, kept) == 0);
    FUZZ_CHECK((name[p] >= 'A' && name[p] <= 'L') || name[p] == 'Y');
    FUZZ_CHECK(name[p + 1] >= '0' && name[p + 1] <= '3' && name[p + 2] >= '0' &&
               name[p + 2] <= '9');
    FUZZ_CHECK(name.compare(name.size() - extension.size(), std::string::npos, extension) == 0);
    const std::string sequence = name.substr(p + 3, name.size() - extension.size() - p - 3);
    if (kind == FileKind::Rmg) {
        FUZZ_CHECK(sequence.size() == 1 && IsHourCharacter(sequence[0]));
    } else if (sequence.size() != 1) {
        // One character of the name that is one byte in code page 932
        // (half-width katakana: three in UTF-8).
        FUZZ_CHECK(sequence.size() == 3 && inputName.find(sequence) != std::string::npos);
    }
    if (ValidUtf8(inputName)) {
        FUZZ_CHECK(ValidUtf8(name));
    }
    return 0;
}
