// The Windows window driven as a user would, with messages: clicks,
// selections, keys, closing. Runs under Wine on a virtual display.
#include "app/win32/main_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/core/wizard_layout.h"
#include "app/win32/instance_mutex.h"
#include "engine/conversion.h"
#include "support/failure.h"
#include "support/file_ops.h"
#include "support/native.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

// Rolled over at the test's clock (2013-10-01 10:00): becomes 2013-08-18 14:10.
const std::uint32_t kOld = Gps(1994, 1, 2, 14, 10);
const std::uint32_t kRecent = Gps(2005, 5, 5);
const std::wstring kStamp = L"2013/10/01 10:00:00 - ";
const std::wstring kArrow = std::wstring(22, L' ') + L"             -> ";

std::wstring Text(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

std::vector<std::wstring> Lines(HWND list) {
    std::vector<std::wstring> lines;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring line(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1,
                          L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::wstring StatusBarText(HWND bar, int part) {
    wchar_t text[256] = L"";
    SendMessageW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return text;
}

// What a status bar part says: its tooltip holds the whole text where the
// part shows it cut short ("..."); the two must agree.
std::wstring StatusBarWhole(HWND bar, int part) {
    const std::wstring shown = StatusBarText(bar, part);
    wchar_t tip[512] = L"";
    SendMessageW(bar, SB_GETTIPTEXTW, MAKEWPARAM(part, 512), reinterpret_cast<LPARAM>(tip));
    const std::wstring whole = tip;
    if (shown.size() >= 3 && shown.compare(shown.size() - 3, 3, L"...") == 0 &&
        whole.compare(0, shown.size() - 3, shown, 0, shown.size() - 3) == 0)
        return whole;
    return shown == whole ? whole : L"(shown '" + shown + L"', tooltip '" + whole + L"')";
}

// Answers the next message box titled `title` with OK once its message is
// there, keeping the message. A box that does not come within a few
// seconds is a failure, not a wait for the test's time limit; a box of
// another title is closed too, so that the test goes on to fail.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(const std::wstring& title) : thread_([this, title] { Answer(title); }) {}
    ~BoxAnswerer() { Finish(); }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    // The box's message; a description of what was found instead when no
    // such box came.
    std::wstring Text() {
        Finish();
        return text_;
    }

  private:
    static constexpr ULONGLONG kPatienceMs = 5000;

    void Answer(const std::wstring& title) {
        const ULONGLONG end = GetTickCount64() + kPatienceMs;
        while (GetTickCount64() < end) {
            HWND box = FindWindowW(L"#32770", title.c_str());
            wchar_t text[256] = L"";
            // The box exists before its controls have their texts.
            if (box != nullptr && IsWindowVisible(box) &&
                GetDlgItemTextW(box, 0xFFFF, text, 256) > 0) {
                text_ = text;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(10);
        }
        text_ = L"(no box titled " + title + L" within 5 s)";
        if (HWND other = FindWindowW(L"#32770", nullptr)) {
            wchar_t caption[128] = L"";
            GetWindowTextW(other, caption, 128);
            text_ += L" (a box titled " + std::wstring(caption) + L" was closed)";
            PostMessageW(other, WM_COMMAND, IDOK, 0);
        }
    }
    void Finish() {
        if (thread_.joinable())
            thread_.join();
    }

    std::wstring text_;
    std::thread thread_;
};

// The windows this thread still has.
std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

class Win32WindowTest : public TempDirTest {
  protected:
    // Each test starts as a program does: no window, nothing queued. The
    // window's end posts the quit message for the program's loop; left in
    // the queue it would end the next test's modal boxes at once.
    void TearDown() override {
        window_.reset();
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        EXPECT_TRUE(ThreadWindows().empty()) << "a window outlived its test";
        TempDirTest::TearDown();
    }
    MainWindow& Window(std::vector<std::string> arguments = {}, bool show = true,
                       const Catalogue& words = Catalogue::Japanese()) {
        window_ = std::make_unique<MainWindow>(std::move(arguments), words);
        EXPECT_TRUE(window_->Create());
        window_->Core().SetLogFile(LogPath());
        if (show) {
            window_->Show(SW_SHOWNORMAL);
            window_->PumpMessages();
        }
        return *window_;
    }
    void Click(int id) { SendMessageW(window_->Control(id), BM_CLICK, 0, 0); }
    void Sig(const std::string& name, std::uint32_t t) {
        WriteBytes(Path(name), Record(0x50, 23, {{2, t}}));
    }
    // Runs the window's message loop until it is closed, as the program does.
    void RunUntilClosed(int seconds = 30) {
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
        while (IsWindow(window_->Handle()) && GetTickCount64() < end) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            window_->PumpMessages();
        }
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the loop's end, taken here
    }

    void CaptionsFit(int dpi, const Catalogue& words);

    std::unique_ptr<MainWindow> window_;
};

TEST_F(Win32WindowTest, FirstShowCaptionsHintsAndStatusBar) {
    MainWindow& window = Window();
    EXPECT_EQ(Text(window.Handle()), L"Quenrix Ver.1.0");
    EXPECT_EQ(window.Page(), WizardPage::Options);
    EXPECT_EQ(Text(window.Control(kNextButton)), L"次へ(&N)");
    EXPECT_EQ(Text(window.Control(kOptionsCloseButton)), L"終了(&X)");
    EXPECT_EQ(Text(window.Control(kDeleteInputsCheck)), L"変換成功後、入力&SIG、RMGファイルを削除");
    EXPECT_EQ(Text(window.Control(kConvertButton)), L"変換(&C)");
    EXPECT_EQ(Text(window.Control(kCancelButton)), L"変換中止(&C)");
    EXPECT_TRUE(IsWindowVisible(window.Control(kNextButton)));
    EXPECT_FALSE(IsWindowVisible(window.Control(kConvertButton)));
    EXPECT_EQ(StatusBarText(window.Control(kStatusBar), 0), L"入力SIG、RMG削除の有無");
    EXPECT_EQ(StatusBarText(window.Control(kStatusBar), 1), L"削除する");
    EXPECT_EQ(SendMessageW(window.Control(kDeleteInputsCheck), BM_GETCHECK, 0, 0), BST_CHECKED);
    // Manual mode: the start message logged it and nothing else happened.
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Quenrix Ver.1.0", "変換手動"}));
    // The file types and the folder list of the start folder.
    EXPECT_EQ(SendMessageW(window.Control(kFileTypeSelector), CB_GETCOUNT, 0, 0), 3);
    EXPECT_GT(SendMessageW(window.Control(kDriveSelector), CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(window.Folder(), Dir());
}

TEST_F(Win32WindowTest, PageMovesEnterAndTheDeletionOption) {
    MainWindow& window = Window();
    Click(kDeleteInputsCheck);
    EXPECT_FALSE(window.Core().DeleteInputs());
    EXPECT_EQ(StatusBarText(window.Control(kStatusBar), 1), L"削除しない");
    Click(kDeleteInputsCheck);
    EXPECT_TRUE(window.Core().DeleteInputs());

    // Enter acts on the page's default button.
    MSG enter{window.Control(kDeleteInputsCheck), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(window.PreTranslate(enter));
    window.PumpMessages();
    EXPECT_EQ(window.Page(), WizardPage::FileSelection);
    EXPECT_TRUE(IsWindowVisible(window.Control(kConvertButton)));
    EXPECT_FALSE(IsWindowVisible(window.Control(kNextButton)));
    Click(kFilesBackButton);
    EXPECT_EQ(window.Page(), WizardPage::Options);
    Click(kNextButton);
    EXPECT_EQ(window.Page(), WizardPage::FileSelection);

    // Enter on the file page with nothing selected: the warning box.
    BoxAnswerer answer(L"警告");
    MSG again{window.Control(kFileList), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    window.PreTranslate(again);
    window.PumpMessages();
    EXPECT_EQ(answer.Text(), L"SIG、RMGファイルを選択して下さい");
    EXPECT_EQ(window.Page(), WizardPage::FileSelection);
}

// What a screen reader hears as the control's name.
std::wstring SpokenNameOf(HWND control) {
    IAccessible* accessible = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT),
                                          __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&accessible))))
        return L"(no accessible object)";
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    std::wstring spoken;
    if (SUCCEEDED(accessible->get_accName(self, &name)) && name != nullptr)
        spoken = name;
    SysFreeString(name);
    accessible->Release();
    return spoken;
}

// Every control that takes the focus, on every page, has a name for
// screen readers: its caption, or for a list its spoken name.
TEST_F(Win32WindowTest, EveryControlThatTakesTheFocusHasAName) {
    MainWindow& window = Window();
    int named = 0;
    for (HWND control = GetWindow(window.Handle(), GW_CHILD); control != nullptr;
         control = GetWindow(control, GW_HWNDNEXT)) {
        if ((GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) == 0)
            continue;
        const int id = GetDlgCtrlID(control);
        SCOPED_TRACE(id);
        const std::wstring name = SpokenNameOf(control);
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(name.find(L'&'), std::wstring::npos);
        for (const layout::Control& described : layout::kControls) {
            if (*described.caption == '\0' &&
                Text(control) == Wide(layout::SpokenName(described, Catalogue::Japanese()))) {
                EXPECT_EQ(name, Text(control));  // a list's or selector's own name
            }
        }
        ++named;
    }
    EXPECT_GE(named, 14);  // the buttons, the check box, the selectors and the three lists
}

// Tab goes through each page with its default button first among its
// buttons; a selector has a label right before it, which Windows names
// the combo box after.
TEST_F(Win32WindowTest, TabOrderAndSelectorsWithTheirLabels) {
    MainWindow& window = Window();
    // The controls Tab reaches from `first` until it comes back to it.
    const auto tabOrder = [&](int first) {
        std::vector<int> ids{first};
        for (HWND control = GetNextDlgTabItem(window.Handle(), window.Control(first), FALSE);
             control != nullptr && control != window.Control(first) && ids.size() < 20;
             control = GetNextDlgTabItem(window.Handle(), control, FALSE)) {
            ids.push_back(GetDlgCtrlID(control));
        }
        return ids;
    };
    EXPECT_EQ(tabOrder(kDeleteInputsCheck),
              (std::vector<int>{kDeleteInputsCheck, kNextButton, kOptionsCloseButton}));
    window.Core().GoToFileSelection();
    EXPECT_EQ(tabOrder(kDriveSelector),
              (std::vector<int>{kDriveSelector, kFileTypeSelector, kFolderList, kFileList,
                                kSelectAllButton, kSelectNoneButton, kConvertButton,
                                kFilesBackButton, kFilesCloseButton}));
    EXPECT_EQ(GetWindow(window.Control(kDriveSelector), GW_HWNDPREV), window.Control(kDriveLabel));
    EXPECT_EQ(GetWindow(window.Control(kFileTypeSelector), GW_HWNDPREV),
              window.Control(kFileTypeLabel));
    EXPECT_EQ(SpokenNameOf(window.Control(kDriveLabel)), L"ドライブ(D)");
    EXPECT_EQ(SpokenNameOf(window.Control(kFileTypeLabel)), L"ファイルの種類(T)");
    window.ShowPage(WizardPage::Progress);  // every button enabled before a first batch
    EXPECT_EQ(tabOrder(kStatusList), (std::vector<int>{kStatusList, kCancelButton,
                                                       kProgressBackButton, kProgressCloseButton}));
}

// The three pages by keys alone, as the dialog manager gets them: into a
// subfolder, every file chosen, converted, and the result line read.
TEST_F(Win32WindowTest, KeyboardAloneConvertsTheFilesOfASubfolder) {
    std::filesystem::create_directory(Path("data"));
    Sig("data/1234L27B.SIG", kOld);
    Sig("data/1234L27C.SIG", kOld + 86400);
    MainWindow& window = Window();
    BoxAnswerer answer(L"警告");  // a warning would mean Enter converted nothing
    const auto press = [&](WPARAM key) {
        MSG message{
            GetFocus() != nullptr ? GetFocus() : window.Handle(), WM_KEYDOWN, key, 0, 0, {}};
        if (!window.PreTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        window.PumpMessages();
    };
    const auto tabTo = [&](int id) {
        for (int i = 0; i < 20 && GetFocus() != window.Control(id); ++i) press(VK_TAB);
        return GetFocus() == window.Control(id);
    };
    SetFocus(window.Control(kNextButton));
    press(VK_RETURN);
    ASSERT_EQ(window.Page(), WizardPage::FileSelection);
    ASSERT_TRUE(tabTo(kFolderList));
    press(VK_END);  // the last subfolder: the only one
    press(VK_RETURN);
    // Stops at once where Enter converted instead: the one box answered.
    ASSERT_EQ(window.Folder(), Path("data"));
    press(VK_BACK);
    ASSERT_EQ(window.Folder(), Dir());
    press(VK_END);
    press(VK_RETURN);
    ASSERT_EQ(window.Folder(), Path("data"));
    ASSERT_TRUE(tabTo(kFileList));
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    press('A');
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(SendMessageW(window.Control(kFileList), LB_GETSELCOUNT, 0, 0), 2);
    press(VK_RETURN);
    EXPECT_EQ(answer.Text(), L"(no box titled 警告 within 5 s)");
    ASSERT_EQ(window.Page(), WizardPage::Progress);
    EXPECT_TRUE(FileExists(Path("data/1234H18B.SIG")));
    EXPECT_FALSE(FileExists(Path("data/1234L27B.SIG")));
    ASSERT_TRUE(tabTo(kStatusList));
    const std::vector<std::wstring> lines = Lines(window.Control(kStatusList));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(SendMessageW(window.Control(kStatusList), LB_GETCURSEL, 0, 0),
              static_cast<LRESULT>(lines.size()) - 1);
    EXPECT_EQ(lines.back(), kStamp + L"結果：補正 2件、補正不要 0件、失敗 0件");
}

TEST_F(Win32WindowTest, FolderListAndFileTypes) {
    std::filesystem::create_directory(Path("sub"));
    Sig("sub/b.SIG", kOld);
    Sig("sub/A.sig", kOld);
    WriteBytes(Path("sub/c.RMG"), Bytes{1});
    MainWindow& window = Window();
    const std::vector<std::wstring> folders = Lines(window.Control(kFolderList));
    ASSERT_FALSE(folders.empty());
    // A line reads the folder's name alone; its depth is the line's data,
    // which the window draws as indentation.
    EXPECT_EQ(folders.back(), L"sub");
    for (const std::wstring& folder : folders) EXPECT_NE(folder.front(), L' ');
    HWND tree = window.Control(kFolderList);
    EXPECT_EQ(SendMessageW(tree, LB_GETITEMDATA, folders.size() - 1, 0),
              SendMessageW(tree, LB_GETITEMDATA, folders.size() - 2, 0) + 1);
    // A double-click enters the folder and makes it the current one.
    HWND list = window.Control(kFolderList);
    SendMessageW(list, LB_SETCURSEL, folders.size() - 1, 0);
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(kFolderList, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(window.Folder(), Path("sub"));
    EXPECT_EQ(std::filesystem::current_path().string(), Path("sub"));
    EXPECT_EQ(Lines(window.Control(kFileList)), (std::vector<std::wstring>{L"A.sig", L"b.SIG"}));
    HWND types = window.Control(kFileTypeSelector);
    SendMessageW(types, CB_SETCURSEL, 1, 0);
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(kFileTypeSelector, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(types));
    EXPECT_EQ(Lines(window.Control(kFileList)), std::vector<std::wstring>{L"c.RMG"});

    // A folder that cannot be listed is not entered: a box and the status
    // bar say why, and the lists stay on the folder the window is in.
    std::filesystem::create_directory(Path("sub/gone"));
    ASSERT_TRUE(window.ShowFolder(Path("sub")));
    const std::vector<std::wstring> inSub = Lines(list);
    const LRESULT here = SendMessageW(list, LB_GETCURSEL, 0, 0);
    std::filesystem::remove(Path("sub/gone"));
    SendMessageW(list, LB_SETCURSEL, inSub.size() - 1, 0);
    BoxAnswerer answerer(L"警告");
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(kFolderList, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(list));
    const std::wstring why = L"goneを開けません：" + Wide(FailureText(ENOENT, Language::Japanese));
    EXPECT_EQ(answerer.Text(), why);
    EXPECT_EQ(StatusBarWhole(window.Control(kStatusBar), 2), why);
    EXPECT_EQ(window.Folder(), Path("sub"));
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), here);
}

TEST_F(Win32WindowTest, ManualBatchWithDeletionOnAndOff) {
    Sig("1234L27B.SIG", kOld);
    Sig("1234L27C.SIG", kRecent);
    MainWindow& window = Window();
    ASSERT_TRUE(window.ShowFolder(Dir()));
    Click(kNextButton);
    Click(kSelectAllButton);
    Click(kConvertButton);
    EXPECT_EQ(window.Page(), WizardPage::Progress);
    EXPECT_EQ(
        Lines(window.Control(kStatusList)),
        (std::vector<std::wstring>{
            kStamp + L"1234L27B.SIG", kArrow + L"補正後ファイル名  1234H18B.SIG",
            kArrow + L"入力SIG,RMGファイル削除(1234L27B.SIG)", kStamp + L"1234L27C.SIG",
            kArrow + L"ロールオーバー未検出", kStamp + L"結果：補正 1件、補正不要 1件、失敗 0件"}));
    EXPECT_EQ(Text(window.Control(kProgressMessage)), L"変換終了");
    EXPECT_EQ(Text(window.Control(kFileCounter)), L"ファイル数=2/2");
    EXPECT_TRUE(IsWindowEnabled(window.Control(kProgressBackButton)));
    EXPECT_FALSE(IsWindowEnabled(window.Control(kCancelButton)));
    EXPECT_TRUE(FileExists(Path("1234H18B.SIG")));
    EXPECT_FALSE(FileExists(Path("1234L27B.SIG")));

    // Back to the files, deletion off, again.
    Sig("1234L28D.SIG", kOld + 86400);
    Click(kProgressBackButton);
    EXPECT_EQ(window.Page(), WizardPage::FileSelection);
    // The list as the batch left the folder, nothing chosen.
    EXPECT_EQ(Lines(window.Control(kFileList)),
              (std::vector<std::wstring>{L"1234H18B.SIG", L"1234L27C.SIG"}));
    EXPECT_EQ(SendMessageW(window.Control(kFileList), LB_GETSELCOUNT, 0, 0), 0);
    ASSERT_TRUE(window.ShowFolder(Dir()));
    Click(kFilesBackButton);
    Click(kDeleteInputsCheck);
    Click(kNextButton);
    HWND files = window.Control(kFileList);
    SendMessageW(files, LB_SELITEMRANGE, FALSE, MAKELPARAM(0, 10));
    const LRESULT row = SendMessageW(files, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(L"1234L28D.SIG"));
    SendMessageW(files, LB_SETSEL, TRUE, row);
    Click(kConvertButton);
    const std::vector<std::wstring> lines = Lines(window.Control(kStatusList));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], kArrow + L"補正後ファイル名  1234H19D.SIG");
    EXPECT_EQ(lines.back(), kStamp + L"結果：補正 1件、補正不要 0件、失敗 0件");
    EXPECT_TRUE(FileExists(Path("1234L28D.SIG")));
    EXPECT_TRUE(FileExists(Path("1234H19D.SIG")));
}

