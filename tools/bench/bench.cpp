// quenrix-bench: measures conversion speed against a plain copy, memory,
// the window's longest wait for the event pump, a large file with its
// input deleted against a verified move of it, and a batch of many small
// files with and without the log, through the wizard core and through the
// window program itself. It prints figures; it asserts nothing.
#include <CLI/CLI.hpp>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/core/quiet_view.h"
#include "app/core/wizard_core.h"
#include "engine/batch.h"
#include "engine/conversion.h"
#include "engine/pipeline.h"
#include "support/binary_file.h"
#include "support/fd_io.h"
#include "support/file_ops.h"
#include "support/paths.h"
#include "tools/mksample/sample_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using quenrix::sample::Kind;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double MiB(std::uint64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

quenrix::sample::SampleOptions Options(Kind kind, std::uint64_t size) {
    quenrix::sample::SampleOptions options;
    options.kind = kind;
    options.start = 1063638000;  // 2013-09-20 14:20 GPS time
    options.size = size;
    options.junk = true;
    options.badCheckEvery = 5000;
    return options;
}

// A plain copy with the converter's buffer sizes: the floor for any
// conversion that reads and writes every byte.
double CopySeconds(const std::string& from, const std::string& to) {
    fs::remove(to);  // dropping an old copy's pages is not part of the copy
    const auto start = Clock::now();
    int in = ::open(from.c_str(), O_RDONLY);
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char> buffer(quenrix::InputFile::kBufferSize);
    for (ssize_t got; (got = ::read(in, buffer.data(), buffer.size())) > 0;) {
        if (!quenrix::WriteAllTo(out, buffer.data(), static_cast<std::size_t>(got)))
            break;  // the copy's time then says nothing: the figure is of a full disk
    }
    ::close(in);
    ::close(out);
    return Seconds(start);
}

// Writes out dirty pages and gives the system a moment to hand the
// blocks of deleted files back (this machine's disk is mounted with
// discard), so that no run pays for the one before.
void Settle() {
    ::sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

// A thread that only sleeps 5 ms at a time and notes how late it wakes:
// the machine's own stalls, which no pump cadence can beat. Printed next
// to the longest gap between pump calls, it tells the two apart.
class Bystander {
  public:
    Bystander()
        : thread_([this] {
              while (!stop_) {
                  const auto before = Clock::now();
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
                  const double late = Seconds(before) - 0.005;
                  longestLate_ = std::max(longestLate_.load(), late);
              }
          }) {}
    ~Bystander() { Stop(); }
    double Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        return longestLate_;
    }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<double> longestLate_{0};
    std::thread thread_;
};

// Milliseconds the host has kept this virtual machine's processors from
// running so far (steal time, all processors); 0 where the system does
// not count it. A stall of one processor shows here, not in the bystander.
double StolenMilliseconds() {
    std::FILE* stat = std::fopen("/proc/stat", "r");
    if (stat == nullptr)
        return 0;
    unsigned long long user, nice, system, idle, iowait, irq, softirq, steal = 0;
    const int got = std::fscanf(stat, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &user, &nice,
                                &system, &idle, &iowait, &irq, &softirq, &steal);
    std::fclose(stat);
    return got == 8
               ? 1000.0 * static_cast<double>(steal) / static_cast<double>(sysconf(_SC_CLK_TCK))
               : 0;
}

