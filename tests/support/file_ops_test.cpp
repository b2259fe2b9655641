#include "support/file_ops.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>

#include "support/binary_file.h"
#include "support/content_hash.h"
#include "support/failure.h"
#include "support/native.h"
#include "tests/helpers/forwarding_layer.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

using FileOpsTest = TempDirTest;

// Stores `from` as `to` as a batch does, each through its folder opened
// now; with a file it may replace there and the hash it must read back as.
bool Store(const std::string& from, const std::string& to,
           std::optional<native::EntryInfo> replaceable = std::nullopt,
           std::optional<std::uint64_t> hash = std::nullopt, Failure* failure = nullptr) {
    FileToStore file;
    file.source = LocateFile(from).value;
    file.target = LocateFile(to).value;
    file.replaceable = replaceable;
    file.expectedHash = hash;
    const bool stored = StoreFile(file);
    if (failure != nullptr)
        *failure = file.failure;
    return stored;
}

native::EntryInfo Entry(const std::string& path) {
    native::EntryInfo info;
    EXPECT_EQ(native::Inspect(path, info).value, native::Lookup::Found) << path;
    return info;
}

FileAt At(const std::string& path) {
    return LocateFile(path).value;
}

TEST_F(FileOpsTest, ExistsDeleteAndIdentity) {
    WriteBytes(Path("a"), Bytes{1});
    std::filesystem::create_directory(Path("dir"));
    EXPECT_TRUE(FileExists(Path("a")));
    EXPECT_FALSE(FileExists(Path("dir")));
    EXPECT_FALSE(FileExists(""));
    std::filesystem::create_hard_link(Path("a"), Path("b"));
    EXPECT_TRUE(SameFile(Path("a"), Path("b")));
    EXPECT_TRUE(SameFile(Path("a"), Path("dir/../a")));
    EXPECT_FALSE(SameFile(Path("a"), Path("missing")));
    EXPECT_TRUE(DeleteFile(Path("a")));
    EXPECT_TRUE(DeleteFile(Path("a")));  // already gone
    EXPECT_FALSE(DeleteFile(Path("dir")));
}

TEST_F(FileOpsTest, StoringReplacesNothingButTheFileItMay) {
    WriteBytes(Path("work"), Bytes{1, 2});
    WriteBytes(Path("target"), Bytes{9});
    Failure failure;
    EXPECT_FALSE(Store(Path("work"), Path("target"), {}, {}, &failure));
    EXPECT_EQ(failure.Why(), "it exists already");
    EXPECT_EQ(ReadBytes(Path("target")), (Bytes{9}));
    // Another file's identity is no leave to replace this one.
    const native::EntryInfo work = Entry(Path("work"));
    const native::EntryInfo target = Entry(Path("target"));
    EXPECT_FALSE(Store(Path("work"), Path("target"), work));
    EXPECT_EQ(ReadBytes(Path("target")), (Bytes{9}));
    // A file that replaces another must read back as it was written.
    EXPECT_FALSE(Store(Path("work"), Path("target"), target, 1, &failure));
    EXPECT_EQ(failure.step, Failure::Step::ReadBack);
    EXPECT_EQ(ReadBytes(Path("target")), (Bytes{9}));
    ContentHash right;
    right.Add(Bytes{1, 2}.data(), 2);
    ASSERT_TRUE(Store(Path("work"), Path("target"), target, right.Value()));
    EXPECT_EQ(ReadBytes(Path("target")), (Bytes{1, 2}));
    EXPECT_FALSE(FileExists(Path("work")));

    WriteBytes(Path("work"), Bytes{3});
    ASSERT_TRUE(Store(Path("work"), Path("new")));
    EXPECT_EQ(ReadBytes(Path("new")), (Bytes{3}));
    WriteBytes(Path("work"), Bytes{3});
    std::filesystem::create_directory(Path("folder"));
    EXPECT_FALSE(Store(Path("work"), Path("folder")));
    EXPECT_TRUE(FileExists(Path("work")));
    EXPECT_FALSE(Store(Path("missing"), Path("x")));
    EXPECT_FALSE(Store(Path("work"), ""));
    EXPECT_FALSE(Store(Path("work"), Path("missing/x")));
    EXPECT_TRUE(FileExists(Path("work")));
}