// Names the ANSI code page cannot spell, listed and converted in a folder
// deeper than 260 characters: the window shows them and the batch stores
// each corrected file before it deletes the input.
TEST_F(Win32WindowTest, AnyNameInADeepFolder) {
    std::string folder = Dir();
    while (folder.size() < 300) {
        folder += "\\観測データ_2019年_受信機①②";
        ASSERT_TRUE(native::CreateFolder(folder)) << folder.size();
    }
    const std::vector<std::string> names = {"café.SIG", "𠮷野.SIG", "観測.SIG", "①②.SIG"};
    const Bytes record = Record(0x50, 23, {{2, kOld}});
    MainWindow& window = Window();
    std::vector<std::string> inputs;
    for (const std::string& name : names) {
        for (const std::string& where : {Dir(), folder}) {
            const native::Handle file = native::CreateForWriting(where + "\\" + name).value;
            ASSERT_NE(file, native::kNoFile) << name;
            ASSERT_EQ(native::WriteSome(file, record.data(), record.size()).value,
                      static_cast<std::int64_t>(record.size()));
            ASSERT_TRUE(native::CloseFile(file));
        }
        inputs.push_back(folder + "\\" + name);
    }
    ASSERT_TRUE(window.ShowFolder(Dir()));
    EXPECT_EQ(Lines(window.Control(kFileList)),
              (std::vector<std::wstring>{L"café.SIG", L"①②.SIG", L"観測.SIG", L"𠮷野.SIG"}));

    window.Core().ConvertFiles(inputs);
    const std::vector<std::wstring> lines = Lines(window.Control(kStatusList));
    ASSERT_EQ(lines.size(), 13u);  // four files, three lines each, and the result
    EXPECT_EQ(lines[0], kStamp + L"café.SIG");
    EXPECT_EQ(lines[1], kArrow + L"補正後ファイル名  caf_H18I.SIG");
    EXPECT_EQ(lines[2], kArrow + L"入力SIG,RMGファイル削除(café.SIG)");
    // "𠮷" is four bytes and code page 932 lacks it: the name's UTF-8 bytes
    // count, as on Linux, and the eighth is the dot.
    EXPECT_EQ(lines[4], kArrow + L"補正後ファイル名  𠮷H18..SIG");
    for (const char* output : {"caf_H18I.SIG", "𠮷H18..SIG", "観測H18G.SIG", "①②H18G.SIG"}) {
        native::EntryInfo info;
        EXPECT_EQ(native::Inspect(folder + "\\" + std::string(output), info).value,
                  native::Lookup::Found)
            << output;
    }
    for (const std::string& name : names) {
        native::EntryInfo info;
        EXPECT_EQ(native::Inspect(folder + "\\" + name, info).value, native::Lookup::Missing)
            << name;
    }
}

