#include "file_ops.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "records.h"
#include "temp_dir.h"

namespace quenrix::test {
namespace {

using FileOpsTest = TempDirTest;

TEST_F(FileOpsTest, ExistsDeleteAndIdentity) {
    WriteBytes(Path("a"), Bytes{1});
    std::filesystem::create_directory(Path("dir"));
    EXPECT_TRUE(FileExists(Path("a")));
    EXPECT_FALSE(FileExists(Path("dir")));
    EXPECT_FALSE(FileExists(""));
    ASSERT_EQ(link(Path("a").c_str(), Path("b").c_str()), 0);
    EXPECT_TRUE(SameFile(Path("a"), Path("b")));
    EXPECT_TRUE(SameFile(Path("a"), Path("dir/../a")));
    EXPECT_FALSE(SameFile(Path("a"), Path("missing")));
    EXPECT_TRUE(DeleteFile(Path("a")));
    EXPECT_TRUE(DeleteFile(Path("a")));  // already gone
    EXPECT_FALSE(DeleteFile(Path("dir")));
}

TEST_F(FileOpsTest, MoveReplacesButNeverAFolder) {
    WriteBytes(Path("work"), Bytes{1, 2});
    WriteBytes(Path("target"), Bytes{9});
    ASSERT_TRUE(MoveFileReplacing(Path("work"), Path("target")));
    EXPECT_EQ(ReadBytes(Path("target")), (Bytes{1, 2}));
    EXPECT_FALSE(FileExists(Path("work")));

    WriteBytes(Path("work"), Bytes{3});
    std::filesystem::create_directory(Path("folder"));
    EXPECT_FALSE(MoveFileReplacing(Path("work"), Path("folder")));
    EXPECT_TRUE(FileExists(Path("work")));
    EXPECT_FALSE(MoveFileReplacing(Path("missing"), Path("x")));
    EXPECT_FALSE(MoveFileReplacing(Path("work"), ""));
    EXPECT_FALSE(MoveFileReplacing(Path("work"), Path("missing/x")));
    EXPECT_TRUE(FileExists(Path("work")));
}

TEST_F(FileOpsTest, MoveAcrossFileSystems) {
    // /dev/shm is a memory file system: a rename into the test folder fails
    // with EXDEV there, and the move copies.
    struct stat shm {
    }, here{};
    if (stat("/dev/shm", &shm) != 0 || stat(Dir().c_str(), &here) != 0 ||
        shm.st_dev == here.st_dev) {
        GTEST_SKIP() << "no second file system";
    }
    const std::string source = "/dev/shm/quenrix-move-" + std::to_string(getpid());
    Bytes content(200 * 1024);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i % 251);
    WriteBytes(source, content);
    WriteBytes(Path("target"), Bytes{9});
    ASSERT_TRUE(MoveFileReplacing(source, Path("target")));
    EXPECT_EQ(ReadBytes(Path("target")), content);
    EXPECT_FALSE(FileExists(source));
    EXPECT_FALSE(FileExists(Path("target.quenrix-part")));
}

TEST_F(FileOpsTest, ExecutableFolderHoldsThisProgram) {
    const std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(FileExists(ExecutablePath()));
}

}  // namespace
}  // namespace quenrix::test
