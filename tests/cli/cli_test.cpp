// quenrix-cli run as a process: the same bytes as the window's automatic
// mode, dry runs that write nothing, reports a script can read.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "engine/outcome.h"
#include "support/file_ops.h"
#include "support/paths.h"
#include "tests/helpers/process.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"
#include "tools/mksample/sample_writer.h"

namespace quenrix::test {
namespace {

namespace fs = std::filesystem;

class CliTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        fs::create_directory(Path("data"));
    }

    // Runs a program in the test folder with its clock at 2013-10-01 10:00;
    // its standard output lands in `out`, its standard error in `errors`.
    int Run(const std::string& program, const std::vector<std::string>& arguments,
            std::string* out = nullptr, std::string* errors = nullptr) {
        const std::string output = Path("stdout.txt"), errorOutput = Path("stderr.txt");
        const auto text = [](const std::string& path) {
            const Bytes bytes = ReadBytes(path);
            return std::string(bytes.begin(), bytes.end());
        };
        int status;
        if (errors != nullptr) {
            std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" 2>" + errorOutput, program};
            shell.insert(shell.end(), arguments.begin(), arguments.end());
            status = StartAtFixedTime("/bin/sh", shell, Dir(), output).Wait();
            *errors = text(errorOutput);
            fs::remove(errorOutput);
        } else {
            status = StartAtFixedTime(program, arguments, Dir(), output).Wait();
        }
        if (out != nullptr)
            *out = text(output);
        fs::remove(output);
        return status;
    }
    int Cli(const std::vector<std::string>& arguments, std::string* out = nullptr,
            std::string* errors = nullptr) {
        return Run(QUENRIX_CLI, arguments, out, errors);
    }

    // A folder of receiver files: SIG, RMG and 10-minute RMG, with damage.
    void Samples(const std::string& folder, int count = 6) {
        for (int i = 0; i < count; ++i) {
            sample::SampleOptions options;
            options.kind = i % 2 ? sample::Kind::Rmg : sample::Kind::Sig;
            options.start = Gps(2013, 9, 1 + i, 14);
            options.size = 40 * 1024;
            options.seed = static_cast<std::uint32_t>(i);
            options.junk = true;
            options.badCheckEvery = 97;
            options.receiverType = i % 3 == 0 ? 77 : 74;
            std::string name =
                sample::ReceiverStyleName(static_cast<std::uint32_t>(i * 50), options.kind);
            if (i == 3)
                name = name.substr(0, name.size() - 1) + "3";  // an .RM3 file
            ASSERT_TRUE(sample::WriteSampleFile(Path(folder + "/" + name), options));
        }
    }

    // Every file of a folder by name, with its bytes.
    std::map<std::string, Bytes> Contents(const std::string& folder) const {
        std::map<std::string, Bytes> files;
        for (const fs::directory_entry& entry : fs::directory_iterator(Path(folder))) {
            files[entry.path().filename().string()] = ReadBytes(entry.path().string());
        }
        return files;
    }
};

TEST_F(CliTest, SameBytesAsTheWindowsAutomaticMode) {
    if (!HaveFaketime())
        GTEST_SKIP() << "faketime is not installed";
    Samples("data");
    fs::copy(Path("data"), Path("window"));
    fs::copy(Path("data"), Path("cli"));
    ASSERT_EQ(Run(OwnCopyOfWindow(QUENRIX_PROGRAM, Path("bin")), {"window", "/NLOG"}), 0);
    ASSERT_EQ(Cli({"cli", "--delete-input", "--delete-damaged-input", "--quiet"}), 0);
    const auto window = Contents("window");
    EXPECT_EQ(window.size(), 6u);
    EXPECT_EQ(Contents("cli"), window);
    EXPECT_NE(Contents("data"), window);  // something was corrected
}

TEST_F(CliTest, DryRunWritesNothing) {
    Samples("data");
    const auto before = Contents("data");
    std::string report;
    ASSERT_EQ(Cli({"data", "--dry-run", "--report", "json", "--log", Path("data/q.log")}, &report),
              0);
    EXPECT_EQ(Contents("data"), before);
    const nlohmann::json json = nlohmann::json::parse(report);
    EXPECT_TRUE(json["dry_run"].get<bool>());
    ASSERT_EQ(json["files"].size(), 6u);
    for (const auto& file : json["files"]) {
        EXPECT_EQ(file["outcome"], "would be corrected");
        EXPECT_FALSE(file["output"].is_null());
    }
    // A file named again (by another path, a mask, one without an
    // extension) is converted and counted once.
    const std::string first = json["files"][0]["path"];
    std::string text;
    ASSERT_EQ(Cli({"data", Path("data/./") + FileNamePart(first), Path("data/*.SIG"), first,
                   Path("data/*"), "--dry-run"},
                  &text),
              0);
    EXPECT_NE(text.find("\n6 files: 6 would be corrected, 0 unchanged, 0 failed;"),
              std::string::npos)
        << text;
}

