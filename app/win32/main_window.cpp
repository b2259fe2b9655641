#include "app/win32/main_window.h"

#include <commctrl.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "app/core/wizard_layout.h"
#include "support/file_ops.h"
#include "support/native.h"
#include "support/paths.h"
#include "support/utf16.h"

// Windows 8.1 and later tell a window its screen's new DPI.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace quenrix {
namespace {

using namespace layout;
constexpr const wchar_t* kSplitterClass = L"QuenrixSplitter";

// The window font: 9 points of the Japanese gothic face the receivers'
// software was drawn with, at the window's DPI.
HFONT JapaneseFont(const wchar_t* face, int dpi, bool bold = false) {
    return CreateFontW(-MulDiv(9, dpi, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                       FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

// The DPI Windows draws the window at: the window's own where Windows
// can tell it (10 and later), else the system's.
int WindowDpi(HWND window) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32"), "GetDpiForWindow")));
    if (dpiForWindow != nullptr && window != nullptr) {
        if (const UINT dpi = dpiForWindow(window))
            return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// How each control of the window description is made here.
enum class FontKind { Caption, Fixed };
struct Win32Control {
    layout::Role role;
    int id;
    const wchar_t* type;
    DWORD style;
    FontKind font;
};
constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kDefaultButton = WS_TABSTOP | BS_DEFPUSHBUTTON;
const Win32Control kWin32Controls[] = {
    {layout::Role::OptionsGroup, kOptionsGroup, L"BUTTON", BS_GROUPBOX, FontKind::Caption},
    {layout::Role::DeleteInputsCheck, kDeleteInputsCheck, L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX,
     FontKind::Caption},
    {layout::Role::NextButton, kNextButton, L"BUTTON", kDefaultButton, FontKind::Caption},
    {layout::Role::OptionsCloseButton, kOptionsCloseButton, L"BUTTON", kButton, FontKind::Caption},
    {layout::Role::SelectFilesLabel, kSelectFilesLabel, L"STATIC", SS_LEFT, FontKind::Caption},
    // A combo box takes its name for screen readers from the label made
    // right before it, and its mnemonic from the label's.
    {layout::Role::DriveLabel, kDriveLabel, L"STATIC", SS_LEFT, FontKind::Caption},
    {layout::Role::DriveSelector, kDriveSelector, WC_COMBOBOXW,
     WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, FontKind::Fixed},
    {layout::Role::FileTypeLabel, kFileTypeLabel, L"STATIC", SS_LEFT, FontKind::Caption},
    {layout::Role::FileTypeSelector, kFileTypeSelector, WC_COMBOBOXW,
     WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, FontKind::Caption},
    // Drawn by the window: each folder's name indented by its depth.
    {layout::Role::FolderList, kFolderList, L"LISTBOX",
     WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED |
         LBS_HASSTRINGS,
     FontKind::Fixed},
    {layout::Role::ListSplitter, kSplitter, kSplitterClass, 0, FontKind::Caption},
    {layout::Role::FileList, kFileList, L"LISTBOX",
     WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT,
     FontKind::Fixed},
    {layout::Role::SelectAllButton, kSelectAllButton, L"BUTTON", kButton, FontKind::Caption},
    {layout::Role::SelectNoneButton, kSelectNoneButton, L"BUTTON", kButton, FontKind::Caption},
    {layout::Role::ConvertButton, kConvertButton, L"BUTTON", kDefaultButton, FontKind::Caption},
    {layout::Role::FilesBackButton, kFilesBackButton, L"BUTTON", kButton, FontKind::Caption},
    {layout::Role::FilesCloseButton, kFilesCloseButton, L"BUTTON", kButton, FontKind::Caption},
    {layout::Role::ProgressMessage, kProgressMessage, L"STATIC", SS_LEFT | SS_NOPREFIX,
     FontKind::Caption},
    {layout::Role::ProgressBar, kProgressBar, PROGRESS_CLASSW, 0, FontKind::Caption},
    {layout::Role::FileCounter, kFileCounter, L"STATIC", SS_LEFT | SS_NOPREFIX, FontKind::Caption},
    {layout::Role::StatusList, kStatusList, L"LISTBOX",
     WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | WS_BORDER | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
     FontKind::Fixed},
    {layout::Role::CancelButton, kCancelButton, L"BUTTON", kButton, FontKind::Caption},
    {layout::Role::ProgressBackButton, kProgressBackButton, L"BUTTON", kButton, FontKind::Caption},
    {layout::Role::ProgressCloseButton, kProgressCloseButton, L"BUTTON", kButton,
     FontKind::Caption},
};
// A drop-down list's height includes the list it drops.
constexpr int kDropDownHeight = 200;

void Place(HWND control, int x, int y, int width, int height) {
    MoveWindow(control, x, y, std::max(width, 0), std::max(height, 0), TRUE);
}

}  // namespace

std::string CurrentFolder() {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(needed, L'\0');
    const DWORD length = GetCurrentDirectoryW(needed, folder.data());
    if (needed == 0 || length == 0 || length >= needed)
        return {};
    folder.resize(length);
    return Utf8(folder);
}

void GoToDocumentsFolder() {
    PWSTR documents = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents)))
        SetCurrentDirectoryW(documents);
    CoTaskMemFree(documents);
}

MainWindow::MainWindow(std::vector<std::string> arguments, const Catalogue& words)
    : words_(words), arguments_(std::move(arguments)) {}

MainWindow::~MainWindow() {
    core_.reset();  // logs the end while the window's fonts still exist
    if (window_ != nullptr && IsWindow(window_))
        DestroyWindow(window_);
    for (HFONT font : {font_, fixedFont_, boldFont_}) {
        if (font != nullptr)
            DeleteObject(font);
    }
}

bool MainWindow::Create() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                                       ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &MainWindow::Procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassExW(&windowClass);  // a second window of the process finds it registered

