#include "engine/pipeline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <utility>

#include "engine/conversion.h"
#include "support/file_ops.h"
#include "support/oplog.h"
#include "tests/helpers/forwarding_layer.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

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
    EXPECT_EQ(Convert(input), ConvertResult::Converted);
    const std::uint32_t fixed = kOld + 619315200u;  // 2013-08-18 14:10
    EXPECT_EQ(ReadBytes(request.workFile),
              Concat({Record(0x62, 26, {{14, fixed}}), Record(0x50, 23, {{2, fixed}}),
                      Record(0x50, 23, {{2, kRecent}})}));
    EXPECT_TRUE(converted.timeCorrected);
    EXPECT_EQ(converted.kind, FileKind::Sig);
    EXPECT_EQ(converted.outputPath, Path("1234H18B.SIG"));
    EXPECT_EQ(Log(), std::vector<std::string>{input});
    EXPECT_TRUE(FileExists(input));  // the pipeline never touches its input
}

// A run's entries are held in memory until the next entry comes: a large
// file, whose next entry comes once it is converted, has them written
// first, so that a power cut during it cannot take them along.
TEST_F(PipelineTest, HeldEntriesAreWrittenBeforeALargeFileConverts) {
    const std::string input = Path("1234L27B.SIG");
    Bytes bytes;
    const Bytes record = Record(0x50, 23, {{2, kOld}});
    while (bytes.size() <= (1u << 20)) bytes.insert(bytes.end(), record.begin(), record.end());
    WriteBytes(input, bytes);
    const LogGroup run(opLog);
    opLog.Write("the run's first entry");  // written at once, the next held
    opLog.Write("the file before");
    std::vector<std::string> seen;
    request.pump = [&] {
        if (seen.empty())
            seen = LogMessages();
    };
    EXPECT_EQ(Convert(input), ConvertResult::Converted);
    EXPECT_EQ(seen, (std::vector<std::string>{"the run's first entry", "the file before", input}));
}

TEST_F(PipelineTest, RmgFileKeepsItsReceiverType) {
    SetNow(2035, 1, 1, 12, 0);
    const std::string input = Path("1234A01B.RM3");
    const std::uint32_t t = Gps(2016, 1, 1, 9);
    WriteBytes(input, Concat({PositionMonitor(t, 1), Section(0x91, 2, 2, t)}));
    EXPECT_EQ(Convert(input), ConvertResult::Converted);
    EXPECT_EQ(converted.receiverType, 77);
    EXPECT_EQ(converted.kind, FileKind::Rmg);
    EXPECT_TRUE(converted.timeCorrected);
    EXPECT_EQ(ReadBytes(request.workFile),
              Concat({PositionMonitor(t + 619315200u, 1), Section(0x91, 2, 2, t + 619315200u)}));
    EXPECT_EQ(converted.outputPath, Path("1234H179.RM3"));  // 2035-08-17 09:00
    EXPECT_EQ(Log(), (std::vector<std::string>{input, " > RMGType：KQ-77"}));
}

TEST_F(PipelineTest, ExtensionDecidesTheKind) {
    for (const char* name : {"x.sig", "x.Sig", "x.SIGB"}) {
        WriteBytes(Path(name), Record(0x50, 23, {{2, kRecent}}));
        EXPECT_EQ(Convert(Path(name)), ConvertResult::Converted) << name;
        EXPECT_EQ(converted.kind, FileKind::Sig) << name;
    }
    for (const char* name : {"x.RMG", "x.rm0", "x.RM5"}) {
        WriteBytes(Path(name), PositionMonitor(kRecent));
        EXPECT_EQ(Convert(Path(name)), ConvertResult::Converted) << name;
        EXPECT_EQ(converted.kind, FileKind::Rmg) << name;
    }
    Log();
    for (const char* name : {"x.RM6", "x.RM", "x.txt", "SIG"}) {
        WriteBytes(Path(name), PositionMonitor(kRecent));
        EXPECT_EQ(Convert(Path(name)), ConvertResult::Failed) << name;
        EXPECT_EQ(Log(), (std::vector<std::string>{Path(name), " > GPSファイルではありません"}));
        EXPECT_EQ(converted.kind, FileKind::Other);
    }
    EXPECT_EQ(ReasonText(converted.problem),
              "not a GPS file: no extension, not .SIG, .RMG or .RM0 to .RM5");
}

