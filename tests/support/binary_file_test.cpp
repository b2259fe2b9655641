#include "support/binary_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "tests/helpers/forwarding_layer.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

using BinaryFileTest = TempDirTest;

Bytes Pattern(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

TEST_F(BinaryFileTest, ReadsBytesAndRunsAcrossBufferRefills) {
    const Bytes content = Pattern(3 * InputFile::kBufferSize + 123);
    WriteBytes(Path("in"), content);
    InputFile in;
    ASSERT_TRUE(in.Open(Path("in")));

    Bytes got;
    std::uint8_t byte;
    ASSERT_EQ(in.ReadByte(byte), InputFile::Status::Ok);
    got.push_back(byte);
    // A run that straddles two refills.
    Bytes run(InputFile::kBufferSize + 10);
    ASSERT_EQ(in.Read(run.data(), run.size()), run.size());
    got.insert(got.end(), run.begin(), run.end());
    while (in.ReadByte(byte) == InputFile::Status::Ok) got.push_back(byte);
    EXPECT_EQ(got, content);
    EXPECT_EQ(in.Position(), content.size());
    EXPECT_FALSE(in.Failed());
    EXPECT_EQ(in.ReadByte(byte), InputFile::Status::End);
    EXPECT_EQ(in.Read(run.data(), 5), 0u);
}

TEST_F(BinaryFileTest, PeekShowsOnlyWhatTheBufferHoldsWhole) {
    const Bytes content = Pattern(2 * InputFile::kBufferSize);
    WriteBytes(Path("in"), content);
    InputFile in;
    ASSERT_TRUE(in.Open(Path("in")));
    EXPECT_EQ(in.Peek(1), nullptr);  // nothing read yet
    std::uint8_t byte;
    ASSERT_EQ(in.ReadByte(byte), InputFile::Status::Ok);
    const std::uint8_t* view = in.Peek(InputFile::kBufferSize - 1);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(Bytes(view, view + 3), Bytes(content.begin() + 1, content.begin() + 4));
    EXPECT_EQ(in.Peek(InputFile::kBufferSize), nullptr);  // runs past the buffer
    in.Skip(InputFile::kBufferSize - 3);
    EXPECT_EQ(in.Position(), InputFile::kBufferSize - 2);
    // What runs past the buffer comes whole through Read.
    Bytes straddling(4);
    ASSERT_EQ(in.Read(straddling.data(), 4), 4u);
    EXPECT_EQ(straddling, Bytes(content.begin() + InputFile::kBufferSize - 2,
                                content.begin() + InputFile::kBufferSize + 2));
}

TEST_F(BinaryFileTest, ReservedRoomIsWrittenOnlyOnceCommitted) {
    const Bytes content = Pattern(OutputFile::kBufferSize + 100);
    OutputFile out;
    ASSERT_TRUE(out.Create(Path("out")));
    ASSERT_TRUE(out.Write(content.data(), OutputFile::kBufferSize - 10));
    // Room for 50 bytes is not left in the buffer: it goes out first.
    std::uint8_t* room = out.Reserve(50);
    ASSERT_NE(room, nullptr);
    std::memcpy(room, content.data() + OutputFile::kBufferSize - 10, 50);
    out.Commit(50);
    room = out.Reserve(200);  // filled, but never committed
    ASSERT_NE(room, nullptr);
    std::memset(room, 0xEE, 200);
    ASSERT_TRUE(out.Write(content.data() + OutputFile::kBufferSize + 40, 60));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadBytes(Path("out")), content);
    EXPECT_EQ(out.Reserve(1), nullptr);  // closed
}

TEST_F(BinaryFileTest, RoomSetAsideIsGivenBackAtClose) {
    const Bytes content = Pattern(3 * OutputFile::kBufferSize / 2);
    // More room than written, then less: the file holds what was written.
    for (std::uint64_t expected :
         {std::uint64_t{64} << 20, std::uint64_t{OutputFile::kBufferSize + 1}}) {
        OutputFile out;
        ASSERT_TRUE(out.Create(Path("out")));
        out.ExpectSize(expected);
        ASSERT_TRUE(out.Write(content.data(), content.size()));
        ASSERT_TRUE(out.Close());
        EXPECT_EQ(ReadBytes(Path("out")), content);
#ifndef _WIN32
        struct stat st {};
        ASSERT_EQ(::stat(Path("out").c_str(), &st), 0);
        EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, content.size() + (1u << 20))
            << expected;
#endif
    }
    InputFile in;
    ASSERT_TRUE(in.Open(Path("out")));
    native::EntryInfo info;
    ASSERT_TRUE(in.Inspect(info));
    EXPECT_EQ(info.size, content.size());
    in.Close();
    EXPECT_FALSE(in.Inspect(info));
}

