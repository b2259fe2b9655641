// The built program run as a process, as a user or a script runs it, with
// its clock fixed by faketime.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "file_ops.h"
#include "records.h"
#include "temp_dir.h"

namespace quenrix::test {
namespace {

namespace fs = std::filesystem;

const std::uint32_t kOld = Gps(1994, 1, 2, 14, 10);  // becomes 2013-08-18 14:10

bool HaveFaketime() {
    return std::system("command -v faketime >/dev/null 2>&1") == 0;
}

class ProgramTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        if (!HaveFaketime())
            GTEST_SKIP() << "faketime is not installed";
        // A copy of its own per test: the single-instance guard and the
        // executable's folder belong to the program's path.
        fs::create_directory(Path("bin"));
        fs::copy_file(QUENRIX_BINARY, Path("bin/quenrix"));
        fs::create_directory(Path("data"));
    }

    // Starts the program in `cwd` at 2013-10-01 10:00:00 (the clock runs on).
    pid_t Start(const std::vector<std::string>& arguments, const std::string& cwd) {
        pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);  // faketime runs the program as its child: stop both as one group
            if (chdir(cwd.c_str()) != 0)
                _exit(127);
            setenv("TZ", "UTC", 1);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
            std::vector<std::string> all = {"faketime", "2013-10-01 10:00:00", Path("bin/quenrix")};
            all.insert(all.end(), arguments.begin(), arguments.end());
            std::vector<char*> argv;
            for (std::string& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            freopen("/dev/null", "w", stderr);
            execvp("faketime", argv.data());
            _exit(127);
        }
        setpgid(pid, pid);
        return pid;
    }

    // Waits for the program; its exit status, or -1 when it did not end in time.
    static int Wait(pid_t pid, int seconds = 30) {
        for (int i = 0; i < seconds * 100; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }

    int Run(const std::vector<std::string>& arguments) { return Wait(Start(arguments, Dir())); }

    std::vector<std::string> ProgramLog() const { return LogMessagesOf(Path("quenrix.log")); }

    void Sig(const std::string& path) {
        WriteBytes(Path(path),
                   Concat({Record(0x62, 26, {{14, kOld}}), Record(0x50, 23, {{2, kOld}})}));
    }
};

TEST_F(ProgramTest, AutomaticModeOnAFile) {
    Sig("data/1234L27B.SIG");
    ASSERT_EQ(Run({"data/1234L27B.SIG"}), 0);
    EXPECT_EQ(ProgramLog(), (std::vector<std::string>{
                                "Quenrix Ver.1.0",
                                "変換自動",
                                "入力引数:data/1234L27B.SIG",
                                "入力ファイル設定：入力ファイル削除する",
                                "data/1234L27B.SIG",
                                " > 補正後ファイル名  data/1234H18B.SIG",
                                " > 削除：data/1234L27B.SIG",
                                "終了",
                            }));
    EXPECT_TRUE(FileExists(Path("data/1234H18B.SIG")));
    EXPECT_FALSE(FileExists(Path("data/1234L27B.SIG")));
    EXPECT_FALSE(FileExists(Path("$$$SRG.TMP")));
}

TEST_F(ProgramTest, MaskWithDeletionOff) {
    Sig("data/1234L27B.SIG");
    WriteBytes(Path("data/1234A01B.rmg"), PositionMonitor(kOld));
    ASSERT_EQ(Run({"data/*.RMG", "/notdel"}), 0);
    const std::vector<std::string> log = ProgramLog();
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log[3], "オプション引数:/NOTDEL 入力ファイル削除しない");
    EXPECT_EQ(log[4], "入力ファイル設定：入力ファイル削除しない");
    EXPECT_TRUE(FileExists(Path("data/1234A01B.rmg")));
    EXPECT_TRUE(FileExists(Path("data/1234H18E.rmg")));
    EXPECT_TRUE(FileExists(Path("data/1234L27B.SIG")));  // not named by the mask
}

TEST_F(ProgramTest, FolderWithoutLogging) {
    Sig("data/1234L27B.SIG");
    ASSERT_EQ(Run({"data", "x", "/NLOG"}), 0);
    EXPECT_FALSE(fs::exists(Path("quenrix.log")));
    EXPECT_TRUE(FileExists(Path("data/1234H18B.SIG")));
}

TEST_F(ProgramTest, OptionAsFirstArgumentIsTakenAsTheInput) {
    ASSERT_EQ(Run({"/NOTDEL"}), 0);
    EXPECT_EQ(ProgramLog(), (std::vector<std::string>{
                                "Quenrix Ver.1.0",
                                "変換自動",
                                "入力引数:/NOTDEL",
                                "オプション引数:/NOTDEL 入力ファイル削除しない",
                                "ERROR：SIG,RMGファイルがみあたらない /NOTDEL/",
                                "終了",
                            }));
}

TEST_F(ProgramTest, LogLiesInTheStartUpFolderAndBareNamesGetOutputsBesideTheProgram) {
    fs::create_directory(Path("start"));
    Sig("start/1234L27B.SIG");
    ASSERT_EQ(Wait(Start({"1234L27B.SIG", "/notdel"}, Path("start"))), 0);
    EXPECT_TRUE(fs::exists(Path("start/quenrix.log")));
    EXPECT_FALSE(fs::exists(Path("bin/quenrix.log")));
    EXPECT_TRUE(FileExists(Path("bin/1234H18B.SIG")));
}

TEST_F(ProgramTest, SecondCopyConvertsNothing) {
    pid_t first = Start({}, Dir());
    // The first copy is up once its start-up lines are in the log.
    for (int i = 0; i < 1000 && ProgramLog().size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(ProgramLog(), (std::vector<std::string>{"Quenrix Ver.1.0", "変換手動"}));
    Sig("data/1234L27B.SIG");
    EXPECT_EQ(Run({"data/1234L27B.SIG"}), 0);
    EXPECT_TRUE(FileExists(Path("data/1234L27B.SIG")));
    EXPECT_FALSE(FileExists(Path("data/1234H18B.SIG")));
    EXPECT_EQ(ProgramLog().size(), 2u);
    kill(-first, SIGTERM);
    Wait(first);
}

}  // namespace
}  // namespace quenrix::test
