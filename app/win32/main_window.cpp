#include "app/win32/main_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <tuple>

#include "app/core/wizard_layout.h"
#include "support/file_ops.h"
#include "support/paths.h"

namespace quenrix {
namespace {

using namespace layout;
constexpr int kSmallestList = 40;
constexpr const wchar_t* kSplitterClass = L"QuenrixSplitter";

std::wstring Convert(UINT codePage, const std::string& text) {
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(wide, 0)), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), wide);
    return out;
}

// The window font: 9 points of the Japanese gothic face the receivers'
// software was drawn with, at the screen's resolution.
HFONT JapaneseFont(const wchar_t* face, bool bold = false) {
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

void Place(HWND control, int x, int y, int width, int height) {
    MoveWindow(control, x, y, std::max(width, 0), std::max(height, 0), TRUE);
}

}  // namespace

std::wstring Wide(const std::string& utf8) {
    return Convert(CP_UTF8, utf8);
}

std::wstring WideFromAnsi(const std::string& ansi) {
    return Convert(CP_ACP, ansi);
}

MainWindow::MainWindow(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

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

    font_ = JapaneseFont(L"ＭＳ Ｐゴシック");
    fixedFont_ = JapaneseFont(L"ＭＳ ゴシック");
    boldFont_ = JapaneseFont(L"ＭＳ Ｐゴシック", true);

    RECT frame{0, 0, kWidth, kHeight};  // the status bar included, as on Linux
    const DWORD style = WS_OVERLAPPEDWINDOW;
    const DWORD extended = WS_EX_CONTROLPARENT;
    AdjustWindowRectEx(&frame, style, FALSE, extended);
    window_ = CreateWindowExW(extended, kMainWindowClass, L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              instance, this);
    if (window_ == nullptr)
        return false;
    CreateControls();
    char current[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(sizeof current, current);
    const std::string startFolder(current, length < sizeof current ? length : 0);
    char program[MAX_PATH];
    const DWORD programLength = GetModuleFileNameA(nullptr, program, sizeof program);
    core_ = std::make_unique<WizardCore>(*this, arguments_, startFolder,
                                         std::string(program, programLength));
    FillDrives();
    ShowFolder(startFolder);
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

HWND MainWindow::Add(const wchar_t* type, const std::wstring& text, DWORD style, int id,
                     WizardPage page, HFONT font) {
    HWND control = CreateWindowExW(0, type, text.c_str(), WS_CHILD | style, 0, 0, 10, 10, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    pageControls_.emplace_back(control, page);
    return control;
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

void MainWindow::CreateControls() {
    const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);

    // The options page, in tab order.
    Add(L"BUTTON", L"", BS_GROUPBOX, kOptionsGroup, WizardPage::Options, font_);
    Add(L"BUTTON", L"変換成功後、入力SIG、RMGファイルを削除", WS_TABSTOP | BS_AUTOCHECKBOX,
        kDeleteInputsCheck, WizardPage::Options, font_);
    AddHint(Add(L"BUTTON", L"次へ(&N)", WS_TABSTOP | BS_DEFPUSHBUTTON, kNextButton,
                WizardPage::Options, font_),
            L"Sig、Rmgファイル選択へ");
    AddHint(Add(L"BUTTON", L"終了(&X)", button, kOptionsCloseButton, WizardPage::Options, font_),
            L"終了");

    // The file-selection page.
    Add(L"STATIC", L"SIG、RMGファイルを選択して下さい", SS_LEFT, kSelectFilesLabel,
        WizardPage::FileSelection, font_);
    Add(WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kDriveSelector,
        WizardPage::FileSelection, fixedFont_);
    HWND types = Add(WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                     kFileTypeSelector, WizardPage::FileSelection, font_);
    for (const FileType& type : FileTypes()) {
        SendMessageW(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(type.caption).c_str()));
    }
    SendMessageW(types, CB_SETCURSEL, 0, 0);
    Add(L"LISTBOX", L"", WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
        kFolderList, WizardPage::FileSelection, fixedFont_);
    Add(kSplitterClass, L"", 0, kSplitter, WizardPage::FileSelection, font_);
    Add(L"LISTBOX", L"",
        WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT,
        kFileList, WizardPage::FileSelection, fixedFont_);
    Add(L"BUTTON", L"全選択(&A)", button, kSelectAllButton, WizardPage::FileSelection, font_);
    Add(L"BUTTON", L"選択解除(&R)", button, kSelectNoneButton, WizardPage::FileSelection, font_);
    AddHint(Add(L"BUTTON", L"変換(&C)", WS_TABSTOP | BS_DEFPUSHBUTTON, kConvertButton,
                WizardPage::FileSelection, font_),
            L"ロールオーバー補正ファイルに変換");
    AddHint(Add(L"BUTTON", L"戻る(&B)", button, kFilesBackButton, WizardPage::FileSelection, font_),
            L"オプション設定へ戻る");
    AddHint(
        Add(L"BUTTON", L"終了(&X)", button, kFilesCloseButton, WizardPage::FileSelection, font_),
        L"終了");

    // The progress page.
    Add(L"STATIC", L"変換中．．．", SS_LEFT | SS_NOPREFIX, kProgressMessage, WizardPage::Progress,
        font_);
    Add(PROGRESS_CLASSW, L"", 0, kProgressBar, WizardPage::Progress, font_);
    Add(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kFileCounter, WizardPage::Progress, font_);
    HWND status =
        Add(L"LISTBOX", L"",
            WS_VSCROLL | WS_HSCROLL | WS_BORDER | LBS_NOSEL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
            kStatusList, WizardPage::Progress, fixedFont_);
    SetWindowSubclass(status, &MainWindow::StatusListProcedure, 1,
                      reinterpret_cast<DWORD_PTR>(this));
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(status);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    AddHint(Add(L"BUTTON", L"変換中止(&C)", button, kCancelButton, WizardPage::Progress, font_),
            L"Sig、Rmgファイル変換中止");
    AddHint(Add(L"BUTTON", L"戻る(&B)", button, kProgressBackButton, WizardPage::Progress, font_),
            L"Sig、Rmgファイル選択に戻る");
    AddHint(Add(L"BUTTON", L"終了(&X)", button, kProgressCloseButton, WizardPage::Progress, font_),
            L"終了");

    // The status bar: the deletion option in its two parts.
    HWND bar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBar)),
                               GetModuleHandleW(nullptr), nullptr);
    SendMessageW(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    int parts[] = {200, 380};
    SendMessageW(bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    SendMessageW(bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"入力SIG、RMG削除の有無"));
}

