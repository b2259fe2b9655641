// The program's own files as real runs meet them in a shared folder: the
// log (several runs writing it at once, a lock another program holds, a
// planted sparse file under its name, a log that cannot be written) and
// the report (a pipe or a link planted under its name).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/helpers/process.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

namespace fs = std::filesystem;

class OwnFilesTest : public TempDirTest {
  protected:
    // `count` recordings of one record each in `folder`, each its own hour.
    void Recordings(const std::string& folder, int count) {
        fs::create_directories(Path(folder));
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%04dA%02d%c.SIG", i, i % 24, 'B' + i / 24 % 20);
            WriteBytes(Path(folder + "/" + name),
                       Record(0x50, 23, {{2, Gps(1994, 1, 2 + i / 24, i % 24, 10)}}));
        }
    }

    // A log of `lines` earlier lines.
    void EarlierLog(const std::string& log, int lines) {
        std::ofstream out(log, std::ios::binary);
        for (int i = 0; i < lines; ++i) out << "2013/09/01 10:00:00 - earlier line " << i << "\r\n";
    }

    // quenrix-cli converting `folder` into `output`, logging to `log`, its
    // standard error into `errors`.
    Program StartCli(const std::string& folder, const std::string& log,
                     const std::string& errors = "/dev/null") {
        return StartOnTheRealClock(
            "/bin/sh",
            {"-c", std::string("exec \"$0\" \"$@\" 2>") + errors, QUENRIX_CLI, folder, "-q",
             "--output-dir", Path(folder + "-out"), "--log", log},
            Dir());
    }

    static std::string Text(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // How many lines of `log` end with `message`.
    static int Logged(const std::string& log, const std::string& message) {
        int count = 0;
        const std::string text = Text(log);
        for (std::size_t at = text.find(message + "\r\n"); at != std::string::npos;
             at = text.find(message + "\r\n", at + 1))
            ++count;
        return count;
    }
};

// Two runs at once on one log of nearly 2,000 lines, which each cuts back
// while the other writes: every file of both runs is logged.
TEST_F(OwnFilesTest, TwoRunsAtOnceLoseNoEntry) {
    constexpr int kFiles = 100;
    Recordings("a", kFiles);
    Recordings("b", kFiles);
    const std::string log = Path("q.log");
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fs::remove_all(Path("a-out"));
        fs::remove_all(Path("b-out"));
        EarlierLog(log, 1999);
        Program first = StartCli("a", log);
        Program second = StartCli("b", log);
        ASSERT_EQ(first.Wait(), 0);
        ASSERT_EQ(second.Wait(), 0);
        for (const char* folder : {"a", "b"})
            for (const auto& entry : fs::directory_iterator(Path(folder)))
                EXPECT_EQ(Logged(log, std::string(folder) + "/" + entry.path().filename().string()),
                          1)
                    << entry.path();
    }
}

