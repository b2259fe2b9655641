// The built program run as a process, as a user or a script runs it, with
// its clock fixed by libfaketime.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "engine/conversion.h"
#include "engine/manifest.h"
#include "engine/pipeline.h"
#include "support/file_ops.h"
#include "support/paths.h"
#include "tests/helpers/process.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"
#include "tools/mksample/sample_writer.h"

namespace quenrix::test {
namespace {

namespace fs = std::filesystem;

const std::uint32_t kOld = Gps(1994, 1, 2, 14, 10);  // becomes 2013-08-18 14:10

class ProgramTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        if (!HaveFaketime())
            GTEST_SKIP() << "faketime is not installed";
        // A copy of its own per test: the single-instance guard and the
        // executable's folder belong to the program's path.
        OwnCopyOfWindow(QUENRIX_BINARY, Path("bin"));
        fs::create_directory(Path("data"));
    }

    // Starts the program in `cwd` at 2013-10-01 10:00:00 (the clock runs on).
    Program Start(const std::vector<std::string>& arguments, const std::string& cwd) {
        return StartAtFixedTime(Path("bin/quenrix"), arguments, cwd);
    }

    // Runs the program in the test's folder; what it said on standard
    // error is then Said().
    int Run(const std::vector<std::string>& arguments) {
        return StartAtFixedTime(Path("bin/quenrix"), arguments, Dir(), "/dev/null", Path("err.txt"))
            .Wait();
    }
    std::string Said() const {
        const Bytes bytes = ReadBytes(Path("err.txt"));
        return std::string(bytes.begin(), bytes.end());
    }

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
    EXPECT_EQ(Said(), "") << "cron would mail this";
}

// A script or cron job learns of every failure from the status and
// standard error: a file that failed, an input that named nothing (a path
// through a file counts as nothing there, and the log keeps its line
// exactly as it always was).
TEST_F(ProgramTest, AutomaticModeAnswersAScriptWithItsStatus) {
    setenv("QUENRIX_LANGUAGE", "en", 1);
    Sig("data/1234L27B.SIG");
    WriteBytes(Path("data/NOTES.SIG"), Bytes{'h', 'i', '\n'});
    WriteBytes(Path("data/NOEXT"), Bytes{1});
    EXPECT_EQ(Run({"data/*.SIG", "missing.SIG", "data/NOEXT", "/NOTDEL"}), 1);
    EXPECT_EQ(Said(),
              "quenrix: missing.SIG: no SIG or RMG file found\n"
              "quenrix: data/NOEXT/: no SIG or RMG file found\n"
              "quenrix: data/NOTES.SIG: no GPS records: not one whole record with a good check "
              "value\n"
              "quenrix: Result: 1 corrected, 0 needing no correction, 1 failed\n");
    const std::vector<std::string> logged = ProgramLog();
    ASSERT_GE(logged.size(), 10u);
    EXPECT_EQ(logged[7], "ERROR：SIG,RMGファイルがみあたらない data/NOEXT/");
    EXPECT_EQ(logged[8], "入力ファイル設定：入力ファイル削除しない");
    EXPECT_EQ(Run({"nosuchdir"}), 1);
    EXPECT_EQ(Said(),
              "quenrix: nosuchdir/: no SIG or RMG file found\n"
              "quenrix: Result: 0 corrected, 0 needing no correction, 0 failed\n");
    unsetenv("QUENRIX_LANGUAGE");
}