TEST_F(Win32WindowTest, CancelFinishesTheFileInConversionAndCloseWaitsForTheBatch) {
    MainWindow& window = Window();
    std::vector<std::string> inputs;
    for (int i = 0; i < 4; ++i) {
        Sig("1234L2" + std::to_string(i) + "B.SIG", kOld + i * 86400);
        inputs.push_back(Path("1234L2" + std::to_string(i) + "B.SIG"));
    }
    // Both arrive while the first file is converted: the cancel button is
    // enabled by then, and the close waits for the batch.
    PostMessageW(window.Control(kCancelButton), BM_CLICK, 0, 0);
    PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
    window.Core().ConvertFiles(inputs);
    EXPECT_EQ(Lines(window.Control(kStatusList)).size(),
              4u);  // one file, its two lines; the result
    EXPECT_EQ(LogMessages().back(), "変換キャンセル");
    EXPECT_EQ(Text(window.Control(kProgressMessage)), L"変換キャンセル");
    EXPECT_TRUE(FileExists(Path("1234L21B.SIG")));
    EXPECT_TRUE(IsWindow(window.Handle()));  // the close came during the batch
    RunUntilClosed();
    EXPECT_FALSE(IsWindow(window.Handle()));
}

TEST_F(Win32WindowTest, FailedFileShowsItsReasonAsHint) {
    MainWindow& window = Window();
    window.Core().ConvertFiles({Path("missing.SIG")});
    EXPECT_EQ(
        Lines(window.Control(kStatusList)),
        (std::vector<std::wstring>{kStamp + L"missing.SIG",
                                   kArrow + L"変換失敗（入力ファイルなし：ファイルがありません）",
                                   kStamp + L"結果：補正 0件、補正不要 0件、失敗 1件"}));
    EXPECT_EQ(window.StatusLineHint(0), L"入力ファイルなし：ファイルがありません");
    // The line chosen from the keyboard shows its hint in the status bar.
    HWND status = window.Control(kStatusList);
    SendMessageW(status, LB_SETCURSEL, 0, 0);
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(kStatusList, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(status));
    EXPECT_EQ(StatusBarWhole(window.Control(kStatusBar), 2),
              L"入力ファイルなし：ファイルがありません");

    // An English window gives the reason in English.
    MainWindow& english = Window({}, true, *Catalogue::ForLanguage("en"));
    english.Core().ConvertFiles({Path("missing.SIG")});
    EXPECT_EQ(Lines(english.Control(kStatusList))[1],
              kArrow + L"Conversion failed (input missing: no such file)");
    SendMessageW(english.Control(kStatusList), LB_SETCURSEL, 0, 0);
    SendMessageW(english.Handle(), WM_COMMAND, MAKEWPARAM(kStatusList, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(english.Control(kStatusList)));
    EXPECT_EQ(StatusBarWhole(english.Control(kStatusBar), 2), L"input missing: no such file");
}

TEST_F(Win32WindowTest, AutomaticModeEndToEnd) {
    std::filesystem::create_directory(Path("gps"));
    Sig("gps/1234L27B.SIG", kOld);
    Window({Path("gps"), "/NOTDEL"}, false);
    window_->Show(SW_SHOWNORMAL);
    RunUntilClosed();
    EXPECT_FALSE(IsWindow(window_->Handle()));
    window_.reset();  // the end is logged
    EXPECT_TRUE(FileExists(Path("gps/1234H18B.SIG")));
    EXPECT_TRUE(FileExists(Path("gps/1234L27B.SIG")));
    const std::vector<std::string> log = LogMessages();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[1], "変換自動");
    EXPECT_EQ(log[2], "入力引数:" + Path("gps"));
    EXPECT_EQ(log.back(), "終了");
}

