// Everything the main window does that is not drawing: page moves, the
// deletion option, the batch with its status lines, progress and
// cancellation, the start-up with its run modes and log lines, and the
// end. A window implements WizardView and calls these for what the user
// does.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/core/catalogue.h"
#include "app/core/wizard_view.h"
#include "engine/batch.h"
#include "engine/conversion.h"
#include "engine/manifest.h"
#include "support/failure.h"

namespace quenrix {

inline constexpr const char* kWindowCaption = "Quenrix Ver.1.0";
inline constexpr int kAutomaticCloseDelayMs = 500;
// The window's work files, in the start folder: "$$$SRG-", a random part of this copy's own,
// ".TMP". Copies of several users (or hosts) working in one shared folder never share it.
inline constexpr const char* kWindowWorkFilePrefix = "$$$SRG-";
inline constexpr const char* kWindowWorkFileExtension = ".TMP";

class WizardCore : private BatchEvents {
  public:
    // `words` is the window's language (the log's stays Japanese);
    // `arguments` are the command line's, the program's own path not
    // included; `startFolder` is the current folder at start-up, where the
    // log goes, named after `programPath`.
    WizardCore(WizardView& view, const Catalogue& words, std::vector<std::string> arguments,
               const std::string& startFolder, const std::string& programPath);
    // Logs the end.
    ~WizardCore() override;
    WizardCore(const WizardCore&) = delete;
    WizardCore& operator=(const WizardCore&) = delete;

    // The first show: caption and option page. The window then posts
    // itself the start message, whose handler calls Start.
    void FirstShown();
    // Reads the command line, logs the run mode and, in automatic mode,
    // converts the files named and closes the window.
    void Start();

    // Page moves: to the file selection, back to the options.
    void GoToFileSelection();
    void GoToOptions();
    // A folder the user chose could not be entered (`cause`): the status
    // bar and a box say so; the window stays where it was.
    void FolderNotEntered(const std::string& folder, int cause);
    // The deletion option's check box was clicked.
    void SetDeleteInputs(bool deleteInputs);
    // The convert button: the selected names of the file list, in its
    // order, become the inputs; with none selected, a warning.
    void ConvertSelected(const std::string& folder, const std::vector<std::string>& names);
    // Converts these inputs, one after the other.
    void ConvertFiles(std::vector<std::string> inputs);
    // The cancel button: the file in conversion is finished first.
    void RequestCancel();
    // The window is asked to close: false while a batch runs, which
    // closes the window when it ends.
    bool MayClose();

    // Where the operation log goes: the start folder's log at first, none
    // after "/NLOG"; an empty path logs nothing.
    const std::string& LogFile() const { return log_.Path(); }
    void SetLogFile(std::string path);

    // The command line (ReadArguments): the input arguments' files
    // (automatic mode) and the options "/NOTDEL" and "/NLOG".
    void ReadCommandLine();

    // The inputs of the last batch, or those the command line named.
    const std::vector<std::string>& Inputs() const { return inputs_; }
    bool AutomaticMode() const { return automaticMode_; }
    bool DeleteInputs() const { return deleteInputs_; }
    bool CancelRequested() const { return cancelRequested_; }
    // What automatic mode answers a script: 0 when every file was
    // corrected or needed no correction, 1 when a file failed, an input
    // named no file or the run broke off, 130 after an interrupt. The
    // window the user works in answers 0.
    int ExitStatus() const;
    // The first work file's name (in the start folder).
    std::string WorkFile() const { return work_.Name(); }

  private:
    // A file's line: its time stamp and name; a result line: indented
    // under it, after an arrow.
    enum class StatusLine { File, Result };
    void AddStatusLine(const std::string& text, StatusLine kind);
    void ShowHint(int fileRow, const struct FileOutcome& outcome);
    Language WindowLanguage() const;
    // Automatic mode: one line on standard error for a file (or input)
    // that failed, with its reason; the run then ends with status 1.
    void TellScript(const std::string& name, const std::string& reason);
    // Automatic mode's manifest, when one is asked for, into `job`: false
    // (told to the script) when it takes no line.
    bool RecordsToManifest(BatchJob& job);
    std::string ManifestFailure(int cause) const;
    // The counts of the batch, its last line.
    std::string CountsLine() const;
    std::vector<std::string> ResultLines(const FileOutcome& outcome) const;
    // What the batch tells as it runs.
    void Converting(std::size_t index) override;
    // The name line of a file that goes alone, shown while it converts.
    void GoesAlone(std::size_t index) override;
    void Converted(std::size_t index) override;
    // A file's lines, hint and count.
    void Finished(std::size_t index, const FileOutcome& outcome) override;
    void Pump() override;
    bool StopRequested() override;

    void ConvertInputs();
    // The batch's last line and the progress page as a finished batch leaves it.
    void FinishBatch();
    // Passes what the batch holds for the progress page to the view: at
    // once with `now`, else only when the last time is 1/30 s past.
    void ShowProgress(bool now);

    WizardView& view_;
    const Catalogue& words_;
    std::vector<std::string> arguments_;
    WorkFiles work_;
    OperationLog log_;
    // Says what the log has to tell (entries lost, a file that was no log).
    void SayLogNews();
    std::vector<std::string> inputs_;
    std::vector<std::string> inputArguments_;  // as typed
    // The input arguments that gave no file, as listed, and why.
    std::vector<std::pair<std::string, Failure>> notFound_;
    bool automaticMode_ = false;
    bool deleteInputs_ = true;
    bool cancelRequested_ = false;
    bool batchRunning_ = false;
    bool closeRequested_ = false;
    bool failedForScript_ = false;
    // Automatic mode's manifest (/MANIFEST=): its path, and while a batch
    // runs, its writer.
    std::string manifestPath_;
    std::optional<ManifestWriter> manifest_;
    int statusLines_ = 0;
    // The file whose name line shows while it converts (a large one), and
    // that line's row.
    std::optional<std::pair<std::size_t, int>> nameShown_;
    // What became of this batch's files, for the line that ends it.
    BatchSummary summary_;
    // Indent of result lines: the length of the first file line's
    // time-stamp prefix, 0 until one was written (the window's one copy
    // per process keeps it for the process's life, as the receiver
    // software did).
    std::size_t statusIndent_ = 0;
    // The progress page as the batch has it, not yet shown: a person
    // cannot follow more than about 30 pictures a second, and drawing one
    // per file would cost a batch of small files more than its conversion.
    struct HeldProgress {
        std::vector<std::string> lines;                  // status lines, in order
        std::vector<std::pair<int, std::string>> hints;  // by row, for lines added first
        std::string counter;
        int position = 0;
        int maximum = 0;
        bool changed = false;  // counter or bar
        std::chrono::steady_clock::time_point shown{};
    } held_;
};

}  // namespace quenrix
