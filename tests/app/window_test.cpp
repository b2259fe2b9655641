#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine_state.h"
#include "event_pump.h"
#include "file_ops.h"
#include "records.h"
#include "rsigsmain.h"
#include "temp_dir.h"
#include "widgets.h"

namespace quenrix::test {
namespace {

// With the clock at 2013-10-01 10:00 this time was stamped by a receiver
// that rolled over; it becomes 2013-08-18 14:10.
const std::uint32_t kOld = Gps(1994, 1, 2, 14, 10);
const std::uint32_t kRecent = Gps(2005, 5, 5);

class WindowTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        StatusIndent = 0;
    }
    void TearDown() override {
        form_.reset();
        EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
                    std::none_of(QApplication::topLevelWidgets().begin(),
                                 QApplication::topLevelWidgets().end(),
                                 [](QWidget* w) { return w->isVisible(); }));
        TempDirTest::TearDown();
    }
    TFormVaverMain& Form(std::vector<std::string> arguments = {}) {
        form_ = std::make_unique<TFormVaverMain>(std::move(arguments));
        Engine().LogFilePath =
            LogPath();  // the program's own log would be named after the test binary
        return *form_;
    }
    std::vector<std::string> Status() const {
        std::vector<std::string> lines;
        for (int i = 0; i < form_->lboxStatus->count(); ++i) {
            lines.push_back(form_->lboxStatus->item(i)->text().toStdString());
        }
        return lines;
    }
    std::vector<std::string> Log() {
        std::vector<std::string> lines = LogMessages();
        std::filesystem::remove(LogPath());
        return lines;
    }
    // A SIG file whose positioning record carries `t`.
    void Sig(const std::string& name, std::uint32_t t) {
        WriteBytes(Path(name), Concat({Record(0x62, 26, {{14, t}}), Record(0x50, 23, {{2, t}})}));
    }

    std::unique_ptr<TFormVaverMain> form_;
};

const std::string kIndent(22, ' ');
const std::string kArrow = kIndent + "             -> ";
const std::string kStamp = "2013/10/01 10:00:00 - ";

TEST_F(WindowTest, ControlsCarryTheirNamesCaptionsAndHints) {
    TFormVaverMain& form = Form();
    struct Expect {
        const char* name;
        const char* caption;
        const char* hint;
    } buttons[] = {
        {"btnClose1", "終了(&X)", "終了"},
        {"btnNext", "次へ(&N)", "Sig、Rmgファイル選択へ"},
        {"btnALL", "全選択(&A)", ""},
        {"btnOFF", "選択解除(&R)", ""},
        {"btnBack2", "戻る(&B)", "オプション設定へ戻る"},
        {"btnClose2", "終了(&X)", "終了"},
        {"btnOk", "変換(&C)", "ロールオーバー補正ファイルに変換"},
        {"btnBack3", "戻る(&B)", "Sig、Rmgファイル選択に戻る"},
        {"btnClose3", "終了(&X)", "終了"},
        {"btnCancel", "変換中止(&C)", "Sig、Rmgファイル変換中止"},
    };
    for (const Expect& e : buttons) {
        auto* button = form.findChild<QPushButton*>(e.name);
        ASSERT_NE(button, nullptr) << e.name;
        EXPECT_EQ(button->text().toStdString(), e.caption);
        EXPECT_EQ(button->toolTip().toStdString(), e.hint);
        EXPECT_EQ(button->size(), QSize(99, 30)) << e.name;
    }
    EXPECT_EQ(form.chkRmgDel->text().toStdString(), "変換成功後、入力SIG、RMGファイルを削除");
    EXPECT_TRUE(form.chkRmgDel->isChecked());
    EXPECT_EQ(form.Label5->text().toStdString(), "SIG、RMGファイルを選択して下さい");
    EXPECT_EQ(form.StatusPanel0->text().toStdString(), "入力SIG、RMG削除の有無");
    EXPECT_EQ(form.StatusPanel1->text().toStdString(), "削除する");
    ASSERT_EQ(form.FilterComboBox1->count(), 3);
    EXPECT_EQ(form.FilterComboBox1->itemText(0).toStdString(), "SIGファイル (*.SIG)");
    EXPECT_EQ(form.FilterComboBox1->itemText(1).toStdString(), "RMGファイル (*.RMG)");
    EXPECT_EQ(form.FilterComboBox1->itemText(2).toStdString(), "10分RMGファイル(*.RM0-*.RM5)");
    for (const char* name : {"pgCtrl",      "tabOptionSet", "tabRSigRmgFile", "tabRSigRmg2SigRmg",
                             "grpOptSet",   "Panel1",       "Panel3",         "Panel4",
                             "Panel5",      "Panel6",       "Panel8",         "Panel10",
                             "DriveCmbBox", "boxDirList",   "boxFileList",    "Splitter1",
                             "lblIngMsg",   "barProgress",  "lblCount",       "lboxStatus",
                             "StatusBar"}) {
        EXPECT_NE(form.findChild<QWidget*>(name), nullptr) << name;
    }
    EXPECT_TRUE(form.findChildren<QTabBar*>().isEmpty());
    EXPECT_EQ(form.flgDelInput, true);
    EXPECT_EQ(form.logSwitch, 1);
}

