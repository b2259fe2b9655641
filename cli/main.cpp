// quenrix-cli: repairs whole archives of receiver files from scripts, on
// the same engine as the window: dry runs, a given reference date, reports
// a script can read, several files at once.
#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include "cli/inputs.h"
#include "cli/report.h"
#include "engine/batch_actions.h"
#include "engine/byte_order.h"
#include "engine/engine_state.h"
#include "engine/file_kind.h"
#include "engine/gps_time.h"
#include "engine/pipeline.h"
#include "support/file_ops.h"
#include "support/native.h"
#include "support/oplog.h"
#include "support/paths.h"

namespace {

using namespace quenrix;

// Ctrl-C: the file in conversion is finished and the run stops before the
// next; a second Ctrl-C ends the program at once.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
    interrupted = 1;
    std::signal(SIGINT, SIG_DFL);
}

struct Settings {
    std::vector<std::string> inputs;
    bool recursive = false;
    std::string outputDir;
    bool deleteInput = false;
    bool dryRun = false;
    std::optional<std::uint32_t> referenceDay;
    std::int32_t receiverType = 0;
    std::string report = "text";
    std::string reportFile;
    unsigned jobs = 1;
    bool quiet = false;
    bool verbose = false;
    std::string log;
};

bool ParseReferenceDate(const std::string& text, std::uint32_t& seconds) {
    unsigned year = 0, month = 0, day = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u%c", &year, &month, &day, &tail) != 3 || month < 1 ||
        month > 12 || day < 1 || day > 31) {
        return false;
    }
    DateTimeRecord date;
    date.year = static_cast<std::uint16_t>(year);
    date.month = static_cast<std::uint16_t>(month);
    date.day = static_cast<std::uint16_t>(day);
    seconds = DateTimeToGpsSeconds(date);
    return year >= 1980 && (seconds != 0 || (year == 1980 && month == 1 && day == 6));
}

const char* KindOf(const std::string& path) {
    switch (ClassifyFileName(path)) {
        case FileKind::Sig:
            return "SIG";
        case FileKind::Rmg:
            return "RMG";
        case FileKind::Other:
            break;
    }
    return "other";
}

class Run {
  public:
    Run(const Settings& settings, std::vector<std::string> files)
        : settings_(settings),
          files_(std::move(files)),
          actions_(files_, settings.deleteInput),
          reports_(files_.size()),
          finished_(files_.size(), 0),
          showProgress_(!settings.quiet && native::ErrorOutputIsTerminal()) {}

    // False when a dry run has no private folder for its work files: it
    // must never write beside the inputs.
    bool Go() {
        if (settings_.dryRun) {
            dryFolder_ = native::MakeTemporaryFolder("quenrix-dry-");
            if (dryFolder_.empty())
                return false;
        }
        const unsigned workers = std::max(1u, std::min<unsigned>(settings_.jobs, files_.size()));
        std::vector<std::thread> threads;
        for (unsigned w = 1; w < workers; ++w) threads.emplace_back([this, w] { Work(w); });
        Work(0);
        for (std::thread& thread : threads) thread.join();
        if (showProgress_)
            std::fputc('\n', stderr);
        if (!dryFolder_.empty())
            native::RemoveFolderWithFiles(dryFolder_);
        return true;
    }

    // The reports of the files that were converted, in input order.
    std::vector<cli::FileReport> Reports() const {
        std::vector<cli::FileReport> done;
        for (std::size_t i = 0; i < files_.size(); ++i) {
            if (finished_[i])
                done.push_back(reports_[i]);
        }
        return done;
    }
    std::size_t NotDone() const { return files_.size() - done_; }
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

  private:
    // The work file of one worker: beside the output, so that storing it
    // is a rename; in a private folder for a dry run.
    std::string WorkFile(unsigned worker, const std::string& input) const {
        const std::string name = ".quenrix-work-" + std::to_string(native::ProcessId()) + "-" +
                                 std::to_string(worker) + ".tmp";
        if (!dryFolder_.empty())
            return JoinPath(dryFolder_, name);
        return JoinPath(OutputFolder(input), name);
    }

    // Beside the input, or in the output folder; an input named without a
    // folder gets its output in the current one (the window would use its
    // program's folder).
    std::string OutputFolder(const std::string& input) const {
        return settings_.outputDir.empty() ? FolderPart(input) : settings_.outputDir;
    }

