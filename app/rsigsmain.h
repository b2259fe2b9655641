// The main window: a three-page wizard (options, file selection,
// progress) that drives the batch in manual mode and shows it in
// automatic mode.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

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

class FolderListBox;
class ResizePanel;

class TFormVaverMain : public QMainWindow {
    Q_OBJECT

  public:
    // `arguments` are the command-line arguments, the program's own path
    // not included.
    explicit TFormVaverMain(std::vector<std::string> arguments, QWidget* parent = nullptr);
    ~TFormVaverMain() override;

    // Window state.
    std::vector<std::string> lstConvFiles;
    bool flgCancel = false;
    bool flgAutoMode = false;
    std::int16_t logSwitch = 1;
    bool flgDelInput = true;
    bool flgDebug = false;
    std::string strInputArg;

    // Window level.
    QLabel* StatusPanel0 = nullptr;
    QLabel* StatusPanel1 = nullptr;
    QStackedWidget* pgCtrl = nullptr;
    QWidget* tabOptionSet = nullptr;
    QWidget* tabRSigRmgFile = nullptr;
    QWidget* tabRSigRmg2SigRmg = nullptr;
    // Page 0.
    QGroupBox* grpOptSet = nullptr;
    QCheckBox* chkRmgDel = nullptr;
    ResizePanel* Panel1 = nullptr;
    QPushButton* btnClose1 = nullptr;
    QPushButton* btnNext = nullptr;
    // Page 1.
    QFrame* Panel6 = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* DriveCmbBox = nullptr;
    QComboBox* FilterComboBox1 = nullptr;
    QFrame* Panel4 = nullptr;
    QPushButton* btnALL = nullptr;
    QPushButton* btnOFF = nullptr;
    QFrame* Panel5 = nullptr;
    QListWidget* boxFileList = nullptr;
    QSplitter* Splitter1 = nullptr;
    FolderListBox* boxDirList = nullptr;
    ResizePanel* Panel3 = nullptr;
    QPushButton* btnBack2 = nullptr;
    QPushButton* btnClose2 = nullptr;
    QPushButton* btnOk = nullptr;
    // Page 2.
    ResizePanel* Panel10 = nullptr;
    QLabel* lblIngMsg = nullptr;
    QProgressBar* barProgress = nullptr;
    QLabel* lblCount = nullptr;
    QListWidget* lboxStatus = nullptr;
    ResizePanel* Panel8 = nullptr;
    QPushButton* btnBack3 = nullptr;
    QPushButton* btnClose3 = nullptr;
    QPushButton* btnCancel = nullptr;

    // Pages and selection.
    void ShowPage(int index);
    void SelectAllFiles(bool selected);

    // Batch.
    void ConvertFiles();
    void AddStatusLine(const std::string& text, std::int16_t kind);
    void ShowReason(int fileRow, const std::vector<std::string>& logged);
    void InitProgress(int n);
    void StepProgress(int d);

    // Start-up.
    void StartRun();
    void ReadCommandLine();

    // Handlers.
    void btnBack3Click();
    void btnBack2Click();
    void btnClose2Click();
    void btnALLClick();
    void btnOFFClick();
    void chkRmgDelClick();
    void btnOkClick();
    void btnCancelClick();
    void Panel1Resize(QWidget* sender);
    void Panel8Resize(QWidget* sender);
    void Panel10Resize(QWidget* sender);

    // The folder whose files the file list shows, and its mask(s).
    std::string FileListFolder() const;
    void ShowFolder(const std::string& folder);

    // True while a batch runs.
    bool BatchRunning() const { return batchRunning_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void FormCreate();
    void BuildOptionPage();
    void BuildFileSelectionPage();
    void BuildProgressPage();
    void FillDrives();
    void FillFileList();
    void SetIngMsg(const QString& text, const QColor& colour);

    std::vector<std::string> arguments_;
    bool shown_ = false;
    bool batchRunning_ = false;
    bool closeRequested_ = false;
};

// Indent of result lines: the length of the first file line's time-stamp
// prefix, 0 until one was written in this process.
extern int StatusIndent;

}  // namespace quenrix
