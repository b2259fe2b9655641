#include "support/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

constexpr PathStyle kWin = PathStyle::Windows;
constexpr PathStyle kPosix = PathStyle::Posix;

// "表" and "ソ" in code page 932 end in 0x5C, the byte of "\".
const std::string kHyo = "\x95\x5c";
const std::string kSo = "\x83\x5c";

TEST(JoinPathTest, WindowsRules) {
    EXPECT_EQ(JoinPath("", "a.SIG", kWin), "a.SIG");
    EXPECT_EQ(JoinPath("C:", "a.SIG", kWin), "C:a.SIG");
    EXPECT_EQ(JoinPath("C:\\", "a.SIG", kWin), "C:\\a.SIG");
    EXPECT_EQ(JoinPath("C:\\data", "a.SIG", kWin), "C:\\data\\a.SIG");
    EXPECT_EQ(JoinPath("C:\\data\\", "a.SIG", kWin), "C:\\data\\a.SIG");
    EXPECT_EQ(JoinPath("C:\\data", "", kWin), "C:\\data\\");
    EXPECT_EQ(JoinPath("data", "a.SIG", kWin), "data\\a.SIG");
    EXPECT_EQ(JoinPath("\\", "a.SIG", kWin), "\\a.SIG");
    // The 0x5C that ends a double-byte character is no separator.
    EXPECT_EQ(JoinPath("C:\\" + kHyo, "a.SIG", kWin), "C:\\" + kHyo + "\\a.SIG");
    EXPECT_EQ(JoinPath("C:\\" + kSo, "a.SIG", kWin), "C:\\" + kSo + "\\a.SIG");
    // Only the byte before the last one is tested, on its own.
    EXPECT_EQ(JoinPath("C:\\" + kHyo + "\\", "a.SIG", kWin), "C:\\" + kHyo + "\\a.SIG");
}

TEST(JoinPathTest, PosixRules) {
    EXPECT_EQ(JoinPath("", "a.SIG", kPosix), "a.SIG");
    EXPECT_EQ(JoinPath("/", "a.SIG", kPosix), "/a.SIG");
    EXPECT_EQ(JoinPath("/data", "a.SIG", kPosix), "/data/a.SIG");
    EXPECT_EQ(JoinPath("/data/", "a.SIG", kPosix), "/data/a.SIG");
    EXPECT_EQ(JoinPath("/data", "", kPosix), "/data/");
    EXPECT_EQ(JoinPath("C:", "a", kPosix), "C:/a");  // no drives here
    EXPECT_EQ(JoinPath("/" + kHyo + "/", "a", kPosix), "/" + kHyo + "/a");
}

TEST(CharAtTest, OneBasedWithRangeCheck) {
    EXPECT_EQ(CharAt("abc", 1), 'a');
    EXPECT_EQ(CharAt("abc", 3), 'c');
    EXPECT_THROW(CharAt("abc", 0), std::out_of_range);
    EXPECT_THROW(CharAt("abc", 4), std::out_of_range);
    EXPECT_THROW(CharAt("", 1), std::out_of_range);
}

TEST(PathPartsTest, SplitsBothStyles) {
    EXPECT_EQ(FileNamePart("C:\\GPS\\1234A01B.RMG", kWin), "1234A01B.RMG");
    EXPECT_EQ(FolderPart("C:\\GPS\\1234A01B.RMG", kWin), "C:\\GPS\\");
    EXPECT_EQ(FileNamePart("C:a.SIG", kWin), "a.SIG");
    EXPECT_EQ(FolderPart("C:a.SIG", kWin), "C:");
    EXPECT_EQ(FileNamePart("C:\\" + kHyo, kWin), kHyo);
    EXPECT_EQ(FileNamePart("C:\\x\\" + kSo + "1.SIG", kWin), kSo + "1.SIG");
    EXPECT_EQ(FileNamePart("/gps/a\\b.SIG", kPosix), "a\\b.SIG");
    EXPECT_EQ(FolderPart("a.SIG", kPosix), "");
    EXPECT_EQ(ExtensionPart("/gps.d/x.tar.SIG", kPosix), ".SIG");
    EXPECT_EQ(ExtensionPart("/gps.d/noext", kPosix), "");
    EXPECT_EQ(ExtensionPart("C:\\a.b\\c", kWin), "");
}

