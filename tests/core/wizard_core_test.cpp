// The wizard without a window: a view that records what it is asked to
// show, so the pages, the batch and the start-up are checked the same on
// Linux and Windows.
#include "app/core/wizard_core.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <stdexcept>

#include "app/core/file_browser.h"
#include "app/core/quiet_view.h"
#include "engine/batch_actions.h"
#include "engine/conversion.h"
#include "support/failure.h"
#include "support/file_ops.h"
#include "support/paths.h"
#include "tests/helpers/forwarding_layer.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

// Rolled over at the test's clock (2013-10-01 10:00): becomes 2013-08-18 14:10.
const std::uint32_t kOld = Gps(1994, 1, 2, 14, 10);
const std::uint32_t kRecent = Gps(2005, 5, 5);
const std::string kStamp = "2013/10/01 10:00:00 - ";
const std::string kArrow = std::string(22, ' ') + "             -> ";

class RecordingView : public WizardView {
  public:
    void SetCaption(const std::string& text) override { caption = text; }
    void ShowPage(WizardPage shown) override { page = shown; }
    void ShowDeleteInputs(bool checked, const std::string& text) override {
        deleteChecked = checked;
        deleteText = text;
    }
    void SetProgressMessage(const std::string& text, MessageColour shade) override {
        if (!text.empty())
            message = text;
        if (shade != MessageColour::Keep)
            colour = shade;
    }
    void SetFileCounter(const std::string& text) override {
        counter = text;
        ++counterCalls;
    }
    void SetProgress(int at, int of) override {
        position = at;
        maximum = of;
    }
    void AddStatusLines(const std::vector<std::string>& added) override {
        lines.insert(lines.end(), added.begin(), added.end());
        ++lineCalls;
    }
    void SetStatusLineHint(int row, const std::string& hint) override {
        hints.resize(lines.size());
        hints.at(static_cast<std::size_t>(row)) = hint;
    }
    void ShowBatchRunning(bool running) override { batchRunning = running; }
    void PumpMessages() override {
        ++pumps;
        if (onPump)
            onPump();
    }
    void Pause(int milliseconds) override { paused += milliseconds; }
    void ShowWarning(const std::string& title, const std::string& text) override {
        warnings.push_back(title + ": " + text);
    }
    void ShowNotice(const std::string& text) override { notices.push_back(text); }
    void CloseWindow() override { ++closes; }
    std::vector<std::string> notices;

    std::string caption;
    WizardPage page = WizardPage::Options;
    bool deleteChecked = false;
    std::string deleteText;
    std::string message;
    MessageColour colour = MessageColour::Keep;
    std::string counter;
    int position = -1;
    int maximum = -1;
    std::vector<std::string> lines;
    std::vector<std::string> hints;
    int lineCalls = 0;
    int counterCalls = 0;
    bool batchRunning = false;
    int pumps = 0;
    std::function<void()> onPump;
    int paused = 0;
    std::vector<std::string> warnings;
    int closes = 0;
};

class WizardCoreTest : public TempDirTest {
  protected:
    WizardCore& Core(std::vector<std::string> arguments = {},
                     const Catalogue& words = Catalogue::Japanese()) {
        core_ = std::make_unique<WizardCore>(view, words, std::move(arguments), Dir(),
                                             Native("/opt/quenrix/quenrix.exe"));
        // The log is named after the program, in the folder of the start.
        EXPECT_EQ(core_->LogFile(), Path("quenrix.log"));
        core_->SetLogFile(LogPath());
        return *core_;
    }
    void Sig(const std::string& name, std::uint32_t t) {
        WriteBytes(Path(name), Record(0x50, 23, {{2, t}}));
    }
    void TearDown() override {
        core_.reset();
        TempDirTest::TearDown();
    }

    RecordingView view;
    std::unique_ptr<WizardCore> core_;
};

