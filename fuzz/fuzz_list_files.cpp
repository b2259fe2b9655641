// Wildcard patterns: the matcher against a plain recursive one, and
// ListFiles on a folder of known names.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "support/paths.h"

namespace {

// Whether `name` matches `pattern` ('*' any run, '?' one character, case
// ignored), worked out over every pair of positions: a plain recursion
// takes exponential time on patterns with many stars.
bool Reference(const std::string& name, const std::string& pattern) {
    const std::size_t n = name.size();
    const std::size_t p = pattern.size();
    // rest[i][j]: name from i on matches pattern from j on.
    std::vector<std::vector<char>> rest(n + 1, std::vector<char>(p + 1, 0));
    rest[n][p] = 1;
    for (std::size_t i = n + 1; i-- > 0;) {
        for (std::size_t j = p; j-- > 0;) {
            if (pattern[j] == '*') {
                rest[i][j] = rest[i][j + 1] || (i < n && rest[i + 1][j]);
            } else {
                const bool same = i < n && (pattern[j] == '?' ||
                                            std::tolower(static_cast<unsigned char>(pattern[j])) ==
                                                std::tolower(static_cast<unsigned char>(name[i])));
                rest[i][j] = same && rest[i + 1][j + 1];
            }
        }
    }
    return rest[0][0] != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenrix;
    fuzz::Folder();
    const std::string all(reinterpret_cast<const char*>(data), size);
    const std::size_t split = all.find('\0');
    std::string pattern = all.substr(0, std::min<std::size_t>(split, 24));
    std::string name = split == std::string::npos ? "" : all.substr(split + 1, 24);
    pattern.erase(std::remove(pattern.begin(), pattern.end(), '\0'), pattern.end());
    name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());

    bool expected = Reference(name, pattern);
    if (!expected && pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos) {
        expected = Reference(name, pattern.substr(0, pattern.size() - 2));
    }
    FUZZ_CHECK(MatchesWildcard(name, pattern) == expected);

    static const bool folderMade = [] {
        std::filesystem::create_directories(fuzz::In("list/sub.SIG"));
        for (const char* file : {"a.SIG", "B.sig", ".hidden", "x.exe", "Y.EXE", "noext", "c.RMG",
                                 "d.rm0", "long.name.with.dots"}) {
            fuzz::WriteFile(fuzz::In(std::string("list/") + file), nullptr, 0);
        }
        return true;
    }();
    (void)folderMade;
    if (pattern.find('/') == std::string::npos) {
        std::vector<std::string> list;
        const std::string folder = fuzz::In("list/");
        const std::int32_t count = ListFiles(list, folder + pattern);
        FUZZ_CHECK(count == static_cast<std::int32_t>(list.size()));
        for (const std::string& path : list) {
            const std::string file = FileNamePart(path);
            FUZZ_CHECK(path == folder + file);
            FUZZ_CHECK(pattern.empty() || MatchesWildcard(file, pattern));
            FUZZ_CHECK(!std::filesystem::is_directory(path));
            std::string extension = ExtensionPart(file);
            for (char& c : extension)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            FUZZ_CHECK(extension != ".exe");
        }
    }
    return 0;
}