TEST_F(PipelineTest, MissingInputRunsItsCheckFirst) {
    EXPECT_EQ(Convert(Path("1234A01B.RMG")), ConvertResult::InputMissing);
    EXPECT_EQ(Log(), (std::vector<std::string>{Path("1234A01B.RMG"),
                                               " > ERROR：ファイルOpen失敗(RMGタイプ確認)",
                                               " > ERROR：入力ファイルなし"}));
    EXPECT_EQ(Convert(Path("1234L26Z.SIG")), ConvertResult::InputMissing);
    EXPECT_EQ(Log(), (std::vector<std::string>{Path("1234L26Z.SIG"),
                                               " > ERROR：ファイルOpen失敗(L26Z.SIG確認)",
                                               " > ERROR：入力ファイルなし"}));
    EXPECT_EQ(ReasonText(converted.problem), "input missing: no such file");
    EXPECT_EQ(Convert(Path("1234L27Z.SIG")), ConvertResult::InputMissing);
    EXPECT_EQ(Log(),
              (std::vector<std::string>{Path("1234L27Z.SIG"), " > ERROR：入力ファイルなし"}));
}

TEST_F(PipelineTest, RolloverPointFileIsNotConverted) {
    std::filesystem::create_directory(Path("old"));
    WriteBytes(request.workFile, Bytes{1, 2, 3});  // leftover of an earlier run
    WriteBytes(Path("1234L26Z.SIG"), Record(0x50, 23, {{2, 440899200u + 100}}));
    EXPECT_EQ(Convert(Path("1234L26Z.SIG")), ConvertResult::RolloverPoint);
    EXPECT_EQ(Log(), std::vector<std::string>{Path("1234L26Z.SIG")});
    EXPECT_FALSE(FileExists(request.workFile));
    EXPECT_FALSE(converted.timeCorrected);
}

// A check that reads its file to the end (no position record, no record of
// the rollover day) leaves it to be converted whole, from its start.
TEST_F(PipelineTest, FileItsCheckReadToTheEndIsConvertedWhole) {
    const Bytes orbit = Record(0x61, 74);
    WriteBytes(Path("1234A01B.RMG"), orbit);
    EXPECT_EQ(Convert(Path("1234A01B.RMG")), ConvertResult::Converted);
    EXPECT_EQ(converted.receiverType, 0);
    EXPECT_EQ(converted.counts.inputBytes, orbit.size());
    EXPECT_EQ(ReadBytes(request.workFile), orbit);

    WriteBytes(Path("1234L26Z.SIG"), Record(0x50, 23, {{2, kOld}}));
    EXPECT_EQ(Convert(Path("1234L26Z.SIG")), ConvertResult::Converted);
    EXPECT_EQ(converted.counts.inputBytes, 23u);
    EXPECT_EQ(ReadBytes(request.workFile), Record(0x50, 23, {{2, kOld + 619315200u}}));
}

#ifndef _WIN32  // Windows replaces no name while a file under it is open
// The check and the converter read one file, opened once: a file put under
// its name once the check has opened it is neither checked nor converted.
TEST_F(PipelineTest, CheckAndConverterReadTheFileOpenedOnce) {
    class ReplacedOnceOpened final : public ForwardingLayer {
      public:
        explicit ReplacedOnceOpened(std::function<void()> replace)
            : ForwardingLayer(native::CurrentLayer()), replace_(std::move(replace)) {}
        Handle OpenAt(Handle folder, const std::string& name, OpenAs how,
                      unsigned permissions) override {
            const Handle file = next_.OpenAt(folder, name, how, permissions);
            if (name == "1234A01B.RMG" && replace_)
                std::exchange(replace_, nullptr)();
            return file;
        }

      private:
        std::function<void()> replace_;
    } replaced(
        [&] { std::filesystem::rename(FsPath(Path("other")), FsPath(Path("1234A01B.RMG"))); });
    const Bytes checked = PositionMonitor(kRecent, 1);
    WriteBytes(Path("1234A01B.RMG"), checked);
    WriteBytes(Path("other"), PositionMonitor(kRecent + 60, 0));
    {
        const LayerInPlace inPlace(replaced);
        EXPECT_EQ(Convert(Path("1234A01B.RMG")), ConvertResult::Converted);
    }
    EXPECT_EQ(converted.receiverType, 77);
    EXPECT_EQ(ReadBytes(request.workFile), checked);
}
#endif