TEST_F(WizardCoreTest, CreationFirstShowAndPageMoves) {
    WizardCore& core = Core();
    EXPECT_TRUE(view.deleteChecked);
    EXPECT_EQ(view.deleteText, "削除する");
    core.FirstShown();
    EXPECT_EQ(view.caption, "Quenrix Ver.1.0");
    EXPECT_EQ(view.page, WizardPage::Options);
    core.GoToFileSelection();
    EXPECT_EQ(view.page, WizardPage::FileSelection);
    core.GoToOptions();
    EXPECT_EQ(view.page, WizardPage::Options);
    core.SetDeleteInputs(false);
    EXPECT_FALSE(core.DeleteInputs());
    EXPECT_EQ(view.deleteText, "削除しない");
    core.Start();  // manual: nothing converted, the window stays
    EXPECT_EQ(view.closes, 0);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Quenrix Ver.1.0", "変換手動"}));
    EXPECT_TRUE(view.notices.empty());
    // A log that cannot be written is said once, not lost in silence.
    core.SetLogFile(Path("missing/quenrix.log"));
    core.Start();
    EXPECT_EQ(view.notices,
              std::vector<std::string>{"cannot write the log " + Path("missing/quenrix.log") +
                                       ": no such file or folder"});
}

TEST_F(WizardCoreTest, ConvertWithNothingSelectedWarns) {
    WizardCore& core = Core();
    core.ConvertSelected(Dir(), {});
    EXPECT_EQ(view.warnings, std::vector<std::string>{"警告: SIG、RMGファイルを選択して下さい"});
    EXPECT_TRUE(view.lines.empty());
}

TEST_F(WizardCoreTest, BatchLinesProgressAndClosingSteps) {
    Sig("1234L27B.SIG", kOld);
    Sig("1234L27C.SIG", kRecent);
    WizardCore& core = Core();
    bool runningSeen = false;
    view.onPump = [&] {
        if (view.counter == "ファイル数=1/2")
            runningSeen = view.batchRunning && view.message == "変換中・・・" && view.maximum == 2;
    };
    core.ConvertSelected(Dir(), {"1234L27B.SIG", "1234L27C.SIG"});
    EXPECT_TRUE(runningSeen);
    EXPECT_EQ(view.lines, (std::vector<std::string>{
                              kStamp + "1234L27B.SIG",
                              kArrow + "補正後ファイル名  1234H18B.SIG",
                              kArrow + "入力SIG,RMGファイル削除(1234L27B.SIG)",
                              kStamp + "1234L27C.SIG",
                              kArrow + "ロールオーバー未検出",
                              kStamp + "結果：補正 1件、補正不要 1件、失敗 0件",
                          }));
    EXPECT_EQ(view.page, WizardPage::Progress);
    EXPECT_EQ(view.message, "変換終了");
    EXPECT_EQ(view.colour, MessageColour::Black);
    EXPECT_EQ(view.counter, "ファイル数=2/2");
    EXPECT_EQ(view.position, 0);
    EXPECT_EQ(view.maximum, 0);
    EXPECT_FALSE(view.batchRunning);
    EXPECT_TRUE(FileExists(Path("1234H18B.SIG")));
    EXPECT_FALSE(FileExists(Path("1234L27B.SIG")));
    EXPECT_EQ(LogMessages().front(), "入力ファイル設定：入力ファイル削除する");
}

