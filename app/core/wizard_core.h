// Everything the main window does that is not drawing: page moves, the
// deletion option, the batch with its status lines, progress and
// cancellation, the start-up with its run modes and log lines, and the
// end. A window implements WizardView and calls these for what the user
// does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/wizard_view.h"
#include "engine/conversion.h"

namespace quenrix {

inline constexpr const char* kWindowCaption = "Quenrix Ver.1.0";
inline constexpr int kAutomaticCloseDelayMs = 500;

class WizardCore {
  public:
    // `arguments` are the command line's, the program's own path not
    // included; `startFolder` is the current folder at start-up, where the
    // log goes, named after `programPath`.
    WizardCore(WizardView& view, std::vector<std::string> arguments, const std::string& startFolder,
               const std::string& programPath);
    // Deletes a leftover work file and logs the end.
    ~WizardCore();
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
    // The deletion option's check box was clicked.
    void SetDeleteInputs(bool deleteInputs);
    // The convert button: the selected names of the file list, in its
    // order, become the inputs; with none selected, a warning.
    void ConvertSelected(const std::string& folder, const std::vector<std::string>& names);
    // Converts every input, one after the other.
    void ConvertFiles();
    // The cancel button: the file in conversion is finished first.
    void RequestCancel();
    // The window is asked to close: false while a batch runs, which
    // closes the window when it ends.
    bool MayClose();

    bool BatchRunning() const { return batchRunning_; }

    // Where the operation log goes: the start folder's log at first, none
    // after "/NLOG"; an empty path logs nothing.
    const std::string& LogFile() const { return log_.path; }
    void SetLogFile(std::string path);

    // The command line: the input argument's files (automatic mode) and
    // the options "/NOTDEL", "/NLOG" and "/DEBUG", in any letter case.
    void ReadCommandLine();

    // The window's state, open to its views and tests.
    std::vector<std::string> inputs;
    bool cancelRequested = false;
    bool automaticMode = false;
    std::int16_t logSwitch = 1;  // 0 after "/NLOG"
    bool deleteInputs = true;
    bool debugMode = false;  // "/DEBUG": accepted, acted on nowhere
    std::string inputArgument;

  private:
    void AddStatusLine(const std::string& text, int kind);
    void ShowReason(int fileRow, const std::vector<std::string>& logged);
    void ConvertOne(std::size_t index, class BatchFileActions& actions);

    WizardView& view_;
    std::vector<std::string> arguments_;
    LogSink log_;
    bool batchRunning_ = false;
    bool closeRequested_ = false;
    int statusLines_ = 0;
};

// Indent of result lines: the length of the first file line's time-stamp
// prefix, 0 until one was written in this process.
extern int StatusIndent;

}  // namespace quenrix