    WNDCLASSEXW splitterClass{};
    splitterClass.cbSize = sizeof splitterClass;
    splitterClass.lpfnWndProc = &MainWindow::SplitterProcedure;
    splitterClass.hInstance = instance;
    splitterClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32644));  // west-east
    splitterClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    splitterClass.lpszClassName = kSplitterClass;
    RegisterClassExW(&splitterClass);

    dpi_ = WindowDpi(nullptr);
    MakeFonts();
    RECT frame{0, 0, Scaled(kWidth), Scaled(kHeight)};  // the status bar included, as on Linux
    const DWORD style = WS_OVERLAPPEDWINDOW;
    const DWORD extended = WS_EX_CONTROLPARENT;
    AdjustWindowRectEx(&frame, style, FALSE, extended);
    window_ = CreateWindowExW(extended, kMainWindowClass, L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              instance, this);
    if (window_ == nullptr)
        return false;
    if (const int dpi = WindowDpi(window_); dpi != dpi_) {
        // Opened on a screen of another scaling than the system's.
        dpi_ = dpi;
        MakeFonts();
        RECT scaled{0, 0, Scaled(kWidth), Scaled(kHeight)};
        AdjustWindowRectEx(&scaled, style, FALSE, extended);
        SetWindowPos(window_, nullptr, 0, 0, scaled.right - scaled.left, scaled.bottom - scaled.top,
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    CreateControls();
    const std::string startFolder = CurrentFolder();
    core_ = std::make_unique<WizardCore>(*this, words_, arguments_, startFolder,
                                         native::ExecutablePath());
    FillDrives();
    (void)ShowFolder(startFolder);
    Layout();
    ShowPage(WizardPage::Options);
    return true;
}

void MainWindow::Show(int how) {
    // Centred on the screen, as the Linux window.
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT rect{};
    GetWindowRect(window_, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    SetWindowPos(window_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window_, how);
    UpdateWindow(window_);
}

void MainWindow::AddHint(HWND control, const std::wstring& hint) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(hint.c_str());
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::MakeFonts() {
    for (HFONT font : {font_, fixedFont_, boldFont_}) {
        if (font != nullptr)
            DeleteObject(font);
    }
    font_ = JapaneseFont(L"ＭＳ Ｐゴシック", dpi_);
    fixedFont_ = JapaneseFont(L"ＭＳ ゴシック", dpi_);
    boldFont_ = JapaneseFont(L"ＭＳ Ｐゴシック", dpi_, true);
}

int MainWindow::Scaled(int units) const {
    return MulDiv(units, dpi_, 96);
}

void MainWindow::CreateControls() {
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);

    // The three pages from the window's description, each in tab order.
    for (const Win32Control& made : kWin32Controls) {
        const layout::Control& control = layout::ControlOf(made.role);
        // A control that shows no caption carries its spoken name as its
        // text, which screen readers read as its name.
        const std::string text = *control.caption != '\0' ? words_.Text(control.caption)
                                                          : layout::SpokenName(control, words_);
        HWND handle =
            CreateWindowExW(0, made.type, Wide(text).c_str(), WS_CHILD | made.style, 0, 0, 10, 10,
                            window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(made.id)),
                            GetModuleHandleW(nullptr), nullptr);
        pageControls_.push_back({handle, control.page, made.font == FontKind::Fixed});
        if (*control.hint != '\0')
            AddHint(handle, Wide(words_.Text(control.hint)));
    }
    HWND types = Control(kFileTypeSelector);
    for (const FileType& type : FileTypes()) {
        SendMessageW(types, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Wide(words_.Text(type.caption)).c_str()));
    }
    SendMessageW(types, CB_SETCURSEL, 0, 0);

    HWND status = Control(kStatusList);
    SetWindowSubclass(status, &MainWindow::StatusListProcedure, 1,
                      reinterpret_cast<DWORD_PTR>(this));
    SetWindowSubclass(Control(kFolderList), &MainWindow::FolderListProcedure, 1,
                      reinterpret_cast<DWORD_PTR>(this));
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(status);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));

    // The status bar: the deletion option in its two parts.
    CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_TOOLTIPS, 0, 0, 0, 0,
                    window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBar)),
                    GetModuleHandleW(nullptr), nullptr);
    SendMessageW(Control(kStatusBar), SB_SETTEXTW, 0,
                 reinterpret_cast<LPARAM>(Wide(words_.Text(kStatusCaption)).c_str()));
    ApplyFonts();
}