TEST_F(PipelineTest, NoPositionRecordLeavesTheOutputNameEmpty) {
    WriteBytes(Path("1234L27B.SIG"), Record(0x50, 23, {{2, kOld}}));
    ASSERT_EQ(Convert(Path("1234L27B.SIG")), ConvertResult::Converted);
    ASSERT_FALSE(converted.outputPath.empty());
    WriteBytes(Path("1234L27C.SIG"), Record(0x51, 124, {{2, kOld}}));
    EXPECT_EQ(Convert(Path("1234L27C.SIG")), ConvertResult::Converted);
    EXPECT_TRUE(converted.outputPath.empty());
    EXPECT_TRUE(converted.timeCorrected);
    EXPECT_EQ(converted.firstGpsTime, 0u);
}

TEST_F(PipelineTest, InputWithoutFolderGetsItsOutputBesideIt) {
    WriteBytes("1234L27B.SIG", Record(0x50, 23, {{2, kOld}}));
    ASSERT_EQ(Convert("1234L27B.SIG"), ConvertResult::Converted);
    EXPECT_EQ(converted.outputPath, "1234H18B.SIG");  // in the current folder, not the program's
    EXPECT_TRUE(FileExists(Path(request.workFile)));  // the work file stays in the current folder
}

TEST_F(PipelineTest, ConverterFailureIsReported) {
    std::filesystem::create_directory(request.workFile);
    WriteBytes(Path("1234L27B.SIG"), Record(0x50, 23, {{2, kOld}}));
    EXPECT_EQ(Convert(Path("1234L27B.SIG")), ConvertResult::Failed);
    EXPECT_EQ(Log(),
              (std::vector<std::string>{Path("1234L27B.SIG"), " > ERROR：SIG作業ファイルOpen失敗",
                                        " > ERROR：作業ファイル作成失敗"}));
    EXPECT_TRUE(converted.outputPath.empty());
    EXPECT_EQ(ReasonText(converted.problem),
              "cannot write the work file " + request.workFile + ": it is a folder");
}

TEST_F(PipelineTest, LongPathIsLoggedCutToTheShortLimit) {
    const std::string folder = Path(std::string(90, 'f'));
    std::filesystem::create_directory(folder);
    WriteBytes(folder + "/a.SIG", Record(0x60, 26));
    Convert(folder + "/a.SIG");
    EXPECT_EQ(Log(), std::vector<std::string>{(folder + "/a.SIG").substr(0, 80)})
        << ReasonText(converted.problem);
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
    ASSERT_EQ(Convert(Path("1234L27B.SIG")), ConvertResult::Converted);
    const ConversionCounts& counts = converted.counts;
    EXPECT_EQ(counts.accepted[0x50], 2u);
    EXPECT_EQ(counts.badCheck[0x51], 1u);
    EXPECT_EQ(counts.cutShort[0x50], 1u);
    EXPECT_EQ(counts.twoSteps, 1u);
    EXPECT_EQ(counts.oneStep, 1u);
    EXPECT_EQ(counts.inputBytes, 3 + 23 + 124 + 23 + 10u);
    EXPECT_EQ(counts.outputBytes, 46u);
}

TEST_F(PipelineTest, ReferenceDayAndReceiverTypeCanBeGiven) {
    const std::uint32_t t = Gps(2016, 1, 1);
    WriteBytes(Path("1234A01B.RMG"), PositionMonitor(t, 0));  // a type 74 receiver by its record
    request.receiverType = 80;
    request.referenceDay = Gps(2020, 1, 1);
    ASSERT_EQ(Convert(Path("1234A01B.RMG")), ConvertResult::Converted);
    EXPECT_EQ(converted.receiverType, 80);
    EXPECT_EQ(ReadBytes(request.workFile), PositionMonitor(t + 619315200u, 0));
    EXPECT_EQ(Log(), std::vector<std::string>{Path("1234A01B.RMG")});  // no type check ran

    request.referenceDay = Gps(2015, 12, 31);  // the time is not before it
    ASSERT_EQ(Convert(Path("1234A01B.RMG")), ConvertResult::Converted);
    EXPECT_FALSE(converted.timeCorrected);
}

}  // namespace
}  // namespace quenrix::test
