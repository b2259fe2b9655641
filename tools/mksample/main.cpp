// quenrix-mksample: writes synthetic receiver files for the demo, the
// tests and the benchmark.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/file_kind.h"
#include "engine/gps_time.h"
#include "support/file_ops.h"
#include "support/native.h"
#include "support/paths.h"
#include "tools/mksample/sample_writer.h"

namespace {

using quenrix::sample::Kind;

// "1234", "64K", "512M", "1G" in bytes.
bool ParseSize(const std::string& text, std::uint64_t& bytes) {
    std::size_t used = 0;
    unsigned long long value = 0;
    try {
        value = std::stoull(text, &used);
    } catch (...) {
        return false;
    }
    const std::string unit = text.substr(used);
    std::uint64_t factor = 1;
    if (unit == "K" || unit == "k")
        factor = 1ull << 10;
    else if (unit == "M" || unit == "m")
        factor = 1ull << 20;
    else if (unit == "G" || unit == "g")
        factor = 1ull << 30;
    else if (!unit.empty())
        return false;
    bytes = value * factor;
    return true;
}

// "YYYY-MM-DD" and an hour into GPS seconds.
bool ParseDate(const std::string& text, int hour, std::uint32_t& seconds) {
    unsigned year = 0, month = 0, day = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u%c", &year, &month, &day, &tail) != 3 || month < 1 ||
        month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23) {
        return false;
    }
    quenrix::DateTimeRecord date;
    date.year = static_cast<std::uint16_t>(year);
    date.month = static_cast<std::uint16_t>(month);
    date.day = static_cast<std::uint16_t>(day);
    date.hour = static_cast<std::uint16_t>(hour);
    seconds = quenrix::DateTimeToGpsSeconds(date);
    return seconds != 0;
}

// The kind the file's name asks for: SIG, else RMG.
Kind KindOf(const std::string& path) {
    return quenrix::ClassifyFileName(path) == quenrix::FileKind::Sig ? Kind::Sig : Kind::Rmg;
}

// What the command line asks for.
struct Request {
    std::string output;
    std::string kindName = "auto";
    std::string date = "2013-09-20";
    int hour = 14;
    std::string size = "64K";
    std::uint32_t seed = 1;
    std::uint32_t files = 0;
    bool notRolledOver = false;
    quenrix::sample::SampleOptions options;

    // The kind a file is written as: the one asked for, else from its
    // extension (SIG for a folder of files).
    Kind KindFor(const std::string& path) const {
        if (kindName == "sig")
            return Kind::Sig;
        if (kindName == "rmg")
            return Kind::Rmg;
        return files > 0 ? Kind::Sig : KindOf(path);
    }
};

void AddOptions(CLI::App& app, Request& request) {
    quenrix::sample::SampleOptions& options = request.options;
    app.add_option("output", request.output,
                   "File to write; with --files, the folder to write the files into")
        ->required();
    app.add_option("--kind", request.kindName,
                   "sig, rmg, or auto (from the extension; with --files: sig)")
        ->check(CLI::IsMember({"auto", "sig", "rmg"}));
    app.add_option("--date", request.date, "True date of the recording, YYYY-MM-DD (GPS time)")
        ->capture_default_str();
    app.add_option("--hour", request.hour, "Hour of the first record, 0-23")->capture_default_str();
    app.add_option("--size", request.size, "Bytes per file, with an optional K, M or G suffix")
        ->capture_default_str();
    app.add_option("--seed", request.seed, "Seed of the record contents")->capture_default_str();
    app.add_flag("--junk", options.junk, "Junk bytes between records");
    app.add_option("--bad-checks", options.badCheckEvery,
                   "Every Nth record gets a wrong check value (0: none)");
    app.add_flag("--truncate", options.truncateLast, "Cut the last record short");
    app.add_option("--receiver-type", options.receiverType, "RMG receiver type")
        ->capture_default_str()
        ->check(CLI::IsMember({74, 77, 80}));
    app.add_flag("--not-rolled-over", request.notRolledOver,
                 "Stamp the true times (nothing to correct)");
    app.add_option("--files", request.files,
                   "Write this many small files into OUTPUT, named as the receiver names them");
}

// Completes the sample options from what was typed: 0, or the exit
// status of a usage error (said on standard error).
int Prepare(Request& request) {
    quenrix::sample::SampleOptions& options = request.options;
    if (!ParseSize(request.size, options.size)) {
        std::fprintf(stderr, "quenrix-mksample: --size: not a size: %s\n", request.size.c_str());
        return 2;
    }
    if (!ParseDate(request.date, request.hour, options.start)) {
        std::fprintf(stderr,
                     "quenrix-mksample: --date/--hour: not a date after 1980-01-06: %s %d\n",
                     request.date.c_str(), request.hour);
        return 2;
    }
    options.rolledOver = !request.notRolledOver;
    if (options.rolledOver && options.start < quenrix::kSecondsOf1024Weeks) {
        std::fprintf(stderr,
                     "quenrix-mksample: --date: 1024 weeks earlier lies before the GPS epoch\n");
        return 2;
    }
    options.seed = request.seed;
    options.kind = request.KindFor(request.output);
    return 0;
}

// Paths are UTF-8 throughout, as the files are named and as they are said.
void CannotWrite(const std::string& path) {
    quenrix::native::WriteText(quenrix::native::TextStream::Error,
                               "quenrix-mksample: cannot write " + path + "\n");
}

int WriteOneFile(const Request& request) {
    quenrix::sample::SampleSummary summary;
    if (!quenrix::sample::WriteSampleFile(request.output, request.options, &summary)) {
        CannotWrite(request.output);
        return 1;
    }
    quenrix::native::WriteText(quenrix::native::TextStream::Output,
                               request.output + ": " + std::to_string(summary.bytes) + " bytes, " +
                                   std::to_string(summary.records) + " records (" +
                                   std::to_string(summary.badRecords) +
                                   " with a wrong check value)\n");
    return 0;
}

// Files an hour apart, each with a seed of its own, named as the receiver
// names them.
int WriteFolderOfFiles(const Request& request) {
    (void)quenrix::MakeFolders(request.output);  // a folder not made fails at its first file
    for (std::uint32_t i = 0; i < request.files; ++i) {
        const std::string path = quenrix::JoinPath(
            request.output, quenrix::sample::ReceiverStyleName(i, request.options.kind));
        quenrix::sample::SampleOptions one = request.options;
        one.seed = request.seed + i;
        one.start = request.options.start + i * 3600;
        if (!quenrix::sample::WriteSampleFile(path, one)) {
            CannotWrite(path);
            return 1;
        }
    }
    quenrix::native::WriteText(quenrix::native::TextStream::Output,
                               request.output + ": " + std::to_string(request.files) + " files\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Writes synthetic GPS receiver files (SIG or RMG) as a receiver with a rolled-over week\n"
        "counter records them: every record kind, times stamped 1024 weeks in the past."};
    Request request;
    AddOptions(app, request);
    app.name("quenrix-mksample");
    // The arguments as UTF-8: the ANSI code page of Windows's argv cannot
    // spell every name. CLI11 takes them last first.
    std::vector<std::string> arguments = quenrix::native::Arguments(argc, argv);
    std::reverse(arguments.begin(), arguments.end());
    try {
        app.parse(arguments);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    if (const int status = Prepare(request); status != 0)
        return status;
    return request.files == 0 ? WriteOneFile(request) : WriteFolderOfFiles(request);
}
