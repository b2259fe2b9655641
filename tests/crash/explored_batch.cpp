#include "tests/crash/explored_batch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/core/quiet_view.h"
#include "app/core/wizard_core.h"
#include "cli/run.h"
#include "engine/manifest.h"
#include "support/fd_io.h"
#include "support/native.h"
#include "support/sha256.h"
#include "tests/crash/sim_layer.h"
#include "tools/mksample/sample_writer.h"

namespace quenrix::explore {
namespace {

using crash::DiskImage;
using crash::SimFileSystem;
using sample::Kind;

constexpr const char* kOutputFolder = "/out";  // quenrix-cli's
constexpr const char* kStartFolder = "/work";
constexpr const char* kProgram = "/opt/quenrix/quenrix";
// Inputs of their own: recorded in the same hour as the first input, and
// one without a rollover.
constexpr std::uint32_t kCollisionIndex = 8000;
constexpr std::uint32_t kNoRolloverIndex = 8001;
constexpr const char* kFailingInput = "9999L31N.SIG";

std::string inputFolder = "/data";

// Sets up a file of the simulated disk; a set-up that fails ends the run,
// as nothing explored after it would mean anything.
void Put(const std::string& path, const std::string& bytes) {
    const native::Handle file = native::CreateForWriting(path).value;
    if (!WriteAllTo(file, bytes.data(), bytes.size()) || !native::CloseFile(file)) {
        std::fprintf(stderr, "cannot set up %s\n", path.c_str());
        std::abort();
    }
}

bool InFolder(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && path.rfind(folder + "/", 0) == 0 &&
           path.find('/', folder.size() + 1) == std::string::npos;
}

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

std::vector<std::string> Setup::Folders() const {
    if (cli)
        return {InputFolder(), kOutputFolder};
    return {InputFolder()};
}

const std::string& InputFolder() {
    return inputFolder;
}

void PutInputsOnAnotherVolume() {
    inputFolder = "/vol2/data";
    SimFileSystem::Instance().SetSecondVolume("/vol2");
}

std::string InputPath(const std::string& name) {
    return InputFolder() + "/" + name;
}

void MakeInputs(const Setup& setup) {
    SimFileSystem& fs = SimFileSystem::Instance();
    fs.Reset({{}, {InputFolder(), kStartFolder, kOutputFolder}});
    // With a manifest an input with bytes between records stays (its
    // corrected file could not give it back): no such bytes then, so that
    // inputs go.
    const bool junk = !setup.manifest;
    auto make = [junk](std::uint32_t index, Kind kind, std::uint32_t hour, std::uint32_t seed,
                       bool rolledOver) {
        sample::SampleOptions options;
        options.kind = kind;
        options.start = 1063638000 + hour * 3600;  // 2013-09-20 14:20 GPS time on
        options.size = 3000;
        options.seed = seed;
        options.junk = junk;
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

std::map<std::string, Reported> RunBatch(const Setup& setup, std::vector<std::string>* warnings) {
    std::map<std::string, Reported> reported;
    if (!setup.cli) {
        QuietView view;
        {
            std::vector<std::string> arguments = {InputFolder()};
            if (setup.manifest)
                arguments.push_back("/MANIFEST=" + Setup::ManifestPath());
            WizardCore core(view, Catalogue::Japanese(), arguments, kStartFolder, kProgram);
            core.Start();
        }
        for (const auto& [input, outcome] : view.outcomes)
            reported[input] = {outcome.outcome, outcome.stored ? outcome.outputPath : "",
                               ReasonText(outcome.problem)};
        if (warnings != nullptr)
            *warnings = view.warnings;
        return reported;
    }
    cli::Settings settings;
    settings.outputDir = kOutputFolder;
    settings.deleteInput = true;
    settings.quiet = true;
    settings.log = setup.LogPath();
    if (setup.manifest)
        settings.manifest = Setup::ManifestPath();
    // The files as the user's shell would name them: listed by the
    // simulation itself, never by a layer that fails.
    std::vector<std::string> files;
    native::SimulatedSystem().ForEachEntry(InputFolder(), [&](const native::FolderEntry& entry) {
        files.push_back(InputPath(entry.name));
    });
    cli::Run run(settings, files);
    run.ConvertAll();
    for (const cli::FileReport& report : run.Reports())
        reported[report.path] = {report.code,
                                 report.code == Outcome::Corrected ? report.output : "",
                                 ReasonText(report.problem)};
    return reported;
}

bool RunUncut(const Setup& setup, DiskImage& initial, Expectation& expected) {
    SimFileSystem& fs = SimFileSystem::Instance();
    MakeInputs(setup);
    initial = fs.Current();
    expected = {};
    expected.inputs = FilesIn(initial, {InputFolder()});
    const std::map<std::string, Reported> reported = RunBatch(setup);
    expected.finalFiles = FilesIn(fs.Current(), setup.Folders());
    for (const auto& [input, report] : reported) {
        if (report.outcome != Outcome::Corrected)
            continue;
        if (expected.finalFiles.count(report.output) != 0)
            expected.outputs[report.output] = expected.finalFiles[report.output];
        if (expected.finalFiles.count(input) == 0)
            expected.outputOf[input] = report.output;  // stored, and its input deleted
    }
    return CheckScenario(setup, expected);
}

void AllowOtherOrders(const Setup& setup, const DiskImage& initial, Expectation& expected) {
    SimFileSystem& fs = SimFileSystem::Instance();
    // Each input alone in its folder.
    auto hideAllBut = [&](const std::string& kept) {
        fs.Reset(initial);
        for (const auto& [input, bytes] : expected.inputs)
            if (input != kept)
                fs.Remove(input);
    };
    std::map<std::string, std::vector<std::string>> byOutput;
    for (const auto& [input, bytes] : expected.inputs) {
        hideAllBut(input);
        const Reported report = RunBatch(setup)[input];
        if (report.outcome != Outcome::Corrected)
            continue;
        const crash::Content stored = fs.FileNow(report.output);
        expected.alone[input] = {report.output, stored ? *stored : std::string()};
        byOutput[report.output].push_back(input);
    }
    // Where inputs share an output name: the batch without one of them,
    // then with it back.
    for (const auto& [output, inputs] : byOutput) {
        if (inputs.size() < 2)
            continue;
        for (const std::string& hidden : inputs) {
            fs.Reset(initial);
            fs.Remove(hidden);
            RunBatch(setup);
            Put(hidden, expected.inputs.at(hidden));
            RunBatch(setup);
            expected.otherFinalFiles.push_back(FilesIn(fs.Current(), setup.Folders()));
        }
    }
}

bool IsWorkFile(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return (path.compare(slash + 1, 14, ".quenrix-work-") == 0 && path.ends_with(".tmp")) ||
           path.ends_with(".quenrix-part");
}

bool InFolders(const std::string& path, const std::vector<std::string>& folders) {
    return std::any_of(folders.begin(), folders.end(),
                       [&](const std::string& folder) { return InFolder(path, folder); });
}

std::map<std::string, std::string> FilesIn(const DiskImage& disk,
                                           const std::vector<std::string>& folders) {
    std::map<std::string, std::string> files;
    for (const auto& [path, content] : disk.files)
        if (InFolders(path, folders))
            files[path] = *content;
    return files;
}

std::vector<std::string> CheckFiles(const DiskImage& disk, const Expectation& expected,
                                    const std::vector<std::string>& folders) {
    std::vector<std::string> problems;
    auto at = [&](const std::string& path) -> const std::string* {
        const auto found = disk.files.find(path);
        return found != disk.files.end() ? found->second.get() : nullptr;
    };
    for (const auto& [path, bytes] : expected.inputs) {
        const std::string* now = at(path);
        if (now != nullptr) {
            if (*now != bytes)
                problems.push_back(path + ": the input is there with other bytes");
            continue;
        }
        // Gone: its corrected file must be there whole, where the uncut
        // batch stored it or, where it may be, as converted alone.
        const auto alone = expected.alone.find(path);
        if (alone != expected.alone.end() && at(alone->second.first) != nullptr &&
            *at(alone->second.first) == alone->second.second)
            continue;
        const auto output = expected.outputOf.find(path);
        if (output == expected.outputOf.end()) {
            problems.push_back(path + ": the input is gone, and it is never corrected");
            continue;
        }
        const std::string* corrected = at(output->second);
        if (corrected == nullptr || *corrected != expected.outputs.at(output->second))
            problems.push_back(path + ": the input is gone, and its corrected file " +
                               output->second + " is " + (corrected ? "not whole" : "not there"));
    }
    for (const auto& [path, content] : disk.files) {
        if (!InFolders(path, folders))
            continue;
        const auto output = expected.outputs.find(path);
        const bool anotherOrders = std::any_of(
            expected.alone.begin(), expected.alone.end(),
            [&](const auto& alone) { return alone.second == std::make_pair(path, *content); });
        if (output != expected.outputs.end()) {
            if (*content != output->second && !anotherOrders)
                problems.push_back(path + " stands with " + std::to_string(content->size()) +
                                   " bytes that are not its corrected file's " +
                                   std::to_string(output->second.size()));
        } else if (expected.inputs.count(path) == 0 && !IsWorkFile(path)) {
            problems.push_back(path + " stands there; no run leaves it there");
        }
    }
    return problems;
}

std::vector<std::string> CompareWithUncut(const std::map<std::string, std::string>& files,
                                          const Expectation& expected) {
    for (const auto& other : expected.otherFinalFiles)
        if (files == other)
            return {};
    std::vector<std::string> problems;
    for (const auto& [name, bytes] : expected.finalFiles) {
        const auto found = files.find(name);
        if (found == files.end())
            problems.push_back(name + " is missing after the batch ran again");
        else if (found->second != bytes)
            problems.push_back(name + " differs after the batch ran again from the uncut batch's");
    }
    for (const auto& [name, bytes] : files)
        if (expected.finalFiles.count(name) == 0)
            problems.push_back(name +
                               " is left after the batch ran again; the uncut batch leaves none");
    return problems;
}

std::vector<std::string> CheckManifest(const crash::DiskImage& disk, const Expectation& expected) {
    std::vector<std::string> problems;
    const auto manifest = disk.files.find(Setup::ManifestPath());
    const ManifestRead read =
        ReadManifestText(manifest != disk.files.end() ? *manifest->second : std::string());
    // The last line may be torn by the cut, where its write was not yet on
    // disk; nothing went on the strength of that line.
    const bool tornLast = manifest != disk.files.end() && !manifest->second->empty() &&
                          manifest->second->back() != '\n';
    for (std::size_t i = 0; i < read.bad.size(); ++i)
        if (!(tornLast && i + 1 == read.bad.size()))
            problems.push_back(Setup::ManifestPath() + ": " + read.bad[i]);
    for (const auto& [input, bytes] : expected.inputs) {
        if (disk.files.count(input) != 0)
            continue;
        const std::string sha = Sha256::Of(bytes);
        bool recorded = false;
        for (const ManifestEntry& entry : read.entries) {
            if (entry.input != input || entry.inputSha256 != sha || entry.output.empty())
                continue;
            const auto output = disk.files.find(entry.output);
            recorded = recorded || (output != disk.files.end() &&
                                    Sha256::Of(*output->second) == entry.outputSha256);
        }
        if (!recorded)
            problems.push_back(input + " is gone, and no manifest line records its way back");
    }
    return problems;
}

}  // namespace quenrix::explore
