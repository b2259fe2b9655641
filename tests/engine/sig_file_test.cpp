#include "engine/sig_file.h"
#include "support/binary_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>

#include "engine/conversion.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

// Times as a receiver with a rolled-over week counter stamps them, and
// what they become with the clock at 2013-10-01 10:00 (reference day
// 1998-10-01).
const std::uint32_t kOld = Gps(1993, 12, 26, 12);
const std::uint32_t kOldFixed = Gps(2013, 8, 11, 12);
const std::uint32_t kRecent = Gps(2005, 5, 5);

const char* const kSatelliteFailure = " > ERROR：衛星情報データ作業ファイル作成失敗";

class SigFileTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        converted.kind = FileKind::Sig;
    }
    // Converts `input` and returns whether it succeeded; the work file's
    // bytes land in `work`.
    bool Convert(const Bytes& input, Bytes& work) {
        WriteBytes(Path("in.SIG"), input);
        bool ok = Scan(ConvertSigFile, Path("in.SIG"), request.workFile);
        work = ReadBytes(request.workFile);
        return ok;
    }
};

Bytes Positioning(std::uint32_t t, bool good = true) {
    return Record(0x50, 23, {{2, t}}, good);
}
Bytes Satellite(std::uint32_t t, bool good = true) {
    return Record(0x51, 124, {{2, t}}, good);
}
Bytes Header(std::uint32_t t) {
    return Record(0x62, 26, {{14, t}});
}
Bytes Display(std::uint32_t a, std::uint32_t b) {
    return Record(0x55, 29, {{3, a}, {7, b}});
}
Bytes OrbitInfo() {
    return Record(0x60, 26, {{2, kOld}, {14, kOld}});
}
Bytes OrbitMessage() {
    return Record(0x61, 74, {{2, kOld}});
}
Bytes Navigation() {
    return Record(0x52, 35, {{2, kOld}});
}

TEST_F(SigFileTest, EveryKindConvertsByteExact) {
    const Bytes input = Concat({
        Bytes{0x00, 0x12, 0x50},  // junk, a kind byte without its sync byte
        Header(kOld),
        OrbitInfo(),
        OrbitMessage(),
        Positioning(kOld),
        Satellite(kOld),
        Navigation(),
        Display(kOld, kOld),
        Bytes{0x8B, 0x00, 0x77},  // a sync byte that starts nothing
        Header(kRecent),
        Positioning(kRecent),
        Satellite(kRecent),
        Display(kRecent, kRecent),
    });
    const Bytes expected = Concat({
        Header(kOldFixed),
        OrbitInfo(),
        OrbitMessage(),
        Positioning(kOldFixed),
        Satellite(kOldFixed),
        Navigation(),
        Display(kOldFixed, kOldFixed),
        Header(kRecent),
        Positioning(kRecent),
        Satellite(kRecent),
        Display(kRecent, kRecent),
    });
    Bytes work;
    ASSERT_TRUE(Convert(input, work));
    EXPECT_EQ(work, expected);
    EXPECT_TRUE(converted.timeCorrected);
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(SigFileTest, RecordsWithoutRolledOverTimesLeaveTheFlagAlone) {
    const Bytes input = Concat({Header(kRecent), OrbitInfo(), Navigation(), Positioning(kRecent)});
    Bytes work;
    ASSERT_TRUE(Convert(input, work));
    EXPECT_EQ(work, input);
    EXPECT_FALSE(converted.timeCorrected);
}

TEST_F(SigFileTest, DisplayMonitorFieldsAreCorrectedEachOnItsOwn) {
    Bytes work;
    ASSERT_TRUE(Convert(Concat({Display(kOld, kRecent), Display(kRecent, kOld)}), work));
    EXPECT_EQ(work, Concat({Display(kOldFixed, kRecent), Display(kRecent, kOldFixed)}));
}

TEST_F(SigFileTest, OrbitInformationWorkedExample) {
    Bytes record(26, 0);
    record[0] = 0x8B;
    record[1] = 0x60;
    record[25] = 0xEB;
    Bytes work;
    ASSERT_TRUE(Convert(record, work));
    EXPECT_EQ(work, record);
}

TEST_F(SigFileTest, EmptyOrRecordlessInputGivesAnEmptyWorkFile) {
    for (const Bytes& input :
         {Bytes{}, Bytes{0x01, 0x02, 0x8B}, Bytes{0x8B, 0x00, 0x8B, 0x99, 0x8B},
          Bytes{0x50, 0x51, 0x62, 0x55}}) {
        Bytes work{1};
        EXPECT_TRUE(Convert(input, work));
        EXPECT_TRUE(work.empty());
        EXPECT_TRUE(std::filesystem::exists(request.workFile));
    }
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(SigFileTest, KindByteMustFollowTheSyncByteDirectly) {
    const Bytes record = Positioning(kRecent);
    const Bytes withoutSync(record.begin() + 1, record.end());
    Bytes work;
    ASSERT_TRUE(Convert(Concat({withoutSync, Bytes{0x8B, 0x00}, withoutSync}), work));
    EXPECT_TRUE(work.empty());
    // 0x8B 0x8B 0x50: the second sync byte opens the record.
    ASSERT_TRUE(Convert(Concat({Bytes{0x8B}, record}), work));
    EXPECT_EQ(work, record);
}

TEST_F(SigFileTest, BytesBetweenRecordsOfAnyLengthAreSkipped) {
    // Runs of 0 to 40 bytes without a sync byte (kind bytes among them),
    // then lone sync bytes before bytes of no kind, before each record.
    const Bytes record = Positioning(kOld);
    const Bytes fixed = Positioning(kOldFixed);
    Bytes input, expected;
    for (std::size_t n = 0; n <= 40; ++n) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t byte = static_cast<std::uint8_t>(0x50 + i * 37 % 16);
            input.push_back(byte);
        }
        if (n % 3 == 0) {
            const Bytes lone = {0x8B, 0x00, 0x01, 0x8B, 0x8A};
            input.insert(input.end(), lone.begin(), lone.end());
        }
        input.insert(input.end(), record.begin(), record.end());
        expected.insert(expected.end(), fixed.begin(), fixed.end());
    }
    Bytes work;
    ASSERT_TRUE(Convert(input, work));
    EXPECT_EQ(work, expected);
    EXPECT_EQ(converted.counts.accepted[0x50], 41u);
}

