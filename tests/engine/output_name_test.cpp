#include "engine/output_name.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/batch_actions.h"
#include "engine/conversion.h"
#include "engine/pipeline.h"
#include "support/file_ops.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

class OutputNameTest : public TempDirTest {
  protected:
    std::string Name(const std::string& input, std::uint32_t seconds, bool rmg,
                     const std::string& folder) {
        // Written with "/", worked on with the system's separator.
        const std::string name = BuildOutputFileName(rmg ? FileKind::Rmg : FileKind::Sig,
                                                     GetFileNamePrefix(Native(input)), seconds,
                                                     Native(input), Native(folder));
        return Portable(name);
    }
};

TEST_F(OutputNameTest, WorkedExamples) {
    EXPECT_EQ(Name("/GPSDATA/1234A01B.RMG", Gps(2013, 9, 20, 14, 10), true, "/GPSDATA/"),
              "/GPSDATA/1234I20E.RMG");
    EXPECT_EQ(Name("/GPSDATA/1234A01B.RM3", Gps(2013, 9, 20, 9, 40), true, "/GPSDATA/"),
              "/GPSDATA/1234I209.RM3");
    EXPECT_EQ(Name("/LOG/1234L26A.SIG", Gps(2013, 8, 11, 0, 20), false, "/LOG/"),
              "/LOG/1234H11Z.SIG");
    EXPECT_EQ(Name("/LOG/1234L27B.SIG", Gps(2013, 8, 12, 3), false, "/LOG/"), "/LOG/1234H12B.SIG");
    EXPECT_EQ(Name("/GPSDATA/1234L27B.RMG", Gps(2013, 12, 5, 23), true, "/GPSDATA/"),
              "/GPSDATA/1234L05N.RMG");
    EXPECT_EQ(Name("/GPSDATA/1234L27B.RMG", Gps(2060, 1, 1), true, "/GPSDATA/"),
              "/GPSDATA/1234Y000.RMG");
    EXPECT_EQ(Name("1234L27B.SIG", Gps(2013, 8, 12, 3), false, "/opt/quenrix/"),
              "/opt/quenrix/1234H12B.SIG");
}

TEST_F(OutputNameTest, SigIsMarkedZInTheTwoRolloverHoursOnly) {
    for (std::uint32_t start : {Gps(2013, 8, 11), Gps(2033, 3, 27)}) {
        EXPECT_EQ(Name("/d/1234L27B.SIG", start, false, "/d"),
                  "/d/1234" + std::string(start == Gps(2013, 8, 11) ? "H11Z" : "C27Z") + ".SIG");
        EXPECT_EQ(Name("/d/1234L27B.SIG", start + 3599, false, "/d").substr(10, 1), "Z");
        EXPECT_EQ(Name("/d/1234L27B.SIG", start + 3600, false, "/d").substr(10, 1), "B");
        EXPECT_EQ(Name("/d/1234L27B.SIG", start - 1, false, "/d").substr(10, 1), "B");
    }
    // The hour of an RMG file is never "Z".
    EXPECT_EQ(Name("/d/1234L27B.RMG", Gps(2013, 8, 11, 0, 30), true, "/d"), "/d/1234H110.RMG");
}

TEST_F(OutputNameTest, HourCharactersOfRmgFiles) {
    const char expected[] = "0123456789ABCDEFGHIJKLMN";
    for (int hour = 0; hour < 24; ++hour) {
        EXPECT_EQ(Name("/d/ABCD.RMG", Gps(2014, 1, 31, hour), true, "/d").substr(3),
                  std::string("ABCDA31") + expected[hour] + ".RMG");
    }
}

TEST_F(OutputNameTest, From2059OnTheNameIsY00) {
    EXPECT_EQ(Name("/d/1234L27B.RMG", 2492640000u, true, "/d"), "/d/1234Y000.RMG");
    EXPECT_EQ(Name("/d/1234L27B.SIG", 2492640000u, false, "/d"), "/d/1234Y00B.SIG");
    EXPECT_EQ(Name("/d/1234L27B.RMG", 2492639999u, true, "/d"), "/d/1234L31N.RMG");
}

TEST_F(OutputNameTest, ShortSigNameTakesTheHourAndLongExtensionsStayWhole) {
    EXPECT_EQ(Name("/d/AB.SIG", Gps(2013, 8, 12, 3), false, "/d"), "/d/AB.SH123.SIG");
    // The eighth byte counts the extension too: here it is the dot.
    EXPECT_EQ(Name("/d/ABCDEFG.SIG", Gps(2013, 8, 12, 15), false, "/d"), "/d/ABCDH12..SIG");
    EXPECT_EQ(Name("/d/1234L27B.SIG_with_a_long_tail", Gps(2013, 8, 12, 3), false, "/d"),
              "/d/1234H12B.SIG_with_a_long_tail");
}

TEST_F(OutputNameTest, PrefixCountsTheExtension) {
    EXPECT_EQ(GetFileNamePrefix(Native("/A/ABC.RMG")), "ABC.");
    EXPECT_EQ(GetFileNamePrefix(Native("/A/1234L27B.RMG")), "1234");
    EXPECT_EQ(GetFileNamePrefix(Native("/A/ABC")), "");
    EXPECT_EQ(GetFileNamePrefix(Native("/ABCDEF/")), "");
}

TEST_F(OutputNameTest, AsciiNamesWithABlankKeepTheirBytes) {
    EXPECT_EQ(Name("/d/AB C01D.SIG", Gps(2013, 9, 20, 14, 10), false, "/d"), "/d/AB CI20..SIG");
    EXPECT_EQ(Name("/d/AB C01D.RMG", Gps(2013, 9, 20, 14, 10), true, "/d"), "/d/AB CI20E.RMG");
}

