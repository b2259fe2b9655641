#include "pipeline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine_state.h"
#include "file_ops.h"
#include "output_name.h"
#include "records.h"
#include "temp_dir.h"

namespace quenrix::test {
namespace {

// The first GPS time as the engine keeps it: the record's four bytes.
std::uint32_t RecordOrder(std::uint32_t seconds) {
    Bytes bytes(4);
    PutBigEndian32(bytes, 0, seconds);
    std::uint32_t value;
    std::memcpy(&value, bytes.data(), 4);
    return value;
}

class OutputNameTest : public TempDirTest {
  protected:
    std::string Name(const std::string& input, std::uint32_t seconds, bool rmg,
                     const std::string& folder) {
        Engine().IsRmgFile = rmg ? 1 : 0;
        Engine().IsSigFile = rmg ? 0 : 1;
        // Written with "/", worked on with the system's separator.
        const std::string name = BuildOutputFileName(
            GetFileNamePrefix(Native(input)), RecordOrder(seconds), Native(input), Native(folder));
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

// With the clock at 2013-10-01 10:00 a time of 1993 was stamped by a
// rolled-over receiver; one of 2005 was not.
const std::uint32_t kOld = Gps(1994, 1, 2, 14, 10);  // becomes 2013-08-18 14:10
const std::uint32_t kRecent = Gps(2005, 5, 5);

class PipelineTest : public TempDirTest {
  protected:
    std::vector<std::string> Log() {
        std::vector<std::string> lines = LogMessages();
        std::filesystem::remove(LogPath());
        return lines;
    }
};

TEST_F(PipelineTest, SigFileEndToEnd) {
    const std::string input = Path("1234L27B.SIG");
    WriteBytes(input, Concat({Record(0x62, 26, {{14, kOld}}), Record(0x50, 23, {{2, kOld}}),
                              Record(0x50, 23, {{2, kRecent}})}));
    EXPECT_EQ(ConvertGpsFile(input, 1, 0), kConverted);
    const std::uint32_t fixed = kOld + 619315200u;  // 2013-08-18 14:10
    EXPECT_EQ(ReadBytes(Engine().WorkFileName),
              Concat({Record(0x62, 26, {{14, fixed}}), Record(0x50, 23, {{2, fixed}}),
                      Record(0x50, 23, {{2, kRecent}})}));
    EXPECT_EQ(Engine().RolloverFound, 1);
    EXPECT_EQ(Engine().IsSigFile, 1);
    EXPECT_EQ(Engine().OutputFilePath, Path("1234H18B.SIG"));
    EXPECT_EQ(Log(), std::vector<std::string>{input});
    EXPECT_TRUE(FileExists(input));  // the pipeline never touches its input
}

TEST_F(PipelineTest, RmgFileKeepsItsReceiverType) {
    SetNow(2035, 1, 1, 12, 0);
    const std::string input = Path("1234A01B.RM3");
    const std::uint32_t t = Gps(2016, 1, 1, 9);
    WriteBytes(input, Concat({PositionMonitor(t, 1), Section(0x91, 2, 2, t)}));
    EXPECT_EQ(ConvertGpsFile(input, 1, 0), kConverted);
    EXPECT_EQ(Engine().RmgReceiverType, 77);
    EXPECT_EQ(Engine().IsRmgFile, 1);
    EXPECT_EQ(Engine().RolloverFound, 1);
    EXPECT_EQ(ReadBytes(Engine().WorkFileName),
              Concat({PositionMonitor(t + 619315200u, 1), Section(0x91, 2, 2, t + 619315200u)}));
    EXPECT_EQ(Engine().OutputFilePath, Path("1234H179.RM3"));  // 2035-08-17 09:00
    EXPECT_EQ(Log(), (std::vector<std::string>{input, " > RMGType：KQ-77"}));
}

TEST_F(PipelineTest, ExtensionDecidesTheKind) {
    for (const char* name : {"x.sig", "x.Sig", "x.SIGB"}) {
        WriteBytes(Path(name), Record(0x50, 23, {{2, kRecent}}));
        EXPECT_EQ(ConvertGpsFile(Path(name)), kConverted) << name;
        EXPECT_EQ(Engine().IsSigFile, 1) << name;
    }
    for (const char* name : {"x.RMG", "x.rm0", "x.RM5"}) {
        WriteBytes(Path(name), PositionMonitor(kRecent));
        EXPECT_EQ(ConvertGpsFile(Path(name)), kConverted) << name;
        EXPECT_EQ(Engine().IsRmgFile, 1) << name;
    }
    Log();
    for (const char* name : {"x.RM6", "x.RM", "x.txt", "SIG"}) {
        WriteBytes(Path(name), PositionMonitor(kRecent));
        EXPECT_EQ(ConvertGpsFile(Path(name)), kFailed) << name;
        EXPECT_EQ(Log(), (std::vector<std::string>{Path(name), " > GPSファイルではありません"}));
        EXPECT_EQ(Engine().IsSigFile + Engine().IsRmgFile, 0);
    }
}

TEST_F(PipelineTest, MissingInputRunsItsCheckFirst) {
    EXPECT_EQ(ConvertGpsFile(Path("1234A01B.RMG")), kInputMissing);
    EXPECT_EQ(Log(), (std::vector<std::string>{Path("1234A01B.RMG"),
                                               " > ERROR：ファイルOpen失敗(RMGタイプ確認)",
                                               " > ERROR：入力ファイルなし"}));
    EXPECT_EQ(ConvertGpsFile(Path("1234L26Z.SIG")), kInputMissing);
    EXPECT_EQ(Log(), (std::vector<std::string>{Path("1234L26Z.SIG"),
                                               " > ERROR：ファイルOpen失敗(L26Z.SIG確認)",
                                               " > ERROR：入力ファイルなし"}));
    EXPECT_EQ(ConvertGpsFile(Path("1234L27Z.SIG")), kInputMissing);
    EXPECT_EQ(Log(),
              (std::vector<std::string>{Path("1234L27Z.SIG"), " > ERROR：入力ファイルなし"}));
}

TEST_F(PipelineTest, RolloverPointFileIsNotConverted) {
    std::filesystem::create_directory(Path("old"));
    WriteBytes(Engine().WorkFileName, Bytes{1, 2, 3});  // leftover of an earlier run
    WriteBytes(Path("1234L26Z.SIG"), Record(0x50, 23, {{2, 440899200u + 100}}));
    EXPECT_EQ(ConvertGpsFile(Path("1234L26Z.SIG")), kRolloverPoint);
    EXPECT_EQ(Log(), std::vector<std::string>{Path("1234L26Z.SIG")});
    EXPECT_FALSE(FileExists(Engine().WorkFileName));
    EXPECT_EQ(Engine().RolloverFound, 0);
}

TEST_F(PipelineTest, NoPositionRecordLeavesTheOutputNameEmpty) {
    WriteBytes(Path("1234L27B.SIG"), Record(0x50, 23, {{2, kOld}}));
    ASSERT_EQ(ConvertGpsFile(Path("1234L27B.SIG")), kConverted);
    ASSERT_FALSE(Engine().OutputFilePath.empty());
    WriteBytes(Path("1234L27C.SIG"), Record(0x51, 124, {{2, kOld}}));
    EXPECT_EQ(ConvertGpsFile(Path("1234L27C.SIG")), kConverted);
    EXPECT_TRUE(Engine().OutputFilePath.empty());
    EXPECT_EQ(Engine().RolloverFound, 1);
    EXPECT_EQ(Engine().FirstGpsTime, 0u);
}

TEST_F(PipelineTest, InputWithoutFolderGetsItsOutputBesideTheProgram) {
    WriteBytes("1234L27B.SIG", Record(0x50, 23, {{2, kOld}}));
    ASSERT_EQ(ConvertGpsFile("1234L27B.SIG"), kConverted);
    EXPECT_EQ(Engine().OutputFilePath, ExecutableFolder() + "1234H18B.SIG");
    EXPECT_TRUE(
        FileExists(Path(Engine().WorkFileName)));  // the work file stays in the current folder
}

TEST_F(PipelineTest, ConverterFailureIsReported) {
    std::filesystem::create_directory(Engine().WorkFileName);
    WriteBytes(Path("1234L27B.SIG"), Record(0x50, 23, {{2, kOld}}));
    EXPECT_EQ(ConvertGpsFile(Path("1234L27B.SIG")), kFailed);
    EXPECT_EQ(Log(),
              (std::vector<std::string>{Path("1234L27B.SIG"), " > ERROR：SIG作業ファイルOpen失敗",
                                        " > ERROR：作業ファイル作成失敗"}));
    EXPECT_TRUE(Engine().OutputFilePath.empty());
}

TEST_F(PipelineTest, StateOfThePreviousFileIsReset) {
    Engine().RolloverFound = 1;
    Engine().RmgReceiverType = 80;
    Engine().OutputFilePath = "/stale";
    Engine().FirstGpsTime = 7;
    WriteBytes(Path("a.SIG"), Record(0x60, 26));
    EXPECT_EQ(ConvertGpsFile(Path("a.SIG")), kConverted);
    EXPECT_EQ(Engine().RolloverFound, 0);
    EXPECT_EQ(Engine().RmgReceiverType, 0);
    EXPECT_EQ(Engine().FirstGpsTime, 0u);
    EXPECT_TRUE(Engine().OutputFilePath.empty());
}

TEST_F(PipelineTest, LongPathIsLoggedCutToTheShortLimit) {
    const std::string folder = Path(std::string(90, 'f'));
    std::filesystem::create_directory(folder);
    WriteBytes(folder + "/a.SIG", Record(0x60, 26));
    ConvertGpsFile(folder + "/a.SIG");
    EXPECT_EQ(Log(), std::vector<std::string>{(folder + "/a.SIG").substr(0, 80)});
}

}  // namespace
}  // namespace quenrix::test

namespace quenrix::test {
namespace {

TEST_F(PipelineTest, CountsTellWhatTheCorrectedFileLeavesOut) {
    SetNow(2030, 6, 1, 12, 0);  // reference day 2015-06-01: 1993 needs two steps, 2005 one
    const Bytes bad = Record(0x51, 124, {{2, kOld}}, false);
    const Bytes good = Record(0x50, 23, {{2, kOld}});
    const Bytes recent = Record(0x50, 23, {{2, kRecent}});
    const Bytes cut(good.begin(), good.begin() + 10);
    WriteBytes(Path("1234L27B.SIG"), Concat({Bytes{1, 2, 3}, good, bad, recent, cut}));
    ASSERT_EQ(ConvertGpsFile(Path("1234L27B.SIG")), kConverted);
    const ConversionCounts& counts = Engine().Counts;
    EXPECT_EQ(counts.accepted[0x50], 2u);
    EXPECT_EQ(counts.badCheck[0x51], 1u);
    EXPECT_EQ(counts.cutShort[0x50], 1u);
    EXPECT_EQ(counts.twoSteps, 1u);
    EXPECT_EQ(counts.oneStep, 1u);
    EXPECT_EQ(counts.inputBytes, 3 + 23 + 124 + 23 + 10u);
    EXPECT_EQ(counts.outputBytes, 46u);
    // The next file starts from zero.
    WriteBytes(Path("a.SIG"), Bytes{});
    ASSERT_EQ(ConvertGpsFile(Path("a.SIG")), kConverted);
    EXPECT_EQ(Engine().Counts.accepted[0x50], 0u);
}

TEST_F(PipelineTest, ReferenceDayAndReceiverTypeCanBeGiven) {
    const std::uint32_t t = Gps(2016, 1, 1);
    WriteBytes(Path("1234A01B.RMG"), PositionMonitor(t, 0));  // a type 74 receiver by its record
    Engine().ForcedRmgReceiverType = 80;
    Engine().ReferenceDayOverride = Gps(2020, 1, 1);
    ASSERT_EQ(ConvertGpsFile(Path("1234A01B.RMG")), kConverted);
    EXPECT_EQ(Engine().RmgReceiverType, 80);
    EXPECT_EQ(ReadBytes(Engine().WorkFileName), PositionMonitor(t + 619315200u, 0));
    EXPECT_EQ(Log(), std::vector<std::string>{Path("1234A01B.RMG")});  // no type check ran

    Engine().ReferenceDayOverride = Gps(2015, 12, 31);  // the time is not before it
    ASSERT_EQ(ConvertGpsFile(Path("1234A01B.RMG")), kConverted);
    EXPECT_EQ(Engine().RolloverFound, 0);
}

}  // namespace
}  // namespace quenrix::test