TEST_F(WindowTest, FirstShowSetsCaptionOptionPageAndStartsManualMode) {
    TFormVaverMain& form = Form();
    form.ShowPage(2);
    form.show();
    EXPECT_EQ(form.windowTitle().toStdString(), "Quenrix Ver.1.0");
    EXPECT_EQ(form.pgCtrl->currentIndex(), 0);
    QApplication::processEvents();  // the queued start runs
    EXPECT_EQ(Log(), (std::vector<std::string>{"Quenrix Ver.1.0", "変換手動"}));
    EXPECT_TRUE(form.isVisible());
    form_.reset();
    EXPECT_EQ(Log(), std::vector<std::string>{"終了"});
}

TEST_F(WindowTest, PageMovesAndEnter) {
    TFormVaverMain& form = Form();
    form.show();
    QApplication::processEvents();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::mouseClick(form.btnNext, Qt::LeftButton);
    EXPECT_EQ(form.pgCtrl->currentIndex(), 1);
    QTest::mouseClick(form.btnBack2, Qt::LeftButton);
    EXPECT_EQ(form.pgCtrl->currentIndex(), 0);
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_EQ(form.pgCtrl->currentIndex(), 1);

    // Enter on page 1 acts as the convert button: with nothing selected it warns.
    QString warning, title;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        warning = box->text();
        title = box->windowTitle();
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(10);
    QTest::keyClick(&form, Qt::Key_Enter);
    poll.stop();
    EXPECT_EQ(warning.toStdString(), "SIG、RMGファイルを選択して下さい");
    EXPECT_EQ(title.toStdString(), "警告");
    EXPECT_EQ(form.pgCtrl->currentIndex(), 1);

    form.ShowPage(7);
    EXPECT_EQ(form.pgCtrl->currentIndex(), 0);
    form.ShowPage(2);
    QTest::mouseClick(form.btnBack3, Qt::LeftButton);
    EXPECT_EQ(form.pgCtrl->currentIndex(), 1);
    QTest::mouseClick(form.btnClose2, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(WindowTest, DeletionOptionShowsInTheStatusBarAtOnce) {
    TFormVaverMain& form = Form();
    QTest::mouseClick(form.chkRmgDel, Qt::LeftButton);
    EXPECT_FALSE(form.flgDelInput);
    EXPECT_EQ(form.StatusPanel1->text().toStdString(), "削除しない");
    QTest::mouseClick(form.chkRmgDel, Qt::LeftButton);
    EXPECT_TRUE(form.flgDelInput);
    EXPECT_EQ(form.StatusPanel1->text().toStdString(), "削除する");
}

TEST_F(WindowTest, ResizeRulesKeepTheButtonsRight) {
    TFormVaverMain& form = Form();
    form.resize(631, 400);
    form.show();
    QApplication::processEvents();
    // A page is laid out when it is shown.
    ASSERT_EQ(form.Panel1->width(), 631);
    EXPECT_EQ(form.btnClose1->x(), 396);
    EXPECT_EQ(form.btnNext->x(), 516);
    form.ShowPage(1);
    QApplication::processEvents();
    EXPECT_EQ(form.btnBack2->x(), 268);
    EXPECT_EQ(form.btnClose2->x(), 396);
    EXPECT_EQ(form.btnOk->x(), 516);
    form.ShowPage(2);
    QApplication::processEvents();
    EXPECT_EQ(form.btnBack3->x(), 268);
    EXPECT_EQ(form.btnCancel->x(), 516);
    EXPECT_EQ(form.barProgress->width(), form.Panel10->width() - 18);

    EXPECT_EQ(form.barProgress->width(), 613);

    form.ShowPage(1);
    form.resize(900, 400);
    QApplication::processEvents();
    EXPECT_EQ(form.Panel3->width(), 900);
    EXPECT_EQ(form.btnOk->x() + form.btnOk->width(), form.Panel3->width() - 16);

    // Hidden pages' panels take their size when shown; their handlers run
    // on the size they are given.
    form.Panel3->resize(300, 54);
    form.Panel8->resize(362, 54);
    form.Panel8Resize(form.Panel8);
    form.Panel1->resize(200, 54);
    form.Panel1Resize(form.Panel1);
    EXPECT_EQ(form.btnBack2->x(), 0);
    EXPECT_EQ(form.btnClose2->x(), 128);
    EXPECT_EQ(form.btnOk->x(), 248);
    EXPECT_EQ(form.btnBack3->x(), 0);
    EXPECT_EQ(form.btnCancel->x(), 248);
    EXPECT_EQ(form.btnClose1->x(), 0);
    EXPECT_EQ(form.btnNext->x(), 120);
    form.close();
}

TEST_F(WindowTest, FolderListFillsTheFileListWithItsMask) {
    std::filesystem::create_directory(Path("gps"));
    std::filesystem::create_directory(Path("gps/sub"));
    for (const char* name : {"b.SIG", "A.sig", "c.RMG", "d.rm0", "e.RM5", "f.RM6", "g.txt"}) {
        WriteBytes(Path("gps/") + name, Bytes{1});
    }
    TFormVaverMain& form = Form();
    form.ShowFolder(Path("gps"));
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(Path("gps")));
    auto names = [&form] {
        std::vector<std::string> list;
        for (int i = 0; i < form.boxFileList->count(); ++i) {
            list.push_back(form.boxFileList->item(i)->text().toStdString());
        }
        return list;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"A.sig", "b.SIG"}));
    form.FilterComboBox1->setCurrentIndex(1);
    EXPECT_EQ(names(), std::vector<std::string>{"c.RMG"});
    form.FilterComboBox1->setCurrentIndex(2);
    EXPECT_EQ(names(), (std::vector<std::string>{"d.rm0", "e.RM5"}));

    // Selection buttons, then the paths btnOk would convert.
    form.btnALL->click();
    EXPECT_EQ(form.boxFileList->selectedItems().size(), 2);
    form.btnOFF->click();
    EXPECT_TRUE(form.boxFileList->selectedItems().isEmpty());

    // Choosing a subfolder makes it current.
    auto items = form.boxDirList->findItems("sub", Qt::MatchEndsWith);
    ASSERT_EQ(items.size(), 1);
    emit form.boxDirList->itemActivated(items.front());
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(Path("gps/sub")));
    EXPECT_EQ(form.boxFileList->count(), 0);
}