// Every control in the fonts of the window's DPI, the status bar's parts
// measured at it.
void MainWindow::ApplyFonts() {
    for (const PageControl& control : pageControls_) {
        const bool bold = control.handle == Control(kProgressMessage) && progressBold_;
        HFONT font = control.fixedFont ? fixedFont_ : bold ? boldFont_ : font_;
        SendMessageW(control.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    SendMessageW(Control(kFolderList), LB_SETITEMHEIGHT, 0, LineHeight(fixedFont_));
    HWND bar = Control(kStatusBar);
    SendMessageW(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    // The caption, the state, and the rest for a notice.
    int parts[] = {Scaled(kStatusCaptionWidth), Scaled(kStatusCaptionWidth + kStatusStateWidth),
                   -1};
    SendMessageW(bar, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
}

void MainWindow::Layout() {
    RECT client{};
    GetClientRect(window_, &client);
    HWND bar = Control(kStatusBar);
    SendMessageW(bar, WM_SIZE, 0, 0);
    if (!noticeShown_.empty())
        ShowInStatusBar(std::wstring(noticeShown_));  // cut again to the new width
    RECT barRect{};
    GetWindowRect(bar, &barRect);
    // The description's rules work in 96-DPI units; each place is then
    // scaled to the window's DPI, edges rounded alike so that neighbours
    // stay neighbours.
    const int width = MulDiv(client.right, 96, dpi_);
    const int height = MulDiv(client.bottom - (barRect.bottom - barRect.top), 96, dpi_);
    split_ = ClampSplit(split_, width);
    for (const Win32Control& made : kWin32Controls) {
        const layout::Control& control = layout::ControlOf(made.role);
        const Rect at = layout::Place(control, width, height, split_);
        const int bottom = made.type == std::wstring_view(WC_COMBOBOXW) ? at.y + kDropDownHeight
                                                                        : at.y + at.height;
        Place(Control(made.id), Scaled(at.x), Scaled(at.y), Scaled(at.x + at.width) - Scaled(at.x),
              Scaled(bottom) - Scaled(at.y));
    }
}

native::Done MainWindow::ShowFolder(const std::string& folder) {
    if (folder.empty())
        return {ENOENT};
    if (const native::Done entered = EnterListedFolder(folder); !entered)
        return entered;
    const std::string full = CurrentFolder();
    if (full.empty())
        return {ENOENT};
    folder_ = full;
    std::size_t current = 0;
    folders_ = FolderListing(folder_, current);
    HWND list = Control(kFolderList);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const FolderListEntry& entry : folders_) {
        // The name alone, which screen readers read and typing finds; the
        // depth is drawn (DrawFolderLine).
        const LRESULT row = SendMessageW(list, LB_ADDSTRING, 0,
                                         reinterpret_cast<LPARAM>(Wide(entry.label).c_str()));
        SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(row), entry.depth);
    }
    SendMessageW(list, LB_SETCURSEL, current, 0);
    // The drive of the folder is the one selected.
    HWND drives = Control(kDriveSelector);
    const std::wstring root = Wide(folder_.substr(0, 3));
    const LRESULT index = SendMessageW(drives, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(root.c_str()));
    if (index != CB_ERR)
        SendMessageW(drives, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    FillFileList();
    return {};
}

void MainWindow::EnterOrSayWhy(const std::string& folder) {
    if (const native::Done shown = ShowFolder(folder); !shown) {
        core_->FolderNotEntered(folder, shown.cause);
        (void)ShowFolder(folder_);  // the lists show where the window still is
    }
}

void MainWindow::FillDrives() {
    HWND drives = Control(kDriveSelector);
    SendMessageW(drives, CB_RESETCONTENT, 0, 0);
    wchar_t buffer[512];
    const DWORD length = GetLogicalDriveStringsW(512, buffer);
    for (const wchar_t* drive = buffer; drive < buffer + length && *drive != L'\0';
         drive += wcslen(drive) + 1) {
        SendMessageW(drives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(drive));
    }
}

void MainWindow::FillFileList() {
    HWND list = Control(kFileList);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    const LRESULT type = SendMessageW(Control(kFileTypeSelector), CB_GETCURSEL, 0, 0);
    fileNames_ = FilesOfType(folder_, type == CB_ERR ? 0 : static_cast<std::size_t>(type));
    for (const std::string& name : fileNames_) {
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(name).c_str()));
    }
}

void MainWindow::SelectAllFiles(bool selected) {
    HWND list = Control(kFileList);
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (count > 0)
        SendMessageW(list, LB_SELITEMRANGE, selected ? TRUE : FALSE, MAKELPARAM(0, count - 1));
}

void MainWindow::ConvertSelection() {
    HWND list = Control(kFileList);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < fileNames_.size(); ++i) {
        if (SendMessageW(list, LB_GETSEL, i, 0) > 0)
            names.push_back(fileNames_[i]);
    }
    core_->ConvertSelected(folder_, names);
    // The folder as the batch left it: deleted inputs gone, corrected
    // files there, nothing chosen (a file chosen again would be one that
    // is gone).
    if (IsWindow(Handle()))
        FillFileList();
}

