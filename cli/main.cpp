// quenrix-cli: repairs whole archives of receiver files from scripts, on
// the same engine as the window: dry runs, a given reference date, reports
// a script can read, several files at once.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "cli/report.h"
#include "cli/run.h"
#include "cli/stored_files.h"
#include "engine/gps_time.h"
#include "engine/inputs.h"
#include "engine/manifest.h"
#include "support/failure.h"
#include "support/fd_io.h"
#include "support/file_ops.h"
#include "support/folder.h"
#include "support/interrupt.h"
#include "support/native.h"
#include "support/paths.h"

namespace {

using namespace quenrix;

// The day "YYYY-MM-DD" writes: four digits, two and two, nothing else
// (no sign, no space, no digit left out); none for any other text.
std::optional<std::chrono::year_month_day> ParseDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const auto number = [&text](std::size_t at, std::size_t digits) -> std::optional<int> {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return std::nullopt;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
    if (!year || !month || !day)
        return std::nullopt;
    return std::chrono::year{*year} / std::chrono::month{static_cast<unsigned>(*month)} /
           std::chrono::day{static_cast<unsigned>(*day)};
}

// "YYYY-MM-DD" of a day.
std::string DateText(std::chrono::year_month_day date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

const std::string kDateRange = DateText(kFirstGpsDate) + " to " + DateText(kLastGpsDate);

// The command line's options, into `settings` (the reference date as
// typed, into `referenceDate`).
void AddOptions(CLI::App& app, cli::Settings& settings, std::string& referenceDate) {
    app.add_option("inputs", settings.inputs, "Files, wildcard masks ('data/*.RMG') and folders")
        ->type_name("PATH");
    app.add_flag("-r,--recursive", settings.recursive, "Enter subfolders of folders and masks");
    app.add_option("-o,--output-dir", settings.outputDir,
                   "Store corrected files here instead of beside their inputs (made when missing)")
        ->type_name("FOLDER");
    app.add_flag("--delete-input", settings.deleteInput,
                 "Delete each input once its corrected file is on disk under another name; "
                 "an input some of whose records were dropped is kept");
    app.add_flag("--delete-damaged-input", settings.deleteDamagedInput,
                 "With --delete-input: delete also inputs some of whose records were dropped "
                 "(bad check value, cut short)")
        ->needs("--delete-input");
    app.add_flag("-n,--dry-run", settings.dryRun, "Read and check every file, write nothing");
    app.add_option("--reference-date", referenceDate,
                   "YYYY-MM-DD, a day from " + kDateRange +
                       ": correct times before this day instead of fifteen years before today")
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
    app.add_option("--manifest", settings.manifest,
                   "Append one JSON line per file to this file: both files' names, sizes and "
                   "SHA-256, the records whose times moved; what verify and undo read")
        ->type_name("FILE")
        ->excludes("--dry-run");
    app.set_version_flag("--version", "quenrix-cli 1.0");
    // As main and Prepare return them.
    app.footer(
        "Exit status:\n"
        "  0    every file succeeded (corrected, no rollover found, or a rollover-point file)\n"
        "  1    a file failed or was not stored, a folder could not be read, no SIG or RMG\n"
        "       file was found, or the output folder, the log or the report file could not\n"
        "       be written\n"
        "  2    a usage error: an unknown option, a value out of range, a date not written\n"
        "       YYYY-MM-DD, no input\n"
        "  130  interrupted (Ctrl-C or SIGTERM)\n"
        "\n"
        "Commands on stored files (each with --help):\n"
        "  quenrix-cli verify [--manifest FILE] PATH...   check corrected files\n"
        "  quenrix-cli undo --manifest FILE [--dry-run]   give the recorded originals back");
}

// `verify`: its options into `settings`.
CLI::App* AddVerify(CLI::App& app, cli::VerifySettings& settings, std::string& referenceDate) {
    CLI::App* verify = app.add_subcommand(
        "verify",
        "Checks corrected files: every record whole with a good check value, no GPS time left "
        "before the reference date and, with a manifest, the SHA-256 it recorded");
    verify
        ->add_option("inputs", settings.inputs,
                     "Files, wildcard masks and folders; none: every corrected file the "
                     "manifest recorded")
        ->type_name("PATH");
    verify->add_flag("-r,--recursive", settings.recursive, "Enter subfolders of folders and masks");
    verify
        ->add_option("--manifest", settings.manifest,
                     "Each file must be a corrected file this manifest recorded, byte for "
                     "byte; its reference date and receiver type apply")
        ->type_name("FILE");
    verify
        ->add_option("--reference-date", referenceDate,
                     "YYYY-MM-DD: no time may lie before this day (fifteen years before today)")
        ->type_name("DATE");
    verify->add_option("--receiver-type", settings.receiverType, "74, 77 or 80: of RMG files")
        ->check(CLI::IsMember({74, 77, 80}).description(""))
        ->type_name("TYPE");
    verify->add_option("--report", settings.report, "text or json, on standard output (text)")
        ->check(CLI::IsMember({"text", "json"}).description(""))
        ->type_name("FORMAT");
    verify->add_flag("-q,--quiet", settings.quiet, "No report, only the exit status");
    verify->footer(
        "Exit status: 0 every file is good, 1 a file is not (or was not found, or the manifest "
        "cannot be read), 2 a usage error");
    return verify;
}

// `undo`: its options into `settings`.
CLI::App* AddUndo(CLI::App& app, cli::Settings& settings) {
    CLI::App* undo = app.add_subcommand(
        "undo",
        "Gives back the original of every corrected file a manifest recorded, byte for byte, "
        "under its original name; a file it cannot give back exactly is left alone");
    undo->add_option("--manifest", settings.manifest, "The manifest of the runs to undo")
        ->required()
        ->type_name("FILE");
    undo->add_flag("-n,--dry-run", settings.dryRun, "Read and check every file, write nothing");
    undo->add_flag("--delete-input", settings.deleteInput,
                   "Delete each corrected file once its original is on disk, checked");
    undo->add_option("--report", settings.report, "text or json, on standard output (text)")
        ->check(CLI::IsMember({"text", "json"}).description(""))
        ->type_name("FORMAT");
    undo->add_option("-j,--jobs", settings.jobs, "Give back this many files at once (1)")
        ->check(CLI::Range(1u, 256u).description(""))
        ->type_name("N");
    undo->add_flag("-q,--quiet", settings.quiet, "No report, only the exit status");
    undo->footer(
        "Exit status: 0 every recorded file was given back (or would be, or stood there "
        "already), 1 one was not or the manifest has lines that are no entries, 2 a usage "
        "error, 130 interrupted");
    return undo;
}

// Writes the reports the settings ask for; false when a file failed or
// the report file could not be written.
bool Report(const cli::Settings& settings, const std::vector<cli::FileReport>& reports,
            const cli::Summary& summary) {
    bool allOk = true;
    for (const cli::FileReport& report : reports) allOk = allOk && report.ok;
    const std::string json = cli::JsonReport(reports, summary, settings.dryRun);
    if (!settings.reportFile.empty()) {
        // Written as a new file and renamed over the name: never through a
        // link, into a pipe or over part of another user's file planted
        // there.
        const auto file = LocateFile(settings.reportFile);
        native::EntryInfo written;
        const native::Done done =
            file ? PutWholeFile(file.value, json, 0666, Placing::OverAnything, nullptr, written)
                 : native::Done{file.cause};
        if (!done) {
            native::WriteText(native::TextStream::Error,
                              "quenrix-cli: cannot write the report to " + settings.reportFile +
                                  ": " + FailureText(done.cause) + "\n");
            allOk = false;
        }
    }
    if (settings.report == "json") {
        native::WriteText(native::TextStream::Output, json);
    } else if (!settings.quiet) {
        std::string text;
        for (const cli::FileReport& report : reports) {
            text += cli::TextLine(report, settings.verbose) + "\n";
        }
        native::WriteText(native::TextStream::Output, text + cli::SummaryLine(summary) + "\n");
    }
    return allOk;
}

// Completes the settings from what was typed and finds the files: 0, or
// the exit status of a run that cannot start (said on standard error).
// The reference date typed, into `day`: 0, or 2 (said on standard error).
int ReadReferenceDate(const std::string& referenceDate, std::optional<std::uint32_t>& day) {
    if (referenceDate.empty())
        return 0;
    // A day that exists, from the GPS epoch to the last day the files'
    // times can hold.
    const auto date = ParseDate(referenceDate);
    if (date)
        day = GpsSecondsOfDate(*date);
    if (day)
        return 0;
    native::WriteText(native::TextStream::Error,
                      "quenrix-cli: --reference-date: " + referenceDate +
                          (date ? " is no day from " + kDateRange
                                : " is not a date of the form YYYY-MM-DD (such as 2014-02-03)") +
                          "\n");
    return 2;
}

int Prepare(cli::Settings& settings, const std::string& referenceDate, Inputs& inputs) {
    if (const int status = ReadReferenceDate(referenceDate, settings.referenceDay); status != 0)
        return status;
    if (settings.inputs.empty()) {
        native::WriteText(native::TextStream::Error,
                          "quenrix-cli: no input given\nTry 'quenrix-cli --help' for more "
                          "information.\n");
        return 2;
    }

    // A "/" typed on Windows is taken as its separator.
    for (std::string& input : settings.inputs) input = WithNativeSeparators(input);
    settings.outputDir = WithNativeSeparators(settings.outputDir);
    settings.log = WithNativeSeparators(settings.log);
    inputs = ExpandInputs(settings.inputs, {.recursive = settings.recursive});
    if (inputs.files.empty() && inputs.unreadFolders.empty()) {
        native::WriteText(native::TextStream::Error, "quenrix-cli: no SIG or RMG file found\n");
        return 1;
    }
    Failure failure;
    if (!settings.dryRun && !settings.outputDir.empty() &&
        !MakeFolders(settings.outputDir, &failure)) {
        native::WriteText(native::TextStream::Error,
                          "quenrix-cli: --output-dir: cannot make the folder " +
                              settings.outputDir + ": " + failure.Why() + "\n");
        return 1;
    }
    if (!settings.manifest.empty()) {
        // A manifest that cannot take lines is known before any file is
        // converted (or any input deleted) without its record.
        settings.manifest = WithNativeSeparators(settings.manifest);
        const native::Done appended = AppendToManifest(settings.manifest, "");
        if (!appended) {
            native::WriteText(native::TextStream::Error,
                              "quenrix-cli: --manifest: cannot write to " + settings.manifest +
                                  ": " + FailureText(appended.cause) + "\n");
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Repairs GPS receiver files (SIG, RMG, RM0-RM5) after a week-number rollover: every GPS\n"
        "time that lies 1024 weeks (or twice that) in the past moves forward, and the corrected\n"
        "file is stored under a name from its first position record's date. Inputs are kept\n"
        "unless --delete-input is given.",
        "quenrix-cli"};
    cli::Settings settings;
    std::string referenceDate;
    AddOptions(app, settings, referenceDate);
    cli::VerifySettings verifySettings;
    std::string verifyDate;
    CLI::App* verify = AddVerify(app, verifySettings, verifyDate);
    cli::Settings undoSettings;
    CLI::App* undo = AddUndo(app, undoSettings);
    app.require_subcommand(0, 1);

    try {
        // UTF-8 arguments on both systems, last first as CLI11 takes them.
        std::vector<std::string> arguments = native::Arguments(argc, argv);
        std::reverse(arguments.begin(), arguments.end());
        app.parse(arguments);
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::ParseError& error) {
        native::WriteText(native::TextStream::Error,
                          std::string("quenrix-cli: ") + error.what() +
                              "\nTry 'quenrix-cli --help' for more information.\n");
        return 2;
    }
    if (verify->parsed()) {
        if (const int status = ReadReferenceDate(verifyDate, verifySettings.referenceDay))
            return status;
        return cli::Verify(verifySettings);
    }
    if (undo->parsed())
        return cli::Undo(undoSettings);
    Inputs inputs;
    if (const int status = Prepare(settings, referenceDate, inputs); status != 0)
        return status;
    // Ctrl+C or SIGTERM: the files in conversion stop where they are (not
    // stored, their inputs kept) and the run with them; a second ends the
    // program at once.
    StopOnInterrupt();
    cli::Run run(settings, inputs.files);
    run.ConvertAll();

    // A folder that could not be read is a failure of the run, before the files.
    std::vector<cli::FileReport> reports;
    for (const Failure& folder : inputs.unreadFolders) reports.push_back(cli::FolderReport(folder));
    const std::vector<cli::FileReport> converted = run.Reports();
    reports.insert(reports.end(), converted.begin(), converted.end());
    const cli::Summary summary{.batch = run.Summary(),
                               .foldersNotRead = inputs.unreadFolders.size(),
                               .seconds = run.Seconds(),
                               .dryRun = settings.dryRun};
    bool allOk = Report(settings, reports, summary);
    // A log asked for and not written is a failure of the run, said once;
    // the files were converted all the same.
    for (const std::string& message : run.Log().TakeMessages())
        native::WriteText(native::TextStream::Error, "quenrix-cli: " + message + "\n");
    allOk = allOk && !run.Log().EntriesLost();
    if (run.ManifestCause() != 0) {
        native::WriteText(native::TextStream::Error, "quenrix-cli: cannot write to the manifest " +
                                                         settings.manifest + ": " +
                                                         FailureText(run.ManifestCause()) + "\n");
        allOk = false;
    }
    if (summary.batch.end == BatchEnd::Interrupted) {
        native::WriteText(native::TextStream::Error,
                          "quenrix-cli: interrupted after " + std::to_string(converted.size()) +
                              " of " + cli::Counted(inputs.files.size(), "file") + "\n");
        return 130;
    }
    return allOk ? 0 : 1;
}
