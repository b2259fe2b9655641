// A window that draws nothing: the batch as the window runs it, for the
// benchmark and the crash explorer. It keeps the status lines, their
// hints and what became of each file.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/core/wizard_view.h"

namespace quenrix {

class QuietView : public WizardView {
  public:
    void SetCaption(const std::string&) override {}
    void ShowPage(WizardPage) override {}
    void ShowDeleteInputs(bool, const std::string&) override {}
    void SetProgressMessage(const std::string&, MessageColour) override {}
    void SetFileCounter(const std::string&) override {}
    void SetProgress(int, int) override {}
    void AddStatusLines(const std::vector<std::string>& lines) override {
        statusLines.insert(statusLines.end(), lines.begin(), lines.end());
    }
    void SetStatusLineHint(int row, const std::string& hint) override { hints[row] = hint; }
    void ShowBatchRunning(bool) override {}
    void PumpMessages() override {}
    void Pause(int) override {}
    void ShowWarning(const std::string&, const std::string& text) override {
        warnings.push_back(text);
    }
    void ShowNotice(const std::string& text) override { notices.push_back(text); }
    void CloseWindow() override {}
    void FileDone(const std::string& input, const FileOutcome& outcome) override {
        outcomes[input] = outcome;
    }

    std::vector<std::string> statusLines;
    std::map<int, std::string> hints;             // by row
    std::map<std::string, FileOutcome> outcomes;  // by input path
    std::vector<std::string> warnings;            // the boxes' texts
    std::vector<std::string> notices;             // the status bar's
};

}  // namespace quenrix