// Another run stores a file under the same name between this run's check
// and its rename: the rename itself refuses, and the other file stays.
TEST_F(FileOpsTest, AFileThatAppearsBeforeTheRenameIsNotReplaced) {
    class OtherRunStoresMeanwhile final : public ForwardingLayer {
      public:
        explicit OtherRunStoresMeanwhile(std::string target)
            : ForwardingLayer(native::CurrentLayer()), target_(std::move(target)) {}
        bool SyncFile(native::Handle file) override {  // the flush before the rename
            WriteBytes(target_, Bytes{7});
            return next_.SyncFile(file);
        }

      private:
        std::string target_;
    } other(Path("target"));
    WriteBytes(Path("work"), Bytes{1, 2});
    Failure failure;
    {
        const LayerInPlace inPlace(other);
        EXPECT_FALSE(Store(Path("work"), Path("target"), {}, {}, &failure));
    }
    EXPECT_EQ(failure.Why(), "it exists already");
    EXPECT_EQ(ReadBytes(Path("target")), (Bytes{7}));
    EXPECT_EQ(ReadBytes(Path("work")), (Bytes{1, 2}));
}

// Work files of runs that died go; one a live run holds stays, and so
// does one just written and closed, which its run is about to store.
TEST_F(FileOpsTest, OnlyWorkFilesNoLiveRunHoldsAreRemoved) {
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const char* name : {".quenrix-work-dead-0.tmp", ".quenrix-work-held-0.tmp", "other.tmp"}) {
        WriteBytes(Path(name), Bytes{1});
        std::filesystem::last_write_time(Path(name), old);
    }
    WriteBytes(Path(".quenrix-work-storing-0.tmp"), Bytes{1});
    OutputFile live;
    ASSERT_TRUE(live.CreateFresh(At(Path(".quenrix-work-live-0.tmp"))));
    const native::Handle held = native::OpenForReading(Path(".quenrix-work-held-0.tmp")).value;
    ASSERT_TRUE(native::TryLock(held));
    RemoveLeftoverWorkFiles(Folder::Open(Dir()).value, ".quenrix-work-*.tmp");
    EXPECT_FALSE(FileExists(Path(".quenrix-work-dead-0.tmp")));
    EXPECT_TRUE(FileExists(Path(".quenrix-work-live-0.tmp")));
    EXPECT_TRUE(FileExists(Path(".quenrix-work-held-0.tmp")));
    EXPECT_TRUE(FileExists(Path(".quenrix-work-storing-0.tmp")));
    EXPECT_TRUE(FileExists(Path("other.tmp")));
    EXPECT_TRUE(live.Close());
    (void)native::CloseFile(held);
}

TEST_F(FileOpsTest, MoveAcrossFileSystems) {
    // /dev/shm is a memory file system (Wine's drive Z: reaches it): a
    // rename from there into the test folder fails, and the move copies.
#ifdef _WIN32
    const std::string other = "Z:\\dev\\shm";
#else
    const std::string other = "/dev/shm";
#endif
    native::EntryInfo shm, here;
    if (native::Inspect(other, shm).value != native::Lookup::Found ||
        native::Inspect(Dir(), here).value != native::Lookup::Found || shm.device == here.device) {
        GTEST_SKIP() << "no second file system";
    }
    const std::string source =
        other + kSeparator + "quenrix-move-" + std::to_string(native::ProcessId());
    Bytes content(200 * 1024);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i % 251);
    WriteBytes(source, content);
    WriteBytes(Path("taken"), Bytes{9});
    EXPECT_FALSE(Store(source, Path("taken")));
    EXPECT_EQ(ReadBytes(Path("taken")), (Bytes{9}));
    ASSERT_TRUE(Store(source, Path("target")));
    EXPECT_EQ(ReadBytes(Path("target")), content);
    EXPECT_FALSE(FileExists(source));
    for (const auto& entry : std::filesystem::directory_iterator(Dir()))
        EXPECT_EQ(entry.path().string().find(".quenrix-part"), std::string::npos) << entry.path();
}