TEST(WildcardTest, WindowsSearchRules) {
    EXPECT_TRUE(MatchesWildcard("README", "*.*"));
    EXPECT_TRUE(MatchesWildcard(".hidden", "*.*"));
    EXPECT_TRUE(MatchesWildcard("a.sig", "*.SIG"));
    EXPECT_TRUE(MatchesWildcard("1234L27B.SIG", "1234????.sig"));
    EXPECT_TRUE(MatchesWildcard("abc", "abc.*"));
    EXPECT_TRUE(MatchesWildcard("A.Sig", "a.sig"));
    EXPECT_FALSE(MatchesWildcard("a.SIGB", "*.SIG"));
    EXPECT_FALSE(MatchesWildcard("a.RMG", "*.SIG"));
    EXPECT_FALSE(MatchesWildcard("ab", "a?c"));
    EXPECT_TRUE(MatchesWildcard("axxbyyc", "a*b*c"));
}

class ListFilesTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::filesystem::create_directory(Path("data"));
        for (const char* name :
             {"b.SIG", "A.sig", ".hidden", "prog.exe", "TOOL.EXE", "noext", "c.RMG", "d.exe.bak"}) {
            std::ofstream(Path("data/") + name) << "x";
        }
        std::filesystem::create_directory(Path("data/sub.SIG"));
        std::ofstream(Path("data/sub.SIG/inner.SIG")) << "x";
    }
    std::vector<std::string> In(std::initializer_list<const char*> names) {
        std::vector<std::string> paths;
        for (const char* name : names) paths.push_back(Path("data/") + name);
        return paths;
    }
};

TEST(PathsTest, TypedSlashesBecomeTheWindowsSeparator) {
    EXPECT_EQ(WithNativeSeparators("C:/GPS/" + kHyo + "/1234L27B.SIG", kWin),
              "C:\\GPS\\" + kHyo + "\\1234L27B.SIG");
    EXPECT_EQ(WithNativeSeparators("data/x.SIG", kPosix), "data/x.SIG");
    EXPECT_EQ(WithNativeSeparators("a\\b", kPosix), "a\\b");  // a Linux name may hold a backslash
}

TEST_F(ListFilesTest, FolderWithSeparatorListsEveryFileSortedIgnoringCase) {
    std::vector<std::string> list{"stale"};
    EXPECT_EQ(ListFiles(list, Path("data/")), 6);
    EXPECT_EQ(list, In({".hidden", "A.sig", "b.SIG", "c.RMG", "d.exe.bak", "noext"}));
}

TEST_F(ListFilesTest, MasksAndSingleFiles) {
    std::vector<std::string> list;
    EXPECT_EQ(ListFiles(list, Path("data/*.SIG")), 2);
    EXPECT_EQ(list, In({"A.sig", "b.SIG"}));
    EXPECT_EQ(ListFiles(list, Path("data/*.*")), 6);
    EXPECT_EQ(ListFiles(list, Path("data/b.SIG")), 1);
    EXPECT_EQ(list, In({"b.SIG"}));
    EXPECT_EQ(ListFiles(list, Path("data/zzz.SIG")), 0);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(ListFiles(list, Path("data/prog.exe")), 0);
}

TEST_F(ListFilesTest, FolderWithoutSeparatorAndMissingFolderGiveNothing) {
    std::vector<std::string> list;
    EXPECT_EQ(ListFiles(list, Path("data")), 0);
    EXPECT_EQ(ListFiles(list, Path("missing/")), 0);
    EXPECT_EQ(ListFiles(list, Path("missing/*.SIG")), 0);
}

TEST_F(ListFilesTest, RelativePatternGivesRelativePaths) {
    std::vector<std::string> list;
    const std::string data = std::string("data") + kSeparator;
    EXPECT_EQ(ListFiles(list, data + "*.sig"), 2);
    EXPECT_EQ(list, (std::vector<std::string>{data + "A.sig", data + "b.SIG"}));
    std::filesystem::current_path("data");
    EXPECT_EQ(ListFiles(list, "*.RMG"), 1);
    EXPECT_EQ(list, std::vector<std::string>{"c.RMG"});
}

}  // namespace
}  // namespace quenrix::test