// Converts one file in a lean child process, so that its peak resident
// memory is that of the conversion alone.
long PeakResidentKiB(const std::string& input) {
    pid_t pid = fork();
    if (pid == 0) {
        execl(QUENRIX_BENCH_CONVERT, QUENRIX_BENCH_CONVERT, input.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

// One timed conversion of a large file beside a plain copy of it.
struct LargeFileRun {
    double copy, seconds, gap, late, stolen;
};

// Five runs of the copy and the conversion: this machine's figures vary
// from run to run. Each run starts with no dirty pages, so neither pays for
// writing back the other's output.
std::vector<LargeFileRun> TimeLargeFile(const fs::path& dir, const std::string& input,
                                        quenrix::Conversion& conversion) {
    CopySeconds(input, (dir / "copy.tmp").string());  // warms the cache
    std::vector<LargeFileRun> runs;
    for (int run = 0; run < 5; ++run) {
        Settle();
        LargeFileRun timed{};
        timed.copy = CopySeconds(input, (dir / "copy.tmp").string());
        fs::remove(dir / "copy.tmp");
        fs::remove(quenrix::kWorkFileName);  // nor is an old work file's
        Settle();
        auto last = Clock::now();
        quenrix::ConversionRequest request(input);
        request.pump = [&] {
            const auto now = Clock::now();
            timed.gap = std::max(timed.gap, std::chrono::duration<double>(now - last).count());
            last = now;
        };
        Bystander bystander;
        const double stolenBefore = StolenMilliseconds();
        const auto start = Clock::now();
        last = start;
        conversion = quenrix::ConvertGpsFile(request);
        timed.seconds = Seconds(start);
        timed.late = bystander.Stop();
        timed.stolen = StolenMilliseconds() - stolenBefore;
        runs.push_back(timed);
    }
    return runs;
}

void PrintLargeFileRuns(const char* label, const std::vector<LargeFileRun>& runs) {
    double copy = 1e9, convert = 1e9, longestGap = 0, longestLate = 0;
    std::string eachRun;
    for (const LargeFileRun& r : runs) {
        copy = std::min(copy, r.copy);
        convert = std::min(convert, r.seconds);
        longestGap = std::max(longestGap, r.gap);
        longestLate = std::max(longestLate, r.late);
        char line[128];
        std::snprintf(line, sizeof line,
                      "%scopy %.3f s, conversion %.3f s, gap %.2f ms, late %.2f ms, stolen %.0f ms",
                      eachRun.empty() ? "" : "; ", r.copy, r.seconds, r.gap * 1000, r.late * 1000,
                      r.stolen);
        eachRun += line;
    }
    std::printf("%s conversion: %.3f s\n", label, convert);
    std::printf("%s plain copy: %.3f s\n", label, copy);
    std::printf("%s conversion/copy: %.2f\n", label, convert / copy);
    std::printf("%s longest gap between pump calls: %.2f ms\n", label, longestGap * 1000);
    // The runs the machine left alone: the host took no processor time, and
    // the run was not slowed throughout (a plain copy is slowed as much).
    double quietGap = 0;
    int quietRuns = 0;
    for (const LargeFileRun& r : runs) {
        if (r.stolen == 0 && r.seconds <= 1.5 * convert) {
            quietGap = std::max(quietGap, r.gap);
            ++quietRuns;
        }
    }
    std::printf(
        "%s longest gap between pump calls in runs the machine left alone (no steal, at most 1.5 "
        "times the best time): %.2f ms (%d of %zu runs)\n",
        label, quietGap * 1000, quietRuns, runs.size());
    std::printf("%s longest late wake-up of a thread sleeping 5 ms meanwhile: %.2f ms\n", label,
                longestLate * 1000);
    std::printf(
        "%s each run (plain copy, conversion, longest pump gap, bystander's latest wake-up, "
        "processor time the host took): %s\n",
        label, eachRun.c_str());
}

// The physical limit of a verified move, which converting a file with its
// input deleted cannot beat: a copy, flushed with its name, read back past
// the cache (as the program reads back: ReadBackHash), then the source
// removed.
double VerifiedMoveSeconds(const std::string& from, const std::string& to) {
    const auto start = Clock::now();
    CopySeconds(from, to);
    quenrix::SyncFileData(quenrix::LocateFile(to).value);
    (void)quenrix::native::SyncFolder(fs::path(to).parent_path().string());
    std::uint64_t hash = 0;
    quenrix::ReadBackHash(quenrix::LocateFile(to).value, hash);
    fs::remove(from);
    return Seconds(start);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Five pairs of runs, `run(0)` then `run(1)` in each: the best time of
// each, and the median of the pairs' ratios (run 0 over run 1).
struct PairedRuns {
    double best[2] = {1e9, 1e9};
    double medianRatio = 0;
};
PairedRuns FivePairs(const std::function<double(int which)>& run) {
    PairedRuns paired;
    std::vector<double> ratios;
    for (int pair = 0; pair < 5; ++pair) {
        double seconds[2] = {0, 0};
        for (int which = 0; which < 2; ++which) {
            seconds[which] = run(which);
            paired.best[which] = std::min(paired.best[which], seconds[which]);
        }
        ratios.push_back(seconds[0] / seconds[1]);
    }
    paired.medianRatio = Median(ratios);
    return paired;
}

// One file through the engine's batch, its input deleted once its
// corrected file reads back right, as the front ends run it.
void ConvertWithDeletion(const std::string& input, std::optional<std::string> outputFolder) {
    struct Silent : quenrix::BatchEvents {
        void Finished(std::size_t, const quenrix::FileOutcome&) override {}
    } events;
    quenrix::BatchJob job;
    job.inputs = {input};
    job.rules = {.deleteInputs = true};
    job.work = quenrix::WorkFiles::Unique("bench-work-", ".tmp");
    job.outputFolder = std::move(outputFolder);
    (void)quenrix::RunBatch(job, events);
}

// The large file converted as the window does at first (its input deleted
// once the corrected file reads back right), in pairs with the verified
// move of the same file, five pairs, each run on a fresh copy of the input
// with nothing left to write back: the median of the pairs' ratios.
void LargeFileWithDeletion(const fs::path& root, const char* label, const fs::path& master) {
    const fs::path folder = root / "deletion";
    const PairedRuns paired = FivePairs([&](int which) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        const fs::path input = folder / master.filename();
        fs::copy_file(master, input);
        Settle();
        if (which == 1)
            return VerifiedMoveSeconds(input.string(), (folder / "moved").string());
        const auto start = Clock::now();
        ConvertWithDeletion(input.string(), std::nullopt);
        return Seconds(start);
    });
    fs::remove_all(folder);
    std::printf(
        "%s with its input deleted: best %.3f s; a verified move of it (copy, flush, direct "
        "read-back, delete): best %.3f s; paired median %.2f times\n",
        label, paired.best[0], paired.best[1], paired.medianRatio);
}

// Whether a batch would gain by reading a stored large file back while
// the next file converts: the read-back of one copy (as the program reads
// back) and the conversion of another, side by side and one after the
// other, five pairs: the median of the pairs' ratios.
void ReadBackBesideConversion(const fs::path& root, const char* label, const fs::path& master) {
    const fs::path folder = root / "overlap";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path stored = folder / "stored";
    fs::copy_file(master, stored);
    quenrix::SyncFileData(quenrix::LocateFile(stored.string()).value);
    // Run 0 one after the other, run 1 side by side; the ratio printed is
    // side by side over one after the other.
    const PairedRuns paired = FivePairs([&](int which) {
        const fs::path input = folder / master.filename();
        fs::remove_all(folder / "out");
        fs::create_directories(folder / "out");
        fs::copy_file(master, input, fs::copy_options::overwrite_existing);
        Settle();
        const std::string out = (folder / "out").string();
        std::uint64_t hash = 0;
        const auto start = Clock::now();
        if (which == 0) {
            quenrix::ReadBackHash(quenrix::LocateFile(stored.string()).value, hash);
            ConvertWithDeletion(input.string(), out);
        } else {
            std::thread reading(
                [&] { quenrix::ReadBackHash(quenrix::LocateFile(stored.string()).value, hash); });
            ConvertWithDeletion(input.string(), out);
            reading.join();
        }
        return Seconds(start);
    });
    fs::remove_all(folder);
    std::printf(
        "%s read-back of a stored file and the next file's conversion: one after the other best "
        "%.3f s, side by side best %.3f s; paired median %.2f times\n",
        label, paired.best[0], paired.best[1], 1 / paired.medianRatio);
}

void LargeFile(const fs::path& dir, Kind kind, std::uint64_t size) {
    const char* label = kind == Kind::Sig ? "SIG" : "RMG";
    const std::string input =
        (dir / (kind == Kind::Sig ? "1234L27B.SIG" : "1234A01B.RMG")).string();
    if (!fs::exists(input) || fs::file_size(input) < size) {
        quenrix::sample::WriteSampleFile(input, Options(kind, size));
    }
    const std::uint64_t bytes = fs::file_size(input);
    quenrix::Conversion conversion;
    const std::vector<LargeFileRun> runs = TimeLargeFile(dir, input, conversion);
    double convert = 1e9;
    for (const LargeFileRun& r : runs) convert = std::min(convert, r.seconds);
    std::printf("%s input: %.0f MiB, result %d, rollover found %d\n", label, MiB(bytes),
                static_cast<int>(conversion.result), conversion.timeCorrected ? 1 : 0);
    PrintLargeFileRuns(label, runs);
    std::printf("%s throughput: %.0f MiB/s\n", label, MiB(bytes) / convert);

    const std::string small = (dir / (std::string("small.") + label)).string();
    quenrix::sample::WriteSampleFile(small, Options(kind, 1 << 20));
    std::printf("%s peak resident memory, %.0f MiB file: %.1f MiB\n", label, MiB(bytes),
                PeakResidentKiB(input) / 1024.0);
    std::printf("%s peak resident memory, 1 MiB file: %.1f MiB\n", label,
                PeakResidentKiB(small) / 1024.0);
    fs::remove(dir / "copy.tmp");
    fs::remove(quenrix::kWorkFileName);
    LargeFileWithDeletion(dir, label, input);
    ReadBackBesideConversion(dir, label, input);
}

// The window's batch over `count` small files, with nothing drawn: the
// figures are the wizard core's and the engine's.
// `count` small receiver files in a new folder, half SIG, half RMG, an
// hour apart, named so that no corrected file takes another input's name
// (a digit where a corrected file's name has its month letter) and no two
// take one name (the last character the hour, which a SIG file's corrected
// name keeps): every input is converted, in any order.
std::vector<std::string> SmallFiles(const fs::path& folder, int count) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::vector<std::string> inputs;
    for (int i = 0; i < count; ++i) {
        auto options = Options(i % 2 ? Kind::Rmg : Kind::Sig, 4096);
        options.start += static_cast<std::uint32_t>(i) * 3600;
        options.seed = static_cast<std::uint32_t>(i);
        static const char kHours[] = "0123456789ABCDEFGHIJKLMN";
        char name[32];
        std::snprintf(name, sizeof name, "B%06d%c%s", i / 24, kHours[i % 24],
                      i % 2 ? ".RMG" : ".SIG");
        const std::string path = (folder / name).string();
        quenrix::sample::WriteSampleFile(path, options);
        inputs.push_back(path);
    }
    return inputs;
}

double Batch(const fs::path& folder, int count, bool logging) {
    const std::vector<std::string> inputs = SmallFiles(folder, count);
    quenrix::QuietView view;
    quenrix::WizardCore core(view, quenrix::Catalogue::Japanese(), {}, folder.string(), "quenrix");
    if (!logging)
        core.SetLogFile({});
    const auto start = Clock::now();
    core.ConvertFiles(inputs);  // deleting each input, as the window does at first
    return Seconds(start);
}

// The window program in automatic mode over a folder of `count` small
// files, drawn offscreen, as a user starts it (from `startFolder`, where
// its log goes): from its start to its end, less the half second it waits
// before it closes.
double WindowProgram(const std::string& program, const fs::path& startFolder,
                     const fs::path& folder, int count, bool logging) {
    const std::vector<std::string> inputs = SmallFiles(folder, count);
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(startFolder.c_str()) != 0)
            ::_exit(127);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 2);  // Qt's offscreen notes
        ::execl(program.c_str(), program.c_str(), folder.c_str(), logging ? nullptr : "/NLOG",
                nullptr);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const double seconds = Seconds(start) - quenrix::kAutomaticCloseDelayMs / 1000.0;
    const auto left = std::find_if(inputs.begin(), inputs.end(),
                                   [](const std::string& input) { return fs::exists(input); });
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || left != inputs.end())
        std::printf("the window program did not convert every file (status %d, %s left)\n", status,
                    left != inputs.end() ? left->c_str() : "none");
    return seconds;
}