// A tree where the run must decide: two inputs whose corrected files take
// one name, a corrected file already stored, a name taken by another
// file, damaged records, a file without records and one of no GPS kind.
// The dry run must tell every outcome and reason the run then tells, and
// leave every folder, its temporary folder included, as it was.
TEST_F(CliTest, DryRunPredictsTheRunAndWritesNothingAnywhere) {
    auto sample = [this](const std::string& path, sample::Kind kind, std::uint32_t start) {
        sample::SampleOptions options;
        options.kind = kind;
        options.start = start;
        for (const char c : FileNamePart(path)) options.seed = options.seed * 31 + c;
        options.size = 20 * 1024;
        options.badCheckEvery = 13;
        options.truncateLast = true;
        ASSERT_TRUE(sample::WriteSampleFile(Path(path), options));
    };
    fs::create_directories(Path("data/sub"));
    fs::create_directories(Path("once"));
    sample("data/0000A010.SIG", sample::Kind::Sig, Gps(2013, 9, 1, 14));
    sample("data/0000B050.SIG", sample::Kind::Sig, Gps(2013, 9, 1, 14));  // its name clashes
    sample("data/sub/0000C100.RMG", sample::Kind::Rmg, Gps(2013, 9, 2, 8));
    sample("data/0000D100.RMG", sample::Kind::Rmg, Gps(2013, 9, 3, 8));
    sample("once/0000C100.RMG", sample::Kind::Rmg, Gps(2013, 9, 2, 8));
    ASSERT_EQ(Cli({"once", "--quiet"}), 0);  // its corrected file, stored once already
    for (const fs::directory_entry& entry : fs::directory_iterator(Path("once")))
        if (entry.path().filename() != "0000C100.RMG")
            fs::copy(entry.path(), Path("data/sub") / entry.path().filename());
    WriteBytes(Path("data/empty.SIG"), {});
    WriteBytes(Path("data/notes.txt"), {'n'});

    const auto tree = [this] {
        std::map<std::string, Bytes> files;
        for (const auto& entry : fs::recursive_directory_iterator(Path("")))
            if (entry.is_regular_file())
                files[entry.path().string()] = ReadBytes(entry.path().string());
        return files;
    };
    // The D file's name is taken by a file that is no input.
    std::string planned;
    ASSERT_EQ(Cli({Path("data/0000D100.RMG"), "--dry-run", "--report", "json"}, &planned), 0);
    const std::string taken = nlohmann::json::parse(planned)["files"][0]["output"];
    WriteBytes(taken, {'x'});

    fs::create_directory(Path("tmp"));
    const char* saved = std::getenv("TMPDIR");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("TMPDIR", Path("tmp").c_str(), 1);
    const std::vector<std::string> arguments = {Path("data/0000A010.SIG"),
                                                Path("data/0000B050.SIG"),
                                                Path("data/0000D100.RMG"),
                                                Path("data/empty.SIG"),
                                                Path("data/notes.txt"),
                                                "-r",
                                                Path("data/sub"),
                                                "--delete-input",
                                                "--report",
                                                "json",
                                                "--log",
                                                Path("data/q.log")};
    std::vector<std::string> dry = arguments;
    dry.push_back("--dry-run");
    const auto before = tree();
    std::string dryReport, runReport;
    const int dryStatus = Cli(dry, &dryReport);
    const auto after = tree();
    const int runStatus = Cli(arguments, &runReport);
    if (saved != nullptr)
        setenv("TMPDIR", previous.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ(after, before);
    EXPECT_TRUE(fs::is_empty(Path("tmp")));
    EXPECT_EQ(dryStatus, runStatus);

    const nlohmann::json predicted = nlohmann::json::parse(dryReport)["files"];
    const nlohmann::json happened = nlohmann::json::parse(runReport)["files"];
    ASSERT_EQ(happened.size(), predicted.size());
    std::set<std::string> outcomes;
    for (std::size_t i = 0; i < predicted.size(); ++i) {
        SCOPED_TRACE(happened[i]["path"].get<std::string>());
        const std::string outcome = happened[i]["outcome"];
        EXPECT_EQ(predicted[i]["outcome"],
                  outcome == "corrected" ? std::string("would be corrected") : outcome);
        EXPECT_EQ(predicted[i]["reason"], happened[i]["reason"]);
        EXPECT_EQ(predicted[i]["output"], happened[i]["output"]);
        EXPECT_EQ(predicted[i]["records"], happened[i]["records"]);
        EXPECT_EQ(predicted[i]["input_kept"], happened[i]["input_kept"]);
        outcomes.insert(outcome + ": " + happened[i]["reason"].dump());
    }
    // Records were dropped from every recording: with --delete-input alone
    // the corrected input stays, and says why.
    EXPECT_EQ(happened[0]["input_kept"], kDroppedRecordsKeptReason);
    EXPECT_TRUE(FileExists(happened[0]["path"]));
    // The tree holds what it is meant to.
    EXPECT_EQ(outcomes,
              (std::set<std::string>{
                  "corrected: null", "no rollover found: null",
                  "not stored: \"output name taken by a file this run has written: " +
                      FileNamePart(happened[0]["output"].get<std::string>()) + "\"",
                  "not stored: \"output name taken by another file: " + FileNamePart(taken) + "\"",
                  "no GPS records: \"" + std::string(kNoGpsRecordsReason) + "\"",
                  "failed: \"not a GPS file: extension \\\".txt\\\", not .SIG, .RMG or .RM0 to "
                  ".RM5\""}));
}

TEST_F(CliTest, ReportCountsMatchTheFiles) {
    // Three positioning records, one with a wrong check value, junk, and a
    // record cut short at the end.
    const std::uint32_t old = Gps(1994, 1, 2, 14, 10);
    const Bytes good = Record(0x50, 23, {{2, old}});
    const Bytes cut(good.begin(), good.begin() + 9);
    WriteBytes(Path("data/1234L27B.SIG"),
               Concat({Bytes{7, 7}, good, Record(0x50, 23, {{2, old}}, false), good, cut}));
    std::string report;
    ASSERT_EQ(Cli({"data", "--report", "json", "--reference-date", "1998-10-01"}, &report), 0);
    const nlohmann::json file = nlohmann::json::parse(report)["files"][0];
    EXPECT_EQ(file["kind"], "SIG");
    EXPECT_EQ(file["records"]["kept"], 2);
    EXPECT_EQ(file["records"]["bad_check_value"], 1);
    EXPECT_EQ(file["records"]["cut_short"], 1);
    EXPECT_EQ(file["records"]["by_kind"]["0x50"]["kept"], 2);
    EXPECT_EQ(file["bytes"]["read"], 2 + 23 * 3 + 9);
    EXPECT_EQ(file["bytes"]["not_carried_over"], 2 + 23 + 9);
    EXPECT_EQ(file["times_corrected"]["one_step"], 2);
    EXPECT_EQ(file["first_gps_time"], "2013-08-18 14:10:00");
    EXPECT_EQ(file["output"], "data/1234H18B.SIG");
    EXPECT_FALSE(file["input_deleted"].get<bool>());
    EXPECT_TRUE(FileExists(Path("data/1234L27B.SIG")));  // kept without --delete-input
}

TEST_F(CliTest, ReferenceDateDecidesWhatIsCorrected) {
    WriteBytes(Path("data/1234L27B.SIG"), Record(0x50, 23, {{2, Gps(2005, 5, 5)}}));
    ASSERT_EQ(Cli({"data", "--reference-date", "2005-05-05", "--quiet"}), 0);
    EXPECT_EQ(Contents("data").size(), 1u);  // not before that day: nothing to store
    ASSERT_EQ(Cli({"data", "--reference-date", "2005-05-06", "--quiet", "--dry-run", "-o",
                   Path("out/2024")}),
              0);
    EXPECT_FALSE(fs::exists(Path("out")));  // a dry run makes no folder either
    // A missing output folder is made, with the folders above it.
    ASSERT_EQ(Cli({"data", "--reference-date", "2005-05-06", "--quiet", "-o", Path("out/2024")}),
              0);
    EXPECT_EQ(ReadBytes(Path("out/2024/1234L19B.SIG")), Record(0x50, 23, {{2, Gps(2024, 12, 19)}}));
    // A file where the folder should be stops the run before any file.
    WriteBytes(Path("taken"), Bytes{1});
    EXPECT_EQ(Cli({"data", "--quiet", "-o", Path("taken/sub")}), 1);
}

TEST_F(CliTest, ParallelJobsGiveTheSameFiles) {
    Samples("data", 12);
    fs::copy(Path("data"), Path("one"));
    fs::copy(Path("data"), Path("four"));
    ASSERT_EQ(Cli({"one", "--delete-input", "-q", "--jobs", "1", "--log", Path("one.log")}), 0);
    ASSERT_EQ(Cli({"four", "--delete-input", "-q", "--jobs", "4", "--log", Path("four.log")}), 0);
    EXPECT_EQ(Contents("four"), Contents("one"));
    EXPECT_EQ(LogMessagesOf(Path("four.log")).size(), LogMessagesOf(Path("one.log")).size());
    for (const auto& [name, bytes] : Contents("four"))
        EXPECT_EQ(name.find(".quenrix-work"), std::string::npos);
}

TEST_F(CliTest, ExitStatus) {
    WriteBytes(Path("data/notes.txt"), Bytes{1});
    WriteBytes(Path("data/1234L27B.SIG"), Record(0x50, 23, {{2, Gps(2005, 5, 5)}}));
    EXPECT_EQ(Cli({"data", "-q"}), 0);                  // folders give SIG and RMG files only
    EXPECT_EQ(Cli({Path("data/notes.txt"), "-q"}), 1);  // named: not a GPS file
    EXPECT_EQ(Cli({Path("data/missing.SIG"), "-q"}), 1);
    EXPECT_EQ(Cli({"data", "--jobs", "0"}), 2);
    EXPECT_EQ(Cli({"data", "--receiver-type", "75"}), 2);
    EXPECT_EQ(Cli({"data", "--reference-date", "2013-13-01"}), 2);
    EXPECT_EQ(Cli({"data", "--reference-date", "2014-02-30"}), 2);  // a day that does not exist
    EXPECT_EQ(Cli({}), 2);
    std::string version;
    EXPECT_EQ(Cli({"--version"}, &version), 0);
    EXPECT_EQ(version, "quenrix-cli 1.0\n");
    // A usage error begins with the program's name; a date not written
    // exactly YYYY-MM-DD is one, though a lenient reading would find a day.
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"data", "-n", "--frobnicate"},
                                               {"-n"},
                                               {"data", "-n", "--jobs", "0"},
                                               {"data", "-n", "--reference-date", "2014-2-3"},
                                               {"data", "-n", "--reference-date", "2014-02-3"},
                                               {"data", "-n", "--reference-date", " 2014-02-03"}}) {
        std::string errors;
        EXPECT_EQ(Cli(arguments, nullptr, &errors), 2) << arguments.back();
        EXPECT_EQ(errors.rfind("quenrix-cli: ", 0), 0u) << errors;
    }
}