TEST_F(BinaryFileTest, BuffersGoBackForTheNextFiles) {
    std::set<std::uint8_t*> given;
    {
        std::vector<FileBuffer> buffers;
        for (int i = 0; i < 6; ++i) buffers.push_back(TakeFileBuffer());
        for (const FileBuffer& buffer : buffers) given.insert(buffer.get());
    }
    // A file read and a file written at once take four: all kept ones.
    std::vector<FileBuffer> again;
    for (int i = 0; i < 4; ++i) {
        again.push_back(TakeFileBuffer());
        EXPECT_EQ(given.count(again.back().get()), 1u) << i;
    }
    // The files' own buffers come from there too.
    const std::uint8_t* kept = again.back().get();
    again.pop_back();
    OutputFile out;
    ASSERT_TRUE(out.Create(Path("out")));
    EXPECT_EQ(out.Reserve(1), kept);
}

TEST_F(BinaryFileTest, ShortReadAtTheEnd) {
    WriteBytes(Path("in"), Pattern(5));
    InputFile in;
    ASSERT_TRUE(in.Open(Path("in")));
    std::uint8_t buffer[8];
    EXPECT_EQ(in.Read(buffer, 8), 5u);
    EXPECT_FALSE(in.Failed());
}

TEST_F(BinaryFileTest, MissingFileDoesNotOpenAndFolderFailsToRead) {
    InputFile in;
    EXPECT_FALSE(in.Open(Path("missing")));
    EXPECT_EQ(FailureText(in.Cause()), "no such file or folder");
    std::filesystem::create_directory(Path("folder"));
    EXPECT_FALSE(in.Open(Path("folder")));
    EXPECT_EQ(FailureText(in.Cause()), "it is a folder");
#ifndef _WIN32
    // A named pipe with nobody at its far end, and a device: refused at
    // once, not waited on or read without end.
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(in.Open(Path("pipe")));
    EXPECT_EQ(FailureText(in.Cause()), "not a regular file");
    std::filesystem::create_symlink("/dev/zero", Path("zero.SIG"));
    EXPECT_FALSE(in.Open(Path("zero.SIG")));
    EXPECT_EQ(FailureText(in.Cause()), "not a regular file");
#endif
    OutputFile out;
    EXPECT_FALSE(out.Create(Path("missing/out")));
    EXPECT_EQ(FailureText(out.Cause()), "no such file or folder");
}

TEST_F(BinaryFileTest, WritesWholeFileThroughTheBuffer) {
    const Bytes content = Pattern(2 * OutputFile::kBufferSize + 77);
    OutputFile out;
    ASSERT_TRUE(out.Create(Path("out")));
    // Small pieces, then one larger than the buffer.
    ASSERT_TRUE(out.Write(content.data(), 100));
    ASSERT_TRUE(out.Write(content.data() + 100, content.size() - 100));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadBytes(Path("out")), content);

    // Create truncates an existing file.
    ASSERT_TRUE(out.Create(Path("out")));
    ASSERT_TRUE(out.Close());
    EXPECT_TRUE(ReadBytes(Path("out")).empty());
}

TEST_F(BinaryFileTest, FullDiskIsNeverLost) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    OutputFile out;
    ASSERT_TRUE(out.Create("/dev/full"));
    const Bytes content = Pattern(100);
    // The write lands in the buffer; the failure shows when it is flushed.
    EXPECT_TRUE(out.Write(content.data(), content.size()));
    EXPECT_FALSE(out.Close());
    EXPECT_TRUE(out.Failed());
    EXPECT_EQ(FailureText(out.Cause()), "no space left on the disk");
    EXPECT_FALSE(out.Write(content.data(), 1));
}

TEST_F(BinaryFileTest, FullDiskBehindTheWritingThreadStopsTheWriter) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    OutputFile out;
    ASSERT_TRUE(out.Create("/dev/full"));
    const Bytes content = Pattern(OutputFile::kBufferSize);
    // The thread meets the failure with the first buffer; the caller
    // hears of it when it hands over the next one at the latest.
    bool refused = false;
    for (int i = 0; i < 4 && !refused; ++i) {
        refused = !out.Write(content.data(), content.size());
    }
    EXPECT_TRUE(refused);
    EXPECT_TRUE(out.Failed());
    EXPECT_FALSE(out.Close());
    EXPECT_EQ(FailureText(out.Cause()), "no space left on the disk");  // met on the writing thread
}

// Drops the file's bytes from memory where the system lets us, so that
// they must come from the disk: a file just written would be read at once,
// without reading ahead.
void DropFromMemory(const std::string& path) {
#ifndef _WIN32
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
#else
    (void)path;  // the file is always read ahead there
#endif
}