// Names that are not ASCII, in Linux and in Windows paths: both give the
// same output name.
struct NamedCase {
    const char* input;
    bool rmg;
    const char* expected;
};

// 2013-09-20 14:10: month letter I, day 20, hour character E.
const NamedCase kJapaneseNames[] = {
    // The prefix is two double-byte characters; the eighth byte is the
    // first half of "ー": the hour stands in.
    {"観測 データ.SIG", false, "観測I20E.SIG"},
    {"観測 データ.RMG", true, "観測I20E.RMG"},
    // Half-width katakana are one byte each in code page 932.
    {"ｶﾀｶﾅ.RMG", true, "ｶﾀｶﾅI20E.RMG"},
    {"1234L27ｱ.SIG", false, "1234I20ｱ.SIG"},
    // Mixed: "観" is bytes 3-4, "D" byte 8.
    {"AB観測CD.SIG", false, "AB観I20D.SIG"},
    // A double-byte character across byte 4: whole characters, then "_".
    {"ABC観測.RMG", true, "ABC_I20E.RMG"},
    {"A観測.SIG", false, "A観_I20I.SIG"},
    // Across byte 8: its first half (here) or its second half (next).
    {"1234L27観.SIG", false, "1234I20E.SIG"},
    {"1234L2観B.SIG", false, "1234I20E.SIG"},
    // A double-byte extension is copied whole.
    {"1234L27B.SIGデ", false, "1234I20B.SIGデ"},
};

TEST_F(OutputNameTest, JapaneseNamesCountCodePage932Bytes) {
    request.log = nullptr;
    for (const NamedCase& c : kJapaneseNames) {
        const FileKind kind = c.rmg ? FileKind::Rmg : FileKind::Sig;
        const std::uint32_t t = Gps(2013, 9, 20, 14, 10);
        const std::string linux = std::string("/d/") + c.input;
        EXPECT_EQ(BuildOutputFileName(kind, GetFileNamePrefix(linux, PathStyle::Posix), t, linux,
                                      "/d", PathStyle::Posix),
                  std::string("/d/") + c.expected)
            << c.input;
        const std::string windows = std::string("D:\\") + c.input;
        EXPECT_EQ(BuildOutputFileName(kind, GetFileNamePrefix(windows, PathStyle::Windows), t,
                                      windows, "D:\\", PathStyle::Windows),
                  std::string("D:\\") + c.expected)
            << c.input;
    }
}

TEST_F(OutputNameTest, NamesCodePage932CannotSpellCountWholeUtf8Characters) {
    request.log = nullptr;
    const NamedCase cases[] = {
        {"Straße12.SIG", false, "StraI201.SIG"},  // "ß" is bytes 5-6, "1" byte 8
        {"Straße12.RMG", true, "StraI20E.RMG"},
        {"aß😀b.RMG", true, "aß_I20E.RMG"},       // "😀" would be cut at byte 4
        {"abcdef😀.SIG", false, "abcdI20E.SIG"},  // byte 8 is inside "😀"
        // The wave dash has two UTF-8 spellings and only one comes back
        // from code page 932: this one is counted in UTF-8 (3 bytes).
        {"ab〜c.RMG", true, "ab__I20E.RMG"},
    };
    for (const NamedCase& c : cases) {
        const FileKind kind = c.rmg ? FileKind::Rmg : FileKind::Sig;
        const std::string path = std::string("/d/") + c.input;
        EXPECT_EQ(BuildOutputFileName(kind, GetFileNamePrefix(path, PathStyle::Posix),
                                      Gps(2013, 9, 20, 14, 10), path, "/d", PathStyle::Posix),
                  std::string("/d/") + c.expected)
            << c.input;
    }
    // A name that is not UTF-8 keeps its bytes, one character each.
    EXPECT_EQ(GetFileNamePrefix("/d/\xff\xfe\xfd\xfc\xfb.RMG", PathStyle::Posix),
              "\xff\xfe\xfd\xfc");
}

// The whole road on this system: a file with a Japanese name is converted,
// stored under a name that is there to be opened, and logged by it.
TEST_F(OutputNameTest, JapaneseNameIsStoredAndLoggedAsTheFileThatIsThere) {
    SetNow(2013, 10, 1, 10, 0);
    const std::string input = Path("観測 データ.SIG");
    WriteBytes(input, Record(0x50, 23, {{2, Gps(1994, 2, 4, 14, 10)}}));  // 2013-09-20 14:10
    const std::vector<std::string> inputs{input};
    BatchFileActions actions(inputs, {.deleteInputs = true});
    ASSERT_EQ(Convert(input), ConvertResult::Converted);
    const FileOutcome outcome = actions.Apply(0, request, converted);
    const std::string expected = Path("観測I20E.SIG");
    EXPECT_TRUE(outcome.stored);
    EXPECT_EQ(outcome.outputPath, expected);
    EXPECT_TRUE(FileExists(expected));
    EXPECT_FALSE(FileExists(input));
    EXPECT_EQ(ReadBytes(expected), Record(0x50, 23, {{2, Gps(2013, 9, 20, 14, 10)}}));
    const std::vector<std::string> messages = LogMessages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[1], " > 補正後ファイル名  " + expected);
    EXPECT_EQ(outcome.statusLines.front(), "補正後ファイル名  観測I20E.SIG");
}

}  // namespace
}  // namespace quenrix::test
