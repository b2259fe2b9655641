// The persistence rules of the simulated file system: what a power cut may
// take is what the crash explorer can find, so the rules are held here.
#include "tests/crash/sim_file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace quenrix::crash {
namespace {

class SimFileSystemTest : public ::testing::Test {
  protected:
    SimFileSystemTest() {
        fs.Reset({{{"/d/old", std::make_shared<const std::string>("old")}}, {"/d"}});
    }

    // Each file's content in every crash state now, "-" where it is missing.
    std::set<std::string> Outcomes(const std::string& path) const {
        std::set<std::string> seen;
        for (const CrashState& state : fs.CrashStates()) {
            const auto file = state.disk.files.find(path);
            seen.insert(file == state.disk.files.end() ? "-" : *file->second);
        }
        return seen;
    }

    void Write(SimFileSystem::Handle file, const std::string& bytes) {
        ASSERT_EQ(fs.Write(file, bytes.data(), bytes.size()),
                  static_cast<std::int64_t>(bytes.size()));
    }

    SimFileSystem fs;
};

TEST_F(SimFileSystemTest, DataReachesTheDiskWithTheFilesFlushAndItsNameWithTheFolders) {
    const SimFileSystem::Handle file = fs.Create("/d/new");
    Write(file, "data");
    EXPECT_EQ(Outcomes("/d/new"), (std::set<std::string>{"-", "", "data"}));
    ASSERT_TRUE(fs.SyncFile(file));
    // The data is on disk, its name not: the file may be gone, never empty.
    EXPECT_EQ(Outcomes("/d/new"), (std::set<std::string>{"-", "data"}));
    ASSERT_TRUE(fs.SyncFolder("/d"));
    EXPECT_EQ(Outcomes("/d/new"), (std::set<std::string>{"data"}));
    EXPECT_EQ(fs.PendingCount(), 0u);
    EXPECT_EQ(fs.Operations(), 4u);  // create, write, two flushes
}

TEST_F(SimFileSystemTest, PendingWritesArriveInAnyFirstPartOrWithOneMissing) {
    const SimFileSystem::Handle file = fs.Create("/d/log");
    ASSERT_TRUE(fs.SyncFolder("/d"));
    Write(file, "a");
    Write(file, "b");
    Write(file, "c");
    // First parts, all, none, each one alone missing (a hole of zeros
    // where the file grew past it), and the random subsets: here every
    // subset of the three writes.
    EXPECT_EQ(
        Outcomes("/d/log"),
        (std::set<std::string>{"", "a", "ab", "abc", std::string("\0bc", 3), std::string("a\0c", 3),
                               std::string("\0b", 2), std::string("\0\0c", 3)}));
}

// A disk keeps whole 512-byte sectors of a write, not necessarily all.
TEST_F(SimFileSystemTest, AWriteIsTornAtTheDisksSectors) {
    const SimFileSystem::Handle file = fs.Create("/d/big");
    ASSERT_TRUE(fs.SyncFolder("/d"));
    Write(file, std::string(1300, 'x'));  // three sectors
    const std::set<std::string> outcomes = Outcomes("/d/big");
    EXPECT_EQ(outcomes.count(std::string(512, 'x')), 1u);
    EXPECT_EQ(outcomes.count(std::string(1024, 'x')), 1u);
    std::string holed(1300, 'x');
    std::fill(holed.begin() + 512, holed.begin() + 1024, '\0');
    EXPECT_EQ(outcomes.count(holed), 1u);
}

TEST_F(SimFileSystemTest, ARenameIsOneStepThatLandsWithItsTargetsFolder) {
    ASSERT_TRUE(fs.Create("/d/tmp") >= 0);
    ASSERT_TRUE(fs.Rename("/d/tmp", "/d/old"));
    // Before the folder's flush: the old file or the new one under the name.
    EXPECT_EQ(Outcomes("/d/old"), (std::set<std::string>{"old", ""}));
    ASSERT_TRUE(fs.SyncFolder("/d"));
    EXPECT_EQ(Outcomes("/d/old"), (std::set<std::string>{""}));
    EXPECT_EQ(Outcomes("/d/tmp"), (std::set<std::string>{"-"}));
}

TEST_F(SimFileSystemTest, ADeleteLandsWithItsFolderAndNeverTakesALaterFile) {
    ASSERT_TRUE(fs.Remove("/d/old"));
    EXPECT_EQ(Outcomes("/d/old"), (std::set<std::string>{"old", "-"}));
    const SimFileSystem::Handle file = fs.Create("/d/old");  // a new file of that name
    Write(file, "new");
    ASSERT_TRUE(fs.SyncFile(file));
    ASSERT_TRUE(fs.SyncFolder("/d"));
    EXPECT_EQ(Outcomes("/d/old"), (std::set<std::string>{"new"}));
}

TEST_F(SimFileSystemTest, FilesMadeBeforeAResetAreAllOnDiskWithNewIdentities) {
    SimFileSystem::Entry before, after;
    ASSERT_TRUE(fs.Inspect("/d/old", before));
    fs.Reset(fs.Current());
    ASSERT_TRUE(fs.Inspect("/d/old", after));
    EXPECT_NE(before.generation, after.generation);
    EXPECT_EQ(fs.CrashStates().size(), 1u);  // nothing pending: one disk
    EXPECT_EQ(Outcomes("/d/old"), (std::set<std::string>{"old"}));
    EXPECT_EQ(fs.Operations(), 0u);
}

TEST_F(SimFileSystemTest, PlantedFaultsHoldBackWhatTheyName) {
    fs.Plant(PlantedFault::SkipDataFlush, "/tmp");
    const SimFileSystem::Handle file = fs.Create("/d/tmp");
    Write(file, "x");
    ASSERT_TRUE(fs.SyncFile(file));
    ASSERT_TRUE(fs.SyncFolder("/d"));
    EXPECT_EQ(Outcomes("/d/tmp"), (std::set<std::string>{"", "x"}));

    fs.Plant(PlantedFault::FolderFlushAfterDelete);
    ASSERT_TRUE(fs.Rename("/d/tmp", "/d/out"));
    ASSERT_TRUE(fs.SyncFolder("/d"));
    EXPECT_EQ(Outcomes("/d/out"), (std::set<std::string>{"-", "", "x"}));  // held back
    ASSERT_TRUE(fs.Remove("/d/old"));
    EXPECT_EQ(Outcomes("/d/out"), (std::set<std::string>{"", "x"}));  // done after the delete
}

}  // namespace
}  // namespace quenrix::crash
