// The order of the system calls that keep a corrected file and the log
// safe through a power cut, read off the built programs with strace: the
// corrected file's data reaches the disk before its name does, and its
// folder entry before its input is deleted; each log entry reaches the
// disk before the next is written, a replaced log's data before it takes
// the log's name, and that name before the next entry. The crash explorer
// assumes this order of the program's own calls; this holds the built
// programs to it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "tests/helpers/process.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"
#include "tools/mksample/sample_writer.h"

namespace quenrix::test {
namespace {

namespace fs = std::filesystem;

class FlushOrderTest : public TempDirTest {
  protected:
    // Runs `command` (run from the test's folder) under strace and returns
    // the calls that move, flush and delete files.
    std::vector<std::string> Trace(const std::string& command) {
        const std::string trace = Path("trace.txt");
        const std::string line =
            "cd '" + Dir() + "' && strace -f -y -o '" + trace +
            "' -e trace=rename,renameat,renameat2,fsync,fdatasync,unlink,unlinkat,write,pwrite64 " +
            command + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(line.c_str()), 0) << line;
        std::vector<std::string> lines;
        std::ifstream in(trace);
        for (std::string text; std::getline(in, text);) lines.push_back(text);
        fs::remove(trace);
        return lines;
    }

    void Samples() { Samples(Path("data")); }
    void Samples(const std::string& folder) {
        fs::remove_all(folder);
        fs::create_directory(folder);
        for (int i = 0; i < 3; ++i) {
            sample::SampleOptions options;
            options.kind = i == 1 ? sample::Kind::Rmg : sample::Kind::Sig;
            options.start = Gps(2013, 9, 20 + i, 14);
            options.seed = static_cast<std::uint32_t>(i);
            const std::string name =
                sample::ReceiverStyleName(static_cast<std::uint32_t>(i), options.kind);
            ASSERT_TRUE(sample::WriteSampleFile(folder + "/" + name, options));
            inputs_.push_back(folder + "/" + name);
        }
    }

    // A path of the trace (relative to the test's folder or absolute).
    std::string Absolute(const std::string& path) const {
        return path.front() == '/' ? path : Dir() + "/" + path;
    }