// A window in English says everything of its own in English, the reasons
// of a failed file included, and writes the same Japanese log as a window
// in Japanese: other programs read the log.
TEST_F(WizardCoreTest, AnEnglishWindowWritesTheJapaneseLog) {
    std::vector<std::vector<std::string>> logs;
    for (const Catalogue* words : {&Catalogue::Japanese(), Catalogue::ForLanguage("en")}) {
        Sig("1234L27B.SIG", kOld);
        Sig("1234L27C.SIG", kRecent);
        Sig("1234L27D.SIG", kOld + 86400);
        std::filesystem::create_directory(Path("1234H19D.SIG"));  // its output's name
        WriteBytes(Path("1234L26Z.SIG"), Record(0x50, 23, {{2, 440899200u + 5}}));
        WriteBytes(Path("notes.SIG"), Bytes{0x50, 1});
        WriteBytes(Path("notes.txt"), Bytes{1});
        view = {};
        WizardCore& core = Core({}, *words);
        core.ConvertSelected(Dir(), {});
        core.ConvertSelected(Dir(), {"1234L27B.SIG", "1234L27C.SIG", "1234L27D.SIG", "1234L26Z.SIG",
                                     "notes.SIG", "notes.txt", "missing.SIG"});
        core.RequestCancel();
        core_.reset();
        logs.push_back(LogMessages());
        std::filesystem::remove(LogPath());
        std::filesystem::remove(Path("1234H18B.SIG"));
        std::filesystem::remove(Path("1234H19D.SIG"));
    }
    EXPECT_EQ(logs[0], logs[1]);
    std::vector<std::string> shown = view.lines;
    shown.insert(shown.end(), view.hints.begin(), view.hints.end());
    shown.insert(shown.end(), view.warnings.begin(), view.warnings.end());
    shown.insert(shown.end(), {view.message, view.counter, view.deleteText});
    ASSERT_EQ(view.lines.size(), 16u);
    EXPECT_EQ(view.lines[1], kArrow + "Corrected file  1234H18B.SIG");
    for (const std::string& text : shown) {
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x80;
        })) << text;
    }
}

// The progress page follows a batch at a person's pace, not once per
// file: the lines come in few calls, yet all of them and in order.
TEST_F(WizardCoreTest, ABatchIsShownAtMostThirtyTimesASecond) {
    std::vector<std::string> inputs;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "12" + std::to_string(10 + i) + "L27B.SIG";
        Sig(name, kOld + static_cast<std::uint32_t>(i) * 86400);
        inputs.push_back(Path(name));
    }
    WizardCore& core = Core();
    const auto start = std::chrono::steady_clock::now();
    core.ConvertFiles(inputs);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    ASSERT_EQ(view.lines.size(), 3u * inputs.size() + 1);  // and the batch's result
    for (std::size_t i = 0; i < inputs.size(); ++i)
        EXPECT_EQ(view.lines[3 * i], kStamp + FileNamePart(inputs[i]));
    EXPECT_EQ(view.counter, "ファイル数=40/40");
    // One picture at the start, one at the end, and one for each 1/30 s.
    const long pictures = 2 + took.count() / 33;
    EXPECT_LE(view.lineCalls, pictures);
    EXPECT_LE(view.counterCalls, pictures);
}

// A disk with room for three work files: a group holds more at once, so
// the group is stored (its inputs going) before a file that found no room
// is tried again. Every file the command line would convert one at a time
// is converted.
TEST_F(WizardCoreTest, AFullDiskFailsNoFileThatFitsAlone) {
    class RoomForThree final : public ForwardingLayer {
      public:
        explicit RoomForThree(std::string stem)
            : ForwardingLayer(native::CurrentLayer()), stem_(std::move(stem)) {}
        native::Handle OpenAt(native::Handle folder, const std::string& name, native::OpenAs how,
                              unsigned permissions) override {
            if (how == native::OpenAs::NewFile && Work(name) && files_.size() >= 3) {
                errno = ENOSPC;
                return native::kNoFile;
            }
            const native::Handle file = next_.OpenAt(folder, name, how, permissions);
            if (file != native::kNoFile && how == native::OpenAs::NewFile && Work(name))
                files_.insert(name);
            return file;
        }
        bool RenameAt(native::Handle fromFolder, const std::string& from, native::Handle toFolder,
                      const std::string& to, bool replace) override {
            const bool renamed = next_.RenameAt(fromFolder, from, toFolder, to, replace);
            if (renamed) {
                files_.erase(from);
                if (Work(to))
                    files_.insert(to);
            }
            return renamed;
        }
        bool RemoveAt(native::Handle folder, const std::string& name,
                      const native::EntryInfo& expected) override {
            files_.erase(name);
            return next_.RemoveAt(folder, name, expected);
        }

      private:
        bool Work(const std::string& name) const { return name.rfind(stem_, 0) == 0; }
        std::string stem_;
        std::set<std::string> files_;
    };
    WizardCore& core = Core();
    std::vector<std::string> inputs;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "1234L2" + std::to_string(i) + "B.SIG";
        Sig(name, kOld + static_cast<std::uint32_t>(i) * 86400);
        inputs.push_back(Path(name));
    }
    const std::string workFile = core.WorkFile();
    RoomForThree disk(workFile.substr(0, workFile.size() - ExtensionPart(workFile).size()));
    {
        const LayerInPlace inPlace(disk);
        core.ConvertFiles(inputs);
    }
    EXPECT_EQ(view.lines.back(), kStamp + "結果：補正 10件、補正不要 0件、失敗 0件");
    for (const std::string& input : inputs) EXPECT_FALSE(FileExists(input)) << input;
}

