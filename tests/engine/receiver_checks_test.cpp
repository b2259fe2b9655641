#include "engine/receiver_checks.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/conversion.h"
#include "engine/record_kinds.h"
#include "engine/record_scan.h"
#include "support/binary_file.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

// The checks' walk through a file (NextRecordOfKinds with their kinds).
class CheckedRecordsTest : public TempDirTest {
  protected:
    // Opens a file holding `bytes` for the walk.
    void Load(const Bytes& bytes) {
        WriteBytes(Path("records"), bytes);
        ASSERT_TRUE(file_.Open(Path("records")));
    }
    RecordFound Next() {
        return NextRecordOfKinds(file_, record_kinds::kCheckedKinds, record_, length_);
    }
    Bytes Found() const { return Bytes(record_, record_ + length_); }

    InputFile file_;
    std::uint8_t record_[kLongestRecord];
    std::size_t length_ = 0;
};

TEST_F(CheckedRecordsTest, PassesOverJunkAndReadsRecordAfterRecord) {
    const Bytes first = PositionMonitor(Gps(2000, 1, 1));
    const Bytes second = Record(0x62, 26);
    // 0x52 and 0x55 are no kinds of the checks: their bytes are searched like junk.
    Load(
        Concat({Bytes{0x01, 0x8B, 0x33, 0x82}, Record(0x52, 35), first, Record(0x55, 29), second}));
    ASSERT_EQ(Next(), RecordFound::Valid);
    EXPECT_EQ(record_[1], 0x82);
    EXPECT_EQ(Found(), first);
    ASSERT_EQ(Next(), RecordFound::Valid);
    EXPECT_EQ(Found(), second);
    EXPECT_EQ(Next(), RecordFound::None);
}

TEST_F(CheckedRecordsTest, LengthsOfEveryKind) {
    struct Case {
        std::uint8_t kind;
        std::uint8_t third;
        std::size_t length;
    } cases[] = {
        {0x80, 0, 10}, {0x81, 0x05, 31}, {0x82, 0, 37},    {0x91, 3, 40},  {0x91, 20, 121},
        {0x60, 0, 26}, {0x61, 0, 74},    {0x62, 0, 26},    {0x51, 0, 124}, {0x50, 0, 23},
        {0x94, 2, 41}, {0x95, 12, 171},  {0x95, 200, 171}, {0x69, 0, 286},
    };
    for (const Case& c : cases) {
        Bytes record = Record(c.kind, c.length);
        record[2] = c.third;
        Seal(record);
        Load(Concat({Bytes{0x00}, record}));
        ASSERT_EQ(Next(), RecordFound::Valid) << std::hex << int(c.kind);
        EXPECT_EQ(length_, c.length) << std::hex << int(c.kind);
        EXPECT_EQ(Found(), record);
    }
}

TEST_F(CheckedRecordsTest, DoubleSyncByteStartsNoRecord) {
    Load(Concat({Bytes{0x8B}, PositionMonitor(Gps(2000, 1, 1))}));
    EXPECT_EQ(Next(), RecordFound::None);
}

TEST_F(CheckedRecordsTest, MismatchAndCutShort) {
    const Bytes good = Record(0x60, 26);
    Load(Concat({Record(0x50, 23, {}, false), good}));
    EXPECT_EQ(Next(), RecordFound::BadCheckValue);
    EXPECT_EQ(length_, 23u);
    EXPECT_EQ(Next(), RecordFound::Valid);

    Load(Bytes(good.begin(), good.end() - 1));
    EXPECT_EQ(Next(), RecordFound::None);
}

TEST_F(CheckedRecordsTest, SyncByteInsideABodyIsData) {
    Bytes record = Record(0x50, 23);
    record[5] = 0x8B;
    record[6] = 0x62;
    Seal(record);
    Load(record);
    ASSERT_EQ(Next(), RecordFound::Valid);
    EXPECT_EQ(record_[1], 0x50);
}

class RmgTypeCheckTest : public TempDirTest {
  protected:
    InputFile in;  // where the check opens its file
};

TEST_F(RmgTypeCheckTest, TypeNibbleOfTheFirstValidPositionRecord) {
    struct Case {
        std::uint8_t nibble;
        std::int32_t code;
    } cases[] = {{0, 74}, {1, 77}, {2, 80}, {5, 0}, {15, 0}};
    for (const Case& c : cases) {
        std::filesystem::remove(LogPath());
        WriteBytes(Path("a.RMG"), Concat({Section(0x91, 1, 1, 5), PositionMonitor(7, c.nibble),
                                          PositionMonitor(7, 1)}));
        EXPECT_EQ(CheckRmgReceiverType(LocateFile(Path("a.RMG")).value, in, fileLog), c.code);
        EXPECT_EQ(LogMessages(),
                  std::vector<std::string>{" > RMGType：KQ-" + std::to_string(c.code)});
    }
}