TEST_F(CliTest, BareNameGetsItsOutputInTheCurrentFolder) {
    WriteBytes(Path("1234L27B.SIG"), Record(0x50, 23, {{2, Gps(2005, 5, 5)}}));
    // An empty name names no file, and not the current folder either.
    EXPECT_EQ(Cli({"", "--reference-date", "2005-05-06", "-q"}), 1);
    EXPECT_FALSE(FileExists(Path("1234L19B.SIG")));
    ASSERT_EQ(Cli({"1234L27B.SIG", "--reference-date", "2005-05-06", "-q"}), 0);
    EXPECT_TRUE(FileExists(Path("1234L19B.SIG")));
}

TEST_F(CliTest, RecursiveEntersSubfolders) {
    fs::create_directories(Path("data/sub/deeper"));
    WriteBytes(Path("data/sub/deeper/1234L27B.SIG"),
               Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}}));
    std::string report;
    ASSERT_EQ(Cli({"data", "--report", "json", "--dry-run"}, &report), 1);  // nothing found
    ASSERT_EQ(Cli({"data", "-r", "--report", "json", "--dry-run"}, &report), 0);
    EXPECT_EQ(nlohmann::json::parse(report)["files"][0]["path"], "data/sub/deeper/1234L27B.SIG");
}

// A failed file's line and JSON entry say why, with the engine's own log
// messages for it; the run closes with a summary line.
TEST_F(CliTest, FailedFilesCarryTheirReasonAndLogMessages) {
    const Bytes old = Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}});  // 2013-08-18 14:10
    WriteBytes(Path("data/1234L27B.SIG"), old);
    WriteBytes(Path("data/notes.txt"), Bytes{1});
    // "data/gone", without an extension and missing, is a folder typed
    // wrong rather than a file of no GPS kind: a folder not read, which
    // the summary counts among the failures and not among the files.
    std::string json;
    ASSERT_EQ(Cli({"data/1234L27B.SIG", "data/notes.txt", "data/gone.RMG", "data/gone", "--report",
                   "json"},
                  &json),
              1);
    const nlohmann::json files = nlohmann::json::parse(json)["files"];
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0]["kind"], "folder");
    EXPECT_EQ(files[0]["reason"], "cannot read the folder: no such file or folder");
    EXPECT_EQ(files[1]["outcome"], "corrected");
    EXPECT_TRUE(files[1]["reason"].is_null());
    EXPECT_EQ(files[2]["outcome"], "failed");
    EXPECT_EQ(files[2]["reason"],
              "not a GPS file: extension \".txt\", not .SIG, .RMG or .RM0 to .RM5");
    EXPECT_EQ(files[2]["log"], nlohmann::json::array({" > GPSファイルではありません"}));
    EXPECT_EQ(files[3]["outcome"], "input missing");
    EXPECT_EQ(files[3]["reason"], "input missing: no such file");
    EXPECT_EQ(files[3]["log"], nlohmann::json::array({" > ERROR：ファイルOpen失敗(RMGタイプ確認)",
                                                      " > ERROR：入力ファイルなし"}));
    const nlohmann::json summary = nlohmann::json::parse(json)["summary"];
    EXPECT_EQ(summary["files"], 3);
    EXPECT_EQ(summary["folders_not_read"], 1);
    EXPECT_EQ(summary["corrected"], 1);
    EXPECT_EQ(summary["failed"], 3);
    EXPECT_EQ(summary["bytes_read"], 23);

    // The same as text: the reason on the file's line, its log messages
    // under it, the summary last.
    std::string text;
    ASSERT_EQ(Cli({"data/notes.txt", "data/1234L27B.SIG", "data/gone.RMG", "data/gone"}, &text), 1);
    EXPECT_NE(text.find("data/notes.txt: failed: not a GPS file: extension \".txt\""),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("data/gone.RMG: input missing: no such file\n"), std::string::npos) << text;
    EXPECT_NE(text.find("data/gone/: failed: cannot read the folder: no such file or folder\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\n    log:  > GPSファイルではありません\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n3 files and 1 folder not read: 1 corrected, 0 unchanged, 3 failed; "
                        "0.0 MiB read in "),
              std::string::npos)
        << text;
    // One of a kind is counted in the singular.
    ASSERT_EQ(Cli({"data/1234L27B.SIG"}, &text), 0);
    EXPECT_NE(text.find("; 1 record kept, 0 dropped (0 bad check value, 0 cut short), 0 bytes not "
                        "carried over, 1 time corrected (0 by two steps);"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\n1 file: 1 corrected, 0 unchanged, 0 failed;"), std::string::npos)
        << text;
}

// A second run over a folder that holds the first run's corrected files:
// each input's output name is taken by another input of the run.
TEST_F(CliTest, SecondRunReportsEachCollision) {
    WriteBytes(Path("data/1234L27B.SIG"), Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}}));
    ASSERT_EQ(Cli({"data", "-q"}), 0);
    ASSERT_TRUE(FileExists(Path("data/1234H18B.SIG")));
    // Another recording of that hour: its corrected file would take the name.
    WriteBytes(Path("data/1234L27B.SIG"), Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 20)}}));
    std::string json;
    EXPECT_EQ(Cli({"data", "--report", "json"}, &json), 1);
    const nlohmann::json files = nlohmann::json::parse(json)["files"];
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]["path"], "data/1234H18B.SIG");
    EXPECT_EQ(files[0]["outcome"], "no rollover found");
    EXPECT_EQ(files[1]["path"], "data/1234L27B.SIG");
    EXPECT_EQ(files[1]["outcome"], "not stored");
    EXPECT_EQ(files[1]["reason"], "output name taken by another input of this run: 1234H18B.SIG");
    EXPECT_EQ(files[1]["messages"], nlohmann::json::array({"変換失敗"}));
    EXPECT_EQ(files[1]["log"], nlohmann::json::array({" > ERROR：補正後ファイル出力失敗"}));
}

