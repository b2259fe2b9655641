#include "support/oplog.h"

#include <gtest/gtest.h>

#include <thread>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/cp932.h"
#include "tests/helpers/forwarding_layer.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

// A disk with no room for a new file.
class FullDiskForNewFiles final : public ForwardingLayer {
  public:
    FullDiskForNewFiles() : ForwardingLayer(native::CurrentLayer()) {}
    native::Handle OpenAt(native::Handle folder, const std::string& name, native::OpenAs how,
                          unsigned permissions) override {
        if (how != native::OpenAs::NewFile)
            return next_.OpenAt(folder, name, how, permissions);
        errno = ENOSPC;
        return native::kNoFile;
    }
};

class OperationLogTest : public TempDirTest {
  protected:
    void WriteRaw(const std::string& text) {
        std::ofstream out(LogPath(), std::ios::binary | std::ios::trunc);
        out << text;
    }
};

TEST_F(OperationLogTest, EntryIsTimeStampSeparatorAndMessageInCodePage932) {
    SetNow(2013, 10, 1, 9, 5, 7);
    opLog.Write(" > ERROR：入力ファイルなし");
    EXPECT_EQ(LogBytes(),
              "2013/10/01 09:05:07 -  > ERROR\x81\x46"
              "\x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xc8\x82\xb5\r\n");
}

TEST_F(OperationLogTest, EmptyPathTouchesNothing) {
    OperationLog().Write("message");
    OperationLog().WriteLong("message");
    OperationLog().AppendLine("line", kLogLineCap);
    EXPECT_TRUE(std::filesystem::is_empty(Dir()));
}

TEST_F(OperationLogTest, EntriesAppendInOrderAndEmptyMessageEndsWithSeparator) {
    opLog.Write("first");
    opLog.Write("");
    EXPECT_EQ(LogBytes(), "2013/10/01 10:00:00 - first\r\n2013/10/01 10:00:00 - \r\n");
}

TEST_F(OperationLogTest, ShortAndLongLimits) {
    const std::string hundred(100, 'x');
    EXPECT_EQ(PrepareLogMessage(hundred, kShortLogLimit), std::string(80, 'x'));
    EXPECT_EQ(PrepareLogMessage(hundred, kLongLogLimit), hundred);
    EXPECT_EQ(PrepareLogMessage(std::string(80, 'y'), kShortLogLimit), std::string(80, 'y'));
    EXPECT_EQ(PrepareLogMessage(std::string(600, 'z'), kLongLogLimit), std::string(512, 'z'));

    opLog.Write(hundred);
    opLog.WriteLong(hundred);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{std::string(80, 'x'), hundred}));
}

TEST_F(OperationLogTest, DoubleByteCharacterAtTheLimitStaysWhole) {
    // Byte 80 is the first byte of "あ" (0x82 0xA0): 81 bytes are kept.
    EXPECT_EQ(PrepareLogMessage(std::string(79, 'a') + "あbbb", kShortLogLimit),
              std::string(79, 'a') + "\x82\xa0");
    // Byte 80 is the second byte of "あ": the character already ends there.
    EXPECT_EQ(PrepareLogMessage(std::string(78, 'a') + "あbbb", kShortLogLimit),
              std::string(78, 'a') + "\x82\xa0");
    // Byte 80 is the second byte of "＠" (0x81 0x97), a value that could be
    // a first byte: it is still the end of a character.
    EXPECT_EQ(PrepareLogMessage(std::string(78, 'a') + "＠cc", kShortLogLimit),
              std::string(78, 'a') + "\x81\x97");
    EXPECT_EQ(PrepareLogMessage(std::string(511, 'a') + "表b", kLongLogLimit),
              std::string(511, 'a') + "\x95\x5c");
}