void MainWindow::Command(int id, int code) {
    switch (id) {
        case kDeleteInputsCheck:
            if (code == BN_CLICKED)
                core_->SetDeleteInputs(Button_GetCheck(Control(id)) == BST_CHECKED);
            break;
        case kNextButton:
        case kProgressBackButton:
            core_->GoToFileSelection();
            break;
        case kFilesBackButton:
            core_->GoToOptions();
            break;
        case kOptionsCloseButton:
        case kFilesCloseButton:
        case kProgressCloseButton:
            PostMessageW(window_, WM_CLOSE, 0, 0);
            break;
        case kSelectAllButton:
            SelectAllFiles(true);
            break;
        case kSelectNoneButton:
            SelectAllFiles(false);
            break;
        case kConvertButton:
            ConvertSelection();
            break;
        case kCancelButton:
            core_->RequestCancel();
            break;
        case kFolderList:
            if (code == LBN_DBLCLK)
                EnterChosenFolder();
            break;
        case kStatusList:
            if (code == LBN_SELCHANGE)
                ShowChosenHint();
            break;
        case kDriveSelector:
            if (code == CBN_SELCHANGE) {
                HWND drives = Control(id);
                const LRESULT row = SendMessageW(drives, CB_GETCURSEL, 0, 0);
                wchar_t drive[16] = L"";
                if (row != CB_ERR &&
                    SendMessageW(drives, CB_GETLBTEXTLEN, static_cast<WPARAM>(row), 0) < 16) {
                    SendMessageW(drives, CB_GETLBTEXT, static_cast<WPARAM>(row),
                                 reinterpret_cast<LPARAM>(drive));
                    EnterOrSayWhy(Utf8(drive));  // an empty drive: back to where we were
                }
            }
            break;
        case kFileTypeSelector:
            if (code == CBN_SELCHANGE)
                FillFileList();
            break;
        default:
            break;
    }
}