// The batches of small files, in rounds (three unless told): in each, the core's with and
// without the log, then the window program's with and without it. The
// file system's pace drifts as runs delete and create files by the
// thousand, and from phase to phase: each window program run is held to
// the core's run without the log of its own round, and the figures are
// the medians of the rounds.
void Batches(const fs::path& root, int files, const std::string& window, int rounds) {
    std::vector<double> withLog, withoutLog, programWithLog, programWithoutLog, ratioWithLog,
        ratioWithoutLog;
    for (int round = 0; round < rounds; ++round) {
        withLog.push_back(Batch(root / "batch", files, true));
        withoutLog.push_back(Batch(root / "batch", files, false));
        std::printf("round %d: the core's batch with the log %.3f ms per file, without it %.3f ms",
                    round + 1, withLog.back() * 1000 / files, withoutLog.back() * 1000 / files);
        if (!window.empty()) {
            programWithLog.push_back(WindowProgram(window, root, root / "batch", files, true));
            programWithoutLog.push_back(WindowProgram(window, root, root / "batch", files, false));
            ratioWithLog.push_back(programWithLog.back() / withoutLog.back());
            ratioWithoutLog.push_back(programWithoutLog.back() / withoutLog.back());
            std::printf(
                "; the window program with the log %.3f ms (%.2f times), without it %.3f ms "
                "(%.2f times)",
                programWithLog.back() * 1000 / files, ratioWithLog.back(),
                programWithoutLog.back() * 1000 / files, ratioWithoutLog.back());
        }
        std::printf("\n");
    }
    std::printf("batch of %d files with the log: %.3f ms per file (median of %d rounds)\n", files,
                Median(withLog) * 1000 / files, rounds);
    std::printf("batch of %d files without the log: %.3f ms per file\n", files,
                Median(withoutLog) * 1000 / files);
    std::printf("share of the log writer: %.0f %%\n",
                100 * (Median(withLog) - Median(withoutLog)) / Median(withLog));
    if (!window.empty()) {
        std::printf(
            "the window program, automatic mode, with the log: %.3f ms per file, %.2f times the "
            "core's batch without the log of its round (medians)\n",
            Median(programWithLog) * 1000 / files, Median(ratioWithLog));
        std::printf(
            "the window program, automatic mode, without the log (/NLOG): %.3f ms per file, %.2f "
            "times the core's batch without the log of its round (medians)\n",
            Median(programWithoutLog) * 1000 / files, Median(ratioWithoutLog));
    }
    fs::remove_all(root / "batch");
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    CLI::App app{"Measures Quenrix: conversion against a plain copy, memory, pump gaps, batches."};
    std::string dir = "bench-data";
    std::string size = "1024";
    int files = 10000;
    app.add_option("--dir", dir, "Folder for the inputs (kept between runs)")
        ->capture_default_str();
    app.add_option("--size-mib", size, "Size of each large file in MiB (0: none)")
        ->capture_default_str();
    app.add_option("--files", files, "Small files in the batch (0: no batch)")
        ->capture_default_str();
#ifdef QUENRIX_WINDOW_PROGRAM
    std::string window = QUENRIX_WINDOW_PROGRAM;
#else
    std::string window;
#endif
    app.add_option("--window-program", window,
                   "The window program, run in automatic mode on the batch (empty: not run)")
        ->capture_default_str();
    int rounds = 3;
    app.add_option("--rounds", rounds, "Rounds of the batches, whose medians are printed")
        ->capture_default_str()
        ->check(CLI::Range(1, 100));
    CLI11_PARSE(app, argc, argv);

    fs::create_directories(dir);
    const fs::path root = fs::absolute(dir);
    fs::current_path(root);
    const std::uint64_t bytes = std::stoull(size) << 20;
    if (bytes > 0) {
        LargeFile(root, Kind::Sig, bytes);
        LargeFile(root, Kind::Rmg, bytes);
    }

    if (files > 0)
        Batches(root, files, window, rounds);
    return 0;
}