TEST_F(Win32WindowTest, SecondCopyRaisesTheFirst) {
    const std::string program = Path("quenrix.exe");
    InstanceMutex first(program);
    ASSERT_TRUE(first.BecomeFirst());
    MainWindow& window = Window({}, false);
    window.Show(SW_SHOWMINIMIZED);
    window.PumpMessages();
    ASSERT_TRUE(IsIconic(window.Handle()));
    InstanceMutex second(program);
    EXPECT_FALSE(second.BecomeFirst());
    window.PumpMessages();
    EXPECT_FALSE(IsIconic(window.Handle()));
    // Another installation is another program.
    InstanceMutex elsewhere(Path("other/quenrix.exe"));
    EXPECT_TRUE(elsewhere.BecomeFirst());
}

// The text's extent in the control's own font.
SIZE Extent(HWND control, std::wstring text) {
    text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());  // accelerator marks
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size;
}

// At the display scaling of the Wine prefix it runs in (QUENRIX_EXPECT_DPI
// names it; 96 when unset) the window is today's size times DPI / 96, and
// in every language every caption fits its control in the control's own
// font.
TEST_F(Win32WindowTest, ScalesWithTheDisplayAndEveryCaptionFits) {
    const char* expected = std::getenv("QUENRIX_EXPECT_DPI");
    const int dpi = expected != nullptr ? std::atoi(expected) : 96;
    HDC screen = GetDC(nullptr);
    ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSY), dpi)
        << "the display's scaling is not the one named";
    ReleaseDC(nullptr, screen);
    for (const Catalogue* words : Catalogue::All()) {
        SCOPED_TRACE(words->Language());
        CaptionsFit(dpi, *words);
    }
}

