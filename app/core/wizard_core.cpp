#include "app/core/wizard_core.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <exception>

#include "app/core/command_line.h"
#include "engine/inputs.h"
#include "support/ascii.h"
#include "support/fd_io.h"
#include "support/file_ops.h"
#include "support/interrupt.h"
#include "support/native.h"
#include "support/oplog.h"
#include "support/paths.h"

namespace quenrix {
namespace {

// The log carries the program's base name and lies in the folder that is
// current at start-up.
std::string LogPathFor(const std::string& startFolder, const std::string& programPath) {
    std::string name = FileNamePart(programPath);
    const std::string extension = ExtensionPart(name);
    name = name.substr(0, name.size() - extension.size()) + ".log";
    return JoinPath(startFolder, name);
}

// " (why)" after a line; "（why）" in Japanese; nothing without a reason.
std::string Bracketed(const std::string& why, Language language) {
    if (why.empty())
        return {};
    return language == Language::Japanese ? "（" + why + "）" : " (" + why + ")";
}

// An input that named nothing: no such file, or a path through a file.
bool NothingThere(int cause) {
    return cause == 0 || cause == ENOENT || cause == ENOTDIR;
}

std::string DeleteStatusText(const Catalogue& words, bool deleteInputs) {
    return words.Text(deleteInputs ? "削除する" : "削除しない");
}

}  // namespace

WizardCore::WizardCore(WizardView& view, const Catalogue& words, std::vector<std::string> arguments,
                       const std::string& startFolder, const std::string& programPath)
    : view_(view),
      words_(words),
      arguments_(std::move(arguments)),
      work_(WorkFiles::Unique(kWindowWorkFilePrefix, kWindowWorkFileExtension)) {
    // The work files go in the start folder, wherever the file list leads.
    work_.folder = startFolder;
    view_.ShowDeleteInputs(deleteInputs_, DeleteStatusText(words_, deleteInputs_));
    log_.MoveTo(LogPathFor(startFolder, programPath));
}

WizardCore::~WizardCore() {
    log_.Write("終了");
}

void WizardCore::SetLogFile(std::string path) {
    log_.MoveTo(std::move(path));
}

void WizardCore::FirstShown() {
    view_.SetCaption(kWindowCaption);
    view_.ShowPage(WizardPage::Options);
}

void WizardCore::Start() {
    try {
        ReadCommandLine();
        log_.Write(kWindowCaption);
        SayLogNews();
        if (automaticMode_) {
            // A script's or cron job's interrupt stops the batch where it
            // is, as quenrix-cli's does.
            StopOnInterrupt();
            log_.Write("変換自動");
            for (const std::string& input : inputArguments_)
                log_.WriteLong("入力引数:" + LoggedName(input));
            if (!deleteInputs_) {
                log_.Write("オプション引数:/NOTDEL 入力ファイル削除しない");
            }
            // An input that gave no file, in the line other programs read;
            // a folder that could not be read says why on a line of its own.
            for (const auto& [listed, failure] : notFound_) {
                log_.Write("ERROR：SIG,RMGファイルがみあたらない " + LoggedName(listed));
                if (!NothingThere(failure.cause))
                    log_.Write(" > " + FailureText(failure.cause, Language::Japanese));
                TellScript(listed, NothingThere(failure.cause)
                                       ? words_.Text("SIG、RMGファイルがみあたらない")
                                       : FailureText(failure.cause, WindowLanguage()));
            }
        } else {
            log_.Write("変換手動");
        }
        if (!inputs_.empty()) {
            ConvertInputs();
        }
        if (automaticMode_ && !inputs_.empty() && !InterruptRequested())
            view_.Pause(kAutomaticCloseDelayMs);
    } catch (...) {
        log_.Write("ERROR：システム異常");
        TellScript({}, words_.Text("ERROR：システム異常"));
    }
    SayLogNews();
    // A script learns of failures from standard error and the status
    // alone; cron mails nothing when all went well.
    if (automaticMode_ && ExitStatus() != 0)
        native::WriteText(native::TextStream::Error, "quenrix: " + CountsLine() + "\n");
    // Whatever happened: a script or cron job must not be left waiting on
    // an open window.
    if (automaticMode_)
        view_.CloseWindow();
}

bool WizardCore::RecordsToManifest(BatchJob& job) {
    if (!automaticMode_ || manifestPath_.empty())
        return true;
    manifest_.emplace(manifestPath_, "quenrix 1.0", inputs_);
    // A manifest that takes no line is known before any input goes.
    if (const native::Done ready = manifest_->Ready(); !ready) {
        TellScript({}, ManifestFailure(ready.cause));
        summary_.notConverted = inputs_.size();
        return false;
    }
    job.describe = true;
    job.rules.recordStored = manifest_->Recorder();
    // An input its corrected file could not give back (bytes between
    // records, records dropped) stays: the manifest is the way back.
    job.rules.keepInputsNotGivenBack = true;
    return true;
}

std::string WizardCore::ManifestFailure(int cause) const {
    return "/MANIFEST=" + manifestPath_ + ": " + FailureText(cause, WindowLanguage());
}

int WizardCore::ExitStatus() const {
    if (!automaticMode_)
        return 0;
    if (summary_.end == BatchEnd::Interrupted || InterruptRequested())
        return 130;
    return failedForScript_ || summary_.notConverted > 0 ? 1 : 0;
}

void WizardCore::TellScript(const std::string& name, const std::string& reason) {
    if (!automaticMode_)
        return;
    failedForScript_ = true;
    native::WriteText(native::TextStream::Error,
                      "quenrix: " + (name.empty() ? std::string() : name + ": ") + reason + "\n");
}

Language WizardCore::WindowLanguage() const {
    return words_.Language() == "ja" ? Language::Japanese : Language::English;
}

void WizardCore::SayLogNews() {
    // Each said once, where the user looks: the status bar, or for a
    // script (automatic mode) standard error.
    for (const std::string& message : log_.TakeMessages()) {
        if (automaticMode_)
            native::WriteText(native::TextStream::Error, "quenrix: " + message + "\n");
        else
            view_.ShowNotice(message);
    }
}

void WizardCore::ReadCommandLine() {
    const CommandLine line = ReadArguments(arguments_);
    inputArguments_ = line.inputs;
    automaticMode_ = !line.inputs.empty();
    inputs_.clear();
    notFound_.clear();
    // Every file a folder or mask gives, as the receivers' software
    // listed them: a file of another kind fails as no GPS file.
    const quenrix::Inputs found = ExpandInputs(line.inputs, {.gpsFilesOnly = false,
                                                             .extensionlessIsFolder = true,
                                                             .plainNameIsInput = false,
                                                             .eachFileOnce = false});
    inputs_ = found.files;
    for (const ExpandedInput& given : found.given)
        if (given.files.empty())
            notFound_.emplace_back(given.listed, given.unread);
    if (!line.deleteInputs)
        SetDeleteInputs(false);
    if (!line.log)
        log_.MoveTo({});
    manifestPath_ = line.manifest;
}

void WizardCore::GoToFileSelection() {
    view_.ShowPage(WizardPage::FileSelection);
}

void WizardCore::GoToOptions() {
    view_.ShowPage(WizardPage::Options);
}

void WizardCore::FolderNotEntered(const std::string& folder, int cause) {
    std::string name = FileNamePart(folder);
    if (name.empty() || name == "..")
        name = folder;
    const std::string text =
        words_.Format("%sを開けません：%s", {name, FailureText(cause, WindowLanguage())});
    view_.ShowNotice(text);
    view_.ShowWarning(words_.Text("警告"), text);
}

void WizardCore::SetDeleteInputs(bool value) {
    deleteInputs_ = value;
    view_.ShowDeleteInputs(deleteInputs_, DeleteStatusText(words_, deleteInputs_));
}

void WizardCore::ConvertSelected(const std::string& folder, const std::vector<std::string>& names) {
    if (names.empty()) {
        view_.ShowWarning(words_.Text("警告"), words_.Text("SIG、RMGファイルを選択して下さい"));
        return;
    }
    inputs_.clear();
    for (const std::string& name : names) inputs_.push_back(JoinPath(folder, name));
    try {
        ConvertInputs();
    } catch (const std::exception& error) {
        view_.ShowWarning(kWindowCaption, error.what());
    } catch (...) {
        view_.ShowWarning(kWindowCaption, words_.Text("ERROR：システム異常"));
    }
    SayLogNews();
}

void WizardCore::ConvertFiles(std::vector<std::string> inputs) {
    inputs_ = std::move(inputs);
    ConvertInputs();
}

void WizardCore::ConvertInputs() {
    batchRunning_ = true;
    cancelRequested_ = false;
    view_.ShowBatchRunning(true);
    view_.ShowPage(WizardPage::Progress);
    view_.SetProgressMessage("", MessageColour::Black);
    // The batch's log entries are written in groups, not one by one.
    const LogGroup logGroup(log_);
    log_.Write(deleteInputs_ ? "入力ファイル設定：入力ファイル削除する"
                             : "入力ファイル設定：入力ファイル削除しない");
    summary_ = {};
    try {
        if (!inputs_.empty()) {
            view_.SetProgress(0, static_cast<int>(inputs_.size()));
            view_.SetProgressMessage(words_.Text("変換中・・・"), MessageColour::Keep);
            BatchJob job;
            job.inputs = inputs_;
            job.rules = {.deleteInputs = deleteInputs_};
            job.work = work_;
            job.log = &log_;
            job.groupSmallFiles = true;
            job.interrupt = &InterruptRequested();
            if (RecordsToManifest(job))
                summary_ = RunBatch(job, *this);
            if (manifest_ && manifest_->Cause() != 0)
                TellScript({}, ManifestFailure(manifest_->Cause()));
            manifest_.reset();
        }
    } catch (...) {
        FinishBatch();  // on every way out of the batch, an exception included
        throw;
    }
    FinishBatch();
    if (closeRequested_) {
        // The window was asked to close during the batch.
        view_.CloseWindow();
    }
}

std::string WizardCore::CountsLine() const {
    std::vector<std::string> counts = {std::to_string(summary_.corrected),
                                       std::to_string(summary_.unchanged),
                                       std::to_string(summary_.failed)};
    if (summary_.notConverted == 0)
        return words_.Format("結果：補正 %s件、補正不要 %s件、失敗 %s件", counts);
    counts.push_back(std::to_string(summary_.notConverted));
    return words_.Format("結果：補正 %s件、補正不要 %s件、失敗 %s件、未変換 %s件", counts);
}

void WizardCore::FinishBatch() {
    // The list ends with what became of the batch, so that nobody has to
    // read (or hear) every line to learn whether something failed, or
    // which files a stopped batch never took up.
    AddStatusLine(CountsLine(), StatusLine::File);
    ShowProgress(true);  // every line there, in order
    view_.ShowBatchRunning(false);
    const char* state = summary_.end == BatchEnd::Cancelled     ? "変換キャンセル"
                        : summary_.end == BatchEnd::Interrupted ? "変換中断"
                                                                : "変換終了";
    view_.SetProgressMessage(words_.Text(state), MessageColour::Keep);
    view_.SetProgress(0, 0);
    view_.PumpMessages();
    batchRunning_ = false;
}

void WizardCore::Converting(std::size_t index) {
    held_.counter = words_.Format("ファイル数=%s/%s",
                                  {std::to_string(index + 1), std::to_string(inputs_.size())});
    held_.changed = true;
}

void WizardCore::Converted(std::size_t index) {
    held_.position = static_cast<int>(index) + 1;
    held_.maximum = static_cast<int>(inputs_.size());
    ShowProgress(false);
    view_.PumpMessages();  // a click on cancel is seen after each file
}

void WizardCore::Pump() {
    // The converter lets the window repaint and take clicks while it reads.
    ShowProgress(false);
    view_.PumpMessages();
}

bool WizardCore::StopRequested() {
    return cancelRequested_;
}

void WizardCore::GoesAlone(std::size_t index) {
    nameShown_ = {index, statusLines_};
    AddStatusLine(FileNamePart(inputs_[index]), StatusLine::File);
    ShowProgress(false);
}

void WizardCore::Finished(std::size_t index, const FileOutcome& outcome) {
    int fileRow = statusLines_;
    if (nameShown_ && nameShown_->first == index) {
        fileRow = nameShown_->second;
        nameShown_.reset();
    } else {
        AddStatusLine(FileNamePart(inputs_[index]), StatusLine::File);
    }
    for (const std::string& line : ResultLines(outcome)) AddStatusLine(line, StatusLine::Result);
    ShowHint(fileRow, outcome);
    if (manifest_)
        manifest_->Finished(index, outcome);
    if (Describe(outcome.outcome).tally == Tally::Failed)
        TellScript(inputs_[index], ReasonText(outcome, WindowLanguage()));
    view_.FileDone(inputs_[index], outcome);
}

// A file's result lines in the window's language. A file that failed
// says so and why, in the receivers' words "変換失敗" (conversion
// failed): also one they showed no line for (a file that could not be
// read, or was no GPS file) and one they showed as having no rollover
// (a file without one GPS record).
std::vector<std::string> WizardCore::ResultLines(const FileOutcome& outcome) const {
    const Language language = WindowLanguage();
    const bool failed = Describe(outcome.outcome).tally == Tally::Failed;
    std::vector<std::string> lines;
    bool failureSaid = false;
    for (const std::string& line : outcome.statusLines) {
        if (failed && outcome.outcome == Outcome::NoGpsRecords)
            continue;  // the line of a file without a rollover
        std::string shown = words_.Line(line);
        if (failed && line == Describe(Outcome::NotStored).statusLine) {
            shown += Bracketed(ReasonText(outcome, language), language);
            failureSaid = true;
        } else if (failed && line.rfind(kInputKeptLine, 0) == 0) {
            failureSaid = true;
        }
        lines.push_back(shown);
    }
    if (failed && !failureSaid)
        lines.push_back(words_.Text(Describe(Outcome::NotStored).statusLine) +
                        Bracketed(ReasonText(outcome, language), language));
    return lines;
}

void WizardCore::AddStatusLine(const std::string& text, StatusLine kind) {
    std::string line;
    if (kind == StatusLine::File) {
        const std::string prefix = LogTimeStamp() + " - ";
        if (statusIndent_ == 0)
            statusIndent_ = prefix.size();
        line = prefix + text;
    } else {
        line = std::string(statusIndent_, ' ') + "             -> " + text;
    }
    held_.lines.push_back(line);
    ++statusLines_;
}

// A file that failed keeps the status list's lines as they are; why it
// failed becomes the hint of its lines, so the user need not open the log
// to learn why. So does what a corrected file does not carry over of its
// input.
void WizardCore::ShowHint(int fileRow, const FileOutcome& outcome) {
    const std::string hint = ReasonText(outcome, WindowLanguage());
    if (hint.empty())
        return;
    for (int row = fileRow; row < statusLines_; ++row) {
        held_.hints.emplace_back(row, hint);
    }
}

void WizardCore::ShowProgress(bool now) {
    constexpr auto kBetweenPictures = std::chrono::milliseconds(1000 / 30);
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - held_.shown < kBetweenPictures)
        return;
    held_.shown = time;
    if (!held_.lines.empty())
        view_.AddStatusLines(held_.lines);
    for (const auto& [row, hint] : held_.hints) view_.SetStatusLineHint(row, hint);
    if (held_.changed) {
        view_.SetFileCounter(held_.counter);
        if (held_.maximum > 0)
            view_.SetProgress(held_.position, held_.maximum);
    }
    held_.lines.clear();
    held_.hints.clear();
    held_.changed = false;
}

void WizardCore::RequestCancel() {
    cancelRequested_ = true;
    view_.SetProgressMessage(words_.Text("変換を中止しています。しばらくお待ちください"),
                             MessageColour::Red);
}

bool WizardCore::MayClose() {
    if (batchRunning_) {
        closeRequested_ = true;
        return false;
    }
    return true;
}

}  // namespace quenrix