// While another program holds the log's lock, a run writes nothing to it;
// its entries follow once the lock is let go.
TEST_F(OwnFilesTest, ARunWaitsForTheLogsLock) {
    Recordings("a", 3);
    const std::string log = Path("q.log");
    EarlierLog(log, 10);
    const int held = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const std::string before = Text(log);
    Program run = StartCli("a", log);
    // Its files converted meanwhile (a moment is enough for three), the
    // log untouched.
    for (int i = 0; i < 5000 && !fs::exists(Path("a-out")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(Text(log), before) << "the run wrote while another held the log's lock";
    const std::string mine = "2013/09/01 10:00:00 - the holder's own entry\r\n";
    ASSERT_EQ(::write(held, mine.data(), mine.size()), static_cast<ssize_t>(mine.size()));
    ::close(held);  // the lock goes with it
    ASSERT_EQ(run.Wait(), 0);
    EXPECT_EQ(Text(log).substr(0, before.size() + mine.size()), before + mine);
    EXPECT_EQ(Logged(log, "a/0000A00B.SIG"), 1);
}

// A sparse file of a gigabyte planted under the log's name: the run costs
// little memory, keeps the file aside and starts a new log, and says so.
TEST_F(OwnFilesTest, ASparseFileUnderTheLogsNameCostsNoMemory) {
    Recordings("a", 2);
    const std::string log = Path("q.log");
    { std::ofstream out(log, std::ios::binary); }
    fs::resize_file(log, 1ull << 30);
    // Run in a child of its own, whose children's peak memory is the run's.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Program run = StartCli("a", log, Path("errors.txt"));
        const int status = run.Wait();
        rusage usage{};
        ::getrusage(RUSAGE_CHILDREN, &usage);
        ::_exit(status != 0 ? 255 : static_cast<int>(std::min<long>(usage.ru_maxrss / 1024, 254)));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 255) << "the run failed";
    EXPECT_LT(WEXITSTATUS(status), 64) << "MiB at its peak";
    EXPECT_LT(fs::file_size(log), 4096u);
    EXPECT_EQ(Logged(log, "a/0000A00B.SIG"), 1);
    int kept = 0;
    for (const auto& entry : fs::directory_iterator(Dir()))
        if (entry.path().filename().string().rfind("q.log.", 0) == 0) {
            ++kept;
            EXPECT_EQ(fs::file_size(entry.path()), 1ull << 30);
        }
    EXPECT_EQ(kept, 1);
    EXPECT_NE(Text(Path("errors.txt")).find("held no log"), std::string::npos);
}

// A log that cannot be written is said once, with its cause, and the run
// fails; its files are converted all the same.
TEST_F(OwnFilesTest, ALogThatCannotBeWrittenFailsTheRun) {
    Recordings("a", 2);
    Program run = StartCli("a", Path("missing/q.log"), Path("errors.txt"));
    EXPECT_EQ(run.Wait(), 1);
    EXPECT_EQ(Text(Path("errors.txt")), "quenrix-cli: cannot write the log " +
                                            Path("missing/q.log") + ": no such file or folder\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("a-out")), fs::directory_iterator()), 2);
}

// Run A's finished work file waits for its rename (held two seconds by
// strace) while run B, whose clock runs an hour ahead, clears away dead
// runs' work files in the same output folder: A's is locked until it is
// stored, and B leaves it; A stores its file.
TEST_F(OwnFilesTest, AFinishedWorkFileIsNoLeftoverWhateverTheClocks) {
    const std::string& library = FaketimeLibrary();
    if (library.empty() || !fs::exists("/usr/bin/strace"))
        GTEST_SKIP() << "needs libfaketime and strace";
    fs::create_directories(Path("a"));
    fs::create_directories(Path("b"));
    fs::create_directories(Path("out"));
    WriteBytes(Path("a/1234L27B.SIG"), Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}}));
    WriteBytes(Path("b/1234L27C.SIG"), Record(0x50, 23, {{2, Gps(1994, 1, 2, 15, 10)}}));
    Program first =
        StartOnTheRealClock("/usr/bin/strace",
                            {"-f", "-qq", "-o", "/dev/null", "-e", "trace=renameat2", "-e",
                             "inject=renameat2:delay_enter=2000000:when=1", QUENRIX_CLI, "a", "-q",
                             "--output-dir", Path("out"), "--report-file", Path("a.json")},
                            Dir());
    // A's work file is written and closed once it waits for its rename.
    bool waiting = false;
    for (int i = 0; i < 5000 && !waiting; ++i) {
        for (const auto& entry : fs::directory_iterator(Path("out")))
            waiting =
                waiting || (entry.path().filename().string().rfind(".quenrix-work-", 0) == 0 &&
                            fs::file_size(entry.path()) > 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(waiting);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Program second = StartOnTheRealClock(
        "/usr/bin/env",
        {"LD_PRELOAD=" + library, "FAKETIME=+1h", "FAKETIME_DONT_FAKE_MONOTONIC=1",
         "NO_FAKE_STAT=1", QUENRIX_CLI, "b", "-q", "--output-dir", Path("out")},
        Dir());
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_EQ(first.Wait(), 0) << Text(Path("a.json"));
    EXPECT_TRUE(fs::exists(Path("out/1234H18B.SIG")));
    EXPECT_TRUE(fs::exists(Path("out/1234H18C.SIG")));
}

// A file named to forge a line of the log ("IMPORTANT.SIG", a line feed,
// "x.SIG") is logged with the line feed written out: no line of the log
// says IMPORTANT.SIG was deleted.
TEST_F(OwnFilesTest, ANameCannotForgeALogLine) {
    fs::create_directory(Path("a"));
    WriteBytes(Path("a/IMPORTANT.SIG\nx.SIG"), Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}}));
    const std::string log = Path("q.log");
    Program run =
        StartOnTheRealClock(QUENRIX_CLI, {"a", "-q", "--delete-input", "--log", log}, Dir());
    ASSERT_EQ(run.Wait(), 0);
    const std::string text = Text(log);
    EXPECT_EQ(text.find("a/IMPORTANT.SIG\r\n"), std::string::npos) << text;
    EXPECT_EQ(Logged(log, " - a/IMPORTANT.SIG\\x0Ax.SIG"), 1) << text;
    EXPECT_EQ(Logged(log, std::string(" > \x8D\xED\x8F\x9C\x81\x46") + "a/IMPORTANT.SIG\\x0Ax.SIG"),
              1)
        << text;
}

