// What the wizard asks of a window: each window (Qt on Linux, Win32 on
// Windows) draws what the core decides and tells it what the user did.
#pragma once

#include <string>

#include "engine/outcome.h"

namespace quenrix {

enum class WizardPage { Options = 0, FileSelection = 1, Progress = 2 };

enum class MessageColour { Keep, Black, Red };

class WizardView {
  public:
    virtual ~WizardView() = default;

    virtual void SetCaption(const std::string& caption) = 0;
    virtual void ShowPage(WizardPage page) = 0;
    // The deletion option's check box and the status bar's second part.
    virtual void ShowDeleteInputs(bool deleteInputs, const std::string& statusText) = 0;
    // The progress page's state message, in bold once a batch has set it;
    // an empty text keeps the text and changes only the colour.
    virtual void SetProgressMessage(const std::string& text, MessageColour colour) = 0;
    virtual void SetFileCounter(const std::string& text) = 0;
    // An empty bar for a maximum of 0.
    virtual void SetProgress(int position, int maximum) = 0;
    // Appends lines to the status list and scrolls it to the bottom.
    virtual void AddStatusLines(const std::vector<std::string>& lines) = 0;
    // The hint (tooltip) of the status list's line `row` (from 0).
    virtual void SetStatusLineHint(int row, const std::string& hint) = 0;
    // While a batch runs, the progress page's back and close buttons are
    // disabled and its cancel button enabled; afterwards the other way.
    virtual void ShowBatchRunning(bool running) = 0;
    // Lets pending window messages run once.
    virtual void PumpMessages() = 0;
    // Waits this long with the window alive.
    virtual void Pause(int milliseconds) = 0;
    // A modal box with the warning icon and an OK button.
    virtual void ShowWarning(const std::string& title, const std::string& text) = 0;
    // A notice in the status bar's last part (the log cannot be written).
    virtual void ShowNotice(const std::string& text) = 0;
    // Closes the window (the program ends with it).
    virtual void CloseWindow() = 0;
    // What became of one input of the batch (its status lines may still be
    // on their way); a window that shows only the lines needs nothing more.
    virtual void FileDone(const std::string& input, const FileOutcome& outcome) {
        (void)input;
        (void)outcome;
    }
};

}  // namespace quenrix
