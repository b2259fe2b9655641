#include "engine/batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

// Rolled over at the test's clock (2013-10-01 10:00): becomes 2013-08-18 14:10.
const std::uint32_t kOld = Gps(1994, 1, 2, 14, 10);

// What the batch told, in order.
class Recorder : public BatchEvents {
  public:
    std::vector<std::string> told;
    std::map<std::size_t, int> finished;  // times each input was finished
    std::function<bool()> stop;

    void Converting(std::size_t index) override { Tell("converting", index); }
    void GoesAlone(std::size_t index) override { Tell("alone", index); }
    void Converted(std::size_t index) override { Tell("converted", index); }
    void Finished(std::size_t index, const FileOutcome& outcome) override {
        Tell(outcome.outcome == Outcome::Corrected ? "corrected" : "failed", index);
        ++finished[index];
    }
    bool StopRequested() override { return stop && stop(); }

    std::size_t Position(const std::string& event, std::size_t index) const {
        const auto at = std::find(told.begin(), told.end(), event + " " + std::to_string(index));
        return static_cast<std::size_t>(at - told.begin());
    }

  private:
    void Tell(const std::string& event, std::size_t index) {
        told.push_back(event + " " + std::to_string(index));
    }
};

class BatchTest : public TempDirTest {
  protected:
    // A SIG file of `records` rolled-over positioning records, a day
    // after the first file's for each `day`.
    std::string Sig(const std::string& name, int day, int records = 1) {
        Bytes content;
        for (int i = 0; i < records; ++i) {
            const Bytes record =
                Record(0x50, 23, {{2, kOld + static_cast<std::uint32_t>(day) * 86400}});
            content.insert(content.end(), record.begin(), record.end());
        }
        WriteBytes(Path(name), content);
        return Path(name);
    }
    // The window's batch: small files in groups, inputs deleted, the work
    // files in the test's folder.
    BatchJob WindowJob(std::vector<std::string> inputs) {
        BatchJob job;
        job.inputs = std::move(inputs);
        job.rules = {.deleteInputs = true};
        job.work = WorkFiles::Unique("$$$SRG-", ".TMP");
        job.work.folder = Dir();
        job.log = &opLog;
        job.groupSmallFiles = true;
        return job;
    }
    bool WorkFilesLeft() const {
        for (const auto& entry : std::filesystem::directory_iterator(Dir()))
            if (entry.path().filename().string().rfind("$$$SRG", 0) == 0)
                return true;
        return false;
    }
};

// Small files wait in a group; a large one goes alone once every file
// before it is finished, and each file is finished once, in input order.
TEST_F(BatchTest, AGroupedBatchFinishesEveryFileOnceInOrder) {
    const std::vector<std::string> inputs = {
        Sig("1234L27B.SIG", 0), Sig("1234L27C.SIG", 1),
        Sig("1234L27D.SIG", 2, 50000),  // over a megabyte: it goes alone
        Sig("1234L27E.SIG", 3)};
    Recorder events;
    const BatchSummary summary = RunBatch(WindowJob(inputs), events);

    std::vector<std::size_t> order;
    for (const std::string& told : events.told)
        if (told.rfind("corrected ", 0) == 0)
            order.push_back(std::stoul(told.substr(10)));
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3}))
        << ::testing::PrintToString(events.told);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        EXPECT_EQ(events.finished[i], 1) << i;
        EXPECT_LT(events.Position("converting", i), events.Position("converted", i));
        EXPECT_LT(events.Position("converted", i), events.Position("corrected", i));
        EXPECT_FALSE(FileExists(inputs[i])) << inputs[i];
    }
    // The group before the large file is finished before it converts.
    EXPECT_LT(events.Position("corrected", 1), events.Position("alone", 2));
    EXPECT_LT(events.Position("alone", 2), events.Position("converted", 2));
    EXPECT_EQ(std::count(events.told.begin(), events.told.end(), "alone 2"), 1);
    for (const char* output : {"1234H18B.SIG", "1234H19C.SIG", "1234H20D.SIG", "1234H21E.SIG"})
        EXPECT_TRUE(FileExists(Path(output))) << output;
    EXPECT_EQ(summary.files, 4u);
    EXPECT_EQ(summary.corrected, 4u);
    EXPECT_EQ(summary.notConverted, 0u);
    EXPECT_EQ(summary.end, BatchEnd::Done);
    EXPECT_FALSE(WorkFilesLeft());
}

// A cancel stops the batch before the next file: the files converted are
// finished (stored, their inputs gone), the others untouched and counted.
TEST_F(BatchTest, ACancelFinishesTheFilesConvertedAndCountsTheRest) {
    const std::vector<std::string> inputs = {Sig("1234L27B.SIG", 0), Sig("1234L27C.SIG", 1),
                                             Sig("1234L27D.SIG", 2), Sig("1234L27E.SIG", 3)};
    Recorder events;
    events.stop = [&] { return events.Position("converted", 1) < events.told.size(); };
    const BatchSummary summary = RunBatch(WindowJob(inputs), events);
    EXPECT_EQ(summary.end, BatchEnd::Cancelled);
    EXPECT_EQ(summary.files, 2u);
    EXPECT_EQ(summary.corrected, 2u);
    EXPECT_EQ(summary.notConverted, 2u);
    EXPECT_FALSE(FileExists(inputs[0]));
    EXPECT_FALSE(FileExists(inputs[1]));
    EXPECT_TRUE(FileExists(Path("1234H19C.SIG")));
    EXPECT_TRUE(FileExists(inputs[2]));
    EXPECT_TRUE(FileExists(inputs[3]));
    EXPECT_EQ(events.Position("converting", 2), events.told.size());  // never taken up
    ASSERT_FALSE(LogMessages().empty());
    EXPECT_EQ(LogMessages().back(), "変換キャンセル");
    EXPECT_FALSE(WorkFilesLeft());
}

}  // namespace
}  // namespace quenrix::test