#ifndef _WIN32  // permission bits
// The window's work files, and the inputs retired under their names to be
// written over by the next group (their inode serves again), are nobody
// else's to read, whatever the inputs' own bits.
TEST_F(WizardCoreTest, WorkFilesAndSparesAreTheUsersAlone) {
    WizardCore& core = Core();
    std::vector<std::string> inputs;
    for (std::uint32_t i = 0; i < kGroupFiles + 6; ++i) {
        const std::string name = "12" + std::to_string(10 + i) + "L27B.SIG";
        Sig(name, kOld);
        std::filesystem::permissions(Path(name), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_write |
                                                     std::filesystem::perms::group_read |
                                                     std::filesystem::perms::others_read);
        inputs.push_back(Path(name));
    }
    std::size_t seen = 0, open = 0;
    view.onPump = [&] {
        for (const auto& entry : std::filesystem::directory_iterator(Dir())) {
            if (entry.path().filename().string().rfind("$$$SRG", 0) != 0)
                continue;
            ++seen;
            const auto bits = entry.status().permissions() & std::filesystem::perms::all;
            if ((bits & (std::filesystem::perms::group_all | std::filesystem::perms::others_all)) !=
                std::filesystem::perms::none)
                ++open;
        }
    };
    core.ConvertFiles(inputs);
    EXPECT_GT(seen, kGroupFiles) << "no spare was ever seen";
    EXPECT_EQ(open, 0u) << "work files or spares others could read";
    EXPECT_EQ(view.lines.back(), kStamp + "結果：補正 70件、補正不要 0件、失敗 0件");
}
#endif

TEST_F(WizardCoreTest, CancelFinishesTheFileInConversion) {
    WizardCore& core = Core();
    std::vector<std::string> inputs;
    for (int i = 0; i < 4; ++i) {
        Sig("1234L2" + std::to_string(i) + "B.SIG", kOld + i * 86400);
        inputs.push_back(Path("1234L2" + std::to_string(i) + "B.SIG"));
    }
    // Cancelled once the second file is converting (small files wait in
    // their group, each in its own work file, until it is stored): the
    // files converted are finished, the others left.
    view.onPump = [&] {
        if (FileExists(GroupWorkFile(core.WorkFile(), 1)) && !core.CancelRequested()) {
            core.RequestCancel();
            EXPECT_EQ(view.message, "変換を中止しています。しばらくお待ちください");
            EXPECT_FALSE(core.MayClose());  // the batch runs on; the window closes after it
        }
    };
    core.ConvertFiles(inputs);
    EXPECT_EQ(view.lines.size(), 7u);
    EXPECT_EQ(view.lines.back(), kStamp + "結果：補正 2件、補正不要 0件、失敗 0件、未変換 2件");
    EXPECT_EQ(view.message, "変換キャンセル");
    EXPECT_EQ(view.colour, MessageColour::Red);
    EXPECT_EQ(LogMessages().back(), "変換キャンセル");
    EXPECT_TRUE(FileExists(Path("1234L22B.SIG")));
    EXPECT_EQ(view.closes, 1);
    EXPECT_TRUE(core.MayClose());
}

