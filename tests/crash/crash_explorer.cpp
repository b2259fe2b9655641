// quenrix-crash-explorer: cuts the power after every operation of a batch
// and looks at every disk the power cut may leave.
//
// The batch runs as the window runs it in automatic mode (the work file in
// the start folder, the corrected files beside the inputs), or as
// quenrix-cli runs it with an output folder (the work file and the
// corrected files there), with the input deletion and the log on, on a
// simulated file system (native_sim.cpp): SIG and RMG files, two whose
// corrected files would take one name, one that cannot be converted, one
// that has no rollover, and a log near its line cap. After each operation
// every crash state is checked:
//   - every input is there with its bytes, or its corrected file is there
//     whole;
//   - no file stands under a corrected file's name unless it is whole, and
//     no file stands in the input or output folder that no run leaves there;
//   - the log is there and is the log as it stood at some moment: whole
//     lines, none torn, none lost in between;
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

#include "app/core/quiet_view.h"
#include "app/core/wizard_core.h"
#include "cli/run.h"
#include "engine/conversion.h"
#include "support/fd_io.h"
#include "support/native.h"
#include "tests/crash/sim_file_system.h"
#include "tools/mksample/sample_writer.h"

namespace {

using namespace quenrix;
using crash::Content;
using crash::DiskImage;
using crash::SimFileSystem;
using sample::Kind;

// The inputs' folder: "/data", or with --other-volume "/vol2/data" on a
// volume of its own, so that every corrected file is copied across from
// the work file in the start folder.
std::string& InputFolder() {
    static std::string folder = "/data";
    return folder;
}
constexpr const char* kOutputFolder = "/out";  // quenrix-cli's
constexpr const char* kStartFolder = "/work";
constexpr const char* kProgram = "/opt/quenrix/quenrix";
// Inputs of their own: recorded in the same hour as the first input, and
// one without a rollover.
constexpr std::uint32_t kCollisionIndex = 8000;
constexpr std::uint32_t kNoRolloverIndex = 8001;
constexpr const char* kFailingInput = "9999L31N.SIG";

// The batch to explore.
struct Setup {
    std::uint32_t files = 20;  // plain inputs, SIG and RMG in turn
    int oldLogLines = 990;     // of an earlier run's log (0: none); 990 crosses the cap
    bool cli = false;          // quenrix-cli's batch instead of the window's