// /MANIFEST= records each file as quenrix-cli does, before its input goes,
// and quenrix-cli undo gives the original back from it; a manifest that
// takes no line converts nothing.
TEST_F(ProgramTest, AutomaticModeWritesAManifestThatUndoReads) {
    Sig("data/1234L27B.SIG");
    const Bytes original = ReadBytes(Path("data/1234L27B.SIG"));
    // Bytes between records, which its corrected file cannot give back.
    const Bytes junk = Concat({Record(0x50, 23, {{2, Gps(1996, 5, 1)}}), Bytes{1, 2, 3}});
    WriteBytes(Path("data/2222L27B.SIG"), junk);
    EXPECT_EQ(Run({"data", "/MANIFEST=nowhere/m.jsonl"}), 1);
    EXPECT_EQ(ReadBytes(Path("data/1234L27B.SIG")), original);
    EXPECT_EQ(Run({"data", "/manifest=m.jsonl"}), 0);
    EXPECT_FALSE(fs::exists(Path("data/1234L27B.SIG")));
    EXPECT_EQ(ReadBytes(Path("data/2222L27B.SIG")), junk);  // kept
    const ManifestRead manifest = ReadManifest(Path("m.jsonl"));
    ASSERT_EQ(manifest.entries.size(), 2u);
    EXPECT_EQ(manifest.entries[0].program, "quenrix 1.0");
    EXPECT_EQ(manifest.entries[0].outcome, "corrected");
    EXPECT_EQ(StartAtFixedTime(QUENRIX_CLI, {"undo", "--manifest", "m.jsonl", "--delete-input"},
                               Dir(), Path("out.txt"))
                  .Wait(),
              0);
    EXPECT_EQ(ReadBytes(Path("data/1234L27B.SIG")), original);
    EXPECT_FALSE(fs::exists(Path(manifest.entries[0].output)));
}

// "--help" and "--version" alone print and convert nothing, unless a file
// of that name is there to be converted.
TEST_F(ProgramTest, HelpAndVersionPrintAndConvertNothing) {
    const auto printed = [this](const std::string& argument, int status = 0) {
        EXPECT_EQ(StartAtFixedTime(Path("bin/quenrix"), {argument}, Dir(), Path("out.txt")).Wait(),
                  status);
        const Bytes bytes = ReadBytes(Path("out.txt"));
        return std::string(bytes.begin(), bytes.end());
    };
    for (const char* help : {"--help", "-h", "/?"})
        EXPECT_EQ(printed(help).rfind(
                      "Usage: quenrix [INPUT...] [/NOTDEL] [/NLOG] [/MANIFEST=FILE]\n", 0),
                  0u)
            << help;
    EXPECT_EQ(printed("--version"), "quenrix 1.0\n");
    EXPECT_FALSE(fs::exists(Path("quenrix.log")));
    WriteBytes(Path("--version"), Bytes{1});
    EXPECT_EQ(printed("--version", 1), "");  // converted, and no GPS file
    EXPECT_EQ(ProgramLog().at(2), "入力引数:--version");
}

