// One run of quenrix-cli over its files: the engine's batch, each file's
// report kept as it finishes, progress shown on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/report.h"
#include "engine/batch.h"
#include "engine/manifest.h"

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
    // Where each file's manifest line is appended; empty: none.
    std::string manifest;
    // Undo: for each input (a corrected file), what its manifest recorded.
    std::vector<GivingBack> givingBack;
};

// What quenrix-cli writes into a manifest as its name.
inline constexpr const char* kProgram = "quenrix-cli 1.0";

// quenrix-cli's work files begin so, beside the corrected files; the
// run's own random part and its worker's number follow.
inline constexpr const char* kWorkFilePrefix = ".quenrix-work-";
inline constexpr const char* kWorkFileExtension = ".tmp";

class Run : private BatchEvents {
  public:
    Run(const Settings& settings, std::vector<std::string> files);

    // Converts every file (or those before a stop was asked for); a dry
    // run plans every step and writes nothing anywhere.
    void ConvertAll();

    // The reports of the files that were converted, in input order.
    std::vector<FileReport> Reports() const;
    const BatchSummary& Summary() const { return summary_; }
    // The log of the run: whether entries were lost, and what it has to
    // say (OperationLog::TakeMessages).
    OperationLog& Log() { return log_; }
    // Why a manifest line could not be appended (the first cause); 0 when
    // every line went in.
    int ManifestCause() const { return manifest_ ? manifest_->Cause() : 0; }
    double Seconds() const;

  private:
    void Finished(std::size_t index, const FileOutcome& outcome) override;

    const Settings& settings_;
    std::vector<std::string> files_;
    std::vector<std::optional<FileReport>> reports_;
    BatchSummary summary_;
    // Files finished and bytes read so far (the batch's calls come one at a time).
    std::size_t done_ = 0;
    std::uint64_t bytes_ = 0;
    bool showProgress_;
    OperationLog log_;                        // where the files' entries go (off in a dry run)
    std::optional<ManifestWriter> manifest_;  // where each file's line goes (--manifest)
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The report of one file, as its outcome says.
FileReport ReportOf(const std::string& input, const FileOutcome& outcome);

}  // namespace quenrix::cli