TEST_F(OperationLogTest, MessageIsCutAtItsFirstLineBreakInSearchOrder) {
    EXPECT_EQ(PrepareLogMessage("a\r\nb", kShortLogLimit), "a");
    EXPECT_EQ(PrepareLogMessage("a\rb\nc", kShortLogLimit), "a");
    EXPECT_EQ(PrepareLogMessage("a\nb", kShortLogLimit), "a");
    // CR LF is searched first, so a lone LF before it stays in the message...
    EXPECT_EQ(PrepareLogMessage("a\nb\r\nc", kShortLogLimit), "a\nb");
    // ...and lands in the file as two lines.
    opLog.Write("a\nb\r\nc");
    EXPECT_EQ(LogBytes(), "2013/10/01 10:00:00 - a\r\nb\r\n");
    // Also when the entry is appended to a log that is already there.
    opLog.Write("c\nd\r\ne");
    EXPECT_EQ(LogBytes(), "2013/10/01 10:00:00 - a\r\nb\r\n2013/10/01 10:00:00 - c\r\nd\r\n");
}

TEST_F(OperationLogTest, CutCountsCodePage932Bytes) {
    // 40 characters of two bytes each are 80 bytes: kept whole.
    std::string forty;
    for (int i = 0; i < 40; ++i) forty += "あ";
    EXPECT_EQ(PrepareLogMessage(forty + "x", kShortLogLimit).size(), 80u);
}

TEST_F(OperationLogTest, CharactersOutsideCodePage932BecomeQuestionMarks) {
    EXPECT_EQ(PrepareLogMessage("é😀ア", kShortLogLimit), "??\x83\x41");
    EXPECT_EQ(PrepareLogMessage("a\xff"
                                "b",
                                kShortLogLimit),
              "a?b");
    opLog.Write("data\xf0\x9f\x98\x80.SIG");
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"data?.SIG"}));
}

TEST_F(OperationLogTest, KeepsTheNewestThousandLines) {
    std::string old;
    for (int i = 1; i <= 1000; ++i) old += "line " + std::to_string(i) + "\r\n";
    WriteRaw(old);
    opLog.Write("new");
    std::vector<std::string> lines = LogMessages();
    ASSERT_EQ(lines.size(), 1000u);
    EXPECT_EQ(Cp932ToUtf8(LogBytes().substr(0, 8)), "line 2\r\n");
    EXPECT_EQ(lines.back(), "new");
}

TEST_F(OperationLogTest, EntryAfterEntryKeepsTheNewestThousand) {
    for (int i = 1; i <= 1005; ++i) opLog.Write("entry " + std::to_string(i));
    const std::vector<std::string> lines = LogMessages();
    ASSERT_EQ(lines.size(), 1000u);
    EXPECT_EQ(lines.front(), "entry 6");
    EXPECT_EQ(lines.back(), "entry 1005");
}

// A run's entries are held and written together, the log let grow past
// its cap up to its bound, and cut back to the newest thousand lines when
// the run ends.
TEST_F(OperationLogTest, ARunsEntriesAreWrittenTogetherAndCutBackWhenItEnds) {
    {
        const LogGroup run(opLog);
        for (int i = 1; i <= 2500; ++i) {
            opLog.Write("entry " + std::to_string(i));
            if (i % 100 != 99)
                continue;
            const std::size_t written = LogMessages().size();
            if (i == 1999) {
                // Past the cap, below the bound: at most 1024 entries held.
                EXPECT_GE(written, 1999u - 1024u);
                EXPECT_LE(written, 1999u);
            }
            EXPECT_LE(written, kLogLineBound);
        }
    }
    const std::vector<std::string> lines = LogMessages();
    ASSERT_EQ(lines.size(), 1000u);
    EXPECT_EQ(lines.front(), "entry 1501");
    EXPECT_EQ(lines.back(), "entry 2500");
}