TEST_F(WindowTest, BatchOfThreeWhereTheSecondHasNoRollover) {
    Sig("1234L27B.SIG", kOld);
    Sig("1234L27C.SIG", kRecent);
    Sig("1234L28D.SIG", kOld + 86400);
    TFormVaverMain& form = Form();
    form.ShowFolder(Dir());
    form.btnALL->click();
    form.btnOk->click();

    EXPECT_EQ(Status(), (std::vector<std::string>{
                            kStamp + "1234L27B.SIG",
                            kArrow + "補正後ファイル名  1234H18B.SIG",
                            kArrow + "入力SIG,RMGファイル削除(1234L27B.SIG)",
                            kStamp + "1234L27C.SIG",
                            kArrow + "ロールオーバー未検出",
                            kStamp + "1234L28D.SIG",
                            kArrow + "補正後ファイル名  1234H19D.SIG",
                            kArrow + "入力SIG,RMGファイル削除(1234L28D.SIG)",
                        }));
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "入力ファイル設定：入力ファイル削除する",
                         Path("1234L27B.SIG"),
                         " > 補正後ファイル名  " + Path("1234H18B.SIG"),
                         " > 削除：" + Path("1234L27B.SIG"),
                         Path("1234L27C.SIG"),
                         " > ロールオーバー未検出",
                         Path("1234L28D.SIG"),
                         " > 補正後ファイル名  " + Path("1234H19D.SIG"),
                         " > 削除：" + Path("1234L28D.SIG"),
                     }));
    EXPECT_FALSE(FileExists(Path("1234L27B.SIG")));
    EXPECT_TRUE(FileExists(Path("1234L27C.SIG")));
    EXPECT_TRUE(FileExists(Path("1234H18B.SIG")));
    EXPECT_FALSE(FileExists(Path(Engine().WorkFileName)));
    EXPECT_EQ(form.pgCtrl->currentIndex(), 2);
    EXPECT_EQ(form.lblIngMsg->text().toStdString(), "変換終了");
    EXPECT_TRUE(form.lblIngMsg->font().bold());
    EXPECT_EQ(form.lblCount->text().toStdString(), "ファイル数=3/3");
    EXPECT_EQ(form.barProgress->value(), 0);
    EXPECT_TRUE(form.btnBack3->isEnabled());
    EXPECT_TRUE(form.btnClose3->isEnabled());
    EXPECT_FALSE(form.btnCancel->isEnabled());

    // Back on page 1 the stale list stays; converting it again finds the
    // deleted inputs missing. A second batch appends with the same indent.
    form.btnBack3->click();
    EXPECT_EQ(form.boxFileList->count(), 3);
    form.chkRmgDel->click();
    form.btnOk->click();
    const std::vector<std::string> status = Status();
    ASSERT_EQ(status.size(), 12u);
    EXPECT_EQ(status[8], kStamp + "1234L27B.SIG");
    EXPECT_EQ(status[9], kStamp + "1234L27C.SIG");
    EXPECT_EQ(status[10], kArrow + "ロールオーバー未検出");
    EXPECT_EQ(status[11], kStamp + "1234L28D.SIG");
    EXPECT_EQ(Log()[0], "入力ファイル設定：入力ファイル削除しない");
}

