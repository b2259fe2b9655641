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

// Paths are UTF-8 on both systems: "表" ends in 0x5C, the byte of "\", only
// in code page 932, and "あ" holds bytes that code page 932 would read as a
// character's first byte, the last just before a separator.
const std::string kHyo = "表";
const std::string kA = "あ";

TEST(JoinPathTest, WindowsRules) {
    EXPECT_EQ(JoinPath("", "a.SIG", kWin), "a.SIG");
    EXPECT_EQ(JoinPath("C:", "a.SIG", kWin), "C:a.SIG");
    EXPECT_EQ(JoinPath("C:\\", "a.SIG", kWin), "C:\\a.SIG");
    EXPECT_EQ(JoinPath("C:\\data", "a.SIG", kWin), "C:\\data\\a.SIG");
    EXPECT_EQ(JoinPath("C:\\data\\", "a.SIG", kWin), "C:\\data\\a.SIG");
    EXPECT_EQ(JoinPath("C:\\data", "", kWin), "C:\\data\\");
    EXPECT_EQ(JoinPath("data", "a.SIG", kWin), "data\\a.SIG");
    EXPECT_EQ(JoinPath("\\", "a.SIG", kWin), "\\a.SIG");
    EXPECT_EQ(JoinPath("C:\\" + kHyo, "a.SIG", kWin), "C:\\" + kHyo + "\\a.SIG");
    EXPECT_EQ(JoinPath("C:\\" + kHyo + "\\", "a.SIG", kWin), "C:\\" + kHyo + "\\a.SIG");
    EXPECT_EQ(JoinPath("C:\\" + kA + "\\", "a.SIG", kWin), "C:\\" + kA + "\\a.SIG");
    // Network shares and the long form.
    EXPECT_EQ(JoinPath("\\\\server\\share", "a.SIG", kWin), "\\\\server\\share\\a.SIG");
    EXPECT_EQ(JoinPath("\\\\server\\share\\", "a.SIG", kWin), "\\\\server\\share\\a.SIG");
    EXPECT_EQ(JoinPath("\\\\?\\C:\\data", "a.SIG", kWin), "\\\\?\\C:\\data\\a.SIG");
}

// The root of a path is never split into a folder and a name: a network
// share "\\server\share" is a root as "C:\" is.
TEST(PathRootTest, WindowsRootsAndTheLongForm) {
    EXPECT_EQ(RootLength("C:\\data", kWin), 3u);
    EXPECT_EQ(RootLength("C:data", kWin), 2u);
    EXPECT_EQ(RootLength("\\data", kWin), 1u);
    EXPECT_EQ(RootLength("data\\x", kWin), 0u);
    EXPECT_EQ(RootLength("\\\\server\\share\\data", kWin), 15u);
    EXPECT_EQ(RootLength("\\\\server\\share", kWin), 14u);
    EXPECT_EQ(RootLength("\\\\?\\C:\\data", kWin), 7u);
    EXPECT_EQ(RootLength("\\\\?\\UNC\\server\\share\\data", kWin), 21u);
    EXPECT_EQ(RootLength("/data", kPosix), 1u);
    EXPECT_EQ(RootLength("\\\\server\\share", kPosix), 0u);

    EXPECT_EQ(FileNamePart("\\\\server\\share", kWin), "");
    EXPECT_EQ(FolderPart("\\\\server\\share", kWin), "\\\\server\\share");
    EXPECT_EQ(FolderPart("\\\\server\\share\\*.SIG", kWin), "\\\\server\\share\\");
    EXPECT_EQ(FileNamePart("\\\\server\\share\\*.SIG", kWin), "*.SIG");
    EXPECT_EQ(FolderPart("\\\\server\\share\\gps\\a.SIG", kWin), "\\\\server\\share\\gps\\");
    EXPECT_EQ(FileNamePart("\\\\?\\UNC\\server\\share", kWin), "");
    EXPECT_EQ(FileNamePart("\\\\?\\C:\\gps\\a.SIG", kWin), "a.SIG");
    EXPECT_EQ(FolderPart("\\\\?\\C:\\gps\\a.SIG", kWin), "\\\\?\\C:\\gps\\");

    EXPECT_EQ(LongPathForm("C:\\gps\\a.SIG"), "\\\\?\\C:\\gps\\a.SIG");
    EXPECT_EQ(LongPathForm("\\\\server\\share\\a.SIG"), "\\\\?\\UNC\\server\\share\\a.SIG");
    EXPECT_EQ(LongPathForm("\\\\?\\C:\\a.SIG"), "\\\\?\\C:\\a.SIG");
    EXPECT_EQ(LongPathForm("\\\\.\\pipe\\x"), "\\\\.\\pipe\\x");
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

TEST(PathPartsTest, SplitsBothStyles) {
    EXPECT_EQ(FileNamePart("C:\\GPS\\1234A01B.RMG", kWin), "1234A01B.RMG");
    EXPECT_EQ(FolderPart("C:\\GPS\\1234A01B.RMG", kWin), "C:\\GPS\\");
    EXPECT_EQ(FileNamePart("C:a.SIG", kWin), "a.SIG");
    EXPECT_EQ(FolderPart("C:a.SIG", kWin), "C:");
    EXPECT_EQ(FileNamePart("C:\\" + kHyo, kWin), kHyo);
    EXPECT_EQ(FileNamePart("C:\\" + kA + "\\1.SIG", kWin), "1.SIG");
    EXPECT_EQ(FolderPart("C:\\" + kA + "\\1.SIG", kWin), "C:\\" + kA + "\\");
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

// Windows opens these names as devices, whatever their extension.
TEST(PathsTest, ReservedDeviceNames) {
    for (const char* name :
         {"CON", "nul.SIG", "COM1.RMG", "com9", "LPT1 .SIG", "aux.x.y", "COM\xC2\xB9.SIG", "prn"})
        EXPECT_TRUE(IsReservedDeviceName(name)) << name;
    for (const char* name :
         {"CONSOLE.SIG", "COM0.SIG", "COM10", "LPT", "xNUL.SIG", "1234L27B.SIG", "", ".NUL"})
        EXPECT_FALSE(IsReservedDeviceName(name)) << name;
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