TEST_F(OperationLogTest, LineFeedOnlyLogIsRewrittenWithCrLf) {
    WriteRaw("one\ntwo\n");
    opLog.AppendLine("three", kLogLineCap);
    EXPECT_EQ(LogBytes(), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(OperationLogTest, LastLineWithoutLineEndDoesNotSwallowTheEntry) {
    WriteRaw("one\r\ntwo");
    opLog.AppendLine("three", kLogLineCap);
    EXPECT_EQ(LogBytes(), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(OperationLogTest, LongLineCountsAsPiecesOf1023Bytes) {
    // One line of 1500 bytes reads as two pieces (1023 + 477 with its line
    // end); with 998 more lines the file counts 1000 lines.
    std::string old = std::string(1023, 'A') + std::string(477, 'B') + "\r\n";
    for (int i = 0; i < 998; ++i) old += "x\r\n";
    WriteRaw(old);
    opLog.AppendLine("new", kLogLineCap);
    std::string expected = std::string(477, 'B') + "\r\n";
    for (int i = 0; i < 998; ++i) expected += "x\r\n";
    EXPECT_EQ(LogBytes(), expected + "new\r\n");

    // Below the cap the pieces are written back joined.
    WriteRaw(std::string(1500, 'C') + "\r\n");
    opLog.AppendLine("z", kLogLineCap);
    EXPECT_EQ(LogBytes(), std::string(1500, 'C') + "\r\nz\r\n");
}

TEST_F(OperationLogTest, FailuresLoseTheEntryButNeverTheOldLog) {
    // Missing folder: nothing is created.
    OperationLog(Path("missing/test.log")).Write("entry");
    EXPECT_FALSE(std::filesystem::exists(Path("missing")));

    // The replacement cannot be written: the old log stays byte for byte.
    WriteRaw("old line\n");  // LF only: the file is rewritten whole
    {
        FullDiskForNewFiles full;
        const LayerInPlace inPlace(full);
        opLog.Write("entry");
    }
    EXPECT_EQ(LogBytes(), "old line\n");

    // The log path is a folder: it is left alone.
    std::filesystem::create_directory(Path("folder.log"));
    OperationLog(Path("folder.log")).Write("entry");
    EXPECT_TRUE(std::filesystem::is_directory(Path("folder.log")));
}

#ifndef _WIN32  // modes and links
// Another user of a shared folder may leave a program under the log's name
// with set-user-ID and execute bits: whoever rewrites the log (root among
// them) must not make it a program of theirs.
TEST_F(OperationLogTest, ARewrittenLogNeverCarriesExecuteOrSetIdBits) {
    WriteRaw(
        "\x7f"
        "ELF program without line ends");
    ASSERT_EQ(::chmod(LogPath().c_str(), 06755), 0);
    opLog.Write("entry");  // no CR LF: the log is rewritten whole
    struct stat st {};
    ASSERT_EQ(::stat(LogPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07111, 0u) << std::oct << st.st_mode;
    EXPECT_EQ(st.st_mode & 0666 & ~0644u, 0u) << "more than the old read and write bits";
    EXPECT_EQ(LogMessages().back(), "entry");
}

// The log is swapped for a link to a file only this run may read, between
// its checks and its open: nothing of that file reaches the log.
TEST_F(OperationLogTest, ALinkSwappedInAfterTheLookUpIsNotRead) {
    {
        std::ofstream secret(Path("secret"), std::ios::binary);
        secret << "the secret\n";
    }
    WriteRaw("old line\n");  // LF only: read and rewritten whole
    // Another user puts a link to their secret in the log's place right
    // before the log is opened.
    class SwapBeforeTheOpen final : public ForwardingLayer {
      public:
        SwapBeforeTheOpen(std::string log, std::string secret)
            : ForwardingLayer(native::CurrentLayer()),
              log_(std::move(log)),
              secret_(std::move(secret)) {}
        native::Handle OpenAt(native::Handle folder, const std::string& name, native::OpenAs how,
                              unsigned permissions) override {
            if (name == std::filesystem::path(log_).filename() && !swapped_) {
                swapped_ = true;
                std::filesystem::remove(log_);
                std::filesystem::create_symlink(secret_, log_);
            }
            return next_.OpenAt(folder, name, how, permissions);
        }

      private:
        std::string log_, secret_;
        bool swapped_ = false;
    } swapping(LogPath(), Path("secret"));
    {
        const LayerInPlace inPlace(swapping);
        opLog.Write("entry");
    }
    // The link is replaced by a log of its own, which holds nothing of
    // the file behind the link; that file keeps its bytes.
    EXPECT_FALSE(std::filesystem::is_symlink(LogPath()));
    EXPECT_EQ(LogBytes().find("secret"), std::string::npos);
    EXPECT_NE(LogBytes().find(" - entry\r\n"), std::string::npos);
    std::ifstream secret(Path("secret"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(secret), {}), "the secret\n");
}

// A log with another name too (another user hard-linked a file of theirs
// as the log) is not appended to: the name is replaced by a log of its
// own, and the other file keeps its bytes.
TEST_F(OperationLogTest, AHardLinkedLogIsReplacedByALogOfItsOwn) {
    {
        std::ofstream theirs(Path("theirs"), std::ios::binary);
        theirs << "their own\r\n";
    }
    std::filesystem::create_hard_link(Path("theirs"), LogPath());
    opLog.Write("entry");
    std::ifstream theirs(Path("theirs"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(theirs), {}), "their own\r\n");
    EXPECT_EQ(std::filesystem::hard_link_count(LogPath()), 1u);
    EXPECT_NE(LogBytes().find(" - entry\r\n"), std::string::npos);
    EXPECT_EQ(LogBytes().find("their own"), std::string::npos);
}

#endif

#ifndef _WIN32  // a file size limit needs setrlimit
TEST_F(OperationLogTest, AppendThatFailsHalfwayIsTakenBack) {
    WriteRaw("old line\r\n");
    opLog.Write("first");  // the log is ours now: entries are appended
    const std::string before = LogBytes();
    // A file size limit just past the end makes the next append fail
    // after a few bytes.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = before.size() + 5;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    opLog.Write("a message longer than five bytes");
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(LogBytes(), before);
    // The next entry lands as if nothing had happened.
    opLog.Write("next");
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"old line", "first", "next"}));
}
#endif

TEST_F(OperationLogTest, ChangesByOthersBetweenEntriesAreRespected) {
    opLog.Write("one");
    WriteRaw("edited\n");  // another program rewrote the log meanwhile
    opLog.Write("two");
    EXPECT_EQ(LogBytes(), "edited\r\n2013/10/01 10:00:00 - two\r\n");
}

TEST_F(OperationLogTest, NoTemporaryFileIsLeftBehind) {
    opLog.Write("entry");
    EXPECT_FALSE(std::filesystem::exists(LogPath() + ".tmp"));
}

TEST_F(OperationLogTest, AFileKeepsItsMessagesAsTheLogHoldsThemAlsoWhileLoggingIsOff) {
    std::vector<std::string> logged, off;
    FileLog(&opLog, logged).Write(std::string(100, 'b'));  // cut to 80 bytes as the log holds it
    FileLog(nullptr, off).Write(std::string(100, 'b'));
    EXPECT_EQ(logged, std::vector<std::string>{std::string(80, 'b')});
    EXPECT_EQ(off, logged);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{std::string(80, 'b')});
}

TEST(Cp932Test, SameBytesOnEverySystem) {
    // The JIS forms of nine characters, which Linux's table takes and
    // Windows' does not by itself.
    EXPECT_EQ(Utf8ToCp932("〜−‖¥—¢£¬‾"),
              "\x81\x60\x81\x7c\x81\x61\x5c\x81\x5c\x81\x91\x81\x92\x81\xca\x7e");
    // Code points and bytes only Windows' table maps; beyond the first plane.
    EXPECT_EQ(Utf8ToCp932("\xc2\x80\xef\xa3\xb0"), "??");
    EXPECT_EQ(Cp932ToUtf8("\x80\xa0\xfd"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToCp932("a😀b"), "a?b");
}

TEST(Cp932Test, ConvertsBothWays) {
    EXPECT_EQ(Utf8ToCp932("表ソＡ1"),
              "\x95\x5c\x83\x5c\x82\x60"
              "1");
    EXPECT_EQ(Cp932ToUtf8("\x95\x5c\x83\x5c\x82\x60"
                          "1"),
              "表ソＡ1");
    EXPECT_EQ(Utf8ToCp932(""), "");
    EXPECT_TRUE(IsCp932LeadByte(0x81));
    EXPECT_TRUE(IsCp932LeadByte(0xFC));
    EXPECT_FALSE(IsCp932LeadByte(0xA0));
    EXPECT_FALSE(IsCp932LeadByte(0x5C));
}

}  // namespace
}  // namespace quenrix::test