void MainWindow::Layout() {
    RECT client{};
    GetClientRect(window_, &client);
    HWND bar = Control(kStatusBar);
    SendMessageW(bar, WM_SIZE, 0, 0);
    RECT barRect{};
    GetWindowRect(bar, &barRect);
    const int width = client.right;
    const int height = client.bottom - (barRect.bottom - barRect.top);
    const int bottom = height - kBottomPanelHeight;
    const int buttonY = bottom + kButtonTop;

    // The options page: the group fills it; the buttons keep to the right.
    Place(Control(kOptionsGroup), 0, 0, width, bottom);
    Place(Control(kDeleteInputsCheck), 24, 96, 305, 17);
    const int optionsLeft = LeftOf(width, kOptionsButtonsFromRight);
    Place(Control(kOptionsCloseButton), optionsLeft, buttonY, kButtonWidth, kButtonHeight);
    Place(Control(kNextButton), optionsLeft + kSecondButton, buttonY, kButtonWidth, kButtonHeight);

    // The bottom buttons of the two other pages.
    const int left = LeftOf(width, kPageButtonsFromRight);
    for (auto [back, close, last] :
         {std::tuple{kFilesBackButton, kFilesCloseButton, kConvertButton},
          std::tuple{kProgressBackButton, kProgressCloseButton, kCancelButton}}) {
        Place(Control(back), left, buttonY, kButtonWidth, kButtonHeight);
        Place(Control(close), left + kMiddleButton, buttonY, kButtonWidth, kButtonHeight);
        Place(Control(last), left + kLastButton, buttonY, kButtonWidth, kButtonHeight);
    }

    // The file-selection page: folder panel, the two lists with the
    // splitter between them, the selection buttons on the right.
    Place(Control(kSelectFilesLabel), 8, 16, 400, 16);
    Place(Control(kDriveSelector), 0, 38, 236, 200);
    Place(Control(kFileTypeSelector), 293, 38, 229, 200);
    const int listsWidth = std::max(width - kSelectionColumnWidth, 0);
    const int listsHeight = bottom - kFolderPanelHeight;
    split_ = std::clamp(split_, kSmallestList,
                        std::max(kSmallestList, listsWidth - kSplitterWidth - kSmallestList));
    Place(Control(kFolderList), 0, kFolderPanelHeight, split_, listsHeight);
    Place(Control(kSplitter), split_, kFolderPanelHeight, kSplitterWidth, listsHeight);
    Place(Control(kFileList), split_ + kSplitterWidth, kFolderPanelHeight,
          listsWidth - split_ - kSplitterWidth, listsHeight);
    Place(Control(kSelectAllButton), listsWidth + 8, kFolderPanelHeight, kButtonWidth,
          kButtonHeight);
    Place(Control(kSelectNoneButton), listsWidth + 8, kFolderPanelHeight + 56, kButtonWidth,
          kButtonHeight);

    // The progress page.
    Place(Control(kProgressMessage), 8, 8, std::min(600, width - 8), 16);
    Place(Control(kProgressBar), 8, 24, width - 18, 16);
    Place(Control(kFileCounter), 8, 42, 300, 16);
    Place(Control(kStatusList), 0, kProgressPanelHeight, width, bottom - kProgressPanelHeight);
}

