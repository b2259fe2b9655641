// quenrix-crash-explorer: cuts the power after every operation of a batch
// and looks at every disk the power cut may leave.
//
// The batch runs as the window runs it in automatic mode, with the input
// deletion and the log on, on a simulated file system (native_sim.cpp):
// SIG and RMG files, two whose corrected files would take one name, one
// that cannot be converted, one that has no rollover, the work file in the
// start folder and the corrected files beside the inputs, and a log near
// its line cap. After each operation every crash state is checked:
//   - every input is there with its bytes, or its corrected file is there
//     whole;
//   - no file stands under a corrected file's name unless it is whole, and
//     no file stands in the input folder that no run leaves there;
//   - the log is there and is the log as it stood at some moment: whole
//     lines, none torn, none lost in between;
//   - the batch run again on that disk leaves the same files as a batch
//     that was never cut.
// Exit status 0 when no state breaks a rule (with --expect-violation TEXT:
// when some state breaks one with TEXT in its message, for planted faults).
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/core/quiet_view.h"
#include "app/core/wizard_core.h"
#include "engine/engine_state.h"
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

constexpr const char* kInputFolder = "/data";
constexpr const char* kStartFolder = "/work";
constexpr const char* kProgram = "/opt/quenrix/quenrix";
constexpr const char* kLogPath = "/work/quenrix.log";
// Inputs of their own: recorded in the same hour as the first input, and
// one without a rollover.
constexpr std::uint32_t kCollisionIndex = 8000;
constexpr std::uint32_t kNoRolloverIndex = 8001;
constexpr const char* kFailingInput = "9999L31N.SIG";

// The batch to explore.
struct Setup {
    std::uint32_t files = 20;  // plain inputs, SIG and RMG in turn
    int oldLogLines = 990;     // of an earlier run's log (0: none); 990 crosses the cap
};

std::string InputPath(const std::string& name) {
    return std::string(kInputFolder) + "/" + name;
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
    fs.Reset({{}, {kInputFolder, kStartFolder}});
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
        Put(kLogPath, log);
    }
    fs.Reset(fs.Current());  // all of it on disk before the batch
}