bool MainWindow::PreTranslate(MSG& message) {
    if (window_ == nullptr)
        return false;
    // Ctrl+A chooses every file, wherever the focus is on the file page.
    if (message.message == WM_KEYDOWN && message.wParam == 'A' &&
        (GetKeyState(VK_CONTROL) & 0x8000) != 0 && page_ == WizardPage::FileSelection &&
        IsChild(window_, message.hwnd)) {
        SelectAllFiles(true);
        return true;
    }
    return IsDialogMessageW(window_, &message);
}

void MainWindow::EnterChosenFolder() {
    const LRESULT row = SendMessageW(Control(kFolderList), LB_GETCURSEL, 0, 0);
    if (row != LB_ERR && static_cast<std::size_t>(row) < folders_.size())
        EnterOrSayWhy(folders_[static_cast<std::size_t>(row)].path);
}

void MainWindow::ShowChosenHint() {
    const LRESULT row = SendMessageW(Control(kStatusList), LB_GETCURSEL, 0, 0);
    std::wstring text = row == LB_ERR ? std::wstring() : StatusLineHint(static_cast<int>(row));
    std::replace(text.begin(), text.end(), L'\n', L' ');
    ShowInStatusBar(text.empty() ? notice_ : text);
}

void MainWindow::ShowInStatusBar(const std::wstring& text) {
    noticeShown_ = text;
    HWND bar = Control(kStatusBar);
    // Cut with "..." to the part's width; the tooltip holds it whole.
    RECT part{};
    SendMessageW(bar, SB_GETRECT, 2, reinterpret_cast<LPARAM>(&part));
    part.right -= Scaled(8);  // the part's borders and margins
    std::wstring shown = text;
    shown.append(4, L'\0');  // room for the ellipsis DT_MODIFYSTRING may write
    HDC screen = GetDC(bar);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old =
        SelectObject(memory, reinterpret_cast<HGDIOBJ>(SendMessageW(bar, WM_GETFONT, 0, 0)));
    if (part.right > part.left)
        DrawTextW(memory, shown.data(), static_cast<int>(text.size()), &part,
                  DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | DT_MODIFYSTRING);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(bar, screen);
    shown.resize(wcslen(shown.c_str()));
    SendMessageW(bar, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(shown.c_str()));
    SendMessageW(bar, SB_SETTIPTEXTW, 2, reinterpret_cast<LPARAM>(noticeShown_.c_str()));
    Announce(bar);
}

// The folder list keeps Enter (enter the chosen folder, as a double-click
// does, as in every file dialog) and Backspace (up one) for itself: the
// dialog manager would otherwise press the convert button.
LRESULT CALLBACK MainWindow::FolderListProcedure(HWND list, UINT message, WPARAM w, LPARAM l,
                                                 UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<MainWindow*>(data);
    const auto folderKey = [](WPARAM key) { return key == VK_RETURN || key == VK_BACK; };
    switch (message) {
        case WM_GETDLGCODE: {
            const auto* asked = reinterpret_cast<const MSG*>(l);
            const LRESULT code = DefSubclassProc(list, message, w, l);
            return asked != nullptr && asked->message == WM_KEYDOWN && folderKey(asked->wParam)
                       ? code | DLGC_WANTMESSAGE
                       : code;
        }
        case WM_KEYDOWN:
            if (w == VK_RETURN) {
                self->EnterChosenFolder();
                return 0;
            }
            if (w == VK_BACK) {
                self->EnterOrSayWhy(self->folder_ + "\\..");
                return 0;
            }
            break;
        case WM_CHAR:
            if (w == L'\r' || w == L'\b')
                return 0;  // taken as keys above, not as letters to search for
            break;
        default:
            break;
    }
    return DefSubclassProc(list, message, w, l);
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->window_ != window)
        return DefWindowProcW(window, message, w, l);
    return self->Handle(message, w, l);
}