// A run cut short after it stored a corrected file and before it deleted
// the input: run again, the corrected file found byte for byte under its
// name counts as stored, and the input goes.
TEST_F(CliTest, SecondRunFindsTheSameCorrectedFileStored) {
    const Bytes input = Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}});
    WriteBytes(Path("data/1234L27B.SIG"), input);
    ASSERT_EQ(Cli({"data", "-q"}), 0);
    const Bytes corrected = ReadBytes(Path("data/1234H18B.SIG"));
    std::string json;
    EXPECT_EQ(Cli({"data", "--delete-input", "--report", "json"}, &json), 0);
    const nlohmann::json files = nlohmann::json::parse(json)["files"];
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1]["path"], "data/1234L27B.SIG");
    EXPECT_EQ(files[1]["outcome"], "corrected") << files[1];
    EXPECT_EQ(files[1]["input_deleted"], true);
    EXPECT_FALSE(FileExists(Path("data/1234L27B.SIG")));
    EXPECT_EQ(ReadBytes(Path("data/1234H18B.SIG")), corrected);
}

// Another user leaves a program under the log's name in a shared folder,
// set-user-ID and executable; root's run rewrites the log: the rewritten
// log is no program of root's.
TEST_F(CliTest, ALogAnotherUserPlantedStaysNoProgramWhenRootRewritesIt) {
    if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "running as another user needs root and setpriv";
    fs::permissions(Dir(), fs::perms::all);
    const std::string log = Path("quenrix-cli.log");
    const std::string plant = "printf '\\177ELF no line ends' > " + log + " && chmod 6755 " + log;
    ASSERT_EQ(std::system(
                  ("setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c \"" + plant + "\"")
                      .c_str()),
              0);
    struct stat planted {};
    ASSERT_EQ(::stat(log.c_str(), &planted), 0);
    ASSERT_EQ(planted.st_uid, 65534u);
    ASSERT_NE(planted.st_mode & 06000, 0u);
    WriteBytes(Path("data/1234L27B.SIG"), Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}}));
    EXPECT_EQ(Cli({"data", "-q", "--log", log}), 0);
    struct stat rewritten {};
    ASSERT_EQ(::stat(log.c_str(), &rewritten), 0);
    EXPECT_EQ(rewritten.st_mode & 07111, 0u) << std::oct << rewritten.st_mode;
}

