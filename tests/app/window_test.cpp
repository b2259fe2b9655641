#include <QAccessible>
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
#include <QStyle>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>

#include "app/core/wizard_layout.h"
#include "app/qt/main_window.h"
#include "app/qt/widgets.h"
#include "engine/batch_actions.h"
#include "engine/conversion.h"
#include "support/failure.h"
#include "support/file_ops.h"
#include "tests/app/child.h"
#include "tests/helpers/records.h"
#include "tests/helpers/temp_dir.h"

namespace quenrix::test {
namespace {

// With the clock at 2013-10-01 10:00 this time was stamped by a receiver
// that rolled over; it becomes 2013-08-18 14:10.
const std::uint32_t kOld = Gps(1994, 1, 2, 14, 10);
const std::uint32_t kRecent = Gps(2005, 5, 5);

class WindowTest : public TempDirTest {
  protected:
    void TearDown() override {
        form_.reset();
        EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
                    std::none_of(QApplication::topLevelWidgets().begin(),
                                 QApplication::topLevelWidgets().end(),
                                 [](QWidget* w) { return w->isVisible(); }));
        TempDirTest::TearDown();
    }
    MainWindow& Form(std::vector<std::string> arguments = {},
                     const Catalogue& words = Catalogue::Japanese()) {
        form_ = std::make_unique<MainWindow>(std::move(arguments), words);
        // The program's own log would be named after the test binary.
        form_->Core().SetLogFile(LogPath());
        return *form_;
    }
    std::vector<std::string> Status() const {
        std::vector<std::string> lines;
        for (int i = 0; i < Child<QListWidget>(*form_, "statusList")->count(); ++i) {
            lines.push_back(
                Child<QListWidget>(*form_, "statusList")->item(i)->text().toStdString());
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

    void CaptionsFit(const Catalogue& words);

    std::unique_ptr<MainWindow> form_;
};

const std::string kIndent(22, ' ');
const std::string kArrow = kIndent + "             -> ";
const std::string kStamp = "2013/10/01 10:00:00 - ";

// Every caption fits its control in the control's own font, in every
// language, at the scale factor the test runs at (CTest runs it at
// QT_SCALE_FACTOR 1, 1.5 and 2).
TEST_F(WindowTest, EveryCaptionFitsAtThisScaleFactor) {
    for (const Catalogue* words : Catalogue::All()) {
        SCOPED_TRACE(words->Language());
        CaptionsFit(*words);
    }
}

void WindowTest::CaptionsFit(const Catalogue& words) {
    MainWindow& form = Form({}, words);
    form.show();
    form.SetFileCounter(words.Format("ファイル数=%s/%s", {"10000", "10000"}));
    const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1");
    auto fits = [&](QWidget* widget, QString text, int margin) {
        text.remove('&');
        const QFontMetrics metrics(widget->font());
        EXPECT_LE(metrics.horizontalAdvance(text) + margin, widget->contentsRect().width())
            << widget->objectName().toStdString() << " at scale factor " << scale.toStdString();
        EXPECT_LE(metrics.height(), widget->contentsRect().height())
            << widget->objectName().toStdString() << " at scale factor " << scale.toStdString();
    };
    for (QPushButton* button : form.findChildren<QPushButton*>()) fits(button, button->text(), 8);
    QStyle* style = Child<QCheckBox>(form, "deleteInputsCheck")->style();
    fits(Child<QCheckBox>(form, "deleteInputsCheck"),
         Child<QCheckBox>(form, "deleteInputsCheck")->text(),
         style->pixelMetric(QStyle::PM_IndicatorWidth) +
             style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing));
    for (QLabel* label :
         {Child<QLabel>(form, "selectFilesLabel"), Child<QLabel>(form, "progressMessage"),
          Child<QLabel>(form, "fileCounter"), Child<QLabel>(form, "deleteCaptionPanel")}) {
        fits(label, label->text(), 0);
    }
    for (const char* state : {"削除する", "削除しない"})
        fits(Child<QLabel>(form, "deleteStatePanel"), QString::fromStdString(words.Text(state)), 0);
    const int arrow = style->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (int i = 0; i < Child<QComboBox>(form, "fileTypeSelector")->count(); ++i)
        fits(Child<QComboBox>(form, "fileTypeSelector"),
             Child<QComboBox>(form, "fileTypeSelector")->itemText(i), arrow);
}

TEST_F(WindowTest, ControlsCarryTheirNamesCaptionsAndHints) {
    MainWindow& form = Form();
    struct Expect {
        const char* name;
        const char* caption;
        const char* hint;
    } buttons[] = {
        {"optionsCloseButton", "終了(&X)", "終了"},
        {"nextButton", "次へ(&N)", "Sig、Rmgファイル選択へ"},
        {"selectAllButton", "全選択(&A)", ""},
        {"selectNoneButton", "選択解除(&R)", ""},
        {"filesBackButton", "戻る(&B)", "オプション設定へ戻る"},
        {"filesCloseButton", "終了(&X)", "終了"},
        {"convertButton", "変換(&C)", "ロールオーバー補正ファイルに変換"},
        {"progressBackButton", "戻る(&B)", "Sig、Rmgファイル選択に戻る"},
        {"progressCloseButton", "終了(&X)", "終了"},
        {"cancelButton", "変換中止(&C)", "Sig、Rmgファイル変換中止"},
    };
    for (const Expect& e : buttons) {
        auto* button = form.findChild<QPushButton*>(e.name);
        ASSERT_NE(button, nullptr) << e.name;
        EXPECT_EQ(button->text().toStdString(), e.caption);
        EXPECT_EQ(button->toolTip().toStdString(), e.hint);
        EXPECT_EQ(button->size(), QSize(99, 30)) << e.name;
    }
    EXPECT_EQ(Child<QCheckBox>(form, "deleteInputsCheck")->text().toStdString(),
              "変換成功後、入力&SIG、RMGファイルを削除");
    EXPECT_TRUE(Child<QCheckBox>(form, "deleteInputsCheck")->isChecked());
    EXPECT_EQ(Child<QLabel>(form, "selectFilesLabel")->text().toStdString(),
              "SIG、RMGファイルを選択して下さい");
    EXPECT_EQ(Child<QLabel>(form, "deleteCaptionPanel")->text().toStdString(),
              "入力SIG、RMG削除の有無");
    EXPECT_EQ(Child<QLabel>(form, "deleteStatePanel")->text().toStdString(), "削除する");
    ASSERT_EQ(Child<QComboBox>(form, "fileTypeSelector")->count(), 3);
    EXPECT_EQ(Child<QComboBox>(form, "fileTypeSelector")->itemText(0).toStdString(),
              "SIGファイル (*.SIG)");
    EXPECT_EQ(Child<QComboBox>(form, "fileTypeSelector")->itemText(1).toStdString(),
              "RMGファイル (*.RMG)");
    EXPECT_EQ(Child<QComboBox>(form, "fileTypeSelector")->itemText(2).toStdString(),
              "10分RMGファイル(*.RM0-*.RM5)");
    for (const char* name :
         {"pages",           "optionsPage",     "filesPage",        "progressPage", "optionsGroup",
          "optionsButtons",  "filesButtons",    "selectionButtons", "listsPanel",   "folderPanel",
          "progressButtons", "progressPanel",   "driveSelector",    "folderList",   "fileList",
          "listSplitter",    "progressMessage", "progressBar",      "fileCounter",  "statusList",
          "StatusBar"}) {
        EXPECT_NE(form.findChild<QWidget*>(name), nullptr) << name;
    }
    EXPECT_TRUE(form.findChildren<QTabBar*>().isEmpty());
    EXPECT_EQ(form.Core().DeleteInputs(), true);
    EXPECT_FALSE(form.Core().LogFile().empty());
}

TEST_F(WindowTest, FirstShowSetsCaptionOptionPageAndStartsManualMode) {
    MainWindow& form = Form();
    form.ShowPage(WizardPage::Progress);
    form.show();
    EXPECT_EQ(form.windowTitle().toStdString(), "Quenrix Ver.1.0");
    EXPECT_EQ(Child<QStackedWidget>(form, "pages")->currentIndex(), 0);
    QApplication::processEvents();  // the queued start runs
    EXPECT_EQ(Log(), (std::vector<std::string>{"Quenrix Ver.1.0", "変換手動"}));
    EXPECT_TRUE(form.isVisible());
    form_.reset();
    EXPECT_EQ(Log(), std::vector<std::string>{"終了"});
}

// Every control of every page tells a screen reader what it is, and its
// hint where it has one.
TEST_F(WindowTest, EveryControlHasAnAccessibleName) {
    MainWindow& form = Form();
    form.show();
    for (const layout::Control& control : layout::kControls) {
        SCOPED_TRACE(control.name);
        auto* widget = form.findChild<QWidget*>(control.name);
        ASSERT_NE(widget, nullptr);
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(spoken, nullptr);
        const std::string name = spoken->text(QAccessible::Name).toStdString();
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(name.find('&'), std::string::npos);
        if (*control.hint != '\0') {
            EXPECT_EQ(spoken->text(QAccessible::Description).toStdString(), control.hint);
        }
    }
}

// Every control that Tab reaches looks otherwise while it has the focus,
// a default button and a list whose current line is chosen included.
TEST_F(WindowTest, TheFocusedControlIsAlwaysMarked) {
    MainWindow& form = Form();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    for (const WizardPage page :
         {WizardPage::Options, WizardPage::FileSelection, WizardPage::Progress}) {
        form.ShowPage(page);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        for (int i = 0; i < 12; ++i) {
            QWidget* focused = QApplication::focusWidget();
            ASSERT_NE(focused, nullptr);
            SCOPED_TRACE(focused->objectName().toStdString());
            const QImage marked = focused->grab().toImage();
            QTest::keyClick(focused, Qt::Key_Tab);
            ASSERT_NE(QApplication::focusWidget(), focused);
            EXPECT_NE(focused->grab().toImage(), marked);
        }
    }
}

// The three pages by keyboard alone: into a subfolder, every file chosen,
// converted, and the result lines read.
TEST_F(WindowTest, KeyboardAloneConvertsTheFilesOfASubfolder) {
    std::filesystem::create_directory(Path("data"));
    Sig("data/1234L27B.SIG", kOld);
    Sig("data/1234L27C.SIG", kOld + 86400);
    MainWindow& form = Form();
    form.show();
    QApplication::processEvents();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    // A warning box would mean Enter converted with nothing chosen.
    bool warned = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            warned = true;
            box->button(QMessageBox::Ok)->click();
        }
    });
    poll.start(10);
    auto* pages = Child<QStackedWidget>(form, "pages");
    auto* folders = Child<FolderListBox>(form, "folderList");
    auto press = [&](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
    };
    auto tabTo = [&](QWidget* target) {
        for (int i = 0; i < 20 && QApplication::focusWidget() != target; ++i) press(Qt::Key_Tab);
        return QApplication::focusWidget() == target;
    };
    QTest::keyClick(&form, Qt::Key_Return);
    ASSERT_EQ(pages->currentIndex(), 1);
    ASSERT_TRUE(tabTo(folders));
    press(Qt::Key_End);  // the last subfolder: the only one
    press(Qt::Key_Return);
    EXPECT_FALSE(warned);
    ASSERT_EQ(folders->Directory(), Path("data"));
    press(Qt::Key_Backspace);
    ASSERT_EQ(folders->Directory(), Dir());
    press(Qt::Key_End);
    press(Qt::Key_Enter);
    ASSERT_EQ(folders->Directory(), Path("data"));
    auto* files = Child<QListWidget>(form, "fileList");
    ASSERT_TRUE(tabTo(files));
    press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(files->selectedItems().size(), 2);
    press(Qt::Key_Return);
    poll.stop();
    EXPECT_FALSE(warned);
    ASSERT_EQ(pages->currentIndex(), 2);
    EXPECT_TRUE(FileExists(Path("data/1234H18B.SIG")));
    EXPECT_FALSE(FileExists(Path("data/1234L27B.SIG")));
    auto* status = Child<QListWidget>(form, "statusList");
    ASSERT_TRUE(tabTo(status));
    // The batch's result line is the one chosen when the batch ends.
    ASSERT_EQ(status->currentRow(), status->count() - 1);
    EXPECT_EQ(status->currentItem()->text().toStdString(),
              kStamp + "結果：補正 2件、補正不要 0件、失敗 0件");
}