// A large file's read-back runs beside the next file's conversion, yet
// the list, the log and the inputs are as if one file went after the
// other: the file read back is finished first, and its input stays when
// its read-back fails.
TEST_F(WizardCoreTest, ALargeFileReadBackBesideTheNextConversionKeepsTheOrder) {
    auto large = [&](const std::string& name, std::uint32_t t) {
        Bytes bytes;
        const Bytes record = Record(0x50, 23, {{2, t}});
        while (bytes.size() <= kGroupFileBytes)
            bytes.insert(bytes.end(), record.begin(), record.end());
        WriteBytes(Path(name), bytes);
    };
    large("1234L27B.SIG", kOld);
    large("1234L27C.SIG", kOld + 86400);
    Sig("1234L27D.SIG", kOld + 2 * 86400);
    large("1234L27E.SIG", kRecent);
    class FirstNotReadBack final : public ForwardingLayer {
      public:
        explicit FirstNotReadBack(std::string path)
            : ForwardingLayer(native::CurrentLayer()), path_(std::move(path)) {}
        native::Handle OpenAt(native::Handle folder, const std::string& name, native::OpenAs how,
                              unsigned permissions) override {
            if (how != native::OpenAs::ReadingFromDisk || name != FileNamePart(path_))
                return next_.OpenAt(folder, name, how, permissions);
            errno = EIO;
            return native::kNoFile;
        }

      private:
        std::string path_;
    } firstNotReadBack(Path("1234H18B.SIG"));
    const LayerInPlace inPlace(firstNotReadBack);
    WizardCore& core = Core();
    core.ConvertSelected(Dir(), {"1234L27B.SIG", "1234L27C.SIG", "1234L27D.SIG", "1234L27E.SIG"});
    EXPECT_EQ(view.lines, (std::vector<std::string>{
                              kStamp + "1234L27B.SIG",
                              kArrow + "変換失敗（1234H18B.SIG を読み返せません：" +
                                  FailureText(EIO, Language::Japanese) + "）",
                              kStamp + "1234L27C.SIG",
                              kArrow + "補正後ファイル名  1234H19C.SIG",
                              kArrow + "入力SIG,RMGファイル削除(1234L27C.SIG)",
                              kStamp + "1234L27D.SIG",
                              kArrow + "補正後ファイル名  1234H20D.SIG",
                              kArrow + "入力SIG,RMGファイル削除(1234L27D.SIG)",
                              kStamp + "1234L27E.SIG",
                              kArrow + "ロールオーバー未検出",
                              kStamp + "結果：補正 2件、補正不要 1件、失敗 1件",
                          }));
    EXPECT_TRUE(FileExists(Path("1234L27B.SIG")));
    EXPECT_FALSE(FileExists(Path("1234L27C.SIG")));
    // Each file's entries together, in the batch's order.
    std::vector<std::string> files;
    for (const std::string& line : LogMessages())
        if (line.rfind(Dir(), 0) == 0 || line.find("ERROR") != std::string::npos ||
            line.find(" > 削除") != std::string::npos)
            files.push_back(line);
    EXPECT_EQ(files,
              (std::vector<std::string>{Path("1234L27B.SIG"), " > ERROR：補正後ファイル出力失敗",
                                        Path("1234L27C.SIG"), " > 削除：" + Path("1234L27C.SIG"),
                                        Path("1234L27D.SIG"), " > 削除：" + Path("1234L27D.SIG"),
                                        Path("1234L27E.SIG")}));
}