// Another user swaps the log for a link to a file only root may read,
// while root's run is between looking the log up and opening it (held
// there by strace): nothing of that file reaches the log, which the other
// user may read.
TEST_F(CliTest, ALogSwappedForALinkByAnotherUserDoesNotLeakWhatItPointsTo) {
    if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv") || !fs::exists("/usr/bin/strace"))
        GTEST_SKIP() << "needs root, setpriv and strace";
    fs::permissions(Dir(), fs::perms::all | fs::perms::sticky_bit);
    const std::string log = Path("quenrix-cli.log"), secret = Path("secret");
    WriteBytes(secret, {'r', 'o', 'o', 't', ' ', 's', 'e', 'c', 'r', 'e', 't', '\n'});
    fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
    // The other user's log, LF only, so the run reads it to rewrite it.
    ASSERT_EQ(std::system(("setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c "
                           "\"printf 'old line\\n' > " +
                           log + "\"")
                              .c_str()),
              0);
    WriteBytes(Path("data/1234L27B.SIG"), Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}}));
    Program run =
        StartOnTheRealClock("/usr/bin/strace",
                            {"-f", "-qq", "-o", "/dev/null", "-e", "trace=flock", "-e",
                             "inject=flock:delay_enter=700000:when=1", QUENRIX_CLI, "data", "-q",
                             "--log", log, "--reference-date", "1998-10-01"},
                            Dir());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(std::system(("setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c \"rm " +
                           log + " && ln -s " + secret + " " + log + "\"")
                              .c_str()),
              0);
    EXPECT_EQ(run.Wait(20), 0);
    std::string content;
    if (!fs::is_symlink(log)) {
        const Bytes bytes = ReadBytes(log);
        content.assign(bytes.begin(), bytes.end());
    }
    EXPECT_EQ(content.find("root secret"), std::string::npos) << content;
    EXPECT_EQ(ReadBytes(secret).size(), 12u);
}

