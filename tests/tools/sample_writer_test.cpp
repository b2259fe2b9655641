#include "tools/mksample/sample_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/conversion.h"
#include "engine/pipeline.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

using sample::Kind;
using sample::SampleOptions;
using sample::SampleSummary;
using sample::WriteSampleFile;

class SampleWriterTest : public TempDirTest {
  protected:
    SampleOptions Options(Kind kind) {
        SampleOptions options;
        options.kind = kind;
        options.start = Gps(2013, 9, 20, 14);
        options.size = 200 * 1024;
        options.seed = 7;
        return options;
    }
    // Converts the file and checks that converting its corrected file
    // again changes nothing; gives the first conversion's output name.
    std::string ExpectConvertsAndSettles(const std::string& name, std::size_t expectedFailures) {
        EXPECT_EQ(Convert(Path(name)), ConvertResult::Converted);
        const std::string output = converted.outputPath;
        EXPECT_TRUE(converted.timeCorrected);
        const Bytes work = ReadBytes(request.workFile);
        EXPECT_LE(work.size(), std::filesystem::file_size(Path(name)));
        EXPECT_EQ(LogMessages().size(), 1 + expectedFailures + (name.ends_with(".RMG") ? 1 : 0));

        WriteBytes(Path("again") + name.substr(name.size() - 4), work);
        EXPECT_EQ(Convert(Path("again") + name.substr(name.size() - 4)), ConvertResult::Converted);
        EXPECT_FALSE(converted.timeCorrected);
        EXPECT_EQ(ReadBytes(request.workFile), work);
        return output;
    }
};

TEST_F(SampleWriterTest, SigSampleConvertsWithRolloversFound) {
    SampleOptions options = Options(Kind::Sig);
    options.junk = true;
    SampleSummary summary;
    ASSERT_TRUE(WriteSampleFile(Path("1234L27B.SIG"), options, &summary));
    EXPECT_EQ(summary.bytes, std::filesystem::file_size(Path("1234L27B.SIG")));
    EXPECT_GE(summary.bytes, options.size);
    // Named after the first positioning record's corrected date.
    EXPECT_EQ(ExpectConvertsAndSettles("1234L27B.SIG", 0), Path("1234I20B.SIG"));
}

TEST_F(SampleWriterTest, RmgSampleOfEachReceiverType) {
    for (int type : {74, 77, 80}) {
        SampleOptions options = Options(Kind::Rmg);
        options.receiverType = type;
        ASSERT_TRUE(WriteSampleFile(Path("1234A01B.RMG"), options));
        ASSERT_EQ(Convert(Path("1234A01B.RMG")), ConvertResult::Converted);
        EXPECT_EQ(converted.receiverType, type);
        std::filesystem::remove(LogPath());
    }
    ASSERT_TRUE(WriteSampleFile(Path("1234A01B.RMG"), Options(Kind::Rmg)));
    ExpectConvertsAndSettles("1234A01B.RMG", 0);
}

TEST_F(SampleWriterTest, BadChecksAndTruncationAreEachLoggedOnce) {
    SampleOptions options = Options(Kind::Sig);
    options.badCheckEvery = 50;
    options.truncateLast = true;
    SampleSummary summary;
    ASSERT_TRUE(WriteSampleFile(Path("1234L27B.SIG"), options, &summary));
    EXPECT_GT(summary.badRecords, 0u);
    ExpectConvertsAndSettles("1234L27B.SIG", summary.badRecords + 1);
}

TEST_F(SampleWriterTest, SameSeedSameBytes) {
    ASSERT_TRUE(WriteSampleFile(Path("a.SIG"), Options(Kind::Sig)));
    ASSERT_TRUE(WriteSampleFile(Path("b.SIG"), Options(Kind::Sig)));
    EXPECT_EQ(ReadBytes(Path("a.SIG")), ReadBytes(Path("b.SIG")));
    SampleOptions other = Options(Kind::Sig);
    other.seed = 8;
    ASSERT_TRUE(WriteSampleFile(Path("c.SIG"), other));
    EXPECT_NE(ReadBytes(Path("a.SIG")), ReadBytes(Path("c.SIG")));
}

TEST(ReceiverStyleNameTest, FollowsTheReceiversScheme) {
    EXPECT_EQ(sample::ReceiverStyleName(0, Kind::Sig), "0000A010.SIG");
    EXPECT_EQ(sample::ReceiverStyleName(23, Kind::Rmg), "0000A01N.RMG");
    EXPECT_EQ(sample::ReceiverStyleName(24, Kind::Sig), "0000A020.SIG");
    EXPECT_EQ(sample::ReceiverStyleName(31 * 24, Kind::Sig), "0000B010.SIG");
}

}  // namespace
}  // namespace quenrix::test