TEST_F(SigFileTest, BadCheckValueSkipsTheWholeRecordEvenAValidOneInside) {
    // A satellite record with a wrong check value whose body holds a whole
    // valid positioning record: the scan resumes after its 124 bytes.
    Bytes bad = Satellite(kOld);
    const Bytes inner = Positioning(kOld);
    std::copy(inner.begin(), inner.end(), bad.begin() + 20);
    Seal(bad);
    bad.back() ^= 0x01;
    Bytes work;
    ASSERT_TRUE(Convert(Concat({bad, Navigation()}), work));
    EXPECT_EQ(work, Navigation());
    EXPECT_EQ(LogMessages(), std::vector<std::string>{kSatelliteFailure});
    EXPECT_FALSE(converted.timeCorrected);
    EXPECT_EQ(converted.firstGpsTime, 0u);
}

TEST_F(SigFileTest, RecordCutShortAtTheEndIsLeftOut) {
    const Bytes whole = Satellite(kRecent);
    const Bytes cut(whole.begin(), whole.begin() + 60);
    Bytes work;
    ASSERT_TRUE(Convert(Concat({Navigation(), cut}), work));
    EXPECT_EQ(work, Navigation());
    EXPECT_EQ(LogMessages(), std::vector<std::string>{kSatelliteFailure});
}

TEST_F(SigFileTest, EachKindLogsItsOwnFailureMessage) {
    Bytes input;
    for (Bytes record : {Header(kOld), OrbitInfo(), OrbitMessage(), Positioning(kOld),
                         Satellite(kOld), Navigation(), Display(kOld, kOld)}) {
        record.back() ^= 0x10;
        input = Concat({input, record});
    }
    Bytes work;
    ASSERT_TRUE(Convert(input, work));
    EXPECT_TRUE(work.empty());
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                                 " > ERROR：ヘッダ部SyncByte読み込み失敗",
                                 " > ERROR：軌道情報データ作業ファイル作成失敗",
                                 " > ERROR：軌道メッセージデータ作業ファイル作成失敗",
                                 " > ERROR：測位結果データ作業ファイル作成失敗",
                                 kSatelliteFailure,
                                 " > ERROR：航法メッセージデータ作業ファイル作成失敗",
                                 " > ERROR：表示モニターデータ作業ファイル作成失敗",
                             }));
}

TEST_F(SigFileTest, FirstGpsTimeComesFromTheFirstAcceptedPositioningRecord) {
    Bytes work;
    ASSERT_TRUE(Convert(Concat({Satellite(kRecent), Positioning(kRecent + 5, false),
                                Positioning(kOld), Positioning(kRecent)}),
                        work));
    EXPECT_EQ(converted.firstGpsTime, kOldFixed);  // after its correction
}

TEST_F(SigFileTest, UncorrectedZeroTimeLeavesFirstGpsTimeForTheNextRecord) {
    SetNow(1990, 1, 1);  // nothing is corrected with a clock this early
    Bytes work;
    ASSERT_TRUE(Convert(Concat({Positioning(0), Positioning(kRecent)}), work));
    EXPECT_EQ(converted.firstGpsTime, kRecent);
}

