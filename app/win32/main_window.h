// The main window on Windows: the same three-page wizard as the Linux
// window, drawn with the Win32 API's own controls (Unicode), on the same
// WizardCore. Paths are UTF-8, as everywhere in the program.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/core/file_browser.h"
#include "app/core/wizard_core.h"
#include "app/core/wizard_layout.h"
#include "app/core/wizard_view.h"
#include "support/utf16.h"

namespace quenrix {

// The current folder as UTF-8; empty when it cannot be read.
std::string CurrentFolder();
// Makes the user's Documents folder the current one (nothing when it
// cannot be found).
void GoToDocumentsFolder();

// The window class a second copy looks for to raise the first.
inline constexpr const wchar_t* kMainWindowClass = L"QuenrixMainWindow";
// The private start message, posted from the first show.
inline constexpr UINT kStartMessage = WM_USER + 5;

// Control identifiers, in tab order within each page.
enum ControlId : int {
    kDeleteInputsCheck = 100,
    kNextButton,
    kOptionsCloseButton,
    kDriveSelector = 200,
    kFileTypeSelector,
    kFolderList,
    kFileList,
    kSelectAllButton,
    kSelectNoneButton,
    kConvertButton,
    kFilesBackButton,
    kFilesCloseButton,
    kProgressMessage = 300,
    kProgressBar,
    kFileCounter,
    kStatusList,
    kCancelButton,
    kProgressBackButton,
    kProgressCloseButton,
    kOptionsGroup = 400,
    kSelectFilesLabel,
    kStatusBar,
    kSplitter,
    kDriveLabel,
    kFileTypeLabel,
};

class MainWindow : public WizardView {
  public:
    // `arguments` are the command line's, in UTF-8; `words` is the
    // language the window speaks.
    explicit MainWindow(std::vector<std::string> arguments,
                        const Catalogue& words = Catalogue::Japanese());
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window (hidden); false when Windows refuses.
    bool Create();
    void Show(int how);
    HWND Handle() const { return window_; }
    // A control by its identifier.
    HWND Control(int id) const { return GetDlgItem(window_, id); }
    // Handles keyboard navigation for the window: true when it took the
    // message.
    bool PreTranslate(MSG& message);

    WizardCore& Core() { return *core_; }
    WizardPage Page() const { return page_; }
    const std::string& Folder() const { return folder_; }
    // Shows `folder` in the lists and makes it the current folder, where
    // it can be listed; else nothing changes and the answer says why.
    native::Done ShowFolder(const std::string& folder);
    // Enters a folder the user chose, or says why it cannot be entered.
    void EnterOrSayWhy(const std::string& folder);
    // The hint of a status line, as its tooltip shows it.
    std::wstring StatusLineHint(int row) const;

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

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK SplitterProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK StatusListProcedure(HWND window, UINT message, WPARAM w, LPARAM l,
                                                UINT_PTR id, DWORD_PTR data);
    static LRESULT CALLBACK FolderListProcedure(HWND window, UINT message, WPARAM w, LPARAM l,
                                                UINT_PTR id, DWORD_PTR data);
    // Enters the folder list's chosen folder.
    void EnterChosenFolder();
    // The status bar's last part: the chosen status line's hint, else the notice.
    void ShowChosenHint();
    void DrawFolderLine(const DRAWITEMSTRUCT& item) const;
    int LineHeight(HFONT font) const;
    static void Announce(HWND control);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    void ChangeDpi(UINT dpi, const RECT& suggested);
    HBRUSH ColourControl(HWND control, HDC dc);
    bool GiveStatusHint(NMHDR* header);
    void CreateControls();
    void MakeFonts();
    void ApplyFonts();
    // 96-DPI units in pixels at the window's DPI.
    int Scaled(int units) const;
    void AddHint(HWND control, const std::wstring& hint);
    void Layout();
    void Command(int id, int code);
    void FillDrives();
    void FillFileList();
    void ConvertSelection();
    void SelectAllFiles(bool selected);

    const Catalogue& words_;
    std::unique_ptr<WizardCore> core_;
    std::vector<std::string> arguments_;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HFONT font_ = nullptr;       // proportional, for captions
    HFONT fixedFont_ = nullptr;  // fixed, for lists
    HFONT boldFont_ = nullptr;   // the progress message once a batch set it
    struct PageControl {
        HWND handle;
        WizardPage page;
        bool fixedFont;  // the lists' fixed face, not the captions' proportional one
    };
    std::vector<PageControl> pageControls_;
    int dpi_ = 96;
    bool progressBold_ = false;  // the progress message once a batch set it
    WizardPage page_ = WizardPage::Options;
    bool shown_ = false;
    COLORREF messageColour_ = RGB(0, 0, 0);
    int split_ = layout::kFolderListWidth;  // in 96-DPI units
    bool dragging_ = false;
    std::string folder_;
    std::vector<FolderListEntry> folders_;
    std::vector<std::string> fileNames_;  // the file list's names, ANSI
    std::vector<std::wstring> hints_;     // the status lines' hints
    std::wstring hintShown_;
    std::wstring notice_;       // the status bar's notice (the log cannot be written)
    std::wstring noticeShown_;  // what its last part holds, whole
    // The status bar's last part: `text`, cut to fit, whole in its tooltip.
    void ShowInStatusBar(const std::wstring& text);
};

// The program's texts and paths (UTF-8) as the controls' UTF-16.
inline std::wstring Wide(const std::string& utf8) {
    return Utf16(utf8);
}

}  // namespace quenrix