TEST_F(FileOpsTest, SameContentComparesEveryByte) {
    Bytes content(150 * 1024);  // more than one piece of the comparison
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i % 253);
    WriteBytes(Path("a"), content);
    WriteBytes(Path("b"), content);
    EXPECT_TRUE(SameContent(At(Path("a")), At(Path("b"))));
    content[140 * 1024] ^= 1;  // in the second piece
    WriteBytes(Path("b"), content);
    EXPECT_FALSE(SameContent(At(Path("a")), At(Path("b"))));
    content.pop_back();
    WriteBytes(Path("b"), content);
    EXPECT_FALSE(SameContent(At(Path("a")), At(Path("b"))));
    WriteBytes(Path("e1"), Bytes{});
    WriteBytes(Path("e2"), Bytes{});
    EXPECT_TRUE(SameContent(At(Path("e1")), At(Path("e2"))));
    EXPECT_FALSE(SameContent(At(Path("a")), At(Path("missing"))));
    std::filesystem::create_directory(Path("folder"));
    EXPECT_FALSE(SameContent(At(Path("folder")), At(Path("folder"))));
}

// The read-back takes the file from the disk in whole pieces (unbuffered
// on Windows) and must still hash every byte up to a last, short piece.
TEST_F(FileOpsTest, ReadBackHashTakesEveryByte) {
    Bytes content(2 * 1024 * 1024 + 1000);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i % 251);
    auto hashOf = [](const Bytes& bytes) {
        ContentHash hash;
        hash.Add(bytes.data(), bytes.size());
        return hash.Value();
    };
    WriteBytes(Path("a"), content);
    std::uint64_t stored = 0;
    ASSERT_TRUE(ReadBackHash(At(Path("a")), stored));
    EXPECT_EQ(stored, hashOf(content));
    const std::uint64_t before = stored;
    content.back() ^= 1;  // in the last, short piece
    WriteBytes(Path("a"), content);
    ASSERT_TRUE(ReadBackHash(At(Path("a")), stored));
    EXPECT_NE(stored, before);
    EXPECT_EQ(stored, hashOf(content));
    Failure failure;
    EXPECT_FALSE(ReadBackHash(At(Path("missing")), stored, &failure));
    EXPECT_EQ(failure.step, Failure::Step::ReadBack);
}

TEST_F(FileOpsTest, MakeFoldersMakesEveryMissingFolderAbove) {
    EXPECT_TRUE(MakeFolders(Path("a/b/c/")));
    EXPECT_TRUE(std::filesystem::is_directory(Path("a/b/c")));
    EXPECT_TRUE(MakeFolders(Path("a/b")));  // there already
    EXPECT_TRUE(MakeFolders(Dir()));
    WriteBytes(Path("file"), Bytes{1});
    Failure failure;
    EXPECT_FALSE(MakeFolders(Path("file/sub"), &failure));
    EXPECT_EQ(failure.path, Path("file"));  // the folder that could not be made
    EXPECT_FALSE(MakeFolders(Path("file"), &failure));
    EXPECT_EQ(failure.step, Failure::Step::MakeFolder);
    EXPECT_FALSE(failure.Why().empty());
}

TEST_F(FileOpsTest, FailedMoveSaysWhy) {
    std::filesystem::create_directory(Path("dir"));
    WriteBytes(Path("a"), Bytes{1});
    Failure failure;
    EXPECT_FALSE(Store(Path("a"), Path("dir"), {}, {}, &failure));
    EXPECT_EQ(failure.Why(), "it is a folder");
    EXPECT_EQ(failure.path, Path("dir"));
    EXPECT_FALSE(Store(Path("missing"), Path("b"), {}, {}, &failure));
    EXPECT_EQ(failure.Why(), "no such file or folder");
}

}  // namespace
}  // namespace quenrix::test