TEST_F(SigFileTest, ANewDayOfTheClockCountsFromTheWindowsNextTurn) {
    // 2005-05-05 lies before the reference day of 2020-10-01, not of 2013.
    const std::uint32_t time = Gps(2005, 5, 5);
    const Bytes record = Positioning(time);
    const std::size_t count = 3 * kPumpInterval / record.size();
    Bytes input;
    for (std::size_t i = 0; i < count; ++i) input.insert(input.end(), record.begin(), record.end());
    int pumps = 0;
    request.pump = [&] {
        if (++pumps == 2)
            SetNow(2020, 10, 1, 10, 0);
    };
    Bytes work;
    ASSERT_TRUE(Convert(input, work));
    ASSERT_EQ(work.size(), input.size());
    // Records before the second turn keep their time, those after it move.
    std::size_t moved = 0;
    for (std::size_t at = 0; at < work.size(); at += record.size()) {
        const std::uint32_t t = GetBigEndian32(work, at + 2);
        ASSERT_TRUE(t == time || t == time + 1024u * 7 * 86400) << at;
        if (t != time) {
            ++moved;
        } else {
            EXPECT_EQ(moved, 0u) << "an old time after a moved one, at " << at;
        }
    }
    EXPECT_EQ(count - moved, (kPumpInterval + record.size() - 1) / record.size());
}

TEST_F(SigFileTest, ManyRecordsAcrossBufferBoundariesKeepTheirOrder) {
    std::mt19937 random(20131001);
    const Bytes kinds[] = {Header(kOld),    OrbitInfo(),  OrbitMessage(),        Positioning(kOld),
                           Satellite(kOld), Navigation(), Display(kOld, kRecent)};
    const Bytes fixed[] = {Header(kOldFixed),          OrbitInfo(),          OrbitMessage(),
                           Positioning(kOldFixed),     Satellite(kOldFixed), Navigation(),
                           Display(kOldFixed, kRecent)};
    Bytes input, expected;
    while (input.size() < 400 * 1024) {
        std::size_t junk = random() % 7;
        for (std::size_t i = 0; i < junk; ++i) {
            std::uint8_t byte = static_cast<std::uint8_t>(random());
            input.push_back(byte == 0x8B ? 0x8A : byte);
        }
        std::size_t k = random() % 7;
        input.insert(input.end(), kinds[k].begin(), kinds[k].end());
        expected.insert(expected.end(), fixed[k].begin(), fixed[k].end());
    }
    int pumps = 0;
    request.pump = [&pumps] { ++pumps; };
    Bytes work;
    ASSERT_TRUE(Convert(input, work));
    EXPECT_EQ(work, expected);
    // The window gets its turn as the file streams, but not for every byte.
    EXPECT_GE(pumps, static_cast<int>(input.size() / kPumpInterval));
    EXPECT_LE(pumps, static_cast<int>(input.size() / kPumpInterval) + 2);
}

TEST_F(SigFileTest, InputThatCannotBeOpened) {
    EXPECT_FALSE(Scan(ConvertSigFile, Path("missing.SIG"), request.workFile));
    EXPECT_EQ(LogMessages(), std::vector<std::string>{" > ERROR：ファイルOpen失敗"});
    EXPECT_FALSE(std::filesystem::exists(request.workFile));
}

TEST_F(SigFileTest, WorkFileThatCannotBeCreated) {
    std::filesystem::create_directory(request.workFile);
    WriteBytes(Path("in.SIG"), Positioning(kOld));
    EXPECT_FALSE(Scan(ConvertSigFile, Path("in.SIG"), request.workFile));
    EXPECT_EQ(LogMessages(), std::vector<std::string>{" > ERROR：SIG作業ファイルOpen失敗"});
}

TEST_F(SigFileTest, ReadFailure) {
    std::filesystem::create_directory(Path("folder.SIG"));
    EXPECT_FALSE(Scan(ConvertSigFile, Path("folder.SIG"), request.workFile));
    // A folder is not opened as a file.
    EXPECT_EQ(LogMessages(), std::vector<std::string>{" > ERROR：ファイルOpen失敗"});
    EXPECT_EQ(ReasonText(converted.problem), "cannot read: it is a folder");
}

#ifndef _WIN32
// The work file may hold only 100 bytes (a file size limit; the disk
// filling up reads the same to the scanner).
TEST_F(SigFileTest, WorkFileThatCannotBeWrittenWholeIsNoSuccess) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 100;
    auto scan = [&](const std::string& input) {
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
        const bool ok = Scan(ConvertSigFile, input, Path("work.TMP"));
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        return ok;
    };
    WriteBytes(Path("in.SIG"), Concat({Positioning(kOld), Satellite(kOld)}));
    EXPECT_FALSE(scan(Path("in.SIG")));
    EXPECT_EQ(ReasonText(converted.problem),
              "cannot write the work file " + Path("work.TMP") + ": file too large");

    // A file larger than the write buffer fails on the record whose write
    // found no room; the scan stops there instead of logging every record
    // after it.
    Bytes big;
    const Bytes record = Satellite(kOld);
    while (big.size() < 3 * OutputFile::kBufferSize)
        big.insert(big.end(), record.begin(), record.end());
    WriteBytes(Path("big.SIG"), big);
    EXPECT_FALSE(scan(Path("big.SIG")));
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{kSatelliteFailure});
    EXPECT_EQ(ReasonText(converted.problem),
              "cannot write the work file " + Path("work.TMP") + ": file too large");
}
#endif

}  // namespace
}  // namespace quenrix::test