TEST_F(WindowTest, CancelDuringTheSecondOfFiveFiles) {
    TFormVaverMain& form = Form();
    for (int i = 0; i < 5; ++i) {
        const std::string name = "1234L2" + std::to_string(i) + "B.SIG";
        Sig(name, kOld + i * 86400);
        form.lstConvFiles.push_back(Path(name));
    }
    bool runningStateSeen = false;
    SetEventPump([&] {
        QApplication::processEvents();
        if (form.lblCount->text() == "ファイル数=2/5" && !form.flgCancel) {
            runningStateSeen = !form.btnBack3->isEnabled() && !form.btnClose3->isEnabled() &&
                               form.btnCancel->isEnabled() &&
                               form.lblIngMsg->text() == "変換中・・・";
            form.btnCancel->click();
            EXPECT_EQ(form.lblIngMsg->text().toStdString(),
                      "変換を中止しています。しばらくお待ちください");
        }
    });
    form.ConvertFiles();
    EXPECT_TRUE(runningStateSeen);
    const std::vector<std::string> status = Status();
    ASSERT_EQ(status.size(), 6u);  // two files, each with its name and deletion lines
    EXPECT_EQ(status[3], kStamp + "1234L21B.SIG");
    EXPECT_EQ(status[4], kArrow + "補正後ファイル名  1234H19B.SIG");
    const std::vector<std::string> log = Log();
    EXPECT_EQ(log.back(), "変換キャンセル");
    EXPECT_TRUE(FileExists(Path("1234L22B.SIG")));
    EXPECT_EQ(form.lblCount->text().toStdString(), "ファイル数=2/5");
    EXPECT_EQ(form.lblIngMsg->text().toStdString(), "変換終了");
    EXPECT_EQ(form.lblIngMsg->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(form.barProgress->value(), 0);

    // The next batch sets the colour back to black.
    form.lstConvFiles = {Path("1234L22B.SIG")};
    SetEventPump({});
    form.ConvertFiles();
    EXPECT_EQ(form.lblIngMsg->palette().color(QPalette::WindowText), QColor(Qt::black));
}

TEST_F(WindowTest, ResultsWithoutAResultLine) {
    TFormVaverMain& form = Form();
    WriteBytes(Path("notes.txt"), Bytes{1});
    WriteBytes(Path("1234L26Z.SIG"), Record(0x50, 23, {{2, 440899200u + 5}}));
    form.lstConvFiles = {Path("missing.SIG"), Path("notes.txt"), Path("1234L26Z.SIG")};
    form.ConvertFiles();
    EXPECT_EQ(Status(), (std::vector<std::string>{kStamp + "missing.SIG", kStamp + "notes.txt",
                                                  kStamp + "1234L26Z.SIG",
                                                  kArrow + "ロールオーバー対策対象外"}));
    EXPECT_EQ(Log().back(), " > ロールオーバーポイントのSIGファイルのため対策外");
    EXPECT_TRUE(FileExists(Path("1234L26Z.SIG")));
}

// A file that failed shows the log's messages for it as the tooltip of
// its lines, also with the log off; a file that went well has none.
TEST_F(WindowTest, FailedFileShowsItsReasonAsTheTooltipOfItsLines) {
    TFormVaverMain& form = Form({"x", "/NLOG"});
    Engine().LogFilePath.clear();
    Sig("1234L27B.SIG", kOld);
    Sig("1234L27C.SIG", kOld);
    std::filesystem::create_directory(Path("1234H18C.SIG"));  // the second output's name
    form.lstConvFiles = {Path("missing.SIG"), Path("1234L27B.SIG"), Path("1234L27C.SIG")};
    form.flgDelInput = true;
    form.ConvertFiles();
    ASSERT_EQ(Status(), (std::vector<std::string>{
                            kStamp + "missing.SIG",
                            kStamp + "1234L27B.SIG",
                            kArrow + "補正後ファイル名  1234H18B.SIG",
                            kArrow + "入力SIG,RMGファイル削除(1234L27B.SIG)",
                            kStamp + "1234L27C.SIG",
                            kArrow + "変換失敗",
                        }));
    const auto tip = [&](int row) { return form.lboxStatus->item(row)->toolTip().toStdString(); };
    EXPECT_EQ(tip(0), "ERROR：入力ファイルなし");
    EXPECT_EQ(tip(1), "");
    EXPECT_EQ(tip(2), "");
    EXPECT_EQ(tip(4), "ERROR：補正後ファイル出力失敗");
    EXPECT_EQ(tip(5), tip(4));
    EXPECT_TRUE(FileExists(Path("1234L27C.SIG")));
    EXPECT_FALSE(FileExists(LogPath()));
}

// Japanese file names on the status list as they are on disk.
TEST_F(WindowTest, JapaneseNamesGiveWholeCharacters) {
    TFormVaverMain& form = Form();
    const std::uint32_t t = Gps(1994, 2, 4, 14, 10);  // 2013-09-20 14:10
    Sig(SystemName("観測 データ.SIG"), t);
    form.lstConvFiles = {Path(SystemName("観測 データ.SIG"))};
    form.flgDelInput = false;
    form.ConvertFiles();
    EXPECT_EQ(Status(), (std::vector<std::string>{kStamp + "観測 データ.SIG",
                                                  kArrow + "補正後ファイル名  観測I20E.SIG"}));
    EXPECT_TRUE(FileExists(Path(SystemName("観測I20E.SIG"))));
}

TEST_F(WindowTest, CommandLineChoosesInputsAndOptions) {
    std::filesystem::create_directory(Path("gps"));
    std::filesystem::create_directory(Path("gps.d"));
    for (const char* name : {"b.SIG", "a.sig", "c.RMG", "tool.exe"})
        WriteBytes(Path("gps/") + name, Bytes{1});
    std::filesystem::create_directory(Path("gps/sub"));

    TFormVaverMain& single = Form({Path("gps/a.sig"), "/debug"});
    single.ReadCommandLine();
    EXPECT_TRUE(single.flgAutoMode);
    EXPECT_TRUE(single.flgDebug);
    EXPECT_EQ(single.lstConvFiles, std::vector<std::string>{Path("gps/a.sig")});

    TFormVaverMain& folder = Form({Path("gps"), "extra", "/NotDel", "/NOTDEL=1"});
    folder.ReadCommandLine();
    EXPECT_EQ(folder.strInputArg, Path("gps/"));
    EXPECT_EQ(folder.lstConvFiles,
              (std::vector<std::string>{Path("gps/a.sig"), Path("gps/b.SIG"), Path("gps/c.RMG")}));
    EXPECT_FALSE(folder.flgDelInput);
    EXPECT_FALSE(folder.chkRmgDel->isChecked());
    EXPECT_EQ(folder.StatusPanel1->text().toStdString(), "削除しない");
    EXPECT_FALSE(folder.flgDebug);

    TFormVaverMain& dotted = Form({Path("gps.d")});
    dotted.ReadCommandLine();
    EXPECT_EQ(dotted.strInputArg, Path("gps.d"));
    EXPECT_TRUE(dotted.lstConvFiles.empty());

    TFormVaverMain& mask = Form({Path("gps/*.*"), "/nlog"});
    mask.ReadCommandLine();
    EXPECT_EQ(mask.lstConvFiles.size(), 3u);
    EXPECT_EQ(mask.logSwitch, 0);
    EXPECT_TRUE(Engine().LogFilePath.empty());

    TFormVaverMain& option = Form({"/NOTDEL"});
    option.ReadCommandLine();
    EXPECT_EQ(option.strInputArg, "/NOTDEL/");
    EXPECT_TRUE(option.lstConvFiles.empty());
    EXPECT_FALSE(option.flgDelInput);
}

TEST_F(WindowTest, DestructionRemovesTheLeftoverWorkFile) {
    Form();
    WriteBytes(Engine().WorkFileName, Bytes{1});
    form_.reset();
    EXPECT_FALSE(FileExists(Engine().WorkFileName));
    EXPECT_EQ(Log(), std::vector<std::string>{"終了"});
}

}  // namespace
}  // namespace quenrix::test
