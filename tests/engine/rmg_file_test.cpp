#include "engine/rmg_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine/conversion.h"
#include "support/binary_file.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

// With the clock at 2013-10-01 10:00 the reference day is 1998-10-01.
const std::uint32_t kOld = Gps(1993, 12, 26, 12);
const std::uint32_t kOldFixed = Gps(2013, 8, 11, 12);
const std::uint32_t kRecent = Gps(2005, 5, 5);

const char* const kPositionFailure = " > ERROR：位置&モニターデータ作業ファイル作成失敗";
const char* const kOrbitFailure = " > ERROR：軌道メッセージデータ作業ファイル作成失敗";
const char* const kOldSectionFailure =
    " > ERROR：衛星生データ部(旧フォーマット)SyncByte読み込み失敗";
const char* const kSectionFailure = " > ERROR：衛星生データ部SyncByte読み込み失敗";

class RmgFileTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        converted.kind = FileKind::Rmg;
        converted.receiverType = 74;
    }
    bool Convert(const Bytes& input, Bytes& work) {
        WriteBytes(Path("in.RMG"), input);
        bool ok = Scan(ConvertRmgFile, Path("in.RMG"), request.workFile);
        work = ReadBytes(request.workFile);
        return ok;
    }
    std::uint32_t FirstGpsTime() const { return converted.firstGpsTime; }
};

Bytes OrbitMessage() {
    return Record(0x61, 74, {{2, kOld}});
}
Bytes OldSection(std::uint8_t mask, std::size_t blocks, std::uint32_t t, bool good = true) {
    return Section(0x81, mask, blocks, t, good);
}
Bytes NewSection(std::uint8_t count, std::uint32_t t, bool good = true) {
    return Section(0x91, count, count, t, good);
}