TEST_F(WizardCoreTest, FailedFileGetsItsReasonAsHint) {
    WizardCore& core = Core();
    WriteBytes(Path("empty.SIG"), {});
    core.ConvertFiles({Path("missing.SIG"), Path("empty.SIG")});
    // Each failed file's line says that it failed and why (the receivers'
    // software showed none for a missing file, and "no rollover found" for
    // one without records); its hint is the reason.
    const std::string missing = "入力ファイルなし：ファイルがありません";
    const std::string hint = "GPSレコードなし：チェック値の正しい完全なレコードが一つもありません";
    ASSERT_EQ(view.lines, (std::vector<std::string>{
                              kStamp + "missing.SIG", kArrow + "変換失敗（" + missing + "）",
                              kStamp + "empty.SIG", kArrow + "変換失敗（" + hint + "）",
                              kStamp + "結果：補正 0件、補正不要 0件、失敗 2件"}));
    EXPECT_EQ(view.hints, (std::vector<std::string>{missing, missing, hint, hint, ""}));

    // A corrected file that leaves out a damaged record is deleted, as the
    // receivers' software did, and its lines say what was not carried over.
    WriteBytes(Path("1234L27B.SIG"),
               Concat({Record(0x50, 23, {{2, kOld}}), Record(0x50, 23, {{2, kOld}}, false)}));
    core.ConvertFiles({Path("1234L27B.SIG")});
    EXPECT_FALSE(FileExists(Path("1234L27B.SIG")));
    ASSERT_EQ(view.lines.size(), 9u);  // the file, its output, its deletion, the result
    ASSERT_GE(view.hints.size(), 8u);
    EXPECT_EQ(
        view.hints[5],
        "23 バイトは引き継がれません（チェック値不正のレコード 1 件、途中で切れたレコード 0 件）");
    EXPECT_EQ(view.hints[7], view.hints[5]);
}

TEST_F(WizardCoreTest, AutomaticModeConvertsLogsPausesAndCloses) {
    std::filesystem::create_directory(Path("gps"));
    Sig("gps/1234L27B.SIG", kOld);
    WizardCore& core = Core({Path("gps"), "/notdel", "/DEBUG"});
    core.FirstShown();
    core.Start();
    EXPECT_TRUE(core.AutomaticMode());
    EXPECT_FALSE(core.DeleteInputs());
    EXPECT_EQ(view.deleteText, "削除しない");
    EXPECT_EQ(view.paused, kAutomaticCloseDelayMs);
    EXPECT_EQ(view.closes, 1);
    EXPECT_TRUE(FileExists(Path("gps/1234H18B.SIG")));
    EXPECT_TRUE(FileExists(Path("gps/1234L27B.SIG")));
    const std::vector<std::string> logged = LogMessages();
    ASSERT_GE(logged.size(), 5u);
    EXPECT_EQ(logged[0], "Quenrix Ver.1.0");
    EXPECT_EQ(logged[1], "変換自動");
    EXPECT_EQ(logged[2], "入力引数:" + Path("gps"));
    EXPECT_EQ(logged[3], "オプション引数:/NOTDEL 入力ファイル削除しない");
    EXPECT_EQ(logged[4], "入力ファイル設定：入力ファイル削除しない");

    // Nothing to convert: logged, no pause, closed all the same.
    core_.reset();
    view = RecordingView{};
    Core({Path("empty/*.SIG"), "/NLOG"}).Start();
    EXPECT_EQ(view.paused, 0);
    EXPECT_EQ(view.closes, 1);
}

// Whatever escapes a batch (here the system's calls throwing, as an
// allocation or a thread can fail on a loaded machine), automatic mode
// logs it and closes: a script or cron job is never left waiting on an
// open window.
TEST_F(WizardCoreTest, AutomaticModeClosesWhateverEscapesTheBatch) {
    class Throwing final : public ForwardingLayer {
      public:
        Throwing() : ForwardingLayer(native::CurrentLayer()) {}
        native::Handle OpenFolder(const std::string& path) override {
            if (path.find("gps") == std::string::npos)
                return next_.OpenFolder(path);
            throw std::runtime_error("no memory left");
        }
    } throwing;
    std::filesystem::create_directory(Path("gps"));
    Sig("gps/1234L27B.SIG", kOld);
    WizardCore& core = Core({Path("gps")});
    {
        const LayerInPlace inPlace(throwing);
        core.Start();
    }
    EXPECT_EQ(view.closes, 1);
    const std::vector<std::string> logged = LogMessages();
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.back(), "ERROR：システム異常");
    EXPECT_TRUE(FileExists(Path("gps/1234L27B.SIG")));
}

