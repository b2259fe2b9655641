// The built window (automatic mode) and quenrix-cli in a shared archive,
// as a receiver's download software and other users of the folders meet
// them: a recording still being written, a folder swapped for a link, a
// file planted under an output name, an input replaced while it is stored,
// and corrected files nobody may read who could not read their inputs.
// The moments are held open with strace's delayed system calls; another
// user is `nobody` by setpriv (those tests run as root only).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

const Bytes kRecording = Record(0x50, 23, {{2, Gps(1994, 1, 2, 14, 10)}});
constexpr const char* kInput = "1234L27B.SIG";
constexpr const char* kOutput = "1234H18B.SIG";  // its corrected file's name

enum class FrontEnd { Window, Cli };
const FrontEnd kFrontEnds[] = {FrontEnd::Window, FrontEnd::Cli};

std::string NameOf(FrontEnd front) {
    return front == FrontEnd::Window ? "the window" : "quenrix-cli";
}

class SharedArchiveTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        if (std::system("command -v strace >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "strace is not installed";
        window_ = OwnCopyOfWindow(QUENRIX_BINARY, Path("bin"));
    }

    // Root, and a way to act as another user.
    static bool CanActAsAnotherUser() { return ::geteuid() == 0 && fs::exists("/usr/bin/setpriv"); }

    // Runs a shell command as `nobody`.
    static void AsNobody(const std::string& command) {
        const std::string line =
            "setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c '" + command + "'";
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
    }

    // The front end converting `input` with its input deleted (kept with
    // `keep`), the call `held` (the first of its kind, or "" for none)
    // held for a second under strace; quenrix-cli stores into `outputDir`
    // where one is given.
    Program Start(FrontEnd front, const std::string& input, const std::string& held,
                  const std::string& outputDir = {}, bool keep = false) {
        std::vector<std::string> arguments = {"-f", "-qq", "-o", "/dev/null"};
        if (!held.empty()) {
            arguments.insert(arguments.end(), {"-e", "trace=" + held, "-e",
                                               "inject=" + held + ":delay_enter=1000000:when=1"});
        }
        if (front == FrontEnd::Window) {
            arguments.insert(arguments.end(), {window_, input, "/NLOG"});
            if (keep)
                arguments.push_back("/NOTDEL");
        } else {
            arguments.insert(arguments.end(),
                             {QUENRIX_CLI, input, "-q", "--report-file", Path("report.json")});
            if (!keep)
                arguments.push_back("--delete-input");
            if (!outputDir.empty())
                arguments.insert(arguments.end(), {"--output-dir", outputDir});
        }
        return StartOnTheRealClock("/usr/bin/strace", arguments, Dir());
    }

    // Waits until the front end has made its work file (in the start
    // folder or `folder`): by then it has opened its input, and its store
    // is to come.
    void AwaitWorkFile(const std::string& folder) {
        const auto working = [](const std::string& in) {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(in, error)) {
                const std::string name = entry.path().filename().string();
                if (name.rfind(".quenrix-work-", 0) == 0 || name.rfind("$$$SRG", 0) == 0)
                    return true;
            }
            return false;
        };
        for (int i = 0; i < 30000 && !working(Dir()) && !working(folder); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // quenrix-cli's report of its one file, in a word: its reason.
    std::string CliReason() {
        const Bytes report = ReadBytes(Path("report.json"));
        const std::string text(report.begin(), report.end());
        const std::size_t at = text.find("\"reason\": ");
        return at == std::string::npos ? text : text.substr(at + 10, text.find('\n', at) - at - 10);
    }

    std::string window_;
};

// A download tool appends to the recording while it is converted: the
// input stays whole, with every byte it gained, and no corrected file of
// its first part is left under the output name (whether inputs are
// deleted or kept: kept, nothing later would find the stored part short).
TEST_F(SharedArchiveTest, ARecordingStillBeingWrittenKeepsItsTail) {
    Bytes start;
    while (start.size() < 16u << 20) start.insert(start.end(), kRecording.begin(), kRecording.end());
    Bytes chunk;
    while (chunk.size() < 64u << 10) chunk.insert(chunk.end(), kRecording.begin(), kRecording.end());
    for (const bool keep : {false, true})
    for (const FrontEnd front : kFrontEnds) {
        SCOPED_TRACE(keep ? "inputs kept" : "inputs deleted");
        fs::remove_all(Path("data"));
        fs::create_directory(Path("data"));
        const std::string input = Path("data/") + kInput;
        WriteBytes(input, start);
        Program run = Start(front, input, "", {}, keep);
        std::atomic<bool> done{false};
        std::size_t appended = 0;
        std::thread writer([&] {
            std::ofstream out(input, std::ios::binary | std::ios::app);
            while (!done) {
                out.write(reinterpret_cast<const char*>(chunk.data()),
                          static_cast<std::streamsize>(chunk.size()));
                out.flush();
                appended += chunk.size();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        const int status = run.Wait(120);
        done = true;
        writer.join();
        ASSERT_TRUE(fs::exists(input)) << NameOf(front) << " deleted a recording still written";
        EXPECT_EQ(fs::file_size(input), start.size() + appended) << NameOf(front);
        EXPECT_FALSE(fs::exists(Path("data/") + kOutput)) << NameOf(front);
        if (front == FrontEnd::Cli) {
            EXPECT_EQ(status, 1);
            EXPECT_EQ(CliReason(), "\"changed while it was read: kept, convert it again\",");
        }
    }
}

// Root converts a file in a folder another user owns; while it stores,
// that user renames the file's folder away and puts a link to a third
// folder in its place. Root acts in the folder it opened: nothing of the
// third folder is deleted or added.
TEST_F(SharedArchiveTest, AFolderSwappedForALinkChangesNothingElsewhere) {
    if (!CanActAsAnotherUser())
        GTEST_SKIP() << "another user's folders need root and setpriv";
    fs::permissions(Dir(), fs::perms::all);
    for (const FrontEnd front : kFrontEnds) {
        for (const char* folder : {"share", "elsewhere"}) fs::remove_all(Path(folder));
        fs::create_directories(Path("share/nb/sub"));
        fs::create_directories(Path("elsewhere"));
        ASSERT_EQ(::chown(Path("share/nb").c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(Path("share/nb/sub").c_str(), 65534, 65534), 0);
        WriteBytes(Path("share/nb/sub/") + kInput, kRecording);
        const Bytes theirs = {9, 9, 9};
        WriteBytes(Path("elsewhere/") + kInput, theirs);
        Program run = Start(front, Path("share/nb/sub/") + kInput, "renameat2");
        AwaitWorkFile(Path("share/nb/sub"));
        AsNobody("mv " + Path("share/nb/sub") + " " + Path("share/nb/away") + " && ln -s " +
                 Path("elsewhere") + " " + Path("share/nb/sub"));
        run.Wait(60);
        EXPECT_EQ(ReadBytes(Path("elsewhere/") + kInput), theirs) << NameOf(front);
        EXPECT_FALSE(fs::exists(Path("elsewhere/") + kOutput)) << NameOf(front);
        EXPECT_FALSE(fs::exists(Path("share/nb/away/") + kInput)) << NameOf(front);
        EXPECT_TRUE(fs::exists(Path("share/nb/away/") + kOutput)) << NameOf(front);
    }
}

// Another user plants a copy of the corrected file under its name, in a
// folder everybody may write (sticky): it is no file of root's, so it does
// not count as stored, and the input, which that user could not delete,
// stays.
TEST_F(SharedArchiveTest, AFilePlantedByAnotherUserIsNotTakenForStored) {
    if (!CanActAsAnotherUser())
        GTEST_SKIP() << "another user's file needs root and setpriv";
    fs::permissions(Dir(), fs::perms::all);
    // The corrected bytes, made once by the program itself.
    fs::create_directories(Path("copy"));
    WriteBytes(Path("copy/") + kInput, kRecording);
    ASSERT_EQ(StartOnTheRealClock(QUENRIX_CLI, {Path("copy"), "-q"}, Dir()).Wait(), 0);
    const Bytes corrected = ReadBytes(Path("copy/") + kOutput);
    ASSERT_FALSE(corrected.empty());
    fs::permissions(Path("copy/") + kOutput, fs::perms::all);
    for (const FrontEnd front : kFrontEnds) {
        for (const char* folder : {"incoming", "corrected"}) {
            fs::remove_all(Path(folder));
            fs::create_directory(Path(folder));
            fs::permissions(Path(folder), fs::perms::all | fs::perms::sticky_bit);
        }
        WriteBytes(Path("incoming/") + kInput, kRecording);
        // The window stores beside the input, quenrix-cli where it is told.
        const std::string target = front == FrontEnd::Window ? "incoming" : "corrected";
        AsNobody("cp " + Path("copy/") + kOutput + " " + Path(target + "/") + kOutput);
        const int status =
            Start(front, Path("incoming/") + kInput, "", front == FrontEnd::Cli ? Path(target) : "")
                .Wait(60);
        EXPECT_EQ(ReadBytes(Path("incoming/") + kInput), kRecording) << NameOf(front);
        if (front == FrontEnd::Cli) {
            EXPECT_EQ(status, 1);
            EXPECT_EQ(CliReason(), std::string("\"output name taken by another user's file: ") +
                                       kOutput + "\",");
        }
    }
}

// The input already carries its corrected file's name. While its
// corrected file is stored, a new recording is moved under that name: it
// is not replaced, and what is replaced is only ever the file that was
// read.
TEST_F(SharedArchiveTest, ANewcomerUnderTheInputsNameIsNotReplaced) {
    const Bytes newcomer = Concat({kRecording, kRecording});
    for (const FrontEnd front : kFrontEnds) {
        fs::remove_all(Path("data"));
        fs::create_directory(Path("data"));
        const std::string input = Path("data/") + kOutput;
        WriteBytes(input, kRecording);
        WriteBytes(Path("newcomer.SIG"), newcomer);
        // Held at the flush of its work file's data, after it has looked
        // at the name and before it takes it.
        Program run = Start(front, input, "fsync");
        AwaitWorkFile(Path("data"));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        fs::rename(Path("newcomer.SIG"), input);
        const int status = run.Wait(60);
        EXPECT_EQ(ReadBytes(input), newcomer) << NameOf(front) << " replaced a newcomer";
        if (front == FrontEnd::Cli) {
            EXPECT_EQ(status, 1);
            EXPECT_EQ(CliReason(), std::string("\"output name taken by another file: ") + kOutput +
                                       "\",");
        }
    }
}

// A link planted in a folder root converts leads to another user's
// recording in a folder only that user may read: the corrected file beside
// the link is that user's, with the recording's permissions, so the one
// who planted the link cannot read it. A stored file keeps its input's
// permission bits (no execute or set-ID bits).
TEST_F(SharedArchiveTest, NobodyReadsACorrectedFileWhoCouldNotReadItsInput) {
    if (!CanActAsAnotherUser())
        GTEST_SKIP() << "another user's files need root and setpriv";
    fs::permissions(Dir(), fs::perms::all);
    for (const FrontEnd front : kFrontEnds) {
        for (const char* folder : {"private", "share"}) fs::remove_all(Path(folder));
        fs::create_directories(Path("private"));
        fs::create_directories(Path("share"));
        WriteBytes(Path("private/") + kInput, kRecording);
        // The recording of user daemon (1), in its folder of its own.
        ASSERT_EQ(::chown(Path("private").c_str(), 1, 1), 0);
        ASSERT_EQ(::chown((Path("private/") + kInput).c_str(), 1, 1), 0);
        fs::permissions(Path("private"), fs::perms::owner_all);
        fs::permissions(Path("private/") + kInput, fs::perms::owner_read | fs::perms::owner_write);
        ASSERT_EQ(::chown(Path("share").c_str(), 65534, 65534), 0);
        AsNobody("ln -s " + Path("private/") + kInput + " " + Path("share/LEAKL27B.SIG"));
        Start(front, Path("share/LEAKL27B.SIG"), "").Wait(60);
        const std::string stored = Path("share/LEAKH18B.SIG");
        struct stat info {};
        ASSERT_EQ(::stat(stored.c_str(), &info), 0) << NameOf(front) << " stored nothing";
        EXPECT_EQ(info.st_uid, 1u) << NameOf(front);
        EXPECT_EQ(info.st_mode & 07777, 0600u) << NameOf(front);
        const std::string read = "setpriv --reuid=nobody --regid=nogroup --clear-groups cat " +
                                 stored + " >/dev/null 2>&1";
        EXPECT_NE(std::system(read.c_str()), 0) << "the planter reads " << stored;
    }
    // A group-readable input gives a group-readable file, no more.
    fs::remove_all(Path("data"));
    fs::create_directory(Path("data"));
    WriteBytes(Path("data/") + kInput, kRecording);
    fs::permissions(Path("data/") + kInput, fs::perms::owner_read | fs::perms::owner_write |
                                                fs::perms::owner_exec | fs::perms::group_read);
    ASSERT_EQ(StartOnTheRealClock(QUENRIX_CLI, {Path("data"), "-q"}, Dir()).Wait(), 0);
    struct stat info {};
    ASSERT_EQ(::stat((Path("data/") + kOutput).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

}  // namespace
}  // namespace quenrix::test
