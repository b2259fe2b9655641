// quenrix-crash-explorer: cuts the power after every operation of a batch
// (explored_batch.h) and looks at every disk the power cut may leave.
// After each operation every crash state is checked:
//   - the files keep the rules of CheckFiles: every input is there with its
//     bytes, or its corrected file is there whole; nothing else stands
//     under a corrected file's name, nor anything no run leaves;
//   - the log is there and is the log as it stood at some moment, or that
//     and part of one more write (a group of entries, written together):
//     nothing lost under a later write;
//   - the batch run again on that disk leaves the same files as a batch
//     that was never cut.
// Exit status 0 when no state breaks a rule (with --expect-violation TEXT:
// when some state breaks one with TEXT in its message, for planted faults).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/core/wizard_core.h"
#include "cli/run.h"
#include "engine/conversion.h"
#include "support/native_layer.h"
#include "tests/crash/explored_batch.h"
#include "tests/crash/explorer_options.h"
#include "tests/crash/sim_file_system.h"
#include "tests/crash/sim_layer.h"

namespace {

using namespace quenrix;
using crash::Content;
using crash::DiskImage;
using crash::SimFileSystem;
using namespace quenrix::explore;

std::size_t HashOf(const std::string& bytes) {
    return std::hash<std::string>{}(bytes);
}

// Content hashes, remembered by the content's address (the content is
// kept alive with it, so the address cannot come back for other bytes).
class HashCache {
  public:
    std::size_t Of(const Content& content) {
        auto found = cache_.find(content.get());
        if (found != cache_.end())
            return found->second.second;
        if (cache_.size() > 20000)
            cache_.clear();
        const std::size_t hash = HashOf(*content);
        cache_.emplace(content.get(), std::make_pair(content, hash));
        return hash;
    }

