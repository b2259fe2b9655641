#include "engine/rollover.h"

#include <gtest/gtest.h>

#include "engine/conversion.h"
#include "engine/gps_time.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

class RolloverTest : public TempDirTest {
  protected:
    // Corrects a field holding `seconds` in place by the bounds of this
    // moment, as a scanner does, and returns the result.
    std::uint32_t Correct(std::uint32_t seconds) {
        Bytes field(4);
        PutBigEndian32(field, 0, seconds);
        MoveRolledOverTime(field.data(), field.data(), RolloverRule(Bounds()), converted);
        return GetBigEndian32(field, 0);
    }
    RolloverBounds Bounds() const { return CurrentRolloverBounds(request, converted); }
    void AsSig() { converted.kind = FileKind::Sig; }
    void AsRmg(int type) {
        converted.kind = FileKind::Rmg;
        converted.receiverType = type;
    }
};

TEST_F(RolloverTest, ReferenceDayIsFifteenYearsBackInGpsTime) {
    SetNow(2013, 10, 1, 10, 0);
    EXPECT_EQ(ReferenceDay(), Gps(1998, 10, 1));
    // At 05:00 Japan time the GPS date is still the day before.
    SetNow(2013, 10, 1, 5, 0);
    EXPECT_EQ(ReferenceDay(), Gps(1998, 9, 30));
    // 29 February 15 years back is a common year: the day count runs on.
    SetNow(2032, 2, 29, 12, 0);
    EXPECT_EQ(ReferenceDay(), Gps(2017, 3, 1));
}

TEST_F(RolloverTest, OneStepForwardSetsTheFlag) {
    AsSig();
    for (int hour : {10, 5}) {
        SetNow(2013, 10, 1, hour, 0);
        converted.timeCorrected = false;
        EXPECT_EQ(Correct(Gps(1993, 12, 26, 12)), Gps(2013, 8, 11, 12));
        EXPECT_TRUE(converted.timeCorrected);
    }
}

TEST_F(RolloverTest, TwoStepsWhenOneIsNotEnough) {
    AsSig();
    SetNow(2030, 6, 1, 12, 0);
    EXPECT_EQ(Correct(Gps(1993, 12, 26, 12)), Gps(2033, 3, 27, 12));
    EXPECT_EQ(Correct(Gps(2005, 5, 5)), Gps(2024, 12, 19));
}

TEST_F(RolloverTest, ARuleKeepsTheBoundsItWasMadeWith) {
    // 2005-05-05 lies before the reference day of 2020 but not of 2013.
    const std::uint32_t time = Gps(2005, 5, 5);
    AsSig();
    SetNow(2013, 10, 1, 10, 0);
    const RolloverRule of2013(Bounds());
    SetNow(2020, 10, 1, 10, 0);
    std::uint32_t t = time;
    EXPECT_EQ(of2013.Apply(t), 0);
    EXPECT_EQ(t, time);
    EXPECT_EQ(RolloverRule(Bounds()).Apply(t), 1);
    EXPECT_EQ(t, time + kSecondsOf1024Weeks);
    // The file's kind is part of the bounds too.
    const RolloverRule ofSig(Bounds());
    converted.kind = FileKind::Other;
    const RolloverRule ofNeither(Bounds());
    for (const auto& [rolled, steps] : {std::pair{0u, 2}, {Gps(1993, 12, 26, 12), 1}}) {
        t = rolled;
        EXPECT_EQ(ofNeither.Apply(t), 0);
        EXPECT_EQ(ofSig.Apply(t), steps);
        EXPECT_EQ(t, rolled + steps * kSecondsOf1024Weeks);
    }
}