LRESULT MainWindow::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_SHOWWINDOW:
            if (w != FALSE && !shown_ && core_) {
                shown_ = true;
                core_->FirstShown();
                // The run mode is decided once the window is on screen.
                PostMessageW(window_, kStartMessage, 0, 0);
            }
            break;
        case kStartMessage:
            core_->Start();
            return 0;
        case WM_COMMAND:
            if (core_)
                Command(LOWORD(w), HIWORD(w));
            return 0;
        case DM_GETDEFID:
            // Enter acts on the page's default button.
            if (page_ == WizardPage::Options)
                return MAKELRESULT(kNextButton, DC_HASDEFID);
            if (page_ == WizardPage::FileSelection)
                return MAKELRESULT(kConvertButton, DC_HASDEFID);
            return 0;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(l);
            limits->ptMinTrackSize = {Scaled(kMinimumWidth), Scaled(kMinimumHeight)};
            return 0;
        }
        case WM_DPICHANGED:
            ChangeDpi(LOWORD(w), *reinterpret_cast<const RECT*>(l));
            return 0;
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSTATIC:
            if (const HBRUSH brush =
                    ColourControl(reinterpret_cast<HWND>(l), reinterpret_cast<HDC>(w)))
                return reinterpret_cast<LRESULT>(brush);
            break;
        case WM_NOTIFY:
            if (GiveStatusHint(reinterpret_cast<NMHDR*>(l)))
                return 0;
            break;
        case WM_MEASUREITEM:
            if (w == static_cast<WPARAM>(kFolderList)) {
                reinterpret_cast<MEASUREITEMSTRUCT*>(l)->itemHeight =
                    static_cast<UINT>(LineHeight(fixedFont_));
                return TRUE;
            }
            break;
        case WM_DRAWITEM:
            if (w == static_cast<WPARAM>(kFolderList)) {
                DrawFolderLine(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
                return TRUE;
            }
            break;
        case WM_CLOSE:
            if (core_ && !core_->MayClose())
                return 0;  // the batch finishes first; the core closes the window after it
            DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, w, l);
}

// Dragged to a screen of another scaling: fonts made again at its DPI, the
// window where Windows suggests, every control placed again.
void MainWindow::ChangeDpi(UINT dpi, const RECT& suggested) {
    dpi_ = dpi;
    MakeFonts();
    ApplyFonts();
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
}

// The status list's blue lines and the progress message's colour, both on
// the window's own colour; nullptr for any other control.
HBRUSH MainWindow::ColourControl(HWND control, HDC dc) {
    COLORREF text;
    if (control == Control(kStatusList))
        text = RGB(0, 0, 255);
    else if (control == Control(kProgressMessage))
        text = messageColour_;
    else
        return nullptr;
    SetTextColor(dc, text);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return GetSysColorBrush(COLOR_BTNFACE);
}

// The status list's tooltip asks for its text: the hint of the line under
// the mouse. False for any other notification.
bool MainWindow::GiveStatusHint(NMHDR* header) {
    if (header->code != TTN_GETDISPINFOW ||
        header->idFrom != reinterpret_cast<UINT_PTR>(Control(kStatusList)))
        return false;
    reinterpret_cast<NMTTDISPINFOW*>(header)->lpszText = const_cast<wchar_t*>(hintShown_.c_str());
    return true;
}