    // A rename as strace shows it: a plain rename (the log's replacement)
    // or one in opened folders that replaces nothing (a stored file); the
    // folder and the name of each side in groups 1 to 4 (the folders only
    // where the call gave one).
    static constexpr const char* kRename =
        R"re((?:rename\(|renameat2?\((?:AT_FDCWD|\d+)(?:<([^>]*)>)?, )"([^"]*)", )re"
        R"re((?:(?:AT_FDCWD|\d+)(?:<([^>]*)>)?, )?"([^"]*)"(?:, RENAME_[A-Z]+)?\)\s+= 0)re";
    // A delete: its folder and name in groups 1 and 2.
    static constexpr const char* kRemove =
        R"re(unlink(?:at)?\((?:(?:AT_FDCWD|\d+)(?:<([^>]*)>)?, )?"([^"]*)"(?:, 0)?\)\s+= 0)re";

    // The path a call named: its name in its folder, where it gave one.
    std::string Named(const std::ssub_match& folder, const std::ssub_match& name) const {
        const std::string file = name;
        if (!folder.matched || file.front() == '/')
            return Absolute(file);
        return std::string(folder) + "/" + file;
    }

    // For every input that goes (deleted, or renamed away to serve as a
    // work file): every corrected file stored before it was flushed under
    // its work name, then renamed, then its folder flushed, before the
    // input went. Files stored in a group go after all of them. In the
    // window's groups, the folders the inputs went from are flushed after
    // they went, so that a power cut brings none back.
    void ExpectSafeOrder(const std::vector<std::string>& calls, bool inputFoldersFlushed = true) {
        static const std::regex flush(R"re(f(?:data)?sync\(\d+<([^>]*)>\)\s+= 0)re");
        static const std::regex rename(kRename);
        static const std::regex remove(kRemove);
        std::map<std::string, std::size_t> lastFlush;
        struct Stored {
            std::string path;
            std::size_t at = 0;
            std::size_t dataFlushedAt = 0;
        };
        std::vector<Stored> stored;
        int gone = 0;
        std::map<std::string, std::size_t> lastGone;
        const auto goes = [&](const std::string& input, std::size_t at) {
            ++gone;
            lastGone[fs::path(input).parent_path().string()] = at;
            ASSERT_FALSE(stored.empty()) << input << " went before anything was stored";
            for (const Stored& file : stored) {
                EXPECT_LT(file.dataFlushedAt, file.at)
                    << file.path << ": its data was not flushed before it took its name";
                const auto entry = lastFlush.find(fs::path(file.path).parent_path().string());
                EXPECT_TRUE(entry != lastFlush.end() && entry->second > file.at &&
                            entry->second < at)
                    << "the folder of " << file.path << " was not flushed before " << input
                    << " went";
            }
        };
        const auto isInput = [&](const std::string& path) {
            return std::find(inputs_.begin(), inputs_.end(), path) != inputs_.end();
        };
        for (std::size_t i = 0; i < calls.size(); ++i) {
            std::smatch m;
            if (std::regex_search(calls[i], m, flush)) {
                lastFlush[m[1]] = i;
            } else if (std::regex_search(calls[i], m, rename)) {
                const std::string from = Named(m[1], m[2]);
                const std::string to = Named(m[3], m[4]);
                if (isInput(from)) {
                    goes(from, i);
                    continue;
                }
                const bool besideAnInput =
                    std::any_of(inputs_.begin(), inputs_.end(), [&](const std::string& input) {
                        return fs::path(input).parent_path() == fs::path(to).parent_path();
                    });
                if (to == LogPath() || !besideAnInput)
                    continue;  // the log's own (ExpectLogOrder), or not the batch's
                const auto data = lastFlush.find(from);
                stored.push_back({to, i, data == lastFlush.end() ? calls.size() : data->second});
            } else if (std::regex_search(calls[i], m, remove) && isInput(Named(m[1], m[2]))) {
                goes(Named(m[1], m[2]), i);
            }
        }
        EXPECT_EQ(gone, 3) << "every input is converted and goes";
        for (const auto& [folder, at] : lastGone) {
            const auto flushed = lastFlush.find(folder);
            EXPECT_TRUE(!inputFoldersFlushed ||
                        (flushed != lastFlush.end() && flushed->second > at))
                << folder << " was not flushed after its inputs went";
        }
    }

    std::string LogPath() const { return Path("quenrix.log"); }

    // A log of an earlier run, a few lines short of its cap: the batch's
    // entries are appended, then each replaces the log.
    void OldLog() {
        std::ofstream log(LogPath(), std::ios::binary);
        for (int i = 0; i < 995; ++i) log << "2026/12/01 09:00:00 - earlier run\r\n";
    }

    // Every write to the log flushed before the next write to it or to its
    // replacement; the replacement flushed before its rename, and the
    // folder after it before the next entry.
    void ExpectLogOrder(const std::vector<std::string>& calls) {
        static const std::regex write(R"re(p?write(?:64)?\(\d+<([^>]*)>,.*= \d+)re");
        static const std::regex flush(R"re(f(?:data)?sync\(\d+<([^>]*)>\)\s+= 0)re");
        static const std::regex rename(kRename);
        // The replacement's name is the run's own: the log's, a random
        // part, ".tmp".
        const std::string log = LogPath();
        const auto isReplacement = [&log](const std::string& path) {
            return path.size() == log.size() + 21 && path.rfind(log + ".", 0) == 0 &&
                   path.ends_with(".tmp");
        };
        bool logDirty = false, replacementDirty = false, nameDirty = false;
        int appended = 0, replaced = 0;
        for (const std::string& call : calls) {
            std::smatch m;
            if (std::regex_search(call, m, write)) {
                const std::string path = m[1];
                if (path != log && !isReplacement(path))
                    continue;
                EXPECT_FALSE(logDirty) << "a log entry written before the one before was flushed";
                EXPECT_FALSE(nameDirty) << "a log entry written before the replaced log's "
                                           "folder was flushed";
                (path == log ? logDirty : replacementDirty) = true;
                (path == log ? appended : replaced) += 1;
            } else if (std::regex_search(call, m, flush)) {
                if (m[1] == log)
                    logDirty = false;
                else if (isReplacement(m[1]))
                    replacementDirty = false;
                else if (m[1] == Dir())
                    nameDirty = false;
            } else if (std::regex_search(call, m, rename) && Named(m[3], m[4]) == log) {
                EXPECT_FALSE(replacementDirty) << "the log replaced by data not yet on disk";
                nameDirty = true;
            }
        }
        EXPECT_FALSE(logDirty || replacementDirty || nameDirty) << "the last entry never flushed";
        EXPECT_GT(appended, 0) << "entries appended";
        EXPECT_GT(replaced, 0) << "entries that replaced the log at its cap";
    }

    static unsigned long long Device(const std::string& path) {
        struct stat data {};
        return ::stat(path.c_str(), &data) == 0 ? data.st_dev : 0;
    }

    std::vector<std::string> inputs_;
};

TEST_F(FlushOrderTest, CorrectedFileIsOnDiskBeforeItsInputIsDeleted) {
    if (std::system("command -v strace >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed";
    Samples();
    ExpectSafeOrder(
        Trace(std::string("'") + QUENRIX_CLI +
              "' data --reference-date 2011-12-07 --delete-input --delete-damaged-input -q"),
        false);
    inputs_.clear();
    Samples();
    OldLog();
    const std::vector<std::string> window =
        Trace("env QT_QPA_PLATFORM=offscreen '" + OwnCopyOfWindow(QUENRIX_BINARY, Path("bin")) +
              "' data");
    ExpectSafeOrder(window);
    ExpectLogOrder(window);
}

// The inputs on another file system than the start folder's work file: the
// corrected file is copied across into a temporary file beside its target,
// whose data reaches the disk before it takes the target's name, and that
// name before the input is deleted.
TEST_F(FlushOrderTest, ACopyToAnotherVolumeIsOnDiskBeforeItsInputIsDeleted) {
    if (std::system("command -v strace >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed";
    const std::string data = "/dev/shm/quenrix-flush-order-" + std::to_string(::getpid());
    std::error_code error;
    if (!fs::is_directory("/dev/shm"))
        GTEST_SKIP() << "no /dev/shm";
    Samples(data);
    if (Device(data) == Device(Dir()))
        GTEST_SKIP() << "/dev/shm is on the test folder's file system";
    const std::vector<std::string> window =
        Trace("env QT_QPA_PLATFORM=offscreen '" + OwnCopyOfWindow(QUENRIX_BINARY, Path("bin")) +
              "' '" + data + "'");
    fs::remove_all(data, error);
    ExpectSafeOrder(window);
    EXPECT_TRUE(std::any_of(window.begin(), window.end(), [](const std::string& call) {
        return call.find(".quenrix-part") != std::string::npos;
    })) << "nothing was copied across";
}

}  // namespace
}  // namespace quenrix::test