void Win32WindowTest::CaptionsFit(int dpi, const Catalogue& words) {
    MainWindow& window = Window({}, true, words);
    auto scaled = [dpi](int units) { return MulDiv(units, dpi, 96); };
    RECT client{};
    GetClientRect(window.Handle(), &client);
    EXPECT_NEAR(client.right, scaled(631), 2);
    EXPECT_NEAR(client.bottom, scaled(400), 2);

    // The texts each control shows at some time.
    window.SetFileCounter(words.Format("ファイル数=%s/%s", {"10000", "10000"}));
    struct Shown {
        int id;
        std::vector<std::wstring> texts;
        int margin;  // room the control keeps for itself, in 96-DPI units
    };
    const int box = 13 + 6;  // a check box's square and the gap after it
    const std::vector<Shown> controls = {
        {kDeleteInputsCheck, {Text(window.Control(kDeleteInputsCheck))}, box},
        {kNextButton, {Text(window.Control(kNextButton))}, 8},
        {kOptionsCloseButton, {Text(window.Control(kOptionsCloseButton))}, 8},
        {kSelectFilesLabel, {Text(window.Control(kSelectFilesLabel))}, 0},
        {kSelectAllButton, {Text(window.Control(kSelectAllButton))}, 8},
        {kSelectNoneButton, {Text(window.Control(kSelectNoneButton))}, 8},
        {kConvertButton, {Text(window.Control(kConvertButton))}, 8},
        {kFilesBackButton, {Text(window.Control(kFilesBackButton))}, 8},
        {kFilesCloseButton, {Text(window.Control(kFilesCloseButton))}, 8},
        {kCancelButton, {Text(window.Control(kCancelButton))}, 8},
        {kProgressBackButton, {Text(window.Control(kProgressBackButton))}, 8},
        {kProgressCloseButton, {Text(window.Control(kProgressCloseButton))}, 8},
        {kProgressMessage, {Text(window.Control(kProgressMessage))}, 0},
        {kFileCounter, {Text(window.Control(kFileCounter))}, 0},
        {kFileTypeSelector, {}, 17 + 4},  // the drop button
    };
    for (const Shown& shown : controls) {
        HWND control = window.Control(shown.id);
        std::vector<std::wstring> texts = shown.texts;
        for (LRESULT i = 0;
             shown.id == kFileTypeSelector && i < SendMessageW(control, CB_GETCOUNT, 0, 0); ++i) {
            std::wstring entry(
                static_cast<std::size_t>(SendMessageW(control, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
            SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
            entry.pop_back();
            texts.push_back(entry);
        }
        RECT area{};
        GetClientRect(control, &area);
        if (shown.id == kFileTypeSelector)
            area.bottom = static_cast<LONG>(
                SendMessageW(control, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
        for (const std::wstring& text : texts) {
            const SIZE size = Extent(control, text);
            EXPECT_LE(size.cx + scaled(shown.margin), area.right)
                << "control " << shown.id << " at " << dpi << " DPI";
            EXPECT_LE(size.cy, area.bottom) << "control " << shown.id << " at " << dpi << " DPI";
        }
    }
    // The status bar's parts, with each state the second one shows.
    HWND bar = window.Control(kStatusBar);
    for (const auto& [part, text] : {std::pair{0, Wide(words.Text(layout::kStatusCaption))},
                                     std::pair{1, Wide(words.Text("削除しない"))},
                                     std::pair{1, Wide(words.Text("削除する"))}}) {
        RECT area{};
        SendMessageW(bar, SB_GETRECT, part, reinterpret_cast<LPARAM>(&area));
        const SIZE size = Extent(bar, text);
        EXPECT_LE(size.cx + scaled(4), area.right - area.left)
            << "status bar part " << part << " at " << dpi << " DPI";
        EXPECT_LE(size.cy, area.bottom - area.top) << "status bar part " << part;
    }
    // A status line in the status list's row.
    HWND status = window.Control(kStatusList);
    EXPECT_GE(SendMessageW(status, LB_GETITEMHEIGHT, 0, 0),
              Extent(status, kStamp + L"観測.SIG").cy);
}

// A Japanese Windows (the suite's Wine) gets the Japanese window, unless
// QUENRIX_LANGUAGE names another language.
TEST_F(Win32WindowTest, TheWindowSpeaksTheDisplayLanguage) {
    ASSERT_EQ(std::getenv("QUENRIX_LANGUAGE"), nullptr);
    EXPECT_EQ(WindowCatalogue().Language(), "ja");
    _putenv_s("QUENRIX_LANGUAGE", "en");
    EXPECT_EQ(WindowCatalogue().Language(), "en");
    _putenv_s("QUENRIX_LANGUAGE", "");
}

TEST_F(Win32WindowTest, ResizeKeepsTheButtonsRight) {
    MainWindow& window = Window();
    RECT frame{};
    GetWindowRect(window.Handle(), &frame);
    SetWindowPos(window.Handle(), nullptr, 0, 0, frame.right - frame.left + 269,
                 frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
    RECT client{};
    GetClientRect(window.Handle(), &client);
    ASSERT_EQ(client.right, 900);
    RECT next{};
    GetWindowRect(window.Control(kNextButton), &next);
    MapWindowPoints(nullptr, window.Handle(), reinterpret_cast<POINT*>(&next), 2);
    EXPECT_EQ(next.left, 900 - 235 + 120);
    RECT convert{};
    GetWindowRect(window.Control(kConvertButton), &convert);
    MapWindowPoints(nullptr, window.Handle(), reinterpret_cast<POINT*>(&convert), 2);
    EXPECT_EQ(convert.right, 900 - 16);
}

// Dragged to a screen of 150 %: Windows suggests a rectangle and the
// window takes it, its fonts and every place at the new DPI.
TEST_F(Win32WindowTest, MovedToAScreenOfAnotherScaling) {
    MainWindow& window = Window();
    RECT frame{};
    GetWindowRect(window.Handle(), &frame);
    RECT client{};
    GetClientRect(window.Handle(), &client);
    const int dpi = 144;  // from the suite's 96
    RECT suggested{frame.left, frame.top,
                   frame.left + (frame.right - frame.left) + MulDiv(client.right, 1, 2),
                   frame.top + (frame.bottom - frame.top) + MulDiv(client.bottom, 1, 2)};
    SendMessageW(window.Handle(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    GetWindowRect(window.Handle(), &now);
    EXPECT_EQ(now.right - now.left, suggested.right - suggested.left);
    RECT next{};
    GetWindowRect(window.Control(kNextButton), &next);
    EXPECT_NEAR(next.right - next.left, MulDiv(99, dpi, 96), 1);
    EXPECT_NEAR(next.bottom - next.top, MulDiv(30, dpi, 96), 1);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window.Control(kNextButton), WM_GETFONT, 0, 0)),
               sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -MulDiv(9, dpi, 72));
}

}  // namespace
}  // namespace quenrix::test
