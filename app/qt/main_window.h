// The main window on Linux: a three-page wizard (options, file selection,
// progress) drawn with Qt. What it does lives in WizardCore; the window
// shows what the core decides and passes on what the user does.
#pragma once

#include <QMainWindow>

#include <memory>
#include <string>
#include <vector>

#include "app/core/wizard_core.h"
#include "app/core/wizard_view.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QGroupBox;

namespace quenrix {

class ElidedLabel;
class FolderListBox;
class ResizePanel;

class MainWindow : public QMainWindow, public WizardView {
    Q_OBJECT

  public:
    // `arguments` are the command-line arguments, the program's own path
    // not included.
    // `words` is the language the window speaks.
    explicit MainWindow(std::vector<std::string> arguments,
                        const Catalogue& words = Catalogue::Japanese(), QWidget* parent = nullptr);
    ~MainWindow() override;

    // What the window does, without drawing.
    WizardCore& Core() { return *core_; }

    // The folder whose files the file list shows; ShowFolder enters one.
    std::string FileListFolder() const;
    void ShowFolder(const std::string& folder);

    // The resize rules: the buttons keep to the right edge of their panel.
    void PlaceOptionsButtons(QWidget* panel);
    void PlaceBottomButtons(QWidget* panel);
    void FitProgressBar(QWidget* panel);

    // WizardView.
    void SetCaption(const std::string& caption) override;
    void ShowPage(WizardPage page) override;
    void ShowDeleteInputs(bool deleteInputs, const std::string& statusText) override;
    void SetProgressMessage(const std::string& text, MessageColour colour) override;
    void SetFileCounter(const std::string& text) override;
    void SetProgress(int position, int maximum) override;
    void AddStatusLines(const std::vector<std::string>& lines) override;
    void SetStatusLineHint(int row, const std::string& hint) override;
    void ShowBatchRunning(bool running) override;
    void PumpMessages() override;
    void Pause(int milliseconds) override;
    void ShowWarning(const std::string& title, const std::string& text) override;
    void ShowNotice(const std::string& text) override;
    void CloseWindow() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildOptionPage();
    void BuildFileSelectionPage();
    void BuildFileLists();
    void ConnectFileSelectionPage();
    void BuildProgressPage();
    void ChainTheFocus();
    void FillDrives();
    void FillFileList();
    void ConvertSelection();
    void SelectAllFiles(bool selected);
    bool shown_ = false;

    // The controls, by the names the window description gives them (also
    // their object names, by which tests find them).
    // Window level.
    QLabel* deleteCaptionPanel = nullptr;
    QLabel* deleteStatePanel = nullptr;
    ElidedLabel* noticePanel = nullptr;
    // The last notice (the log cannot be written); the chosen status
    // line's hint shows in its place.
    QString notice_;
    QStackedWidget* pages = nullptr;
    QWidget* optionsPage = nullptr;
    QWidget* filesPage = nullptr;
    QWidget* progressPage = nullptr;
    // The options page.
    QGroupBox* optionsGroup = nullptr;
    QCheckBox* deleteInputsCheck = nullptr;
    ResizePanel* optionsButtons = nullptr;
    QPushButton* optionsCloseButton = nullptr;
    QPushButton* nextButton = nullptr;
    // The file-selection page.
    QFrame* folderPanel = nullptr;
    QLabel* selectFilesLabel = nullptr;
    QLabel* driveLabel = nullptr;
    QComboBox* driveSelector = nullptr;
    QLabel* fileTypeLabel = nullptr;
    QComboBox* fileTypeSelector = nullptr;
    QFrame* selectionButtons = nullptr;
    QPushButton* selectAllButton = nullptr;
    QPushButton* selectNoneButton = nullptr;
    QFrame* listsPanel = nullptr;
    QListWidget* fileList = nullptr;
    QSplitter* listSplitter = nullptr;
    FolderListBox* folderList = nullptr;
    ResizePanel* filesButtons = nullptr;
    QPushButton* filesBackButton = nullptr;
    QPushButton* filesCloseButton = nullptr;
    QPushButton* convertButton = nullptr;
    // The progress page.
    ResizePanel* progressPanel = nullptr;
    QLabel* progressMessage = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* fileCounter = nullptr;
    QListWidget* statusList = nullptr;
    ResizePanel* progressButtons = nullptr;
    QPushButton* progressBackButton = nullptr;
    QPushButton* progressCloseButton = nullptr;
    QPushButton* cancelButton = nullptr;

    const Catalogue& words_;
    std::unique_ptr<WizardCore> core_;
};

}  // namespace quenrix
