// Wildcard patterns: the matcher against a plain recursive one, and
// ListFiles on a folder of known names.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "paths.h"

namespace {

bool Reference(const char* name, const char* pattern, int depth = 0) {
    if (depth > 64)
        return false;
    if (*pattern == '\0')
        return *name == '\0';
    if (*pattern == '*') {
        return Reference(name, pattern + 1, depth + 1) ||
               (*name != '\0' && Reference(name + 1, pattern, depth + 1));
    }
    if (*name == '\0')
        return false;
    const bool same = *pattern == '?' || std::tolower(static_cast<unsigned char>(*pattern)) ==
                                             std::tolower(static_cast<unsigned char>(*name));
    return same && Reference(name + 1, pattern + 1, depth + 1);
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

    bool expected = Reference(name.c_str(), pattern.c_str());
    if (!expected && pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos) {
        expected = Reference(name.c_str(), pattern.substr(0, pattern.size() - 2).c_str());
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