TEST_F(RmgFileTest, AllFourKindsConvertByteExactInInputOrder) {
    const Bytes input = Concat({
        Bytes{0x44, 0x82, 0x8B, 0x00},  // junk
        PositionMonitor(kOld),
        OrbitMessage(),
        OldSection(0x05, 2, kOld),
        NewSection(3, kOld),
        Record(0x50, 23, {{2, kOld}}),  // a SIG kind is not copied, valid or not
        NewSection(0, kRecent),
        PositionMonitor(kRecent),
        OldSection(0xFF, 8, kRecent),
    });
    const Bytes expected = Concat({
        PositionMonitor(kOldFixed),
        OrbitMessage(),
        OldSection(0x05, 2, kOldFixed),
        NewSection(3, kOldFixed),
        NewSection(0, kRecent),
        PositionMonitor(kRecent),
        OldSection(0xFF, 8, kRecent),
    });
    Bytes work;
    ASSERT_TRUE(Convert(input, work));
    EXPECT_EQ(work, expected);
    EXPECT_TRUE(converted.timeCorrected);
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(RmgFileTest, RecordsThatStraddleTheReadBufferConvertTheSame) {
    // Records found whole in the read buffer are checked where they lie;
    // one that runs past its end is put together first. Every split point
    // of each kind must give the same bytes, and a bad one stays out.
    const Bytes section = NewSection(12, kOld);
    const Bytes sectionFixed = NewSection(12, kOldFixed);
    const Bytes oldSection = OldSection(0xFF, 8, kOld);
    const Bytes oldSectionFixed = OldSection(0xFF, 8, kOldFixed);
    const Bytes position = PositionMonitor(kOld);
    const Bytes positionFixed = PositionMonitor(kOldFixed);
    const Bytes bad = NewSection(4, kOld, /*good=*/false);
    for (std::size_t split = 1; split <= section.size(); ++split) {
        Bytes input(InputFile::kBufferSize - split, 0x00);  // junk up to the split
        Bytes tail = Concat({section, oldSection, position, bad, section});
        input.insert(input.end(), tail.begin(), tail.end());
        // The old section and the position record straddle it too, a little
        // further on, as the split moves through the first section.
        Bytes shifted(InputFile::kBufferSize - split - section.size() / 2, 0x00);
        tail = Concat({oldSection, position, bad});
        shifted.insert(shifted.end(), tail.begin(), tail.end());
        Bytes work;
        ASSERT_TRUE(Convert(input, work));
        EXPECT_EQ(work, Concat({sectionFixed, oldSectionFixed, positionFixed, sectionFixed}))
            << "split " << split;
        EXPECT_EQ(converted.counts.badCheck[0x91], 1u) << "split " << split;
        EXPECT_EQ(converted.counts.accepted[0x91], 2u) << "split " << split;
        ASSERT_TRUE(Convert(shifted, work));
        EXPECT_EQ(work, Concat({oldSectionFixed, positionFixed})) << "split " << split;
        EXPECT_EQ(converted.counts.badCheck[0x91], 1u) << "split " << split;
    }
}

TEST_F(RmgFileTest, SectionLengthsFollowMaskAndCount) {
    struct Case {
        Bytes section;
        std::size_t length;
    } cases[] = {
        {OldSection(0x00, 0, kRecent), 13}, {OldSection(0xFF, 8, kRecent), 85},
        {OldSection(0x05, 2, kRecent), 31}, {NewSection(3, kRecent), 40},
        {NewSection(12, kRecent), 121},
    };
    Bytes all;
    for (const Case& c : cases) {
        ASSERT_EQ(c.section.size(), c.length);
        Bytes work;
        ASSERT_TRUE(Convert(c.section, work));
        EXPECT_EQ(work, c.section) << c.length;
        all = Concat({all, c.section});
    }
    // One after the other, each with plenty of bytes after it: each is then
    // checked in one wide sweep, whatever its length.
    Bytes work;
    ASSERT_TRUE(Convert(Concat({all, Bytes(200, 0x00)}), work));
    EXPECT_EQ(work, all);
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(RmgFileTest, OldSectionWorkedExample) {
    Bytes section(13, 0);
    section[0] = 0x8B;
    section[1] = 0x81;
    section[11] = 0x01;
    section[12] = 0x0C;
    // Its GPS time of 0 would be corrected; with no file kind set it stays.
    converted.kind = FileKind::Other;
    Bytes work;
    ASSERT_TRUE(Convert(section, work));
    EXPECT_EQ(work, section);
}

TEST_F(RmgFileTest, CountAboveTwelveIsReadAsTwelveBlocksAndFails) {
    // The section claims 13 blocks; the two bytes after the twelfth block
    // are taken as its check value, and the scan resumes right after them.
    Bytes section = Section(0x91, 13, 12, kOld);
    section.resize(section.size() - 2);
    const Bytes input = Concat({section, Bytes{0x00, 0x00}, PositionMonitor(kOld)});
    Bytes work;
    ASSERT_TRUE(Convert(input, work));
    EXPECT_EQ(work, PositionMonitor(kOldFixed));
    EXPECT_EQ(LogMessages(), std::vector<std::string>{kSectionFailure});
}

TEST_F(RmgFileTest, BadCheckValueSkipsTheRecordWithAValidOneInside) {
    Bytes bad = OrbitMessage();
    const Bytes inner = PositionMonitor(kOld);
    std::copy(inner.begin(), inner.end(), bad.begin() + 10);
    Seal(bad);
    bad.back() ^= 0x01;
    Bytes work;
    ASSERT_TRUE(
        Convert(Concat({bad, OldSection(0x01, 1, kRecent, false), NewSection(1, kRecent)}), work));
    EXPECT_EQ(work, NewSection(1, kRecent));
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{kOrbitFailure, kOldSectionFailure}));
    EXPECT_EQ(converted.firstGpsTime, 0u);
}

TEST_F(RmgFileTest, RecordsCutShortAtTheEnd) {
    const Bytes section = OldSection(0x03, 2, kRecent);
    const Bytes position = PositionMonitor(kRecent);
    struct Case {
        Bytes input;
        const char* message;
    } cases[] = {
        {Bytes(position.begin(), position.end() - 1), kPositionFailure},
        {Bytes(section.begin(), section.begin() + 7), kOldSectionFailure},   // in the header
        {Bytes(section.begin(), section.begin() + 15), kOldSectionFailure},  // in a block
        {Bytes(section.begin(), section.end() - 1), kOldSectionFailure},     // in the check value
    };
    for (const Case& c : cases) {
        std::filesystem::remove(LogPath());
        Bytes work;
        ASSERT_TRUE(Convert(Concat({OrbitMessage(), c.input}), work));
        EXPECT_EQ(work, OrbitMessage());
        EXPECT_EQ(LogMessages(), std::vector<std::string>{c.message});
    }
}