    void Work(unsigned worker) {
        EngineState& engine = Engine();
        engine.LogFilePath = settings_.dryRun ? std::string() : settings_.log;
        engine.ReferenceDayOverride = settings_.referenceDay;
        engine.ForcedRmgReceiverType = settings_.receiverType;
        for (std::size_t i = next_++; i < files_.size() && !interrupted; i = next_++) {
            Convert(worker, i);
            finished_[i] = 1;
            Progress();
        }
    }

    void Convert(unsigned worker, std::size_t index) {
        EngineState& engine = Engine();
        const std::string& input = files_[index];
        engine.WorkFileName = WorkFile(worker, input);
        cli::FileReport& report = reports_[index];
        report.path = input;
        report.kind = KindOf(input);
        const LogCapture logged;
        const ConvertResult result = ConvertGpsFile(input);
        report.result = static_cast<std::int32_t>(result);
        report.counts = engine.Counts;
        report.receiverType = engine.RmgReceiverType;
        if (engine.FirstGpsTime != 0) {
            std::uint32_t t = engine.FirstGpsTime;
            SwapBytes32(t);
            report.firstGpsTime = t;
        }
        if (result == ConvertResult::Converted && !engine.OutputFilePath.empty()) {
            engine.OutputFilePath =
                JoinPath(OutputFolder(input), FileNamePart(engine.OutputFilePath));
        }
        const bool rollover = engine.RolloverFound == 1;

        if (settings_.dryRun) {
            DeleteFile(engine.WorkFileName);
            report.reason = engine.FailureReason;
            Describe(report, result, rollover, engine.OutputFilePath, false, false);
        } else {
            FileOutcome outcome;
            {
                // Storing, deleting and the checks against this run's other
                // files go one file at a time.
                const std::lock_guard<std::mutex> lock(actionsMutex_);
                outcome = actions_.Apply(index, result);
            }
            report.messages = outcome.statusLines;
            report.inputDeleted = outcome.inputDeleted;
            report.reason = outcome.reason;
            Describe(report, result, rollover, outcome.outputPath, outcome.stored, true);
        }
        // The path the pipeline logs first is the report's own.
        report.log.assign(logged.Messages().begin() + (logged.Messages().empty() ? 0 : 1),
                          logged.Messages().end());
        bytes_ += report.counts.inputBytes;
    }

    static void Describe(cli::FileReport& report, ConvertResult result, bool rollover,
                         const std::string& output, bool stored, bool written) {
        switch (result) {
            case ConvertResult::Converted:
                if (!rollover) {
                    report.outcome = "no rollover found";
                    report.ok = true;
                } else if (output.empty()) {
                    report.outcome = "not stored";
                    report.reason =
                        kNoPositionRecordReason;  // a dry run stores nothing to learn it
                } else if (!written) {
                    report.outcome = "would be corrected";
                    report.output = output;
                    report.ok = true;
                } else if (stored) {
                    report.outcome = "corrected";
                    report.output = output;
                    report.ok = true;
                } else {
                    report.outcome = "not stored";
                }
                break;
            case ConvertResult::RolloverPoint:
                report.outcome = "rollover-point SIG file, not converted";
                report.ok = true;
                break;
            case ConvertResult::InputMissing:
                report.outcome = "input missing";
                break;
            case ConvertResult::Failed:
                report.outcome = "failed";
                break;
        }
    }

    void Progress() {
        const std::size_t done = ++done_;
        if (!showProgress_)
            return;
        const std::lock_guard<std::mutex> lock(progressMutex_);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double mib = static_cast<double>(bytes_) / (1024.0 * 1024.0);
        std::fprintf(stderr, "\r%zu/%zu files, %.1f MiB, %.1f MiB/s   ", done, files_.size(), mib,
                     seconds > 0 ? mib / seconds : 0.0);
    }