    std::string LogPath() const { return cli ? "/work/quenrix-cli.log" : "/work/quenrix.log"; }
    // The folders whose files the checks cover.
    std::vector<std::string> Folders() const {
        if (cli)
            return {InputFolder(), kOutputFolder};
        return {InputFolder()};
    }
};

std::string InputPath(const std::string& name) {
    return InputFolder() + "/" + name;
}

void Put(const std::string& path, const std::string& bytes) {
    const native::Handle file = native::CreateForWriting(path);
    WriteAllTo(file, bytes.data(), bytes.size());
    native::CloseFile(file);
}

// The inputs, made on the simulated disk through the program's own file
// writer.
void MakeInputs(const Setup& setup) {
    SimFileSystem& fs = SimFileSystem::Instance();
    fs.Reset({{}, {InputFolder(), kStartFolder, kOutputFolder}});
    auto make = [](std::uint32_t index, Kind kind, std::uint32_t hour, std::uint32_t seed,
                   bool rolledOver) {
        sample::SampleOptions options;
        options.kind = kind;
        options.start = 1063638000 + hour * 3600;  // 2013-09-20 14:20 GPS time on
        options.size = 3000;
        options.seed = seed;
        options.junk = true;
        options.rolledOver = rolledOver;
        sample::WriteSampleFile(InputPath(sample::ReceiverStyleName(index, kind)), options);
    };
    for (std::uint32_t i = 0; i < setup.files; ++i)
        make(i, i % 2 ? Kind::Rmg : Kind::Sig, i, i + 1, true);
    // Its corrected file would take the first one's name.
    make(kCollisionIndex, Kind::Sig, 0, 99999, true);
    make(kNoRolloverIndex, Kind::Rmg, setup.files, 99998, false);  // stays as it is
    // Bytes that hold no record: the file cannot be converted.
    Put(InputPath(kFailingInput), std::string(2000, '\x5a'));
    if (setup.oldLogLines > 0) {
        std::string log;
        for (int i = 0; i < setup.oldLogLines; ++i)
            log += "2026/12/01 09:00:00 - earlier run, line " + std::to_string(i + 1) + "\r\n";
        Put(setup.LogPath(), log);
    }
    fs.Reset(fs.Current());  // all of it on disk before the batch
}

// The batch, start to end: the window in automatic mode over the input
// folder, or quenrix-cli over it with an output folder. Which input became
// which corrected file, by full paths.
std::map<std::string, std::string> RunBatch(const Setup& setup) {
    if (!setup.cli) {
        QuietView view;
        {
            WizardCore core(view, {InputFolder()}, kStartFolder, kProgram);
            core.Start();
        }
        std::map<std::string, std::string> outputs;
        for (const auto& [input, outcome] : view.outcomes)
            if (outcome.outcome == Outcome::Corrected)
                outputs[input] = outcome.outputPath;
        return outputs;
    }
    cli::Settings settings;
    settings.outputDir = kOutputFolder;
    settings.deleteInput = true;
    settings.quiet = true;
    settings.log = setup.LogPath();
    std::vector<std::string> files;
    native::ForEachEntry(InputFolder(), [&](const native::FolderEntry& entry) {
        files.push_back(InputPath(entry.name));
    });
    cli::Run run(settings, files);
    run.Go();
    std::map<std::string, std::string> outputs;
    for (const cli::FileReport& report : run.Reports())
        if (report.code == Outcome::Corrected)
            outputs[report.path] = report.output;
    return outputs;
}

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

// What the uncut batch did; files by their full paths.
struct Expectation {
    std::map<std::string, std::string> inputs;      // their original bytes
    std::map<std::string, std::string> outputs;     // the corrected files' bytes
    std::map<std::string, std::string> outputOf;    // input deleted: its corrected file
    std::map<std::string, std::string> finalFiles;  // the checked folders at the end
};

bool InFolder(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && path.rfind(folder + "/", 0) == 0 &&
           path.find('/', folder.size() + 1) == std::string::npos;
}

bool InFolders(const std::string& path, const std::vector<std::string>& folders) {
    return std::any_of(folders.begin(), folders.end(),
                       [&](const std::string& folder) { return InFolder(path, folder); });
}

// quenrix-cli's work file, beside its outputs: a cut may leave it, and a
// later run of the same process id clears it away; it never stands under
// an output's name.
// A work file of quenrix-cli's, or the temporary file of a copy across
// volumes: a cut may leave either (never under an output name); the next
// run that stores there removes it, and the rerun check holds runs to that.
bool IsWorkFile(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return (path.compare(slash + 1, 14, ".quenrix-work-") == 0 && path.ends_with(".tmp")) ||
           path.ends_with(".quenrix-part");
}

std::map<std::string, std::string> FilesIn(const DiskImage& disk,
                                           const std::vector<std::string>& folders) {
    std::map<std::string, std::string> files;
    for (const auto& [path, content] : disk.files)
        if (InFolders(path, folders))
            files[path] = *content;
    return files;
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
            RunBatch(setup_);
            const auto after = FilesIn(fs.Current(), folders_);
            for (const auto& [name, bytes] : expected_.finalFiles) {
                const auto found = after.find(name);
                if (found == after.end())
                    Report(restart.where, name + " is missing after the batch ran again");
                else if (found->second != bytes)
                    Report(restart.where,
                           name + " differs after the batch ran again from the uncut batch's");
            }
            for (const auto& [name, bytes] : after)
                if (expected_.finalFiles.count(name) == 0)
                    Report(restart.where, name +
                                              " is left after the batch ran again; the uncut "
                                              "batch leaves none");
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
        std::vector<std::string> problems;
        auto at = [&](const std::string& path) -> const std::string* {
            const auto found = disk.files.find(path);
            return found != disk.files.end() ? found->second.get() : nullptr;
        };
        for (const auto& [path, bytes] : expected_.inputs) {
            const std::string* now = at(path);
            if (now != nullptr) {
                if (*now != bytes)
                    problems.push_back(path + ": the input is there with other bytes");
                continue;
            }
            const auto output = expected_.outputOf.find(path);
            if (output == expected_.outputOf.end()) {
                problems.push_back(path + ": the input is gone, and it is never corrected");
                continue;
            }
            const std::string* corrected = at(output->second);
            if (corrected == nullptr || *corrected != expected_.outputs.at(output->second))
                problems.push_back(path + ": the input is gone, and its corrected file " +
                                   output->second + " is " +
                                   (corrected ? "not whole" : "not there"));
        }
        for (const auto& [path, content] : disk.files) {
            if (!InFolders(path, folders_))
                continue;
            const auto output = expected_.outputs.find(path);
            if (output != expected_.outputs.end()) {
                if (*content != output->second)
                    problems.push_back(path + " stands with " + std::to_string(content->size()) +
                                       " bytes that are not its corrected file's " +
                                       std::to_string(output->second.size()));
            } else if (expected_.inputs.count(path) == 0 && !IsWorkFile(path)) {
                problems.push_back(path + " stands there; no run leaves it there");
            }
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
                    " is not the log as it ever stood, nor that with a torn last "
                    "entry (" +
                    std::to_string(log->second->size()) + " bytes" +
                    (log->second->find('\0') != std::string::npos ? ", zero bytes in it" : "") +
                    ")");
            } else if (!torn.empty() && tornLogs_.size() < 20) {
                tornLogs_.push_back({disk, torn});
            }
        }
        return problems;
    }

    // A disk that kept only some sectors of the last entry's write: the log
    // as it once stood, then part of one more entry, with no line end but
    // at its very end (a lost sector in it reads as zeros).
    // `torn` is the part of the entry without its line end, if it has none.
    bool TornLast(const std::string& log, std::string& torn) const {
        for (auto size = logSizes_.rbegin(); size != logSizes_.rend(); ++size) {
            if (*size >= log.size() || logHistory_.count(HashOf(log.substr(0, *size))) == 0)
                continue;
            const std::size_t lineEnd = log.find('\n', *size);
            if (lineEnd == std::string::npos)
                torn = log.substr(*size);
            return lineEnd == std::string::npos || lineEnd + 1 == log.size();
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
    std::set<std::size_t> logSizes_;  // of the log's contents in the history
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

// Checks that the batch is the one the rules are about; a batch that lost
// its collision or its failing file would prove less than it claims.
bool CheckScenario(const Setup& setup, const Expectation& expected) {
    std::size_t sig = 0, rmg = 0;
    for (const auto& [path, bytes] : expected.inputs) (path.ends_with(".SIG") ? sig : rmg) += 1;
    const bool collision =
        expected.outputOf.count(InputPath(sample::ReceiverStyleName(0, Kind::Sig))) == 1 &&
        expected.finalFiles.count(
            InputPath(sample::ReceiverStyleName(kCollisionIndex, Kind::Sig))) == 1;
    const bool failing = expected.finalFiles.count(InputPath(kFailingInput)) == 1 &&
                         expected.outputOf.count(InputPath(kFailingInput)) == 0;
    std::printf(
        "batch of %s: %zu inputs (SIG %zu, RMG %zu), %zu corrected and their inputs deleted; "
        "%d lines of an earlier log\n",
        setup.cli ? "quenrix-cli --output-dir" : "the window", expected.inputs.size(), sig, rmg,
        expected.outputOf.size(), setup.oldLogLines);
    if (sig == 0 || rmg == 0 || !collision || !failing || expected.outputOf.size() != setup.files) {
        std::printf("the batch is not the one to explore (collision %d, failing file %d)\n",
                    collision, failing);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    CLI::App app{"Cuts the power after every operation of a batch and checks every crash state."};
    std::string plant = "none";
    std::string expectViolation;
    std::size_t maxReports = 20;
    app.add_option("--plant", plant,
                   "A fault to plant: none, skip-data-flush (of the work file), "
                   "skip-copy-flush (of a copy across volumes), folder-flush-after-delete")
        ->check(CLI::IsMember(
            {"none", "skip-data-flush", "skip-copy-flush", "folder-flush-after-delete"}))
        ->capture_default_str();
    app.add_option("--expect-violation", expectViolation,
                   "Succeed only when a violation's message holds this text (for a planted fault)");
    app.add_option("--reports", maxReports, "Violations printed at most")->capture_default_str();
    Setup setup;
    app.add_option("--files", setup.files, "Plain inputs besides the special ones")
        ->check(CLI::Range(2, 5000))
        ->capture_default_str();
    app.add_option("--old-log-lines", setup.oldLogLines,
                   "Lines of an earlier run's log (0: the batch starts the log)")
        ->check(CLI::Range(0, 5000))
        ->capture_default_str();
    app.add_flag("--cli", setup.cli,
                 "quenrix-cli's batch with an output folder instead of the window's");
    bool otherVolume = false;
    app.add_flag("--other-volume", otherVolume,
                 "The inputs on a volume of their own: corrected files are copied across");
    CLI11_PARSE(app, argc, argv);
    if (otherVolume) {
        InputFolder() = "/vol2/data";
        SimFileSystem::Instance().SetSecondVolume("/vol2");
    }

    const auto start = std::chrono::steady_clock::now();
    SimFileSystem& fs = SimFileSystem::Instance();
    MakeInputs(setup);
    const DiskImage initial = fs.Current();

    Expectation expected;
    expected.inputs = FilesIn(initial, {InputFolder()});
    const std::map<std::string, std::string> stored = RunBatch(setup);
    expected.finalFiles = FilesIn(fs.Current(), setup.Folders());
    for (const auto& [input, output] : stored) {
        if (expected.finalFiles.count(output) != 0)
            expected.outputs[output] = expected.finalFiles[output];
        if (expected.finalFiles.count(input) == 0)
            expected.outputOf[input] = output;  // stored, and its input deleted
    }
    if (!CheckScenario(setup, expected))
        return 2;

    fs.Reset(initial);
    if (plant == "skip-data-flush")
        // The work file's flush: the window's, or quenrix-cli's first
        // worker's (the simulation's process id is 1).
        fs.Plant(crash::PlantedFault::SkipDataFlush,
                 setup.cli ? "/.quenrix-work-1-0.tmp" : "/" + std::string(kWorkFileName));
    else if (plant == "skip-copy-flush")
        fs.Plant(crash::PlantedFault::SkipDataFlush, ".quenrix-part");
    else if (plant == "folder-flush-after-delete")
        fs.Plant(crash::PlantedFault::FolderFlushAfterDelete);
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