TEST_F(WindowTest, PageMovesAndEnter) {
    MainWindow& form = Form();
    form.show();
    QApplication::processEvents();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::mouseClick(Child<QPushButton>(form, "nextButton"), Qt::LeftButton);
    EXPECT_EQ(Child<QStackedWidget>(form, "pages")->currentIndex(), 1);
    QTest::mouseClick(Child<QPushButton>(form, "filesBackButton"), Qt::LeftButton);
    EXPECT_EQ(Child<QStackedWidget>(form, "pages")->currentIndex(), 0);
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_EQ(Child<QStackedWidget>(form, "pages")->currentIndex(), 1);

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
    EXPECT_EQ(Child<QStackedWidget>(form, "pages")->currentIndex(), 1);

    form.ShowPage(WizardPage::Progress);
    QTest::mouseClick(Child<QPushButton>(form, "progressBackButton"), Qt::LeftButton);
    EXPECT_EQ(Child<QStackedWidget>(form, "pages")->currentIndex(), 1);
    QTest::mouseClick(Child<QPushButton>(form, "filesCloseButton"), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(WindowTest, DeletionOptionShowsInTheStatusBarAtOnce) {
    MainWindow& form = Form();
    QTest::mouseClick(Child<QCheckBox>(form, "deleteInputsCheck"), Qt::LeftButton);
    EXPECT_FALSE(form.Core().DeleteInputs());
    EXPECT_EQ(Child<QLabel>(form, "deleteStatePanel")->text().toStdString(), "削除しない");
    QTest::mouseClick(Child<QCheckBox>(form, "deleteInputsCheck"), Qt::LeftButton);
    EXPECT_TRUE(form.Core().DeleteInputs());
    EXPECT_EQ(Child<QLabel>(form, "deleteStatePanel")->text().toStdString(), "削除する");
}

TEST_F(WindowTest, ResizeRulesKeepTheButtonsRight) {
    MainWindow& form = Form();
    form.resize(631, 400);
    form.show();
    QApplication::processEvents();
    // A page is laid out when it is shown.
    ASSERT_EQ(Child<ResizePanel>(form, "optionsButtons")->width(), 631);
    EXPECT_EQ(Child<QPushButton>(form, "optionsCloseButton")->x(), 396);
    EXPECT_EQ(Child<QPushButton>(form, "nextButton")->x(), 516);
    form.ShowPage(WizardPage::FileSelection);
    QApplication::processEvents();
    EXPECT_EQ(Child<QPushButton>(form, "filesBackButton")->x(), 268);
    EXPECT_EQ(Child<QPushButton>(form, "filesCloseButton")->x(), 396);
    EXPECT_EQ(Child<QPushButton>(form, "convertButton")->x(), 516);
    form.ShowPage(WizardPage::Progress);
    QApplication::processEvents();
    EXPECT_EQ(Child<QPushButton>(form, "progressBackButton")->x(), 268);
    EXPECT_EQ(Child<QPushButton>(form, "cancelButton")->x(), 516);
    EXPECT_EQ(Child<QProgressBar>(form, "progressBar")->width(),
              Child<ResizePanel>(form, "progressPanel")->width() - 18);

    EXPECT_EQ(Child<QProgressBar>(form, "progressBar")->width(), 613);

    form.ShowPage(WizardPage::FileSelection);
    form.resize(900, 400);
    QApplication::processEvents();
    EXPECT_EQ(Child<ResizePanel>(form, "filesButtons")->width(), 900);
    EXPECT_EQ(Child<QPushButton>(form, "convertButton")->x() +
                  Child<QPushButton>(form, "convertButton")->width(),
              Child<ResizePanel>(form, "filesButtons")->width() - 16);

    // Hidden pages' panels take their size when shown; their handlers run
    // on the size they are given.
    Child<ResizePanel>(form, "filesButtons")->resize(300, 54);
    Child<ResizePanel>(form, "progressButtons")->resize(362, 54);
    form.PlaceBottomButtons(Child<ResizePanel>(form, "progressButtons"));
    Child<ResizePanel>(form, "optionsButtons")->resize(200, 54);
    form.PlaceOptionsButtons(Child<ResizePanel>(form, "optionsButtons"));
    EXPECT_EQ(Child<QPushButton>(form, "filesBackButton")->x(), 0);
    EXPECT_EQ(Child<QPushButton>(form, "filesCloseButton")->x(), 128);
    EXPECT_EQ(Child<QPushButton>(form, "convertButton")->x(), 248);
    EXPECT_EQ(Child<QPushButton>(form, "progressBackButton")->x(), 0);
    EXPECT_EQ(Child<QPushButton>(form, "cancelButton")->x(), 248);
    EXPECT_EQ(Child<QPushButton>(form, "optionsCloseButton")->x(), 0);
    EXPECT_EQ(Child<QPushButton>(form, "nextButton")->x(), 120);
    form.close();
}

TEST_F(WindowTest, FolderListFillsTheFileListWithItsMask) {
    std::filesystem::create_directory(Path("gps"));
    std::filesystem::create_directory(Path("gps/sub"));
    for (const char* name : {"b.SIG", "A.sig", "c.RMG", "d.rm0", "e.RM5", "f.RM6", "g.txt"}) {
        WriteBytes(Path("gps/") + name, Bytes{1});
    }
    MainWindow& form = Form();
    form.ShowFolder(Path("gps"));
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(Path("gps")));
    auto names = [&form] {
        std::vector<std::string> list;
        for (int i = 0; i < Child<QListWidget>(form, "fileList")->count(); ++i) {
            list.push_back(Child<QListWidget>(form, "fileList")->item(i)->text().toStdString());
        }
        return list;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"A.sig", "b.SIG"}));
    Child<QComboBox>(form, "fileTypeSelector")->setCurrentIndex(1);
    EXPECT_EQ(names(), std::vector<std::string>{"c.RMG"});
    Child<QComboBox>(form, "fileTypeSelector")->setCurrentIndex(2);
    EXPECT_EQ(names(), (std::vector<std::string>{"d.rm0", "e.RM5"}));

    // Selection buttons, then the paths convertButton would convert.
    Child<QPushButton>(form, "selectAllButton")->click();
    EXPECT_EQ(Child<QListWidget>(form, "fileList")->selectedItems().size(), 2);
    Child<QPushButton>(form, "selectNoneButton")->click();
    EXPECT_TRUE(Child<QListWidget>(form, "fileList")->selectedItems().isEmpty());

    // Choosing a subfolder makes it current.
    auto items = Child<FolderListBox>(form, "folderList")->findItems("sub", Qt::MatchEndsWith);
    ASSERT_EQ(items.size(), 1);
    emit Child<FolderListBox>(form, "folderList")->itemActivated(items.front());
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(Path("gps/sub")));
    EXPECT_EQ(Child<QListWidget>(form, "fileList")->count(), 0);

    // A folder that cannot be listed is not entered: the lists stay on the
    // folder the window is in, and a box and the status bar say why.
    form.ShowFolder(Path("gps"));
    items = Child<FolderListBox>(form, "folderList")->findItems("sub", Qt::MatchEndsWith);
    ASSERT_EQ(items.size(), 1);
    Child<FolderListBox>(form, "folderList")->setCurrentItem(items.front());
    std::filesystem::remove(Path("gps/sub"));
    std::string said;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            said = box->text().toStdString();
            box->button(QMessageBox::Ok)->click();
        }
    });
    emit Child<FolderListBox>(form, "folderList")->itemActivated(items.front());
    EXPECT_EQ(said, "subを開けません：" + FailureText(ENOENT, Language::Japanese));
    EXPECT_EQ(Child<QLabel>(form, "noticePanel")->toolTip().toStdString(), said);
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(Path("gps")));
    EXPECT_EQ(Child<FolderListBox>(form, "folderList")->currentItem()->text().trimmed(), "gps");
    EXPECT_EQ(names(), (std::vector<std::string>{"d.rm0", "e.RM5"}));
}