// The window in automatic mode over the input folder, start to end.
QuietView RunBatch() {
    QuietView view;
    {
        WizardCore core(view, {kInputFolder}, kStartFolder, kProgram);
        core.Start();
    }
    return view;
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

// What the uninterrupted batch did.
struct Expectation {
    std::map<std::string, std::string> inputs;      // name: original bytes
    std::map<std::string, std::string> outputs;     // corrected file's name: bytes
    std::map<std::string, std::string> outputOf;    // input name: its corrected file's name
    std::map<std::string, std::string> finalFiles;  // the input folder at the end
};

std::map<std::string, std::string> FolderFiles(const DiskImage& disk, const std::string& folder) {
    std::map<std::string, std::string> files;
    const std::string prefix = folder + "/";
    for (const auto& [path, content] : disk.files)
        if (path.rfind(prefix, 0) == 0 && path.find('/', prefix.size()) == std::string::npos)
            files[path.substr(prefix.size())] = *content;
    return files;
}

// Reads which input became which corrected file off the status lines:
// a file's line ("time - NAME"), then its results ("-> 補正後ファイル名  OUT").
std::map<std::string, std::string> OutputsByInput(const std::vector<std::string>& lines) {
    const std::string stored = "-> 補正後ファイル名  ";
    std::map<std::string, std::string> outputs;
    std::string input;
    for (const std::string& line : lines) {
        const std::size_t result = line.find(stored);
        if (line.rfind(" ", 0) != 0)
            input = line.substr(line.find(" - ") + 3);
        else if (result != std::string::npos)
            outputs[input] = line.substr(result + stored.size());
    }
    return outputs;
}

class Explorer {
  public:
    Explorer(Expectation expected, std::size_t maxReports)
        : expected_(std::move(expected)), maxReports_(maxReports) {}

    // The log as it stands before the batch.
    void Begin(const SimFileSystem& fs) {
        NoteLog(fs);
        logOnDisk_ = fs.FileNow(kLogPath) != nullptr;
    }

    // Called after operation `op`: every crash state now.
    void AtOperation(const crash::Operation& op, const SimFileSystem& fs) {
        ++crashPoints_;
        NoteLog(fs);
        const std::vector<crash::CrashState> states = fs.CrashStates();
        // Once on disk, the log must never be gone again.
        logOnDisk_ = logOnDisk_ || states.front().disk.files.count(kLogPath) != 0;
        for (const crash::CrashState& state : states) {
            ++states_;
            const std::size_t signature = Signature(state.disk);
            if (!seen_.insert(signature).second)
                continue;
            ++distinct_;
            for (const std::string& problem : Check(state.disk)) Report(op, state.text, problem);
            const std::size_t inputs = FolderSignature(state.disk);
            if (restartDisks_.emplace(inputs, state.disk).second)
                restartFrom_[inputs] = "operation " + std::to_string(op.number) + " (" + op.text +
                                       "), state \"" + state.text + "\"";
        }
    }

    // The batch again on each different input folder a crash may leave.
    void Restart() {
        SimFileSystem& fs = SimFileSystem::Instance();
        fs.SetObserver({});
        for (const auto& [signature, disk] : restartDisks_) {
            fs.Reset(disk);
            RunBatch();
            ++restarts_;
            const auto after = FolderFiles(fs.Current(), kInputFolder);
            for (const auto& [name, bytes] : expected_.finalFiles) {
                const auto found = after.find(name);
                if (found == after.end())
                    Report(restartFrom_[signature], name + " is missing after the batch ran again");
                else if (found->second != bytes)
                    Report(restartFrom_[signature],
                           name + " differs after the batch ran again from the uncut batch's");
            }
            for (const auto& [name, bytes] : after)
                if (expected_.finalFiles.count(name) == 0)
                    Report(
                        restartFrom_[signature],
                        name + " is left after the batch ran again; the uncut batch leaves none");
        }
    }

    void Print(std::size_t operations) const {
        std::printf(
            "operations: %zu, crash points: %zu, crash states: %zu (%zu different), batches run "
            "again: %zu, violations: %zu\n",
            operations, crashPoints_, states_, distinct_, restarts_, violations_);
    }
    std::size_t Violations() const { return violations_; }
    bool Found(const std::string& text) const {
        for (const std::string& problem : problems_)
            if (problem.find(text) != std::string::npos)
                return true;
        return false;
    }

  private:
    // Every content the log has had up to now: a crash may leave any.
    void NoteLog(const SimFileSystem& fs) {
        const Content log = fs.FileNow(kLogPath);
        if (log)
            logHistory_.insert(HashOf(*log));
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
        const std::string prefix = std::string(kInputFolder) + "/";
        for (const auto& [path, content] : disk.files)
            if (path.rfind(prefix, 0) == 0)
                signature = Mix(Mix(signature, HashOf(path)), hashes_.Of(content));
        return signature;
    }

    std::vector<std::string> Check(const DiskImage& disk) {
        std::vector<std::string> problems;
        auto at = [&](const std::string& name) -> const std::string* {
            const auto found = disk.files.find(InputPath(name));
            return found != disk.files.end() ? found->second.get() : nullptr;
        };
        for (const auto& [name, bytes] : expected_.inputs) {
            const std::string* now = at(name);
            if (now != nullptr) {
                if (*now != bytes)
                    problems.push_back(name + ": the input is there with other bytes");
                continue;
            }
            const auto output = expected_.outputOf.find(name);
            if (output == expected_.outputOf.end()) {
                problems.push_back(name + ": the input is gone, and it is never corrected");
                continue;
            }
            const std::string* corrected = at(output->second);
            if (corrected == nullptr || *corrected != expected_.outputs.at(output->second))
                problems.push_back(name + ": the input is gone, and its corrected file " +
                                   output->second + " is " +
                                   (corrected ? "not whole" : "not there"));
        }
        const std::string prefix = std::string(kInputFolder) + "/";
        for (const auto& [path, content] : disk.files) {
            if (path.rfind(prefix, 0) != 0)
                continue;
            const std::string name = path.substr(prefix.size());
            const auto output = expected_.outputs.find(name);
            if (output != expected_.outputs.end()) {
                if (*content != output->second)
                    problems.push_back(name + " stands with " + std::to_string(content->size()) +
                                       " bytes that are not its corrected file's " +
                                       std::to_string(output->second.size()));
            } else if (expected_.inputs.count(name) == 0) {
                problems.push_back(name + " stands in the input folder; no run leaves it there");
            }
        }
        const auto log = disk.files.find(kLogPath);
        if (log == disk.files.end()) {
            if (logOnDisk_)
                problems.push_back(std::string(kLogPath) + " is gone");
        } else if (logHistory_.count(hashes_.Of(log->second)) == 0)
            problems.push_back(
                std::string(kLogPath) + " is not the log as it ever stood (" +
                std::to_string(log->second->size()) + " bytes" +
                (log->second->find('\0') != std::string::npos ? ", zero bytes in it" : "") + ")");
        return problems;
    }

    void Report(const crash::Operation& op, const std::string& state, const std::string& problem) {
        Report("operation " + std::to_string(op.number) + " (" + op.text + "), state \"" + state +
                   "\"",
               problem);
    }
    void Report(const std::string& where, const std::string& problem) {
        if (++violations_ <= maxReports_)
            std::printf("VIOLATION after %s: %s\n", where.c_str(), problem.c_str());
        if (problems_.size() < 1000)
            problems_.push_back(problem);
    }

    Expectation expected_;
    std::size_t maxReports_;
    HashCache hashes_;
    std::vector<std::string> problems_;  // the first of them
    std::set<std::size_t> logHistory_;
    bool logOnDisk_ = false;
    std::set<std::size_t> seen_;
    std::map<std::size_t, DiskImage> restartDisks_;
    std::map<std::size_t, std::string> restartFrom_;
    std::size_t crashPoints_ = 0, states_ = 0, distinct_ = 0, restarts_ = 0, violations_ = 0;
};

// Checks that the batch is the one the rules are about; a batch that lost
// its collision or its failing file would prove less than it claims.
bool CheckScenario(const Setup& setup, const Expectation& expected, const QuietView& view) {
    std::size_t sig = 0, rmg = 0;
    for (const auto& [name, bytes] : expected.inputs) (name.ends_with(".SIG") ? sig : rmg) += 1;
    const bool collision =
        expected.outputOf.count(sample::ReceiverStyleName(0, Kind::Sig)) == 1 &&
        expected.finalFiles.count(sample::ReceiverStyleName(kCollisionIndex, Kind::Sig)) == 1;
    const bool failing = expected.finalFiles.count(kFailingInput) == 1 &&
                         expected.outputOf.count(kFailingInput) == 0;
    std::printf(
        "batch: %zu inputs (SIG %zu, RMG %zu), %zu corrected and their inputs deleted, "
        "%zu status lines; %d lines of an earlier log\n",
        expected.inputs.size(), sig, rmg, expected.outputOf.size(), view.statusLines.size(),
        setup.oldLogLines);
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
                   "folder-flush-after-delete")
        ->check(CLI::IsMember({"none", "skip-data-flush", "folder-flush-after-delete"}))
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
    CLI11_PARSE(app, argc, argv);

    const auto start = std::chrono::steady_clock::now();
    SimFileSystem& fs = SimFileSystem::Instance();
    MakeInputs(setup);
    const DiskImage initial = fs.Current();

    Expectation expected;
    expected.inputs = FolderFiles(initial, kInputFolder);
    const QuietView uncut = RunBatch();
    expected.finalFiles = FolderFiles(fs.Current(), kInputFolder);
    for (const auto& [input, output] : OutputsByInput(uncut.statusLines)) {
        if (expected.finalFiles.count(output) != 0)
            expected.outputs[output] = expected.finalFiles[output];
        if (expected.finalFiles.count(input) == 0)
            expected.outputOf[input] = output;  // stored, and its input deleted
    }
    if (!CheckScenario(setup, expected, uncut))
        return 2;

    fs.Reset(initial);
    if (plant == "skip-data-flush")
        fs.Plant(crash::PlantedFault::SkipDataFlush, "/" + Engine().WorkFileName);
    else if (plant == "folder-flush-after-delete")
        fs.Plant(crash::PlantedFault::FolderFlushAfterDelete);
    Explorer explorer(expected, maxReports);
    explorer.Begin(fs);
    fs.SetObserver([&](const crash::Operation& op) { explorer.AtOperation(op, fs); });
    RunBatch();
    const std::size_t operations = fs.Operations();
    fs.Plant(crash::PlantedFault::None);
    explorer.Restart();
    explorer.Print(operations);
    std::printf("time: %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!expectViolation.empty())
        return explorer.Found(expectViolation) ? 0 : 1;
    return explorer.Violations() == 0 ? 0 : 1;
}