// Copies of several users in one shared folder never share a work file.
TEST_F(WizardCoreTest, EachCopyHasAWorkFileOfItsOwn) {
    QuietView other;
    const WizardCore another(other, Catalogue::Japanese(), {}, Dir(), "/opt/quenrix/quenrix");
    EXPECT_NE(Core().WorkFile(), another.WorkFile());
    EXPECT_EQ(Core().WorkFile().rfind("$$$SRG-", 0), 0u);
}

// A batch that ends by an exception (here the window's, while the first
// file waits in its group) leaves no work file behind; the end is logged.
TEST_F(WizardCoreTest, NoWorkFileOutlivesItsBatchAndTheEndIsLogged) {
    WizardCore& core = Core();
    Sig("1234L27B.SIG", kOld);
    Sig("1234L27C.SIG", kOld + 86400);
    view.onPump = [] { throw std::runtime_error("the window went away"); };
    EXPECT_THROW(core.ConvertFiles({Path("1234L27B.SIG"), Path("1234L27C.SIG")}),
                 std::runtime_error);
    view.onPump = nullptr;
    for (const auto& entry : std::filesystem::directory_iterator(Dir()))
        EXPECT_NE(entry.path().filename().string().rfind("$$$SRG", 0), 0u) << entry.path();
    EXPECT_TRUE(FileExists(Path("1234L27B.SIG")));
    core_.reset();
    EXPECT_EQ(LogMessages().back(), "終了");
}

TEST_F(WizardCoreTest, FolderListingShowsAncestorsAndSubfolders) {
    std::size_t current = 0;
    const std::vector<FolderListEntry> posix = FolderListing("/a/b", current, PathStyle::Posix);
    ASSERT_GE(posix.size(), 3u);
    EXPECT_EQ(current, 2u);
    EXPECT_EQ(posix[0].label, "/");
    EXPECT_EQ(posix[1].label, "a");
    EXPECT_EQ(posix[1].path, "/a");
    EXPECT_EQ(posix[2].path, "/a/b");
    EXPECT_EQ(posix[2].depth, 2);

    const std::vector<FolderListEntry> windows =
        FolderListing("C:\\GPS\\データ表\\", current, PathStyle::Windows);
    EXPECT_EQ(current, 2u);
    EXPECT_EQ(windows[0].label, "C:\\");
    EXPECT_EQ(windows[1].path, "C:\\GPS");
    EXPECT_EQ(windows[2].label, "データ表");

    // The test's own folder, with its subfolders sorted ignoring case.
    std::filesystem::create_directory(Path("beta"));
    std::filesystem::create_directory(Path("Alpha"));
    const std::vector<FolderListEntry> here = FolderListing(Dir(), current);
    ASSERT_EQ(here.size(), current + 3);
    EXPECT_EQ(here[current + 1].label, "Alpha");
    EXPECT_EQ(here[current + 2].label, "beta");
    EXPECT_EQ(here[current + 2].path, Path("beta"));
    EXPECT_EQ(here[current + 2].depth, here[current].depth + 1);
}

TEST_F(WizardCoreTest, FilesOfATypeSortedIgnoringCase) {
    for (const char* name : {"b.SIG", "A.sig", "c.RMG", "d.RM3", "e.RM0", "f.txt"})
        WriteBytes(Path(name), Bytes{1});
    EXPECT_EQ(FilesOfType(Dir(), 0), (std::vector<std::string>{"A.sig", "b.SIG"}));
    EXPECT_EQ(FilesOfType(Dir(), 1), std::vector<std::string>{"c.RMG"});
    EXPECT_EQ(FilesOfType(Dir(), 2), (std::vector<std::string>{"d.RM3", "e.RM0"}));
    EXPECT_TRUE(FilesOfType(Dir(), 3).empty());
}

}  // namespace
}  // namespace quenrix::test