TEST_F(WindowTest, BatchOfThreeWhereTheSecondHasNoRollover) {
    Sig("1234L27B.SIG", kOld);
    Sig("1234L27C.SIG", kRecent);
    Sig("1234L28D.SIG", kOld + 86400);
    MainWindow& form = Form();
    form.ShowFolder(Dir());
    Child<QPushButton>(form, "selectAllButton")->click();
    Child<QPushButton>(form, "convertButton")->click();

    EXPECT_EQ(Status(), (std::vector<std::string>{
                            kStamp + "1234L27B.SIG",
                            kArrow + "補正後ファイル名  1234H18B.SIG",
                            kArrow + "入力SIG,RMGファイル削除(1234L27B.SIG)",
                            kStamp + "1234L27C.SIG",
                            kArrow + "ロールオーバー未検出",
                            kStamp + "1234L28D.SIG",
                            kArrow + "補正後ファイル名  1234H19D.SIG",
                            kArrow + "入力SIG,RMGファイル削除(1234L28D.SIG)",
                            kStamp + "結果：補正 2件、補正不要 1件、失敗 0件",
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
    EXPECT_FALSE(FileExists(Path(form.Core().WorkFile())));
    EXPECT_EQ(Child<QStackedWidget>(form, "pages")->currentIndex(), 2);
    EXPECT_EQ(Child<QLabel>(form, "progressMessage")->text().toStdString(), "変換終了");
    EXPECT_TRUE(Child<QLabel>(form, "progressMessage")->font().bold());
    EXPECT_EQ(Child<QLabel>(form, "fileCounter")->text().toStdString(), "ファイル数=3/3");
    EXPECT_EQ(Child<QProgressBar>(form, "progressBar")->value(), 0);
    EXPECT_TRUE(Child<QPushButton>(form, "progressBackButton")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(form, "progressCloseButton")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(form, "cancelButton")->isEnabled());

    // Back on page 1 the list is the folder as the batch left it: the
    // deleted inputs gone, the corrected files there, nothing chosen. A
    // second batch appends with the same indent.
    Child<QPushButton>(form, "progressBackButton")->click();
    std::vector<std::string> listed;
    for (int i = 0; i < Child<QListWidget>(form, "fileList")->count(); ++i)
        listed.push_back(Child<QListWidget>(form, "fileList")->item(i)->text().toStdString());
    EXPECT_EQ(listed, (std::vector<std::string>{"1234H18B.SIG", "1234H19D.SIG", "1234L27C.SIG"}));
    EXPECT_TRUE(Child<QListWidget>(form, "fileList")->selectedItems().isEmpty());
    Child<QCheckBox>(form, "deleteInputsCheck")->click();
    Child<QPushButton>(form, "selectAllButton")->click();
    Child<QPushButton>(form, "convertButton")->click();
    const std::vector<std::string> status = Status();
    ASSERT_EQ(status.size(), 16u);
    EXPECT_EQ(status[9], kStamp + "1234H18B.SIG");
    EXPECT_EQ(status[10], kArrow + "ロールオーバー未検出");
    EXPECT_EQ(status[11], kStamp + "1234H19D.SIG");
    EXPECT_EQ(status[13], kStamp + "1234L27C.SIG");
    EXPECT_EQ(status[15], kStamp + "結果：補正 0件、補正不要 3件、失敗 0件");
    EXPECT_EQ(Log()[0], "入力ファイル設定：入力ファイル削除しない");
}

TEST_F(WindowTest, CancelDuringTheSecondOfFiveFiles) {
    MainWindow& form = Form();
    std::vector<std::string> inputs;
    for (int i = 0; i < 5; ++i) {
        const std::string name = "1234L2" + std::to_string(i) + "B.SIG";
        Sig(name, kOld + i * 86400);
        inputs.push_back(Path(name));
    }
    bool runningStateSeen = false;
    // A timer due at once runs each time the converter lets the window run.
    QTimer duringConversion;
    QObject::connect(&duringConversion, &QTimer::timeout, [&] {
        // Once the second file converts (its work file, the group's second,
        // is there).
        if (FileExists(GroupWorkFile(form.Core().WorkFile(), 1)) &&
            !form.Core().CancelRequested()) {
            runningStateSeen = !Child<QPushButton>(form, "progressBackButton")->isEnabled() &&
                               !Child<QPushButton>(form, "progressCloseButton")->isEnabled() &&
                               Child<QPushButton>(form, "cancelButton")->isEnabled() &&
                               Child<QLabel>(form, "progressMessage")->text() == "変換中・・・";
            Child<QPushButton>(form, "cancelButton")->click();
            EXPECT_EQ(Child<QLabel>(form, "progressMessage")->text().toStdString(),
                      "変換を中止しています。しばらくお待ちください");
        }
    });
    duringConversion.start(0);
    form.Core().ConvertFiles(inputs);
    duringConversion.stop();
    EXPECT_TRUE(runningStateSeen);
    const std::vector<std::string> status = Status();
    ASSERT_EQ(status.size(), 7u);  // two files, each with its name and deletion lines; the result
    EXPECT_EQ(status[3], kStamp + "1234L21B.SIG");
    EXPECT_EQ(status[4], kArrow + "補正後ファイル名  1234H19B.SIG");
    const std::vector<std::string> logged = Log();
    EXPECT_EQ(logged.back(), "変換キャンセル");
    EXPECT_TRUE(FileExists(Path("1234L22B.SIG")));
    EXPECT_EQ(Child<QLabel>(form, "fileCounter")->text().toStdString(), "ファイル数=2/5");
    EXPECT_EQ(Child<QLabel>(form, "progressMessage")->text().toStdString(), "変換キャンセル");
    EXPECT_EQ(Child<QLabel>(form, "progressMessage")->palette().color(QPalette::WindowText),
              QColor(Qt::red));
    EXPECT_EQ(Child<QProgressBar>(form, "progressBar")->value(), 0);

    // The next batch sets the colour back to black.
    form.Core().ConvertFiles({Path("1234L22B.SIG")});
    EXPECT_EQ(Child<QLabel>(form, "progressMessage")->palette().color(QPalette::WindowText),
              QColor(Qt::black));
}

// Files the receivers' software gave no result line, or the line of a
// file without a rollover: a failed one says that it failed, and why.
TEST_F(WindowTest, EveryFailedFileSaysSoOnItsLine) {
    MainWindow& form = Form();
    WriteBytes(Path("notes.txt"), Bytes{1});
    WriteBytes(Path("NOTES.SIG"), Bytes{'h', 'i', '\n'});
    WriteBytes(Path("1234L26Z.SIG"), Record(0x50, 23, {{2, 440899200u + 5}}));
    form.Core().ConvertFiles(
        {Path("missing.SIG"), Path("notes.txt"), Path("NOTES.SIG"), Path("1234L26Z.SIG")});
    EXPECT_EQ(
        Status(),
        (std::vector<std::string>{
            kStamp + "missing.SIG", kArrow + "変換失敗（入力ファイルなし：ファイルがありません）",
            kStamp + "notes.txt",
            kArrow + "変換失敗（GPSファイルではありません：拡張子「.txt」（.SIG、.RMG、.RM0～.RM5 "
                     "のいずれでもありません））",
            kStamp + "NOTES.SIG",
            kArrow +
                "変換失敗（GPSレコードなし：チェック値の正しい完全なレコードが一つもありません）",
            kStamp + "1234L26Z.SIG", kArrow + "ロールオーバー対策対象外",
            kStamp + "結果：補正 0件、補正不要 1件、失敗 3件"}));
    EXPECT_EQ(Log().back(), " > ロールオーバーポイントのSIGファイルのため対策外");
    EXPECT_TRUE(FileExists(Path("1234L26Z.SIG")));
}

// A file that failed shows its reason, in the window's language, as the
// tooltip of its lines and in the status bar, also with the log off; a
// file that went well has none.
TEST_F(WindowTest, FailedFileShowsItsReasonAsTheTooltipOfItsLines) {
    MainWindow& form = Form({"x", "/NLOG"});
    form.Core().SetLogFile({});
    Sig("1234L27B.SIG", kOld);
    Sig("1234L27C.SIG", kOld);
    std::filesystem::create_directory(Path("1234H18C.SIG"));  // the second output's name
    form.Core().SetDeleteInputs(true);
    form.Core().ConvertFiles({Path("missing.SIG"), Path("1234L27B.SIG"), Path("1234L27C.SIG")});
    ASSERT_EQ(Status(),
              (std::vector<std::string>{
                  kStamp + "missing.SIG",
                  kArrow + "変換失敗（入力ファイルなし：ファイルがありません）",
                  kStamp + "1234L27B.SIG",
                  kArrow + "補正後ファイル名  1234H18B.SIG",
                  kArrow + "入力SIG,RMGファイル削除(1234L27B.SIG)",
                  kStamp + "1234L27C.SIG",
                  kArrow + "変換失敗（1234H18C.SIG として出力できません：フォルダーです）",
                  kStamp + "結果：補正 1件、補正不要 0件、失敗 2件",
              }));
    const auto tip = [&](int row) {
        return Child<QListWidget>(form, "statusList")->item(row)->toolTip().toStdString();
    };
    EXPECT_EQ(tip(0), "入力ファイルなし：ファイルがありません");
    EXPECT_EQ(tip(1), tip(0));
    EXPECT_EQ(tip(2), "");
    EXPECT_EQ(tip(4), "");
    EXPECT_EQ(tip(5), "1234H18C.SIG として出力できません：フォルダーです");
    EXPECT_EQ(tip(6), tip(5));
    // The line chosen from the keyboard shows its hint in the status bar,
    // whole in its tooltip where the window is too narrow for it.
    auto* notice = Child<QLabel>(form, "noticePanel");
    notice->resize(2000, notice->height());
    Child<QListWidget>(form, "statusList")->setCurrentRow(5);
    EXPECT_EQ(notice->toolTip().toStdString(), tip(5));
    EXPECT_EQ(notice->text().toStdString(), tip(5));
    notice->resize(100, notice->height());
    Child<QListWidget>(form, "statusList")->setCurrentRow(6);
    EXPECT_TRUE(notice->text().endsWith(QChar(0x2026))) << notice->text().toStdString();
    EXPECT_EQ(notice->toolTip().toStdString(), tip(5));
    Child<QListWidget>(form, "statusList")->setCurrentRow(2);
    EXPECT_TRUE(notice->toolTip().isEmpty());
    EXPECT_TRUE(FileExists(Path("1234L27C.SIG")));
    EXPECT_FALSE(FileExists(LogPath()));

    // An English window gives the reason in English.
    MainWindow& english = Form({}, *Catalogue::ForLanguage("en"));
    english.Core().SetLogFile({});
    english.Core().ConvertFiles({Path("missing.SIG")});
    EXPECT_EQ(Child<QListWidget>(english, "statusList")->item(1)->text().toStdString(),
              kArrow + "Conversion failed (input missing: no such file)");
    Child<QListWidget>(english, "statusList")->setCurrentRow(0);
    EXPECT_EQ(Child<QLabel>(english, "noticePanel")->toolTip().toStdString(),
              "input missing: no such file");
}

// Japanese file names on the status list as they are on disk.
TEST_F(WindowTest, JapaneseNamesGiveWholeCharacters) {
    MainWindow& form = Form();
    const std::uint32_t t = Gps(1994, 2, 4, 14, 10);  // 2013-09-20 14:10
    Sig("観測 データ.SIG", t);
    form.Core().SetDeleteInputs(false);
    form.Core().ConvertFiles({Path("観測 データ.SIG")});
    EXPECT_EQ(Status(), (std::vector<std::string>{
                            kStamp + "観測 データ.SIG", kArrow + "補正後ファイル名  観測I20E.SIG",
                            kStamp + "結果：補正 1件、補正不要 0件、失敗 0件"}));
    EXPECT_TRUE(FileExists(Path("観測I20E.SIG")));
}

TEST_F(WindowTest, CommandLineChoosesInputsAndOptions) {
    std::filesystem::create_directory(Path("gps"));
    std::filesystem::create_directory(Path("gps.d"));
    for (const char* name : {"b.SIG", "a.sig", "c.RMG", "tool.exe"})
        WriteBytes(Path("gps/") + name, Bytes{1});
    std::filesystem::create_directory(Path("gps/sub"));

    MainWindow& single = Form({Path("gps/a.sig"), "/debug"});
    single.Core().ReadCommandLine();
    EXPECT_TRUE(single.Core().AutomaticMode());
    EXPECT_EQ(single.Core().Inputs(), std::vector<std::string>{Path("gps/a.sig")});

    MainWindow& folder = Form({Path("gps"), "extra", "/NotDel", "/NOTDEL=1"});
    folder.Core().ReadCommandLine();
    EXPECT_EQ(folder.Core().Inputs(),
              (std::vector<std::string>{Path("gps/a.sig"), Path("gps/b.SIG"), Path("gps/c.RMG")}));
    EXPECT_FALSE(folder.Core().DeleteInputs());
    EXPECT_FALSE(Child<QCheckBox>(folder, "deleteInputsCheck")->isChecked());
    EXPECT_EQ(Child<QLabel>(folder, "deleteStatePanel")->text().toStdString(), "削除しない");

    // A folder with a dot in its name is a folder.
    WriteBytes(Path("gps.d/d.RMG"), Bytes{1});
    MainWindow& dotted = Form({Path("gps.d")});
    dotted.Core().ReadCommandLine();
    EXPECT_EQ(dotted.Core().Inputs(), std::vector<std::string>{Path("gps.d/d.RMG")});

    // A shell hands over one argument per file of "*.SIG": each is an input.
    MainWindow& expanded = Form({Path("gps/b.SIG"), "/nlog", Path("gps/a.sig")});
    expanded.Core().ReadCommandLine();
    EXPECT_EQ(expanded.Core().Inputs(),
              (std::vector<std::string>{Path("gps/b.SIG"), Path("gps/a.sig")}));

    MainWindow& mask = Form({Path("gps/*.*"), "/nlog"});
    mask.Core().ReadCommandLine();
    EXPECT_EQ(mask.Core().Inputs().size(), 3u);
    EXPECT_TRUE(mask.Core().LogFile().empty());

    MainWindow& option = Form({"/NOTDEL"});
    option.Core().ReadCommandLine();
    EXPECT_TRUE(option.Core().Inputs().empty());
    EXPECT_FALSE(option.Core().DeleteInputs());
}

TEST_F(WindowTest, DestructionLogsTheEnd) {
    Form();
    form_.reset();
    EXPECT_EQ(Log(), std::vector<std::string>{"終了"});
}

}  // namespace
}  // namespace quenrix::test