// Another user plants a named pipe, then a link to a file of theirs, under
// the report's name in a shared folder: root's run neither waits on the
// pipe nor writes through the link; the report takes the name.
TEST_F(OwnFilesTest, AReportNeverGoesIntoAPipeOrThroughALink) {
    if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "another user's files need root and setpriv";
    Recordings("a", 1);
    fs::create_directory(Path("share"));
    fs::permissions(Dir(), fs::perms::all);
    fs::permissions(Path("share"), fs::perms::all | fs::perms::sticky_bit);
    const std::string report = Path("share/report.json"), theirs = Path("share/theirs");
    const auto asNobody = [](const std::string& command) {
        return std::system(
            ("setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c '" + command + "'")
                .c_str());
    };
    ASSERT_EQ(asNobody("mkfifo " + report), 0);
    ASSERT_EQ(asNobody("printf theirs > " + theirs + " && chmod 666 " + theirs), 0);
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "a link" : "a pipe");
        if (link) {
            fs::remove(report);
            ASSERT_EQ(asNobody("ln -s " + theirs + " " + report), 0);
        }
        fs::remove_all(Path("a-out"));
        Program run = StartOnTheRealClock(
            QUENRIX_CLI, {"a", "-q", "-n", "--output-dir", Path("a-out"), "--report-file", report},
            Dir());
        ASSERT_EQ(run.Wait(15), 0) << "held up by what stands under the report's name";
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(report)));
        EXPECT_NE(Text(report).find("\"files\""), std::string::npos);
        EXPECT_EQ(Text(theirs), "theirs");
    }
}

// A report that cannot be written says why, and the run fails.
TEST_F(OwnFilesTest, AReportThatCannotBeWrittenSaysWhy) {
    Recordings("a", 1);
    const std::string report = Path("missing/report.json");
    Program run =
        StartOnTheRealClock("/bin/sh",
                            {"-c", std::string("exec \"$0\" \"$@\" 2>") + Path("errors.txt"),
                             QUENRIX_CLI, "a", "-q", "-n", "--report-file", report},
                            Dir());
    EXPECT_EQ(run.Wait(), 1);
    EXPECT_EQ(Text(Path("errors.txt")),
              "quenrix-cli: cannot write the report to " + report + ": no such file or folder\n");
}

}  // namespace
}  // namespace quenrix::test