  private:
    std::unordered_map<const std::string*, std::pair<Content, std::size_t>> cache_;
};

std::size_t Mix(std::size_t seed, std::size_t value) {
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

class Explorer {
  public:
    Explorer(const Setup& setup, Expectation expected, std::size_t maxReports)
        : setup_(setup),
          folders_(setup.Folders()),
          logPath_(setup.LogPath()),
          expected_(std::move(expected)),
          maxReports_(maxReports) {}

    // The log as it stands before the batch.
    void Begin(const SimFileSystem& fs) {
        NoteLog(fs);
        largestLogWrite_ = 0;  // the earlier run's log is no write of this one
        logOnDisk_ = fs.FileNow(logPath_) != nullptr;
    }

    // Called after operation `op`: every crash state now.
    void AtOperation(const crash::Operation& op, const SimFileSystem& fs) {
        if (foundAwaited_)
            return;  // a planted fault is found: nothing more to show
        ++crashPoints_;
        NoteLog(fs);
        const std::vector<crash::CrashState> states = fs.CrashStates();
        // Once on disk, the log must never be gone again.
        logOnDisk_ = logOnDisk_ || states.front().disk.files.count(logPath_) != 0;
        for (const crash::CrashState& state : states) {
            ++states_;
            const std::size_t signature = Signature(state.disk);
            if (!seen_.insert(signature).second)
                continue;
            ++distinct_;
            const std::string where = Where(op, state.text);
            for (const std::string& problem : Check(state.disk)) Report(where, problem);
            restarts_.emplace(FolderSignature(state.disk), Restart{state.disk, where});
        }
    }

    // The batch again on each different set of inputs and outputs a crash
    // may leave.
    void RunAgain() {
        if (foundAwaited_)
            return;
        SimFileSystem& fs = SimFileSystem::Instance();
        fs.SetObserver({});
        for (const auto& [signature, restart] : restarts_) {
            fs.Reset(restart.disk);
            // The machine starts again after the power cut: what the cut run
            // left is no longer being written.
            fs.LetTimePass(std::int64_t{3600} * 1000000000);
            RunBatch(setup_);
            for (const std::string& problem :
                 CompareWithUncut(FilesIn(fs.Current(), folders_), expected_))
                Report(restart.where, problem);
        }
        // After a log whose last entry was torn, the next run's entries
        // start on lines of their own: the torn line ends where it was cut.
        for (const TornLog& torn : tornLogs_) {
            fs.Reset(torn.disk);
            RunBatch(setup_);
            const Content log = fs.FileNow(logPath_);
            if (!log || log->find(torn.piece + "\r\n") == std::string::npos)
                Report("a log torn as \"" + torn.piece.substr(0, 40) + "...\"",
                       "the batch run again does not end the torn line before its entries");
        }
    }

    void Print(std::size_t operations) const {
        std::printf(
            "operations: %zu, crash points: %zu, crash states: %zu (%zu different), batches run "
            "again: %zu, violations: %zu\n",
            operations, crashPoints_, states_, distinct_, restarts_.size(), violations_);
    }
    std::size_t Violations() const { return violations_; }
    // With a violation awaited (a planted fault's), the exploration stops
    // once one like it is found.
    void Await(const std::string& text) { awaited_ = text; }
    bool Found(const std::string& text) const {
        for (const std::string& problem : problems_)
            if (problem.find(text) != std::string::npos)
                return true;
        return false;
    }

  private:
    // Every content the log has had up to now: a crash may leave any.
    void NoteLog(const SimFileSystem& fs) {
        const Content log = fs.FileNow(logPath_);
        if (log) {
            logHistory_.insert(HashOf(*log));
            logSizes_.insert(log->size());
            if (log->size() > lastLogSize_)
                largestLogWrite_ = std::max(largestLogWrite_, log->size() - lastLogSize_);
            lastLogSize_ = log->size();
        }
    }

    std::size_t Signature(const DiskImage& disk) {
        std::size_t signature = 0;
        for (const auto& [path, content] : disk.files)
            signature = Mix(Mix(signature, HashOf(path)), hashes_.Of(content));
        for (const std::string& folder : disk.folders) signature = Mix(signature, HashOf(folder));
        return signature;
    }

    std::size_t FolderSignature(const DiskImage& disk) {
        std::size_t signature = 0;
        for (const auto& [path, content] : disk.files)
            if (InFolders(path, folders_) && !IsWorkFile(path))
                signature = Mix(Mix(signature, HashOf(path)), hashes_.Of(content));
        return signature;
    }

    std::vector<std::string> Check(const DiskImage& disk) {
        std::vector<std::string> problems = CheckFiles(disk, expected_, folders_);
        if (setup_.manifest) {
            const std::vector<std::string> manifest = CheckManifest(disk, expected_);
            problems.insert(problems.end(), manifest.begin(), manifest.end());
        }
        const auto log = disk.files.find(logPath_);
        if (log == disk.files.end()) {
            if (logOnDisk_)
                problems.push_back(logPath_ + " is gone");
        } else if (logHistory_.count(hashes_.Of(log->second)) == 0) {
            std::string torn;
            if (!TornLast(*log->second, torn)) {
                problems.push_back(
                    logPath_ +
                    " is not the log as it ever stood, nor that and part of one more "
                    "write (" +
                    std::to_string(log->second->size()) + " bytes" +
                    (log->second->find('\0') != std::string::npos ? ", zero bytes in it" : "") +
                    ")");
            } else if (!torn.empty() && tornLogs_.size() < 20) {
                tornLogs_.push_back({disk, torn});
            }
        }
        return problems;
    }

    // A disk that kept only some sectors of the last write to the log (a
    // file's entries, written together): the log as it once stood, then at
    // most one write's bytes more, whole lines or a part of one, a lost
    // sector in them reading as zeros.
    // `torn` is the part after the last line end, if the log does not end
    // with one.
    bool TornLast(const std::string& log, std::string& torn) const {
        for (auto size = logSizes_.rbegin(); size != logSizes_.rend(); ++size) {
            if (*size >= log.size() || logHistory_.count(HashOf(log.substr(0, *size))) == 0)
                continue;
            if (log.size() - *size > largestLogWrite_)
                return false;
            const std::size_t lastEnd = log.rfind('\n');
            if (lastEnd == std::string::npos || lastEnd + 1 < log.size())
                torn = log.substr(lastEnd == std::string::npos || lastEnd < *size ? *size
                                                                                  : lastEnd + 1);
            return true;
        }
        return false;
    }

    static std::string Where(const crash::Operation& op, const std::string& state) {
        return "operation " + std::to_string(op.number) + " (" + op.text + "), state \"" + state +
               "\"";
    }
    void Report(const std::string& where, const std::string& problem) {
        if (++violations_ <= maxReports_)
            std::printf("VIOLATION after %s: %s\n", where.c_str(), problem.c_str());
        if (problems_.size() < 1000)
            problems_.push_back(problem);
        if (!awaited_.empty() && problem.find(awaited_) != std::string::npos)
            foundAwaited_ = true;
    }

    const Setup setup_;
    const std::vector<std::string> folders_;
    const std::string logPath_;
    Expectation expected_;
    std::size_t maxReports_;
    std::string awaited_;
    bool foundAwaited_ = false;
    HashCache hashes_;
    std::vector<std::string> problems_;  // the first of them
    std::set<std::size_t> logHistory_;
    std::set<std::size_t> logSizes_;   // of the log's contents in the history
    std::size_t lastLogSize_ = 0;      // as the log stood at the last operation
    std::size_t largestLogWrite_ = 0;  // the most the log grew by at once
    bool logOnDisk_ = false;
    std::set<std::size_t> seen_;
    // The first crash state of each different set of inputs and outputs.
    struct Restart {
        DiskImage disk;
        std::string where;
    };
    std::map<std::size_t, Restart> restarts_;
    struct TornLog {
        DiskImage disk;
        std::string piece;  // the torn entry, which has no line end
    };
    std::vector<TornLog> tornLogs_;
    std::size_t crashPoints_ = 0, states_ = 0, distinct_ = 0, violations_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    CLI::App app{"Cuts the power after every operation of a batch and checks every crash state."};
    ExplorerOptions options;
    AddExplorerOptions(app, options);
    app.add_option("--plant", options.plant,
                   "A fault to plant: none, skip-data-flush (of the work file), "
                   "skip-copy-flush (of a copy across volumes), folder-flush-after-delete, "
                   "group-deleted-before-folder-flush, skip-log-flush (of the entries "
                   "appended to the log)")
        ->check(CLI::IsMember({"none", "skip-data-flush", "skip-copy-flush",
                               "folder-flush-after-delete", "group-deleted-before-folder-flush",
                               "skip-log-flush"}))
        ->capture_default_str();
    bool otherVolume = false;
    app.add_flag("--other-volume", otherVolume,
                 "The inputs on a volume of their own: corrected files are copied across");
    CLI11_PARSE(app, argc, argv);
    const Setup& setup = options.setup;
    const std::string& plant = options.plant;
    const std::string& expectViolation = options.expectViolation;
    const std::size_t maxReports = options.maxReports;
    native::UseLayer(&native::SimulatedSystem());
    if (otherVolume)
        PutInputsOnAnotherVolume();

    const auto start = std::chrono::steady_clock::now();
    SimFileSystem& fs = SimFileSystem::Instance();
    DiskImage initial;
    Expectation expected;
    if (!RunUncut(setup, initial, expected))
        return 2;

    fs.Reset(initial);
    if (plant == "skip-data-flush")
        // The work file's flush: the window's, or quenrix-cli's first
        // worker's.
        fs.Plant(crash::PlantedFault::SkipDataFlush, setup.cli
                                                         ? std::string(cli::kWorkFileExtension)
                                                         : std::string(kWindowWorkFileExtension));
    else if (plant == "skip-copy-flush")
        fs.Plant(crash::PlantedFault::SkipDataFlush, ".quenrix-part");
    else if (plant == "skip-log-flush")
        fs.Plant(crash::PlantedFault::SkipDataFlush, "/" + setup.LogPath().substr(6));
    else if (plant == "folder-flush-after-delete")
        fs.Plant(crash::PlantedFault::FolderFlushAfterDelete);
    else if (plant == "group-deleted-before-folder-flush")
        fs.Plant(crash::PlantedFault::GroupDeletedBeforeFolderFlush);
    Explorer explorer(setup, expected, maxReports);
    explorer.Await(expectViolation);
    explorer.Begin(fs);
    fs.SetObserver([&](const crash::Operation& op) { explorer.AtOperation(op, fs); });
    RunBatch(setup);
    const std::size_t operations = fs.Operations();
    fs.Plant(crash::PlantedFault::None);
    explorer.RunAgain();
    explorer.Print(operations);
    std::printf("time: %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!expectViolation.empty())
        return explorer.Found(expectViolation) ? 0 : 1;
    return explorer.Violations() == 0 ? 0 : 1;
}