TEST_F(BinaryFileTest, ReadAheadDeliversEveryByteInOrderAndStopsWithClose) {
    const Bytes content = Pattern(3 * InputFile::kBufferSize + 12345);
    WriteBytes(Path("big"), content);
    // From the disk (read ahead), then from memory (read at once).
    for (bool fromDisk : {true, false}) {
        SCOPED_TRACE(fromDisk ? "from the disk" : "from memory");
        if (fromDisk)
            DropFromMemory(Path("big"));
        InputFile in;
        ASSERT_TRUE(in.Open(Path("big")));
        Bytes back(content.size());
        std::size_t at = 0;
        // Bytes one at a time and in runs, across every buffer boundary.
        while (at < back.size()) {
            if (at % 3 == 0) {
                ASSERT_EQ(in.ReadByte(back[at]), InputFile::Status::Ok);
                ++at;
            } else {
                at += in.Read(back.data() + at, std::min<std::size_t>(1000, back.size() - at));
            }
        }
        std::uint8_t byte;
        EXPECT_EQ(in.ReadByte(byte), InputFile::Status::End);
        EXPECT_EQ(back, content);
        EXPECT_EQ(in.Position(), content.size());
        // Opened again halfway through a read ahead: starts over cleanly.
        if (fromDisk)
            DropFromMemory(Path("big"));
        ASSERT_TRUE(in.Open(Path("big")));
        ASSERT_EQ(in.Read(back.data(), InputFile::kBufferSize + 1), InputFile::kBufferSize + 1);
        ASSERT_TRUE(in.Open(Path("big")));
        ASSERT_EQ(in.ReadByte(byte), InputFile::Status::Ok);
        EXPECT_EQ(byte, content[0]);
    }
}

#ifndef _WIN32  // sparse files
// A file of huge size that holds almost nothing on disk: the room a work
// file sets aside is what the input holds, not the size it claims.
TEST_F(BinaryFileTest, ASparseFileHoldsWhatItsDiskBlocksHold) {
    {
        std::ofstream out(Path("sparse.SIG"), std::ios::binary);
        out << "x";
    }
    std::filesystem::resize_file(Path("sparse.SIG"), std::uint64_t{64} << 30);
    InputFile in;
    ASSERT_TRUE(in.Open(Path("sparse.SIG")));
    native::EntryInfo info;
    ASSERT_TRUE(in.Inspect(info));
    EXPECT_EQ(info.size, std::uint64_t{64} << 30);
    EXPECT_LE(info.allocated, 1u << 20);
}
#endif

#ifndef _WIN32  // a named pipe stands in for a slow disk
// Opens a named pipe as a file to read, as the real layer never does.
class PipeOpeningLayer final : public ForwardingLayer {
  public:
    PipeOpeningLayer() : ForwardingLayer(native::CurrentLayer()) {}
    native::Handle OpenAt(native::Handle folder, const std::string& name, native::OpenAs how,
                          unsigned permissions) override {
        if (how != native::OpenAs::Reading)
            return next_.OpenAt(folder, name, how, permissions);
        return ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC);
    }
};

TEST_F(BinaryFileTest, ReadingFromASlowDiskKeepsCallingBack) {
    PipeOpeningLayer pipes;
    const LayerInPlace inPlace(pipes);
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    const Bytes content = Pattern(3 * InputFile::kBufferSize);
    // The far end starts writing only after a while.
    std::thread writer([&] {
        std::ofstream out(Path("pipe"), std::ios::binary);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        out.write(reinterpret_cast<const char*>(content.data()),
                  static_cast<std::streamsize>(content.size()));
    });
    InputFile in;
    ASSERT_TRUE(in.Open(Path("pipe")));
    int calls = 0;
    in.SetWhileWaiting([&calls] { ++calls; });
    Bytes back(content.size());
    EXPECT_EQ(in.Read(back.data(), back.size()), content.size());
    std::uint8_t byte;
    EXPECT_EQ(in.ReadByte(byte), InputFile::Status::End);
    writer.join();
    EXPECT_EQ(back, content);
    EXPECT_GT(calls, 5);  // 100 ms of waiting, a call every few milliseconds
}

TEST_F(BinaryFileTest, WaitingForASlowDiskKeepsCallingBack) {
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    const Bytes content = Pattern(3 * OutputFile::kBufferSize);
    Bytes received;
    // The far end starts reading only after a while, then takes everything.
    std::thread reader([&] {
        std::ifstream in(Path("pipe"), std::ios::binary);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        received.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    });
    OutputFile out;
    ASSERT_TRUE(out.Create(Path("pipe")));
    int calls = 0;
    out.SetWhileWaiting([&calls] { ++calls; });
    EXPECT_TRUE(out.Write(content.data(), content.size()));
    EXPECT_TRUE(out.Close());
    reader.join();
    EXPECT_EQ(received, content);
    EXPECT_GT(calls, 5);  // 100 ms of waiting, a call every few milliseconds
}
#endif

TEST_F(BinaryFileTest, CreateInMissingFolderFails) {
    OutputFile out;
    EXPECT_FALSE(out.Create(Path("missing/out")));
    std::uint8_t byte = 1;
    EXPECT_FALSE(out.Write(&byte, 1));
    EXPECT_FALSE(out.Close());
}

}  // namespace
}  // namespace quenrix::test