// What cannot be read says why, as the system said it: a file without read
// permission, a file in a folder that may not be searched (not "missing"),
// and a folder that cannot be listed, which is a failure of the run with
// its own report line, not a folder skipped in silence. Run as nobody
// where the tests run as root, who reads everything.
TEST_F(CliTest, WhatCannotBeReadSaysWhy) {
    const bool root = ::geteuid() == 0;
    if (root && !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "running as another user needs setpriv";
    fs::permissions(Dir(), fs::perms::all);
    fs::permissions(Path("data"), fs::perms::all);
    const Bytes record = Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}});
    WriteBytes(Path("data/1234L27B.SIG"), record);
    fs::create_directory(Path("data/locked"));
    WriteBytes(Path("data/locked/1234L28B.SIG"), record);
    fs::permissions(Path("data/1234L27B.SIG"), fs::perms::none);
    fs::permissions(Path("data/locked"), fs::perms::none);
    const std::string command =
        std::string(root ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "") +
        QUENRIX_CLI + " -r " + Path("data") + " " + Path("data/locked/1234L28B.SIG") +
        " --report json > " + Path("report.json");
    const int status = std::system(command.c_str());
    fs::permissions(Path("data/locked"), fs::perms::all);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const Bytes bytes = ReadBytes(Path("report.json"));
    const nlohmann::json report = nlohmann::json::parse(std::string(bytes.begin(), bytes.end()));
    std::map<std::string, std::string> reasons;
    for (const auto& file : report["files"])
        reasons[file["kind"].get<std::string>() + " " + FileNamePart(file["path"])] =
            file["reason"];
    EXPECT_EQ(reasons, (std::map<std::string, std::string>{
                           {"folder ", "cannot read the folder: permission denied"},
                           {"SIG 1234L27B.SIG", "cannot read: permission denied"},
                           {"SIG 1234L28B.SIG", "cannot read: permission denied"}}));
    EXPECT_EQ(report["summary"]["failed"], 3);
}

// Two runs at once, each in a PID namespace of its own (so both have one
// process id, as in containers or on hosts sharing a folder), with two
// recordings of one hour into one output folder; each run held a second
// in every rename (strace), the second run starting while the first is
// held: neither writes into the other's work file, neither replaces the
// other's corrected file, nothing is lost, and the one refused says why.
TEST_F(CliTest, TwoRunsFromTwoPidNamespacesIntoOneFolderLoseNothing) {
    if (::geteuid() != 0 || !fs::exists("/usr/bin/unshare") || !fs::exists("/usr/bin/strace") ||
        std::system("unshare --pid --fork true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root, unshare and strace";
    const Bytes first = Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}});
    const Bytes second = Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 11)}});  // the same hour
    fs::create_directory(Path("a"));
    fs::create_directory(Path("b"));
    WriteBytes(Path("a/1234L27B.SIG"), first);
    WriteBytes(Path("b/1234L27B.SIG"), second);
    const std::map<std::string, Bytes> corrected = {
        {"a", Record(0x50, 23, {{2, Gps(2013, 8, 18, 14, 10)}})},
        {"b", Record(0x50, 23, {{2, Gps(2013, 8, 18, 14, 11)}})}};
    auto start = [&](const std::string& folder, bool deleting) {
        std::vector<std::string> arguments = {
            "--pid",
            "--fork",
            "/usr/bin/strace",
            "-f",
            "-qq",
            "-o",
            "/dev/null",
            "-e",
            "trace=rename,renameat,renameat2",
            "-e",
            "inject=rename,renameat,renameat2:delay_enter=1000000",
            QUENRIX_CLI,
            folder,
            "--output-dir",
            "out",
            "--reference-date",
            "1998-10-01",
            "--report",
            "json",
            "--report-file",
            folder + ".json"};
        if (deleting)
            arguments.push_back("--delete-input");
        return StartOnTheRealClock("/usr/bin/unshare", arguments, Dir());
    };
    Program keeping = start("a", false);  // its file is not read back
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Program deleting = start("b", true);
    keeping.Wait(20);
    deleting.Wait(20);
    int refused = 0;
    for (const std::string folder : {"a", "b"}) {
        const Bytes report = ReadBytes(Path(folder + ".json"));
        ASSERT_FALSE(report.empty()) << folder << " wrote no report";
        const nlohmann::json file =
            nlohmann::json::parse(std::string(report.begin(), report.end()))["files"][0];
        if (file["outcome"] == "corrected") {
            EXPECT_EQ(ReadBytes(Path(file["output"].get<std::string>())), corrected.at(folder))
                << folder << " is reported corrected, and its output holds another recording";
        } else {
            ++refused;
            EXPECT_EQ(file["reason"], "output name taken by another file: 1234H18B.SIG");
        }
        // The input is there, or its corrected file is.
        if (!fs::exists(Path(folder + "/1234L27B.SIG"))) {
            EXPECT_EQ(ReadBytes(Path("out/1234H18B.SIG")), corrected.at(folder)) << folder;
        }
    }
    EXPECT_EQ(refused, 1);
    for (const auto& entry : fs::directory_iterator(Path("out")))
        EXPECT_EQ(entry.path().filename().string().rfind(".quenrix-work-", 0), std::string::npos);
}

// Linux names are any bytes: one that is not UTF-8 keeps its exact bytes
// in the JSON report, and control characters never reach the terminal raw.
TEST_F(CliTest, NamesThatAreNotUtf8OrHoldControlCharactersAreReportedExactly) {
    const Bytes old = Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}});
    const std::string latin1 = "caf\xE9.SIG", other = "caf\xE8.SIG", escape = "\x1B[2J.SIG";
    for (const std::string& name : {latin1, other, escape}) WriteBytes(Path("data/" + name), old);
    std::string json;
    EXPECT_EQ(Cli({"data", "--report", "json", "-n"}, &json), 0);
    const nlohmann::json files = nlohmann::json::parse(json)["files"];
    ASSERT_EQ(files.size(), 3u);
    std::set<std::string> hex;
    for (const auto& file : files)
        if (file.contains("path_hex"))
            hex.insert(file["path_hex"].get<std::string>());
    EXPECT_EQ(hex,
              (std::set<std::string>{"646174612f636166e82e534947", "646174612f636166e92e534947"}));
    std::string text;
    EXPECT_EQ(Cli({"data", "-n"}, &text), 0);
    EXPECT_EQ(text.find('\x1B'), std::string::npos);
    EXPECT_NE(text.find("data/\\x1B[2J.SIG: would be corrected"), std::string::npos) << text;
    EXPECT_NE(text.find("data/caf\\xE9.SIG"), std::string::npos) << text;
}