// The status list's tooltip shows the hint of the line under the mouse.
LRESULT CALLBACK MainWindow::StatusListProcedure(HWND list, UINT message, WPARAM w, LPARAM l,
                                                 UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<MainWindow*>(data);
    if (message == WM_MOUSEMOVE) {
        const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, l);
        const int row = HIWORD(hit) == 0 ? LOWORD(hit) : -1;
        const std::wstring hint = self->StatusLineHint(row);
        if (hint != self->hintShown_) {
            self->hintShown_ = hint;
            SendMessageW(self->tooltip_, TTM_POP, 0, 0);
        }
        MSG relay{list, message, w, l, 0, {GET_X_LPARAM(l), GET_Y_LPARAM(l)}};
        SendMessageW(self->tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relay));
        SendMessageW(self->tooltip_, TTM_ACTIVATE, self->hintShown_.empty() ? FALSE : TRUE, 0);
    }
    return DefSubclassProc(list, message, w, l);
}

// The splitter between the folder and the file list: dragging it moves
// the split.
LRESULT CALLBACK MainWindow::SplitterProcedure(HWND splitter, UINT message, WPARAM w, LPARAM l) {
    HWND parent = GetParent(splitter);
    auto* self =
        parent ? reinterpret_cast<MainWindow*>(GetWindowLongPtrW(parent, GWLP_USERDATA)) : nullptr;
    if (self != nullptr) {
        switch (message) {
            case WM_LBUTTONDOWN:
                self->dragging_ = true;
                SetCapture(splitter);
                return 0;
            case WM_MOUSEMOVE:
                if (self->dragging_) {
                    POINT point{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
                    MapWindowPoints(splitter, parent, &point, 1);
                    self->split_ = MulDiv(point.x, 96, self->dpi_) - kSplitterWidth / 2;
                    self->Layout();
                }
                return 0;
            case WM_LBUTTONUP:
            case WM_CAPTURECHANGED:
                self->dragging_ = false;
                if (message == WM_LBUTTONUP)
                    ReleaseCapture();
                return 0;
            default:
                break;
        }
    }
    return DefWindowProcW(splitter, message, w, l);
}

// A line of the folder list (owner-drawn): the folder's name, two blanks'
// width further right for each step down the tree.
void MainWindow::DrawFolderLine(const DRAWITEMSTRUCT& item) const {
    if (item.itemID == static_cast<UINT>(-1))
        return;
    const bool chosen = (item.itemState & ODS_SELECTED) != 0;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(chosen ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const int length = static_cast<int>(SendMessageW(item.hwndItem, LB_GETTEXTLEN, item.itemID, 0));
    std::wstring name(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    SendMessageW(item.hwndItem, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(name.data()));
    name.resize(wcslen(name.c_str()));
    SIZE blank{};
    GetTextExtentPoint32W(item.hDC, L"  ", 2, &blank);
    RECT text = item.rcItem;
    text.left += 2 + blank.cx * static_cast<LONG>(item.itemData);
    SetTextColor(item.hDC, GetSysColor(chosen ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    SetBkMode(item.hDC, TRANSPARENT);
    DrawTextW(item.hDC, name.c_str(), static_cast<int>(name.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if ((item.itemState & ODS_FOCUS) != 0)
        DrawFocusRect(item.hDC, &item.rcItem);
}

// The height of a line of text in `font`.
int MainWindow::LineHeight(HFONT font) const {
    HDC screen = GetDC(window_);
    HGDIOBJ old = SelectObject(screen, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, old);
    ReleaseDC(window_, screen);
    return std::max(static_cast<int>(metrics.tmHeight), 1);
}

std::wstring MainWindow::StatusLineHint(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < hints_.size()
               ? hints_[static_cast<std::size_t>(row)]
               : std::wstring();
}

void MainWindow::SetCaption(const std::string& caption) {
    SetWindowTextW(window_, Wide(caption).c_str());
}

void MainWindow::ShowPage(WizardPage page) {
    page_ = page;
    for (const PageControl& control : pageControls_) {
        ShowWindow(control.handle, control.page == page ? SW_SHOW : SW_HIDE);
    }
    // The focus goes to the page's first control that takes it.
    for (const PageControl& control : pageControls_) {
        if (control.page == page && IsWindowEnabled(control.handle) &&
            (GetWindowLongW(control.handle, GWL_STYLE) & WS_TABSTOP) != 0) {
            SetFocus(control.handle);
            break;
        }
    }
}

void MainWindow::ShowDeleteInputs(bool deleteInputs, const std::string& statusText) {
    Button_SetCheck(Control(kDeleteInputsCheck), deleteInputs ? BST_CHECKED : BST_UNCHECKED);
    SendMessageW(Control(kStatusBar), SB_SETTEXTW, 1,
                 reinterpret_cast<LPARAM>(Wide(statusText).c_str()));
    Announce(Control(kStatusBar));
}

void MainWindow::SetProgressMessage(const std::string& text, MessageColour colour) {
    HWND label = Control(kProgressMessage);
    if (!text.empty()) {
        progressBold_ = true;
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), FALSE);
        SetWindowTextW(label, Wide(text).c_str());
        Announce(label);
    }
    if (colour != MessageColour::Keep)
        messageColour_ = colour == MessageColour::Red ? RGB(255, 0, 0) : RGB(0, 0, 0);
    InvalidateRect(label, nullptr, TRUE);
}

void MainWindow::SetFileCounter(const std::string& text) {
    SetWindowTextW(Control(kFileCounter), Wide(text).c_str());
    Announce(Control(kFileCounter));
}

// Screen readers read the control's new text: its name changed.
void MainWindow::Announce(HWND control) {
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
}

void MainWindow::SetProgress(int position, int maximum) {
    HWND bar = Control(kProgressBar);
    // An empty bar of one step for "nothing to do".
    SendMessageW(bar, PBM_SETRANGE32, 0, std::max(maximum, 1));
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void MainWindow::AddStatusLines(const std::vector<std::string>& lines) {
    if (lines.empty())
        return;
    HWND list = Control(kStatusList);
    // Drawn once, after all of them.
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, fixedFont_);
    LONG widest = 0;
    for (const std::string& line : lines) {
        const std::wstring text = Wide(line);
        const LRESULT row =
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        hints_.resize(static_cast<std::size_t>(row) + 1);
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max(widest, size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    // A line wider than the list can be scrolled to.
    const LRESULT extent = SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0);
    if (widest + 8 > extent)
        SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    SendMessageW(list, WM_VSCROLL, SB_BOTTOM, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void MainWindow::SetStatusLineHint(int row, const std::string& hint) {
    if (row < 0)
        return;
    if (hints_.size() <= static_cast<std::size_t>(row))
        hints_.resize(static_cast<std::size_t>(row) + 1);
    hints_[static_cast<std::size_t>(row)] = Wide(hint);
}

void MainWindow::ShowBatchRunning(bool running) {
    HWND status = Control(kStatusList);
    const LRESULT lines = SendMessageW(status, LB_GETCOUNT, 0, 0);
    if (!running && lines > 0) {
        SendMessageW(status, LB_SETCURSEL, static_cast<WPARAM>(lines - 1),
                     0);  // the batch's result
        ShowChosenHint();
        // The cancel button about to be disabled hands the focus to the
        // result, which a screen reader then reads out.
        if (GetFocus() == Control(kCancelButton))
            SetFocus(status);
    }
    EnableWindow(Control(kProgressBackButton), running ? FALSE : TRUE);
    EnableWindow(Control(kProgressCloseButton), running ? FALSE : TRUE);
    EnableWindow(Control(kCancelButton), running ? TRUE : FALSE);
}

void MainWindow::PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));  // for the main loop
            return;
        }
        if (!PreTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void MainWindow::Pause(int milliseconds) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        PumpMessages();
    }
}

void MainWindow::ShowWarning(const std::string& title, const std::string& text) {
    MessageBoxW(window_, Wide(text).c_str(), Wide(title).c_str(), MB_ICONEXCLAMATION | MB_OK);
}

void MainWindow::ShowNotice(const std::string& text) {
    notice_ = Wide(text);
    ShowInStatusBar(notice_);
}

void MainWindow::CloseWindow() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

}  // namespace quenrix
