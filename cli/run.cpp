#include "cli/run.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "engine/file_kind.h"
#include "engine/pipeline.h"
#include "support/fd_io.h"
#include "support/file_ops.h"
#include "support/interrupt.h"
#include "support/native.h"
#include "support/oplog.h"
#include "support/paths.h"

namespace quenrix::cli {
namespace {

const char* KindOf(FileKind kind) {
    switch (kind) {
        case FileKind::Sig:
            return "SIG";
        case FileKind::Rmg:
            return "RMG";
        case FileKind::Other:
            break;
    }
    return "other";
}

}  // namespace

Run::Run(const Settings& settings, std::vector<std::string> files)
    : settings_(settings),
      files_(std::move(files)),
      actions_(files_, {.deleteInputs = settings.deleteInput,
                        .keepInputsWithDroppedRecords = !settings.deleteDamagedInput,
                        .storing = settings.dryRun ? Storing::Planned : Storing::Done}),
      reports_(files_.size()),
      finished_(files_.size(), 0),
      showProgress_(!settings.quiet && native::ErrorOutputIsTerminal()),
      workStem_(UniqueName(kWorkFilePrefix, "")),
      log_(settings.dryRun ? std::string() : settings.log) {}

void Run::ConvertAll() {
    const LogGroup logGroup(log_);  // the log's entries written in groups, not one by one
    const unsigned workers = std::max(1u, std::min<unsigned>(settings_.jobs, files_.size()));
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w) threads.emplace_back([this, w] { Work(w); });
    Work(0);
    for (std::thread& thread : threads) thread.join();
    if (InterruptRequested() && NotDone() > 0)
        log_.Write("変換中断 (interrupted)");
    if (showProgress_)
        std::fputc('\n', stderr);
}

std::vector<FileReport> Run::Reports() const {
    std::vector<FileReport> done;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (finished_[i])
            done.push_back(reports_[i]);
    }
    return done;
}

double Run::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string Run::WorkFile(unsigned worker, const std::string& input) {
    const std::string name = workStem_ + "-" + std::to_string(worker) + ".tmp";
    const std::string folder = OutputFolder(input);
    {
        // The first time this run works in a folder, the work files of runs
        // that died there go.
        const std::lock_guard<std::mutex> lock(clearedMutex_);
        if (cleared_.insert(folder).second)
            RemoveLeftoverWorkFiles(Folder::Open(folder).value,
                                    std::string(kWorkFilePrefix) + "*.tmp");
    }
    return JoinPath(folder, name);
}

std::string Run::OutputFolder(const std::string& input) const {
    return settings_.outputDir.empty() ? FolderPart(input) : settings_.outputDir;
}

void Run::Work(unsigned worker) {
    for (std::size_t i = next_++; i < files_.size() && !InterruptRequested(); i = next_++) {
        Convert(worker, i);
        finished_[i] = 1;
        Progress();
    }
}

void Run::Convert(unsigned worker, std::size_t index) {
    const std::string& input = files_[index];
    ConversionRequest request;
    if (!settings_.dryRun)
        request.workFile = WorkFile(worker, input);
    request.outputFolder = OutputFolder(input);
    request.log = &log_;
    request.stop = &InterruptRequested();
    request.referenceDay = settings_.referenceDay;
    request.receiverType = settings_.receiverType;
    const FileOutcome outcome = actions_.ConvertFile(index, request);
    const Conversion& conversion = outcome.conversion;
    FileReport& report = reports_[index];
    report.path = input;
    report.kind = KindOf(conversion.kind);
    report.result = static_cast<std::int32_t>(conversion.result);
    report.counts = conversion.counts;
    report.receiverType = conversion.receiverType;
    if (conversion.firstGpsTime != 0)
        report.firstGpsTime = conversion.firstGpsTime;
    report.messages = outcome.statusLines;
    report.inputDeleted = outcome.inputDeleted;
    report.alreadyStored = outcome.alreadyStored;
    report.inputKept = outcome.inputKept;
    report.problem = outcome.problem;
    report.code = outcome.outcome;
    report.outcome = Describe(outcome.outcome).word;
    report.ok = Describe(outcome.outcome).ok;
    if (outcome.outcome == Outcome::Corrected || outcome.outcome == Outcome::WouldBeCorrected ||
        outcome.outcome == Outcome::InputNotDeleted)
        report.output = outcome.outputPath;
    report.log = outcome.log;
    bytes_ += report.counts.inputBytes;
}

void Run::Progress() {
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
}  // namespace quenrix::cli