TEST_F(RmgFileTest, KindByteAfterADoubleSyncByteAndWithoutOne) {
    const Bytes position = PositionMonitor(kRecent);
    Bytes work;
    ASSERT_TRUE(Convert(Concat({Bytes{0x8B}, position}), work));
    EXPECT_EQ(work, position);
    ASSERT_TRUE(Convert(Bytes(position.begin() + 1, position.end()), work));
    EXPECT_TRUE(work.empty());
    ASSERT_TRUE(Convert(Bytes{}, work));
    EXPECT_TRUE(work.empty());
}

TEST_F(RmgFileTest, FirstGpsTimeFromTheFirstAcceptedPositionRecordOnly) {
    Bytes work;
    ASSERT_TRUE(Convert(Concat({NewSection(2, kRecent), PositionMonitor(kRecent + 1, 0, false),
                                PositionMonitor(kOld), PositionMonitor(kRecent)}),
                        work));
    EXPECT_EQ(FirstGpsTime(), kOldFixed);

    ASSERT_TRUE(
        Convert(Concat({NewSection(2, kRecent), OldSection(0x01, 1, kOld), OrbitMessage()}), work));
    EXPECT_EQ(converted.firstGpsTime, 0u);
}

TEST_F(RmgFileTest, ReceiverTypeSelectsTheLimit) {
    SetNow(2035, 1, 1, 12, 0);  // reference day 2020-01-01
    const std::uint32_t t = Gps(2016, 1, 1);
    const std::uint32_t fixed = Gps(2035, 8, 17);
    const Bytes input = Concat({PositionMonitor(t), NewSection(1, t), OldSection(0x80, 1, t)});
    for (int type : {77, 80}) {
        converted.receiverType = type;
        Bytes work;
        ASSERT_TRUE(Convert(input, work));
        EXPECT_EQ(work, Concat({PositionMonitor(fixed), NewSection(1, fixed),
                                OldSection(0x80, 1, fixed)}))
            << type;
    }
    for (int type : {74, 0}) {
        converted.receiverType = type;
        Bytes work;
        ASSERT_TRUE(Convert(input, work));
        EXPECT_EQ(work, input) << type;
        EXPECT_FALSE(converted.timeCorrected);
    }
}

TEST_F(RmgFileTest, EachKindLogsItsOwnFailureMessage) {
    // At the end of the input, and with plenty of bytes after each record
    // (a section is then checked in one wide sweep).
    for (std::size_t after : {0, 200}) {
        std::filesystem::remove(LogPath());
        Bytes work;
        ASSERT_TRUE(Convert(Concat({PositionMonitor(kOld, 0, false), Record(0x61, 74, {}, false),
                                    OldSection(0x01, 1, kOld, false), NewSection(1, kOld, false),
                                    Bytes(after, 0x00)}),
                            work));
        EXPECT_TRUE(work.empty());
        EXPECT_EQ(LogMessages(), (std::vector<std::string>{kPositionFailure, kOrbitFailure,
                                                           kOldSectionFailure, kSectionFailure}))
            << after;
    }
}

TEST_F(RmgFileTest, WorkFileThatCannotBeCreated) {
    std::filesystem::create_directory(request.workFile);
    WriteBytes(Path("in.RMG"), PositionMonitor(kOld));
    EXPECT_FALSE(Scan(ConvertRmgFile, Path("in.RMG"), request.workFile));
    EXPECT_EQ(LogMessages(), std::vector<std::string>{" > ERROR：RMG作業ファイルOpen失敗"});
    EXPECT_FALSE(Scan(ConvertRmgFile, Path("missing.RMG"), Path("other.TMP")));
    EXPECT_EQ(LogMessages().back(), " > ERROR：ファイルOpen失敗");
    EXPECT_FALSE(std::filesystem::exists(Path("other.TMP")));
}

}  // namespace
}  // namespace quenrix::test
