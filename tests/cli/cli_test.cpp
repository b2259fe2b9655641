// quenrix-cli run as a process: the same bytes as the window's automatic
// mode, dry runs that write nothing, reports a script can read.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "file_ops.h"
#include "process.h"
#include "records.h"
#include "sample_writer.h"
#include "temp_dir.h"

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
    // its standard output lands in `out`.
    int Run(const std::string& program, const std::vector<std::string>& arguments,
            std::string* out = nullptr) {
        const std::string output = Path("stdout.txt");
        const int status = WaitForExit(StartAtFixedTime(program, arguments, Dir(), output));
        if (out != nullptr) {
            const Bytes bytes = ReadBytes(output);
            out->assign(bytes.begin(), bytes.end());
        }
        fs::remove(output);
        return status;
    }
    int Cli(const std::vector<std::string>& arguments, std::string* out = nullptr) {
        return Run(QUENRIX_CLI, arguments, out);
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
    ASSERT_EQ(Run(QUENRIX_PROGRAM, {"window", "/NLOG"}), 0);
    ASSERT_EQ(Cli({"cli", "--delete-input", "--quiet"}), 0);
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
}

TEST_F(CliTest, DryRunWithoutATemporaryFolderStopsBeforeWriting) {
    Samples("data", 2);
    const auto before = Contents("data");
    const char* saved = std::getenv("TMPDIR");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("TMPDIR", Path("missing").c_str(), 1);
    const int status = Cli({"data", "--dry-run", "--quiet"});
    if (saved != nullptr)
        setenv("TMPDIR", previous.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(Contents("data"), before);  // no work file beside the inputs
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
    ASSERT_EQ(Cli({"data", "--reference-date", "2005-05-06", "--quiet", "-o", Path("out")}),
              2);  // no such folder
    fs::create_directory(Path("out"));
    ASSERT_EQ(Cli({"data", "--reference-date", "2005-05-06", "--quiet", "-o", Path("out")}), 0);
    EXPECT_EQ(ReadBytes(Path("out/1234L19B.SIG")), Record(0x50, 23, {{2, Gps(2024, 12, 19)}}));
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
    EXPECT_EQ(Cli({}), 2);
    std::string version;
    EXPECT_EQ(Cli({"--version"}, &version), 0);
    EXPECT_EQ(version, "quenrix-cli 1.0\n");
}

TEST_F(CliTest, BareNameGetsItsOutputInTheCurrentFolder) {
    WriteBytes(Path("1234L27B.SIG"), Record(0x50, 23, {{2, Gps(2005, 5, 5)}}));
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

}  // namespace
}  // namespace quenrix::test