TEST_F(RolloverTest, MovingATimeCountsTheStepsOfEachTime) {
    AsSig();
    SetNow(2030, 6, 1, 12, 0);
    const RolloverRule rule(Bounds());
    Bytes fields(12);
    PutBigEndian32(fields, 0, Gps(1993, 12, 26, 12));  // two steps
    PutBigEndian32(fields, 4, Gps(2005, 5, 5));        // one
    PutBigEndian32(fields, 8, Gps(2020, 1, 1));        // none
    converted.counts = ConversionCounts{};
    converted.timeCorrected = false;
    Bytes moved(12, 0xEE);
    for (std::size_t at : {8, 0, 4}) {  // the one that stays first
        // By how many eras each moved, which a manifest keeps.
        EXPECT_EQ(MoveRolledOverTime(fields.data() + at, moved.data() + at, rule, converted),
                  at == 0   ? 2
                  : at == 4 ? 1
                            : 0);
        EXPECT_EQ(converted.timeCorrected, at != 8);
    }
    EXPECT_EQ(GetBigEndian32(moved, 0), Gps(2033, 3, 27, 12));
    EXPECT_EQ(GetBigEndian32(moved, 4), Gps(2024, 12, 19));
    EXPECT_EQ(GetBigEndian32(moved, 8), 0xEEEEEEEEu);  // a time that stays is not stored
    EXPECT_EQ(GetBigEndian32(fields, 0), Gps(1993, 12, 26, 12));
    EXPECT_EQ(converted.counts.twoSteps, 1u);
    EXPECT_EQ(converted.counts.oneStep, 1u);
    EXPECT_TRUE(converted.timeCorrected);
}

TEST_F(RolloverTest, TimeNotBeforeTheReferenceDayStays) {
    AsSig();
    SetNow(2013, 10, 1, 10, 0);
    EXPECT_EQ(Correct(Gps(2005, 5, 5)), Gps(2005, 5, 5));
    EXPECT_EQ(Correct(Gps(1998, 10, 1)), Gps(1998, 10, 1));
    EXPECT_EQ(Correct(Gps(1998, 10, 1) - 1), Gps(1998, 10, 1) - 1 + kSecondsOf1024Weeks);
    converted.timeCorrected = false;
    Correct(Gps(2005, 5, 5));
    EXPECT_FALSE(converted.timeCorrected);
}

TEST_F(RolloverTest, TimeExactlyAtTheLimitIsCorrectedOneAboveIsNot) {
    AsSig();
    SetNow(2030, 6, 1, 12, 0);
    EXPECT_EQ(Correct(1060214400u), 1679529600u);
    converted.timeCorrected = false;
    EXPECT_EQ(Correct(1060214401u), 1060214401u);
    SetNow(2099, 1, 1, 12, 0);
    EXPECT_EQ(Correct(1060214401u), 1060214401u);
    EXPECT_FALSE(converted.timeCorrected);
}

TEST_F(RolloverTest, RmgLimitFollowsTheReceiverType) {
    SetNow(2035, 1, 1, 12, 0);
    const std::uint32_t newYear2016 = Gps(2016, 1, 1);
    for (int type : {77, 80}) {
        AsRmg(type);
        EXPECT_EQ(Correct(newYear2016), Gps(2035, 8, 17)) << type;
    }
    for (int type : {74, 0, 5}) {
        AsRmg(type);
        EXPECT_EQ(Correct(newYear2016), newYear2016) << type;
    }
    AsRmg(80);
    EXPECT_EQ(Correct(kRmgType80RolloverLimit + 1), kRmgType80RolloverLimit + 1);
    AsRmg(77);
    EXPECT_EQ(Correct(kRmgType77RolloverLimit), kRmgType77RolloverLimit + kSecondsOf1024Weeks);
}

TEST_F(RolloverTest, NothingIsCorrectedForAFileOfNeitherKind) {
    SetNow(2030, 6, 1, 12, 0);
    EXPECT_EQ(Correct(Gps(1993, 12, 26)), Gps(1993, 12, 26));
    EXPECT_FALSE(converted.timeCorrected);
}

TEST_F(RolloverTest, ClockBeforeTheGpsEraCorrectsNothing) {
    AsSig();
    // The reference day would lie before 1980-01-06 00:00 GPS time.
    SetNow(1995, 1, 6, 8, 59, 59);
    EXPECT_FALSE(ReferenceDay().has_value());
    EXPECT_EQ(Correct(0), 0u);
    SetNow(1990, 1, 1);
    EXPECT_EQ(Correct(12345), 12345u);
    EXPECT_FALSE(converted.timeCorrected);
    // From 09:00 on the reference day is the epoch itself: nothing lies before it.
    SetNow(1995, 1, 6, 9, 0, 0);
    EXPECT_EQ(ReferenceDay(), 0u);
    EXPECT_EQ(Correct(0), 0u);
}

}  // namespace
}  // namespace quenrix::test