    const Settings& settings_;
    std::vector<std::string> files_;
    BatchFileActions actions_;
    std::mutex actionsMutex_;
    std::vector<cli::FileReport> reports_;
    std::vector<char> finished_;  // one worker writes each entry; read after all joined
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> done_{0};
    std::atomic<std::uint64_t> bytes_{0};
    bool showProgress_;
    std::mutex progressMutex_;
    std::string dryFolder_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Repairs GPS receiver files (SIG, RMG, RM0-RM5) after a week-number rollover: every GPS\n"
        "time that lies 1024 weeks (or twice that) in the past moves forward, and the corrected\n"
        "file is stored under a name from its first position record's date. Inputs are kept\n"
        "unless --delete-input is given.",
        "quenrix-cli"};
    Settings settings;
    std::string referenceDate;
    app.add_option("inputs", settings.inputs, "Files, wildcard masks ('data/*.RMG') and folders")
        ->required()
        ->type_name("PATH");
    app.add_flag("-r,--recursive", settings.recursive, "Enter subfolders of folders and masks");
    app.add_option("-o,--output-dir", settings.outputDir,
                   "Store corrected files here instead of beside their inputs (made when missing)")
        ->type_name("FOLDER");
    app.add_flag("--delete-input", settings.deleteInput,
                 "Delete each input once its corrected file is on disk under another name");
    app.add_flag("-n,--dry-run", settings.dryRun, "Read and check every file, write nothing");
    app.add_option(
           "--reference-date", referenceDate,
           "YYYY-MM-DD: correct times before this day instead of fifteen years before today")
        ->type_name("DATE");
    app.add_option("--receiver-type", settings.receiverType,
                   "74, 77 or 80: the RMG receiver type, instead of reading it from each file")
        ->check(CLI::IsMember({74, 77, 80}).description(""))
        ->type_name("TYPE");
    app.add_option("--report", settings.report, "text or json, on standard output (text)")
        ->check(CLI::IsMember({"text", "json"}).description(""))
        ->type_name("FORMAT");
    app.add_option("--report-file", settings.reportFile, "Write the JSON report to this file")
        ->type_name("FILE");
    app.add_option("-j,--jobs", settings.jobs, "Convert this many files at once, 1 to 256 (1)")
        ->check(CLI::Range(1u, 256u).description(""))
        ->type_name("N");
    app.add_flag("-q,--quiet", settings.quiet,
                 "No progress and no report lines, only the exit status");
    app.add_flag("-v,--verbose", settings.verbose, "Counts by record kind and the status lines");
    app.add_option("--log", settings.log, "Write the operation log (code page 932) to this file")
        ->type_name("FILE");
    app.set_version_flag("--version", "quenrix-cli 1.0");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return 2;
    }
    if (!referenceDate.empty()) {
        std::uint32_t seconds = 0;
        if (!ParseReferenceDate(referenceDate, seconds)) {
            std::fprintf(stderr,
                         "quenrix-cli: --reference-date: not a date from 1980-01-06 on: %s\n",
                         referenceDate.c_str());
            return 2;
        }
        settings.referenceDay = seconds;
    }

    // A "/" typed on Windows is taken as its separator.
    for (std::string& input : settings.inputs) input = WithNativeSeparators(input);
    settings.outputDir = WithNativeSeparators(settings.outputDir);
    settings.log = WithNativeSeparators(settings.log);
    const std::vector<std::string> files = cli::ExpandInputs(settings.inputs, settings.recursive);
    if (files.empty()) {
        std::fprintf(stderr, "quenrix-cli: no SIG or RMG file found\n");
        return 1;
    }
    if (!settings.dryRun && !settings.outputDir.empty() && !MakeFolders(settings.outputDir)) {
        std::fprintf(stderr, "quenrix-cli: --output-dir: cannot make the folder %s: %s\n",
                     settings.outputDir.c_str(), native::LastFailure().c_str());
        return 1;
    }
    std::signal(SIGINT, OnInterrupt);
    Run run(settings, files);
    if (!run.Go()) {
        std::fprintf(stderr,
                     "quenrix-cli: --dry-run: no temporary folder for the work files "
                     "(set TMPDIR to a writable folder)\n");
        return 1;
    }

    const std::vector<cli::FileReport> reports = run.Reports();
    const cli::Summary summary = cli::Summarize(reports, run.NotDone(), run.Seconds());
    bool allOk = true;
    for (const cli::FileReport& report : reports) allOk = allOk && report.ok;
    const std::string json = cli::JsonReport(reports, summary, settings.dryRun);
    if (!settings.reportFile.empty()) {
        std::ofstream out(settings.reportFile, std::ios::binary | std::ios::trunc);
        out << json;
        if (!out) {
            std::fprintf(stderr, "quenrix-cli: cannot write the report to %s\n",
                         settings.reportFile.c_str());
            allOk = false;
        }
    }
    if (settings.report == "json") {
        std::fputs(json.c_str(), stdout);
    } else if (!settings.quiet) {
        for (const cli::FileReport& report : reports) {
            std::puts(cli::TextLine(report, settings.verbose).c_str());
        }
        std::puts(cli::SummaryLine(summary).c_str());
    }
    if (summary.notDone > 0) {
        std::fprintf(stderr, "quenrix-cli: interrupted after %zu of %zu files\n", reports.size(),
                     files.size());
        return 130;
    }
    return allOk ? 0 : 1;
}