// A named pipe and a link to a device among the inputs: each refused at
// once with its reason, the others converted, no work file left.
TEST_F(CliTest, PipesAndDevicesAreRefusedWithoutWaiting) {
    const Bytes old = Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}});
    ASSERT_EQ(::mkfifo(Path("data/0000A01B.SIG").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", Path("data/0000A01C.SIG"));
    WriteBytes(Path("data/1234L27B.SIG"), old);
    Program cli =
        StartAtFixedTime(QUENRIX_CLI, {"data", "--report", "json"}, Dir(), Path("report.json"));
    ASSERT_EQ(cli.Wait(10), 1) << "a pipe or a device held the run up";
    const Bytes report = ReadBytes(Path("report.json"));
    const nlohmann::json files =
        nlohmann::json::parse(std::string(report.begin(), report.end()))["files"];
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0]["reason"], "cannot read: not a regular file");
    EXPECT_EQ(files[1]["reason"], "cannot read: not a regular file");
    EXPECT_EQ(files[2]["outcome"], "corrected");
    for (const auto& entry : fs::directory_iterator(Path("data")))
        EXPECT_EQ(entry.path().filename().string().rfind(".quenrix-work-", 0), std::string::npos);
}

// Ctrl+C or SIGTERM in the middle of a large file: the run stops within a
// second or two, that file not stored, its input kept and no work file
// left, the report and the log saying "interrupted"; the files after it
// are untouched.
TEST_F(CliTest, InterruptStopsTheRunInTheMiddleOfAFile) {
    const Bytes old = Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}});
    // A first file large enough to take a while: it is under way once its
    // work file is there.
    Bytes large;
    large.reserve(old.size() << 22);
    for (int i = 0; i < (1 << 22); ++i) large.insert(large.end(), old.begin(), old.end());
    WriteBytes(Path("data/1234L27A.SIG"), large);
    WriteBytes(Path("data/1234L27B.SIG"), old);
    WriteBytes(Path("data/1234L27C.SIG"), old);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        const std::string output = Path("report.json"), log = Path("q.log");
        fs::remove(log);
        Program cli = StartAtFixedTime(QUENRIX_CLI,
                                       {"data", "--report", "json", "--delete-input", "--log", log},
                                       Dir(), output);
        const auto working = [&] {
            for (const auto& entry : fs::directory_iterator(Path("data")))
                if (entry.path().filename().string().rfind(".quenrix-work-", 0) == 0)
                    return fs::file_size(entry.path()) > 0;
            return false;
        };
        bool started = false;
        for (int i = 0; i < 10000 && !started; ++i) {
            started = working();
            if (!started)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(started);
        cli.Signal(signal);
        EXPECT_EQ(cli.Wait(2), 130) << "not stopped within 2 seconds";
        const Bytes report = ReadBytes(output);
        const nlohmann::json document =
            nlohmann::json::parse(std::string(report.begin(), report.end()));
        EXPECT_TRUE(document["interrupted"].get<bool>());
        EXPECT_EQ(document["summary"]["not_done"], 2);
        ASSERT_EQ(document["files"].size(), 1u);
        EXPECT_EQ(document["files"][0]["path"], "data/1234L27A.SIG");
        EXPECT_EQ(document["files"][0]["reason"], "interrupted: not stored, input kept");
        // Nothing stored, no work file, every input as it was.
        const std::map<std::string, Bytes> left = Contents("data");
        EXPECT_EQ(left.size(), 3u);
        EXPECT_EQ(left.at("1234L27A.SIG"), large);
        EXPECT_EQ(left.at("1234L27B.SIG"), old);
        EXPECT_EQ(left.at("1234L27C.SIG"), old);
        const Bytes logged = ReadBytes(log);
        EXPECT_NE(std::string(logged.begin(), logged.end()).find("(interrupted)\r\n"),
                  std::string::npos);
    }
}

TEST_F(CliTest, JapaneseNamesGiveWholeCharacters) {
    const Bytes old = Record(0x50, 23, {{2, Gps(1994, 2, 4, 14, 10)}});  // 2013-09-20 14:10
    WriteBytes(Path("data/観測 データ.SIG"), old);
    WriteBytes(Path("data/ｶﾀｶﾅ.SIG"), old);
    ASSERT_EQ(Cli({"data", "-q", "--delete-input"}), 0);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Contents("data")) names.push_back(name);
    // Byte 8 of "ｶﾀｶﾅ.SIG" is its "G" in code page 932, where each
    // half-width katakana is one byte (three in UTF-8).
    EXPECT_EQ(names, (std::vector<std::string>{"観測I20E.SIG", "ｶﾀｶﾅI20G.SIG"}));
}

TEST_F(CliTest, HelpReadsAsAPersonWouldWriteIt) {
    std::string help;
    ASSERT_EQ(Cli({"--help"}, &help), 0);
    EXPECT_NE(help.find("-j,--jobs N"), std::string::npos) << help;
    EXPECT_NE(help.find("1 to 256"), std::string::npos) << help;
    EXPECT_EQ(help.find("UINT"), std::string::npos) << help;
    EXPECT_EQ(help.find("[1 - 256]"), std::string::npos) << help;
    // Every exit status ExitStatus sees, each at the start of its line.
    const std::size_t statuses = help.find("\nExit status:\n");
    ASSERT_NE(statuses, std::string::npos) << help;
    for (const char* status : {"\n  0 ", "\n  1 ", "\n  2 ", "\n  130 "})
        EXPECT_NE(help.find(status, statuses), std::string::npos) << status << help;
}

