// One run of quenrix-cli over its files: each converted, stored and
// reported, on one thread or several.
#pragma once

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/report.h"
#include "engine/batch_actions.h"

namespace quenrix::cli {

// What the command line asks for.
struct Settings {
    std::vector<std::string> inputs;
    bool recursive = false;
    std::string outputDir;
    bool deleteInput = false;
    bool deleteDamagedInput = false;  // also inputs some of whose records were dropped
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

class Run {
  public:
    Run(const Settings& settings, std::vector<std::string> files);

    // Converts every file (or those before a stop was asked for); a dry
    // run plans every step and writes nothing anywhere.
    void ConvertAll();

    // The reports of the files that were converted, in input order.
    std::vector<FileReport> Reports() const;
    std::size_t NotDone() const { return files_.size() - done_; }
    // The log of the run: whether entries were lost, and what it has to
    // say (OperationLog::TakeMessages).
    OperationLog& Log() { return log_; }
    double Seconds() const;

  private:
    // Work files begin so; the run's own random part and its worker's
    // number follow, so that no other run, on this host or another sharing
    // the folder, ever picks the same name.
    static constexpr const char* kWorkFilePrefix = ".quenrix-work-";

    // The work file of one worker: beside the output, so that storing it
    // is a rename.
    std::string WorkFile(unsigned worker, const std::string& input);

    // Beside the input, or in the output folder; an input named without a
    // folder gets its output in the current one.
    std::string OutputFolder(const std::string& input) const;

    void Work(unsigned worker);

    void Convert(unsigned worker, std::size_t index);

    void Progress();

    const Settings& settings_;
    std::vector<std::string> files_;
    BatchFileActions actions_;
    std::vector<FileReport> reports_;
    std::vector<char> finished_;  // one worker writes each entry; read after all joined
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> done_{0};
    std::atomic<std::uint64_t> bytes_{0};
    bool showProgress_;
    std::mutex progressMutex_;
    const std::string workStem_;  // kWorkFilePrefix and this run's random part
    OperationLog log_;            // where the files' entries go (off in a dry run)
    std::mutex clearedMutex_;
    std::set<std::string> cleared_;  // folders whose dead runs' work files are gone
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace quenrix::cli
