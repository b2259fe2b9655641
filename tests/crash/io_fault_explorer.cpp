// quenrix-io-fault-explorer: makes each call the batch (explored_batch.h)
// asks of the system fail, one at a time, and checks what is left.
//
// The batch runs once to count its calls of the system layer, N. Then for
// every i in 1..N it runs again from the same disk with call i failing
// once, and again with call i and every later one failing (the disk is
// gone); and once for each corrected file with its read-back garbled.
// After each run:
//   - the files keep the rules of CheckFiles: every input is there with its
//     bytes, or its corrected file is there whole; nothing else stands
//     under a corrected file's name, nor anything no run leaves;
//   - a file reported corrected is, and every file the uncut batch
//     corrected that was not is reported with a reason (or the batch
//     warned why it took no file up);
//   - the log holds whole lines only, and a log there before is still there;
//   - the program ended normally: no exception out of the batch, no hang
//     (more than 20 N calls);
//   - the batch run again without faults, an hour later, leaves the files
//     of the uncut batch.
// Exit status 0 when no run breaks a rule (with --expect-violation TEXT:
// when some run breaks one with TEXT in its message, for planted faults).
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/outcome.h"
#include "support/cp932.h"
#include "support/native_layer.h"
#include "tests/crash/explored_batch.h"
#include "tests/crash/explorer_options.h"
#include "tests/crash/failing_layer.h"
#include "tests/crash/sim_file_system.h"
#include "tests/crash/sim_layer.h"

namespace {

using namespace quenrix;
using namespace quenrix::explore;
using crash::DiskImage;
using crash::FailingLayer;
using crash::SimFileSystem;

class IoFaultExplorer {
  public:
    IoFaultExplorer(const Setup& setup, const DiskImage& initial, Expectation expected,
                    FailingLayer& layer, std::size_t maxReports)
        : setup_(setup),
          initial_(initial),
          expected_(std::move(expected)),
          layer_(layer),
          maxReports_(maxReports) {}

    // One run of the batch as `arrange` sets the layer up; `where` names it.
    void Explore(const std::string& where, const std::function<void()>& arrange, bool diskGone,
                 const std::string& garbledOutput = "") {
        if (Found())
            return;
        ++runs_;
        SimFileSystem& fs = SimFileSystem::Instance();
        fs.Reset(initial_);
        arrange();
        std::map<std::string, Reported> reported;
        std::vector<std::string> warnings;
        try {
            reported = RunBatch(setup_, &warnings);
        } catch (const std::exception& error) {
            Report(where, std::string("an exception left the batch: ") + error.what());
        } catch (...) {
            Report(where, "an exception left the batch");
        }
        const std::string failed = layer_.Failed();
        layer_.Reset();
        const std::string at = where + (failed.empty() ? "" : " (" + failed + ")");
        const DiskImage disk = fs.Current();
        for (const std::string& problem : CheckFiles(disk, expected_, setup_.Folders()))
            Report(at, problem);
        CheckReports(at, disk, reported, warnings, garbledOutput, diskGone);
        CheckLog(at, disk);
        // Run again later, when what the failed run left is old enough for
        // the next run to clear away.
        fs.LetTimePass(std::int64_t{3600} * 1000000000);
        RunBatch(setup_);
        for (const std::string& problem :
             CompareWithUncut(FilesIn(fs.Current(), setup_.Folders()), expected_))
            Report(at, problem);
    }

    void Print(std::uint64_t calls) const {
        std::printf("calls: %llu, runs: %zu, violations: %zu\n",
                    static_cast<unsigned long long>(calls), runs_, violations_);
    }
    std::size_t Violations() const { return violations_; }
    void Await(const std::string& text) { awaited_ = text; }
    bool Found() const { return found_; }

  private:
    void CheckReports(const std::string& at, const DiskImage& disk,
                      const std::map<std::string, Reported>& reported,
                      const std::vector<std::string>& warnings, const std::string& garbledOutput,
                      bool diskGone) {
        if (reported.empty()) {
            // The batch took no file up: a window in automatic mode says
            // so in its log (where a disk that is gone cannot take it).
            const auto log = disk.files.find(setup_.LogPath());
            if (warnings.empty() && !diskGone &&
                (log == disk.files.end() || log->second->find(noFilesLine_) == std::string::npos))
                Report(at, "no file is reported, and nothing says why");
            return;
        }
        for (const auto& [input, output] : expected_.alone) {
            const auto report = reported.find(input);
            if (report == reported.end()) {
                Report(at, input + " is never reported");
                continue;
            }
            const Reported& told = report->second;
            if (told.outcome == Outcome::Corrected) {
                const auto stored = disk.files.find(told.output);
                const auto alone = expected_.alone.find(input);
                if (stored == disk.files.end() || alone == expected_.alone.end() ||
                    alone->second != std::make_pair(told.output, *stored->second))
                    Report(at, input + " is reported corrected, and " + told.output +
                                   " is not its whole corrected file");
                if (told.output == garbledOutput)
                    Report(at, input + " is reported corrected, and " + told.output +
                                   " read back different");
            } else if (told.reason.empty()) {
                Report(at, input + " is reported " + std::string(Describe(told.outcome).word) +
                               " with no reason");
            }
        }
    }

