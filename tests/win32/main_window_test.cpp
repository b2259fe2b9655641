// The Windows window driven as a user would, with messages: clicks,
// selections, keys, closing. Runs under Wine on a virtual display.
#include "app/win32/main_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "app/win32/instance_mutex.h"
#include "engine/engine_state.h"
#include "support/file_ops.h"
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

// Answers the next message box titled `title` with OK, keeping its text.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(const std::wstring& title) {
        thread_ = std::thread([this, title] {
            for (int i = 0; i < 500 && !done_; ++i) {
                if (HWND box = FindWindowW(L"#32770", title.c_str())) {
                    wchar_t text[256] = L"";
                    GetDlgItemTextW(box, 0xFFFF, text, 256);  // the box's message
                    text_ = text;
                    PostMessageW(box, WM_COMMAND, IDOK, 0);
                    return;
                }
                Sleep(10);
            }
        });
    }
    ~BoxAnswerer() {
        done_ = true;
        thread_.join();
    }
    std::wstring Text() {
        done_ = true;
        thread_.join();
        thread_ = std::thread([] {});
        return text_;
    }

  private:
    std::atomic<bool> done_{false};
    std::wstring text_;
    std::thread thread_;
};

class Win32WindowTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        StatusIndent = 0;
    }
    void TearDown() override {
        window_.reset();
        TempDirTest::TearDown();
    }
    MainWindow& Window(std::vector<std::string> arguments = {}, bool show = true) {
        window_ = std::make_unique<MainWindow>(std::move(arguments));
        EXPECT_TRUE(window_->Create());
        Engine().LogFilePath = LogPath();
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

    std::unique_ptr<MainWindow> window_;
};

TEST_F(Win32WindowTest, FirstShowCaptionsHintsAndStatusBar) {
    MainWindow& window = Window();
    EXPECT_EQ(Text(window.Handle()), L"Quenrix Ver.1.0");
    EXPECT_EQ(window.Page(), WizardPage::Options);
    EXPECT_EQ(Text(window.Control(kNextButton)), L"次へ(&N)");
    EXPECT_EQ(Text(window.Control(kOptionsCloseButton)), L"終了(&X)");
    EXPECT_EQ(Text(window.Control(kDeleteInputsCheck)), L"変換成功後、入力SIG、RMGファイルを削除");
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
    EXPECT_FALSE(window.Core().deleteInputs);
    EXPECT_EQ(StatusBarText(window.Control(kStatusBar), 1), L"削除しない");
    Click(kDeleteInputsCheck);
    EXPECT_TRUE(window.Core().deleteInputs);

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

TEST_F(Win32WindowTest, FolderListAndFileTypes) {
    std::filesystem::create_directory(Path("sub"));
    Sig("sub/b.SIG", kOld);
    Sig("sub/A.sig", kOld);
    WriteBytes(Path("sub/c.RMG"), Bytes{1});
    MainWindow& window = Window();
    const std::vector<std::wstring> folders = Lines(window.Control(kFolderList));
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.back().substr(folders.back().find_first_not_of(L' ')), L"sub");
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
}

TEST_F(Win32WindowTest, ManualBatchWithDeletionOnAndOff) {
    Sig("1234L27B.SIG", kOld);
    Sig("1234L27C.SIG", kRecent);
    MainWindow& window = Window();
    window.ShowFolder(Dir());
    Click(kNextButton);
    Click(kSelectAllButton);
    Click(kConvertButton);
    EXPECT_EQ(window.Page(), WizardPage::Progress);
    EXPECT_EQ(Lines(window.Control(kStatusList)),
              (std::vector<std::wstring>{
                  kStamp + L"1234L27B.SIG", kArrow + L"補正後ファイル名  1234H18B.SIG",
                  kArrow + L"入力SIG,RMGファイル削除(1234L27B.SIG)", kStamp + L"1234L27C.SIG",
                  kArrow + L"ロールオーバー未検出"}));
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
    window.ShowFolder(Dir());
    Click(kFilesBackButton);
    Click(kDeleteInputsCheck);
    Click(kNextButton);
    HWND files = window.Control(kFileList);
    SendMessageW(files, LB_SELITEMRANGE, FALSE, MAKELPARAM(0, 10));
    const LRESULT row = SendMessageW(files, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(L"1234L28D.SIG"));
    SendMessageW(files, LB_SETSEL, TRUE, row);
    Click(kConvertButton);
    EXPECT_EQ(Lines(window.Control(kStatusList)).back(),
              kArrow + L"補正後ファイル名  1234H19D.SIG");
    EXPECT_TRUE(FileExists(Path("1234L28D.SIG")));
    EXPECT_TRUE(FileExists(Path("1234H19D.SIG")));
}

TEST_F(Win32WindowTest, CancelFinishesTheFileInConversionAndCloseWaitsForTheBatch) {
    MainWindow& window = Window();
    for (int i = 0; i < 4; ++i) {
        Sig("1234L2" + std::to_string(i) + "B.SIG", kOld + i * 86400);
        window.Core().inputs.push_back(Path("1234L2" + std::to_string(i) + "B.SIG"));
    }
    // Both arrive while the first file is converted: the cancel button is
    // enabled by then, and the close waits for the batch.
    PostMessageW(window.Control(kCancelButton), BM_CLICK, 0, 0);
    PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
    window.Core().ConvertFiles();
    EXPECT_EQ(Lines(window.Control(kStatusList)).size(), 3u);  // one file, its two lines
    EXPECT_EQ(LogMessages().back(), "変換キャンセル");
    EXPECT_EQ(Text(window.Control(kProgressMessage)), L"変換終了");
    EXPECT_TRUE(FileExists(Path("1234L21B.SIG")));
    EXPECT_TRUE(IsWindow(window.Handle()));  // the close came during the batch
    RunUntilClosed();
    EXPECT_FALSE(IsWindow(window.Handle()));
}

TEST_F(Win32WindowTest, FailedFileShowsItsReasonAsHint) {
    MainWindow& window = Window();
    window.Core().inputs = {Path("missing.SIG")};
    window.Core().ConvertFiles();
    EXPECT_EQ(Lines(window.Control(kStatusList)),
              std::vector<std::wstring>{kStamp + L"missing.SIG"});
    EXPECT_EQ(window.StatusLineHint(0), L"ERROR：入力ファイルなし");
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

}  // namespace
}  // namespace quenrix::test