bool MainWindow::ShowFolder(const std::string& folder) {
    if (folder.empty() || !SetCurrentDirectoryA(folder.c_str()))
        return false;
    char full[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(sizeof full, full);
    if (length == 0 || length >= sizeof full)
        return false;
    folder_.assign(full, length);
    std::size_t current = 0;
    folders_ = FolderListing(folder_, current);
    HWND list = Control(kFolderList);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const FolderEntry& entry : folders_) {
        const std::wstring label = std::wstring(static_cast<std::size_t>(entry.depth) * 2, L' ') +
                                   WideFromAnsi(entry.label);
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    }
    SendMessageW(list, LB_SETCURSEL, current, 0);
    // The drive of the folder is the one selected.
    HWND drives = Control(kDriveSelector);
    const std::wstring root = WideFromAnsi(folder_.substr(0, 3));
    const LRESULT index = SendMessageW(drives, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(root.c_str()));
    if (index != CB_ERR)
        SendMessageW(drives, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    FillFileList();
    return true;
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
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromAnsi(name).c_str()));
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
            if (code == LBN_DBLCLK) {
                const LRESULT row = SendMessageW(Control(id), LB_GETCURSEL, 0, 0);
                if (row != LB_ERR && static_cast<std::size_t>(row) < folders_.size())
                    ShowFolder(folders_[static_cast<std::size_t>(row)].path);
            }
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
                    char ansi[16];
                    const int n = WideCharToMultiByte(CP_ACP, 0, drive, -1, ansi, sizeof ansi,
                                                      nullptr, nullptr);
                    if (n > 0 && !ShowFolder(ansi))
                        ShowFolder(folder_);  // an empty drive: back to where we were
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
    return window_ != nullptr && IsDialogMessageW(window_, &message);
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
            limits->ptMinTrackSize = {240, 200};
            return 0;
        }
        case WM_CTLCOLORLISTBOX:
            // The status list: blue lines on the window's own colour.
            if (reinterpret_cast<HWND>(l) == Control(kStatusList)) {
                HDC dc = reinterpret_cast<HDC>(w);
                SetTextColor(dc, RGB(0, 0, 255));
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(l) == Control(kProgressMessage)) {
                HDC dc = reinterpret_cast<HDC>(w);
                SetTextColor(dc, messageColour_);
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(l);
            if (header->code == TTN_GETDISPINFOW &&
                header->idFrom == reinterpret_cast<UINT_PTR>(Control(kStatusList))) {
                auto* info = reinterpret_cast<NMTTDISPINFOW*>(l);
                info->lpszText = const_cast<wchar_t*>(hintShown_.c_str());
                return 0;
            }
            break;
        }
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
                    self->split_ = point.x - kSplitterWidth / 2;
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
    for (const auto& [control, owner] : pageControls_) {
        ShowWindow(control, owner == page ? SW_SHOW : SW_HIDE);
    }
    // The focus goes to the page's first control that takes it.
    for (const auto& [control, owner] : pageControls_) {
        if (owner == page && IsWindowEnabled(control) &&
            (GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) != 0) {
            SetFocus(control);
            break;
        }
    }
}

void MainWindow::ShowDeleteInputs(bool deleteInputs, const std::string& statusText) {
    Button_SetCheck(Control(kDeleteInputsCheck), deleteInputs ? BST_CHECKED : BST_UNCHECKED);
    SendMessageW(Control(kStatusBar), SB_SETTEXTW, 1,
                 reinterpret_cast<LPARAM>(Wide(statusText).c_str()));
}

void MainWindow::SetProgressMessage(const std::string& text, MessageColour colour) {
    HWND label = Control(kProgressMessage);
    if (!text.empty()) {
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), FALSE);
        SetWindowTextW(label, Wide(text).c_str());
    }
    if (colour != MessageColour::Keep)
        messageColour_ = colour == MessageColour::Red ? RGB(255, 0, 0) : RGB(0, 0, 0);
    InvalidateRect(label, nullptr, TRUE);
}

void MainWindow::SetFileCounter(const std::string& text) {
    SetWindowTextW(Control(kFileCounter), Wide(text).c_str());
}

void MainWindow::SetProgress(int position, int maximum) {
    HWND bar = Control(kProgressBar);
    // An empty bar of one step for "nothing to do".
    SendMessageW(bar, PBM_SETRANGE32, 0, std::max(maximum, 1));
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void MainWindow::AddStatusLine(const std::string& line) {
    HWND list = Control(kStatusList);
    const LRESULT row =
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(line).c_str()));
    SendMessageW(list, WM_VSCROLL, SB_BOTTOM, 0);
    hints_.resize(static_cast<std::size_t>(row) + 1);
    // A line wider than the list can be scrolled to.
    const std::wstring text = Wide(line);
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, fixedFont_);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    const LRESULT extent = SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0);
    if (size.cx + 8 > extent)
        SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(size.cx + 8), 0);
}

void MainWindow::SetStatusLineHint(int row, const std::string& hint) {
    if (row < 0)
        return;
    if (hints_.size() <= static_cast<std::size_t>(row))
        hints_.resize(static_cast<std::size_t>(row) + 1);
    hints_[static_cast<std::size_t>(row)] = Wide(hint);
}

void MainWindow::ShowBatchRunning(bool running) {
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

void MainWindow::CloseWindow() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

}  // namespace quenrix