    // Whole lines only (each ends in CR LF, no zero byte in it), and a log
    // that was there is there still.
    void CheckLog(const std::string& at, const DiskImage& disk) {
        const auto log = disk.files.find(setup_.LogPath());
        if (log == disk.files.end()) {
            if (initial_.files.count(setup_.LogPath()) != 0)
                Report(at, setup_.LogPath() + " is gone");
            return;
        }
        const std::string& text = *log->second;
        if (!text.empty() && !text.ends_with("\r\n"))
            Report(at, setup_.LogPath() + " ends in a torn line");
        if (text.find('\0') != std::string::npos)
            Report(at, setup_.LogPath() + " holds a zero byte");
        for (std::size_t cr = text.find('\r'); cr != std::string::npos;
             cr = text.find('\r', cr + 1))
            if (cr + 1 >= text.size() || text[cr + 1] != '\n') {
                Report(at, setup_.LogPath() + " holds a line end without its LF");
                break;
            }
    }

    void Report(const std::string& where, const std::string& problem) {
        if (++violations_ <= maxReports_)
            std::printf("VIOLATION with %s: %s\n", where.c_str(), problem.c_str());
        if (!awaited_.empty() && problem.find(awaited_) != std::string::npos)
            found_ = true;
    }

    const std::string noFilesLine_ = Utf8ToCp932("ERROR：SIG,RMGファイルがみあたらない");
    const Setup setup_;
    const DiskImage initial_;
    const Expectation expected_;
    FailingLayer& layer_;
    std::size_t maxReports_;
    std::string awaited_;
    bool found_ = false;
    std::size_t runs_ = 0, violations_ = 0;
};

void Hung() {
    std::printf("VIOLATION: the batch hangs (more than 20 times the calls of the uncut batch)\n");
    std::fflush(stdout);
    std::_Exit(3);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    CLI::App app{"Makes every call of a batch to the system fail in turn and checks the result."};
    ExplorerOptions options;
    AddExplorerOptions(app, options);
    app.add_option("--plant", options.plant,
                   "A fault to plant: none, missing-for-failed-lookup (a look-up that fails "
                   "taken for \"no such file\")")
        ->check(CLI::IsMember({"none", "missing-for-failed-lookup"}))
        ->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    const Setup& setup = options.setup;
    const std::string& plant = options.plant;
    const std::string& expectViolation = options.expectViolation;
    const std::size_t maxReports = options.maxReports;

    const auto start = std::chrono::steady_clock::now();
    native::UseLayer(&native::SimulatedSystem());
    DiskImage initial;
    Expectation expected;
    if (!RunUncut(setup, initial, expected))
        return 2;
    AllowOtherOrders(setup, initial, expected);

    crash::Plants plants;
    plants.missingForFailed = plant == "missing-for-failed-lookup";
    FailingLayer failing(native::SimulatedSystem(), plants);
    native::UseLayer(&failing);
    SimFileSystem& fs = SimFileSystem::Instance();
    fs.Reset(initial);
    failing.Reset();
    RunBatch(setup);
    const std::uint64_t calls = failing.Calls();
    failing.SetHangLimit(20 * calls, Hung);

    IoFaultExplorer explorer(setup, initial, expected, failing, maxReports);
    explorer.Await(expectViolation);
    for (std::uint64_t i = 1; i <= calls; ++i) {
        explorer.Explore(
            "call " + std::to_string(i) + " failing once",
            [&] { failing.Reset(FailingLayer::Mode::Once, i); }, false);
        explorer.Explore(
            "calls from " + std::to_string(i) + " on failing",
            [&] { failing.Reset(FailingLayer::Mode::FromThenOn, i); }, true);
    }
    for (const auto& [output, bytes] : expected.outputs)
        explorer.Explore(
            "reads of " + output + " garbled",
            [&, path = output] {
                failing.Reset();
                failing.FlipReadsOf(path);
            },
            false, output);
    explorer.Print(calls);
    std::printf("time: %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!expectViolation.empty())
        return explorer.Found() ? 0 : 1;
    return explorer.Violations() == 0 ? 0 : 1;
}