// The manifest's three commands as a script runs them: convert with a
// manifest, verify, undo; each answers with its exit status, and verify
// finds a corrected file changed in any way that matters.
TEST_F(CliTest, ManifestVerifyAndUndoAnswerWithTheirExitStatus) {
    const std::uint32_t rolled = Gps(1996, 5, 1, 12);  // one era back on this clock
    const Bytes original =
        Concat({Record(0x50, 23, {{2, rolled}}), Record(0x61, 74),
                Record(0x50, 23, {{2, rolled + 1}}), Record(0x50, 23, {{2, rolled + 2}})});
    WriteBytes(Path("data/0001L27B.SIG"), original);
    std::string out, errors;
    ASSERT_EQ(Cli({"-q", "--manifest", "m.jsonl", "--delete-input", "data"}), 0);
    ASSERT_FALSE(fs::exists(Path("data/0001L27B.SIG")));
    std::vector<std::string> corrected;
    for (const auto& entry : fs::directory_iterator(Path("data")))
        corrected.push_back(entry.path().string());
    ASSERT_EQ(corrected.size(), 1u);
    const std::string stored = corrected[0];
    const Bytes good = ReadBytes(stored);
    EXPECT_EQ(Cli({"verify", "--manifest", "m.jsonl", "data"}, &out), 0) << out;
    EXPECT_EQ(Cli({"verify", "data"}, &out), 0) << out;

    // One byte flipped inside a record.
    Bytes flipped = good;
    flipped[23 + 30] ^= 0x01;
    WriteBytes(stored, flipped);
    EXPECT_EQ(Cli({"verify", "data"}, &out), 1);
    EXPECT_NE(out.find("1 record with a bad check value"), std::string::npos) << out;
    // One record's time moved back an era, its check value renewed.
    Bytes movedBack = good;
    PutBigEndian32(movedBack, 23 + 74 + 2, GetBigEndian32(good, 23 + 74 + 2) - 619315200u);
    Bytes third(movedBack.begin() + 97, movedBack.begin() + 120);
    Seal(third);
    std::copy(third.begin(), third.end(), movedBack.begin() + 97);
    WriteBytes(stored, movedBack);
    EXPECT_EQ(Cli({"verify", "data", "--report", "json"}, &out), 1);
    const auto report = nlohmann::json::parse(out);
    EXPECT_EQ(report["files"][0]["bad_check_values"], 0);
    EXPECT_EQ(report["files"][0]["times_before_reference"], 1);
    // ...which the manifest's hash tells as well; undo leaves it alone.
    EXPECT_EQ(Cli({"verify", "--manifest", "m.jsonl", "data"}, &out), 1);
    EXPECT_NE(out.find("not the file the manifest recorded"), std::string::npos) << out;
    EXPECT_EQ(Cli({"undo", "--manifest", "m.jsonl", "--delete-input"}, &out), 1);
    EXPECT_FALSE(fs::exists(Path("data/0001L27B.SIG")));
    EXPECT_EQ(ReadBytes(stored), movedBack);

    // A manifest whose hash differs from the file's.
    WriteBytes(stored, good);
    const Bytes manifest = ReadBytes(Path("m.jsonl"));
    std::string line(manifest.begin(), manifest.end());
    const std::size_t at = line.find("\"output_sha256\":\"") + 17;
    line[at] = line[at] == '0' ? '1' : '0';
    WriteBytes(Path("other.jsonl"), Bytes(line.begin(), line.end()));
    EXPECT_EQ(Cli({"verify", "--manifest", "other.jsonl", stored}), 1);
    EXPECT_EQ(Cli({"undo", "--manifest", "other.jsonl"}), 1);
    EXPECT_FALSE(fs::exists(Path("data/0001L27B.SIG")));

    // A dry run writes nothing; undo gives the original back and deletes
    // the corrected file; a second undo finds it there.
    EXPECT_EQ(Cli({"undo", "--manifest", "m.jsonl", "--dry-run"}, &out), 0) << out;
    EXPECT_FALSE(fs::exists(Path("data/0001L27B.SIG")));
    EXPECT_EQ(Cli({"undo", "--manifest", "m.jsonl", "--delete-input"}, &out), 0) << out;
    EXPECT_EQ(ReadBytes(Path("data/0001L27B.SIG")), original);
    EXPECT_FALSE(fs::exists(stored));
    EXPECT_EQ(Cli({"undo", "--manifest", "m.jsonl"}, &out), 0) << out;
    EXPECT_NE(out.find("already there"), std::string::npos) << out;

    // Usage errors: no manifest to undo, a manifest on a dry run.
    EXPECT_EQ(Cli({"undo"}, nullptr, &errors), 2);
    EXPECT_EQ(Cli({"--dry-run", "--manifest", "m.jsonl", "data"}, nullptr, &errors), 2);
    EXPECT_EQ(Cli({"verify", "--manifest", "missing.jsonl", "data"}, nullptr, &errors), 1);
    EXPECT_NE(errors.find("cannot read the manifest"), std::string::npos) << errors;
}

}  // namespace
}  // namespace quenrix::test
