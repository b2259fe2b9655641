// Another user of a shared folder plants a name the program is about to
// create (the log's temporary file, the work file, a copy's temporary
// file), or the log itself, as a link to a file of the user who runs the
// program: that file keeps its bytes, whatever the program writes.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/pipeline.h"
#include "support/failure.h"
#include "support/fd_io.h"
#include "support/file_ops.h"
#include "support/native.h"
#include "support/oplog.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

namespace fs = std::filesystem;

const Bytes kThesis = {'m', 'y', ' ', 't', 'h', 'e', 's', 'i', 's'};

class PlantedLinksTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        fs::create_directory(Path("home"));
        WriteBytes(Path("home/thesis.txt"), kThesis);
    }
    // Plants `name` as a link to the user's file; false where the system
    // makes no links for this user.
    bool Plant(const std::string& name) {
        std::error_code error;
        fs::create_symlink(Path("home/thesis.txt"), Path(name), error);
        return !error;
    }
    void ExpectThesisKept() { EXPECT_EQ(ReadBytes(Path("home/thesis.txt")), kThesis); }
};

TEST_F(PlantedLinksTest, TheProgramsOwnNamesAreMadeAnewNeverThroughALink) {
    if (!Plant("quenrix.log.tmp") || !Plant(kWorkFileName))
        GTEST_SKIP() << "no symbolic links here";
    // A new log is made through its temporary name.
    OperationLog(Path("quenrix.log")).Write("first entry");
    ExpectThesisKept();
    EXPECT_FALSE(native::IsLink(Path("quenrix.log")));
    EXPECT_EQ(LogMessagesOf(Path("quenrix.log")), std::vector<std::string>{"first entry"});

    // The work file, in the current folder.
    WriteBytes(Path("1234L27B.SIG"), Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}}));
    ASSERT_EQ(Convert(Path("1234L27B.SIG")), ConvertResult::Converted);
    ExpectThesisKept();
    EXPECT_FALSE(native::IsLink(kWorkFileName));
    EXPECT_EQ(ReadBytes(kWorkFileName).size(), 23u);
}

TEST_F(PlantedLinksTest, ALogThatIsALinkIsReplacedByALogOfItsOwn) {
    if (!Plant("quenrix.log"))
        GTEST_SKIP() << "no symbolic links here";
    OperationLog(Path("quenrix.log")).Write("entry");
    ExpectThesisKept();
    EXPECT_FALSE(native::IsLink(Path("quenrix.log")));
    // Nothing of the linked file is read into the log either.
    EXPECT_EQ(LogMessagesOf(Path("quenrix.log")), std::vector<std::string>{"entry"});
}

TEST_F(PlantedLinksTest, ACopyToAnotherVolumeNeverWritesThroughALinkBesideItsTarget) {
    const std::string other = "/dev/shm";
    native::EntryInfo here, there;
    if (native::Inspect(Dir(), here).value != native::Lookup::Found ||
        native::Inspect(other, there).value != native::Lookup::Found || here.device == there.device)
        GTEST_SKIP() << "no second volume";
    if (!Plant("out.SIG.quenrix-part"))
        GTEST_SKIP() << "no symbolic links here";
    const std::string source = other + "/quenrix-planted-" + std::to_string(native::ProcessId());
    WriteBytes(source, Bytes{1, 2, 3});
    FileToStore file;
    file.source = LocateFile(source).value;
    file.target = LocateFile(Path("out.SIG")).value;
    EXPECT_TRUE(StoreFile(file));
    ExpectThesisKept();
    EXPECT_EQ(ReadBytes(Path("out.SIG")), (Bytes{1, 2, 3}));
    fs::remove(source);
}

// Portable: an exclusive creation never takes an existing name, and a
// fresh one replaces a stale file of the program's own but never a folder.
TEST_F(PlantedLinksTest, ExclusiveAndFreshCreation) {
    WriteBytes(Path("stale.tmp"), kThesis);
    const auto folder = native::OpenFolder(Dir());
    ASSERT_TRUE(folder);
    const auto created = native::OpenAt(folder.value, "stale.tmp", native::OpenAs::NewFile);
    (void)native::CloseFile(folder.value);
    EXPECT_EQ(created.value, native::kNoFile);
    EXPECT_EQ(FailureText(created.cause), "it exists already");
    EXPECT_EQ(ReadBytes(Path("stale.tmp")), kThesis);
    const CreatedFile fresh = CreateFresh(Path("stale.tmp"));
    ASSERT_TRUE(fresh);
    (void)native::CloseFile(fresh.file);
    EXPECT_TRUE(ReadBytes(Path("stale.tmp")).empty());
#ifndef _WIN32
    // Nobody but the program's user reads what it makes for itself.
    EXPECT_EQ(fs::status(Path("stale.tmp")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
#endif
    fs::create_directory(Path("folder.tmp"));
    const CreatedFile refused = CreateFresh(Path("folder.tmp"));
    EXPECT_FALSE(refused);
    EXPECT_EQ(FailureText(refused.cause), "it is a folder");
    EXPECT_TRUE(fs::is_directory(Path("folder.tmp")));
}

}  // namespace
}  // namespace quenrix::test