// A folder the user may not read: the not-found line is followed by why.
// Run as nobody where the tests run as root, who reads every folder.
TEST_F(ProgramTest, AFolderThatCannotBeReadIsLoggedWithItsCause) {
    const bool root = ::geteuid() == 0;
    if (root && !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "running as another user needs setpriv";
    fs::permissions(Dir(), fs::perms::all);
    fs::permissions(Path("data"), fs::perms::none);
    const std::string program = Path("bin/quenrix");
    Program run = root ? StartOnTheRealClock("/usr/bin/setpriv",
                                             {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                              program, Path("data")},
                                             Dir(), Path("err.txt"))
                       : StartOnTheRealClock(program, {Path("data")}, Dir(), Path("err.txt"));
    EXPECT_EQ(run.Wait(), 1);
    fs::permissions(Path("data"), fs::perms::all);
    const std::vector<std::string> logged = ProgramLog();
    ASSERT_GE(logged.size(), 5u);
    EXPECT_EQ(logged[3], "ERROR：SIG,RMGファイルがみあたらない " + Path("data/"));
    EXPECT_EQ(logged[4], " > アクセスが拒否されました");
    EXPECT_NE(Said().find(Path("data/") + ": "), std::string::npos) << Said();
}

TEST_F(ProgramTest, MaskWithDeletionOff) {
    Sig("data/1234L27B.SIG");
    WriteBytes(Path("data/1234A01B.rmg"), PositionMonitor(kOld));
    ASSERT_EQ(Run({"data/*.RMG", "/notdel"}), 0);
    const std::vector<std::string> logged = ProgramLog();
    ASSERT_GE(logged.size(), 5u);
    EXPECT_EQ(logged[3], "オプション引数:/NOTDEL 入力ファイル削除しない");
    EXPECT_EQ(logged[4], "入力ファイル設定：入力ファイル削除しない");
    EXPECT_TRUE(FileExists(Path("data/1234A01B.rmg")));
    EXPECT_TRUE(FileExists(Path("data/1234H18E.rmg")));
    EXPECT_TRUE(FileExists(Path("data/1234L27B.SIG")));  // not named by the mask
}

TEST_F(ProgramTest, FolderWithoutLogging) {
    Sig("data/1234L27B.SIG");
    ASSERT_EQ(Run({"data", "/NLOG"}), 0);
    EXPECT_FALSE(fs::exists(Path("quenrix.log")));
    EXPECT_TRUE(FileExists(Path("data/1234H18B.SIG")));
}

TEST_F(ProgramTest, OptionAsFirstArgumentIsTakenAsTheInput) {
    ASSERT_EQ(Run({"/NOTDEL"}), 1);
    EXPECT_EQ(ProgramLog(), (std::vector<std::string>{
                                "Quenrix Ver.1.0",
                                "変換自動",
                                "入力引数:/NOTDEL",
                                "オプション引数:/NOTDEL 入力ファイル削除しない",
                                "ERROR：SIG,RMGファイルがみあたらない /NOTDEL/",
                                "終了",
                            }));
}

TEST_F(ProgramTest, LogLiesInTheStartUpFolderAndBareNamesGetOutputsBesideThem) {
    fs::create_directory(Path("start"));
    Sig("start/1234L27B.SIG");
    ASSERT_EQ(Start({"1234L27B.SIG", "/notdel"}, Path("start")).Wait(), 0);
    EXPECT_TRUE(fs::exists(Path("start/quenrix.log")));
    EXPECT_FALSE(fs::exists(Path("bin/quenrix.log")));
    EXPECT_TRUE(FileExists(Path("start/1234H18B.SIG")));
    EXPECT_FALSE(FileExists(Path("bin/1234H18B.SIG")));
}

// A menu entry may start the window in the program's own folder, where the
// user cannot write its log: it works in the home folder instead.
TEST_F(ProgramTest, StartedInItsOwnFolderTheWindowWorksInTheHomeFolder) {
    fs::create_directory(Path("home"));
    const char* saved = std::getenv("HOME");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("HOME", Path("home").c_str(), 1);
    Program window = Start({}, Path("bin"));
    if (saved != nullptr)
        setenv("HOME", previous.c_str(), 1);
    else
        unsetenv("HOME");
    for (int i = 0; i < 1000 && LogMessagesOf(Path("home/quenrix.log")).size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    window.Signal(SIGKILL);
    window.Wait();
    EXPECT_EQ(LogMessagesOf(Path("home/quenrix.log")),
              (std::vector<std::string>{"Quenrix Ver.1.0", "変換手動"}));
    EXPECT_FALSE(fs::exists(Path("bin/quenrix.log")));
}

TEST_F(ProgramTest, SecondCopyConvertsNothing) {
    Program first = Start({}, Dir());
    // The first copy is up once its start-up lines are in the log.
    for (int i = 0; i < 1000 && ProgramLog().size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(ProgramLog(), (std::vector<std::string>{"Quenrix Ver.1.0", "変換手動"}));
    Sig("data/1234L27B.SIG");
    // A script learns that nothing was converted.
    EXPECT_EQ(Run({"data/1234L27B.SIG"}), 3);
    EXPECT_TRUE(FileExists(Path("data/1234L27B.SIG")));
    EXPECT_FALSE(FileExists(Path("data/1234H18B.SIG")));
    EXPECT_EQ(ProgramLog().size(), 2u);
    // A copy that died leaves its lock: the next copy takes it over.
    first.Signal(SIGKILL);
    first.Wait();
    EXPECT_EQ(Run({"data/1234L27B.SIG"}), 0);
    EXPECT_TRUE(FileExists(Path("data/1234H18B.SIG")));
}

// Under cron (no XDG_RUNTIME_DIR) with the shared temporary folder's
// runtime-USER made first by another user, the guard still holds: a second
// copy converts nothing; and no toolkit warning reaches standard error.
TEST_F(ProgramTest, TheGuardHoldsUnderCronWhateverAnotherUserMadeInTmp) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's folder needs root";
    const std::string tmp = Path("tmp"), home = Path("home");
    fs::create_directories(tmp + "/runtime-root");
    fs::create_directories(home);
    ASSERT_EQ(::chown((tmp + "/runtime-root").c_str(), 65534, 65534), 0);
    fs::permissions(tmp + "/runtime-root", fs::perms::owner_all);
    const auto start = [&](const std::vector<std::string>& arguments, const std::string& errors) {
        std::vector<std::string> line = {"-c",
                                         "exec env -u XDG_RUNTIME_DIR TMPDIR=" + tmp +
                                             " HOME=" + home + " \"$0\" \"$@\" 2>" + errors,
                                         Path("bin/quenrix")};
        line.insert(line.end(), arguments.begin(), arguments.end());
        return StartAtFixedTime("/bin/sh", line, Dir());
    };
    Program first = start({}, Path("first.txt"));
    for (int i = 0; i < 1000 && ProgramLog().size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(ProgramLog(), (std::vector<std::string>{"Quenrix Ver.1.0", "変換手動"}));
    Sig("data/1234L27B.SIG");
    EXPECT_EQ(start({"data/1234L27B.SIG"}, Path("second.txt")).Wait(), 3);
    EXPECT_TRUE(FileExists(Path("data/1234L27B.SIG")));
    first.Signal(SIGTERM);
    first.Wait();
    for (const char* errors : {"first.txt", "second.txt"}) {
        const Bytes said = ReadBytes(Path(errors));
        EXPECT_EQ(std::string(said.begin(), said.end()).find("QStandardPaths"), std::string::npos)
            << errors;
    }
}

// Another user's window, open in a shared folder, does not stop this
// user's automatic mode there.
TEST_F(ProgramTest, AnotherUsersCopyDoesNotBlockThisOne) {
    if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "running as another user needs root and setpriv";
    fs::permissions(Dir(), fs::perms::all);
    // The other user's session has a runtime folder of its own.
    const std::string runtime = Path("nobody-runtime");
    fs::create_directory(runtime);
    ASSERT_EQ(::chown(runtime.c_str(), 65534, 65534), 0);
    fs::permissions(runtime, fs::perms::owner_all);
    Program other =
        StartOnTheRealClock("/usr/bin/env",
                            {"XDG_RUNTIME_DIR=" + runtime, "/usr/bin/setpriv", "--reuid=nobody",
                             "--regid=nogroup", "--clear-groups", Path("bin/quenrix")},
                            Dir());
    // It is up, its guard taken, once its start-up lines are in the log.
    for (int i = 0; i < 1000 && ProgramLog().size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(ProgramLog(), (std::vector<std::string>{"Quenrix Ver.1.0", "変換手動"}));
    Sig("data/1234L27B.SIG");
    fs::permissions(Path("data"), fs::perms::all);
    EXPECT_EQ(Run({"data/1234L27B.SIG"}), 0);
    EXPECT_TRUE(FileExists(Path("data/1234H18B.SIG")));
    other.Signal(SIGTERM);
    other.Wait();
}

// SIGTERM (a cron job or service stopped) in the middle of a large file in
// automatic mode: the window ends within a second or two, the file not
// stored, its input kept, no work file left, the log saying "interrupted".
TEST_F(ProgramTest, AnInterruptStopsAutomaticModeInTheMiddleOfAFile) {
    const Bytes record = Record(0x50, 23, {{2, kOld}});
    Bytes large;
    large.reserve(record.size() << 22);
    for (int i = 0; i < (1 << 22); ++i) large.insert(large.end(), record.begin(), record.end());
    WriteBytes(Path("data/1234L27A.SIG"), large);
    Program run = Start({"data"}, Dir());
    bool working = false;
    for (int i = 0; i < 10000 && !working; ++i) {
        for (const auto& entry : fs::directory_iterator(Dir()))
            if (entry.path().filename().string().rfind("$$$SRG", 0) == 0 &&
                fs::file_size(entry.path()) > 0)
                working = true;
        if (!working)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(working);
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(2), 130) << "not stopped within 2 seconds, or said nothing of it";
    EXPECT_EQ(ReadBytes(Path("data/1234L27A.SIG")), large);
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("data")), fs::directory_iterator()), 1);
    for (const auto& entry : fs::directory_iterator(Dir()))
        EXPECT_NE(entry.path().filename().string().rfind("$$$SRG", 0), 0u) << entry.path();
    const std::vector<std::string> log = ProgramLog();
    EXPECT_NE(std::find(log.begin(), log.end(), " > 変換中断 (interrupted)"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "変換中断 (interrupted)"), log.end());
}

TEST_F(ProgramTest, InterruptedRunLosesNothing) {
    // Six receiver files, and what each must become, worked out here.
    struct Input {
        std::string name;
        std::string output;
        Bytes corrected;
        Bytes original;
    };
    std::vector<Input> inputs;
    fs::create_directory(Path("expected"));
    for (std::uint32_t i = 0; i < 6; ++i) {
        sample::SampleOptions options;
        options.kind = i % 2 ? sample::Kind::Rmg : sample::Kind::Sig;
        options.start = Gps(2013, 9, 20 + i, 14);
        options.size = 2 << 20;
        options.seed = i;
        options.junk = true;
        const std::string name = sample::ReceiverStyleName(i * 100, options.kind);
        ASSERT_TRUE(sample::WriteSampleFile(Path("expected/" + name), options));
        request.log = nullptr;  // a converter that rejects records would log each
        ASSERT_EQ(Convert(Path("expected/" + name)), ConvertResult::Converted);
        ASSERT_TRUE(converted.timeCorrected && !converted.outputPath.empty())
            << name << " was not corrected: the converter is broken";
        inputs.push_back({name, FileNamePart(converted.outputPath), ReadBytes(request.workFile),
                          ReadBytes(Path("expected/" + name))});
    }

    auto freshInputs = [&] {
        fs::remove_all(Path("data"));
        fs::create_directory(Path("data"));
        for (const Input& input : inputs) WriteBytes(Path("data/" + input.name), input.original);
    };
    // One whole run tells how long the program takes here; it pauses
    // 500 ms after its batch, so the batch ends before that.
    freshInputs();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Start({"data", "/NLOG"}, Dir()).Wait(), 0);
    const auto whole = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
    const int steps = 30;
    int midBatch = 0;  // runs stopped with some files done and some not
    for (int step = 0; step <= steps; ++step) {
        const int delayMs = static_cast<int>(std::max<long>(whole - 450, 0) * step / steps);
        freshInputs();
        Program run = Start({"data", "/NLOG"}, Dir());
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        run.Signal(SIGKILL);
        run.Wait();
        // Every input is still there, or its corrected file is, whole.
        int done = 0;
        for (const Input& input : inputs) {
            done += FileExists(Path("data/" + input.name)) ? 0 : 1;
            const bool inputThere = FileExists(Path("data/" + input.name));
            const bool outputThere = FileExists(Path("data/" + input.output));
            EXPECT_TRUE(inputThere || outputThere) << input.name << " after " << delayMs << " ms";
            if (inputThere) {
                EXPECT_EQ(ReadBytes(Path("data/" + input.name)), input.original);
            }
            if (outputThere) {
                EXPECT_EQ(ReadBytes(Path("data/" + input.output)), input.corrected)
                    << input.output << " after " << delayMs << " ms";
            }
        }
        midBatch += done > 0 && done < static_cast<int>(inputs.size()) ? 1 : 0;
    }
    RecordProperty("runs stopped in mid-batch", midBatch);
    std::printf("runs stopped in mid-batch: %d\n", midBatch);
}

}  // namespace
}  // namespace quenrix::test
