#include "cli/run.h"

#include <cstdio>

#include "engine/file_kind.h"
#include "engine/manifest.h"
#include "support/interrupt.h"
#include "support/native.h"

namespace quenrix::cli {

FileReport ReportOf(const std::string& input, const FileOutcome& outcome) {
    const Conversion& conversion = outcome.conversion;
    FileReport report;
    report.path = input;
    report.kind = KindName(conversion.kind);
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
    return report;
}

Run::Run(const Settings& settings, std::vector<std::string> files)
    : settings_(settings),
      files_(std::move(files)),
      reports_(files_.size()),
      showProgress_(!settings.quiet && native::ErrorOutputIsTerminal()),
      log_(settings.dryRun ? std::string() : settings.log) {
    if (!settings.manifest.empty() && settings.givingBack.empty())
        manifest_.emplace(settings.manifest, kProgram, files_);
}

void Run::ConvertAll() {
    const LogGroup logGroup(log_);  // the log's entries written in groups, not one by one
    BatchJob job;
    job.inputs = files_;
    job.rules = {
        .deleteInputs = settings_.deleteInput,
        .keepInputsWithDroppedRecords = !settings_.deleteDamagedInput,
        .keepInputsNotGivenBack = !settings_.deleteDamagedInput && !settings_.manifest.empty(),
        .storing = settings_.dryRun ? Storing::Planned : Storing::Real};
    job.work = WorkFiles::Unique(kWorkFilePrefix, kWorkFileExtension);
    if (!settings_.outputDir.empty())
        job.outputFolder = settings_.outputDir;
    job.log = &log_;
    job.referenceDay = settings_.referenceDay;
    job.receiverType = settings_.receiverType;
    job.jobs = settings_.jobs;
    job.interrupt = &InterruptRequested();
    job.describe = manifest_.has_value() || !settings_.givingBack.empty();
    job.givingBack = settings_.givingBack;
    if (manifest_)
        job.rules.recordStored = manifest_->Recorder();
    summary_ = RunBatch(job, *this);
    if (showProgress_)
        native::WriteText(native::TextStream::Error, "\n");
}

void Run::Finished(std::size_t index, const FileOutcome& outcome) {
    reports_[index] = ReportOf(files_[index], outcome);
    if (manifest_)
        manifest_->Finished(index, outcome);
    ++done_;
    bytes_ += outcome.conversion.counts.inputBytes;
    if (!showProgress_)
        return;
    const double mib = static_cast<double>(bytes_) / (1024.0 * 1024.0);
    const double seconds = Seconds();
    char rate[64];
    std::snprintf(rate, sizeof rate, ", %.1f MiB, %.1f MiB/s   ", mib,
                  seconds > 0 ? mib / seconds : 0.0);
    std::string line = "\r";
    line += std::to_string(done_);
    line += "/";
    line += Counted(files_.size(), "file");
    line += rate;
    native::WriteText(native::TextStream::Error, line);
}

std::vector<FileReport> Run::Reports() const {
    std::vector<FileReport> done;
    for (const auto& report : reports_)
        if (report)
            done.push_back(*report);
    return done;
}

double Run::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

}  // namespace quenrix::cli