TEST_F(RmgTypeCheckTest, BadFirstRecordOrNoPositionRecordGivesZeroSilently) {
    WriteBytes(Path("a.RMG"), Concat({Section(0x81, 1, 1, 5, false), PositionMonitor(7, 1)}));
    EXPECT_EQ(CheckRmgReceiverType(LocateFile(Path("a.RMG")).value, in, fileLog), 0);
    WriteBytes(Path("b.RMG"), Concat({Section(0x81, 1, 1, 5), Record(0x61, 74)}));
    EXPECT_EQ(CheckRmgReceiverType(LocateFile(Path("b.RMG")).value, in, fileLog), 0);
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(RmgTypeCheckTest, FileThatCannotBeOpened) {
    EXPECT_EQ(CheckRmgReceiverType(LocateFile(Path("missing.RMG")).value, in, fileLog), 0);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{" > ERROR：ファイルOpen失敗(RMGタイプ確認)"});
}

class RolloverPointCheckTest : public TempDirTest {
  protected:
    InputFile in;  // where the check opens its file
    bool Check(const std::string& name, const Bytes& content) {
        WriteBytes(Path(name), content);
        return IsRolloverPointSigFile(LocateFile(Path(name)).value, in, fileLog);
    }
};

TEST_F(RolloverPointCheckTest, NameMustCarryL26ZAtPositionsFiveToEight) {
    const Bytes onTheDay = Record(0x50, 23, {{2, kRolloverPointDay + 600}});
    EXPECT_TRUE(Check("ABCDL26Z.SIG", onTheDay));
    EXPECT_TRUE(Check("abcdl26z.sig", onTheDay));
    EXPECT_FALSE(Check("L26Z.SIG", onTheDay));
    EXPECT_FALSE(Check("XL26Z.SIG", onTheDay));
    EXPECT_FALSE(Check("ABCDL27Z.SIG", onTheDay));
    EXPECT_FALSE(Check("ABC", onTheDay));
}

TEST_F(RolloverPointCheckTest, RecordMustLieOnTheRolloverDay) {
    const std::uint32_t day = kRolloverPointDay;
    EXPECT_TRUE(Check("1234L26Z.SIG", Record(0x50, 23, {{2, day}})));
    EXPECT_TRUE(Check("1234L26Z.SIG", Record(0x51, 124, {{2, day + 86399}})));
    EXPECT_TRUE(Check("1234L26Z.SIG", Record(0x62, 26, {{14, day + 3600}})));
    EXPECT_FALSE(Check("1234L26Z.SIG", Record(0x50, 23, {{2, day - 1}})));
    EXPECT_FALSE(Check("1234L26Z.SIG", Record(0x50, 23, {{2, day + 86400}})));
    // Other kinds do not count, nor does the header's time at another offset.
    EXPECT_FALSE(Check("1234L26Z.SIG", Record(0x60, 26, {{2, day}})));
    EXPECT_FALSE(Check("1234L26Z.SIG", Record(0x62, 26, {{2, day}})));
    // A later record may match; a bad check value ends the search.
    EXPECT_TRUE(Check("1234L26Z.SIG", Concat({Record(0x50, 23, {{2, 5}}), Record(0x52, 35),
                                              Record(0x51, 124, {{2, day}})})));
    EXPECT_FALSE(
        Check("1234L26Z.SIG", Concat({Record(0x60, 26, {}, false), Record(0x50, 23, {{2, day}})})));
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(RolloverPointCheckTest, OpenFailureIsLoggedOnlyWhenTheNameMatches) {
    EXPECT_FALSE(IsRolloverPointSigFile(LocateFile(Path("1234L27Z.SIG")).value, in, fileLog));
    EXPECT_TRUE(LogMessages().empty());
    EXPECT_FALSE(IsRolloverPointSigFile(LocateFile(Path("1234L26Z.SIG")).value, in, fileLog));
    EXPECT_EQ(LogMessages(), std::vector<std::string>{" > ERROR：ファイルOpen失敗(L26Z.SIG確認)"});
}

}  // namespace
}  // namespace quenrix::test
