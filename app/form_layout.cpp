// The window's controls, pages, page moves, selection buttons, the
// deletion option and the resize rules.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStorageInfo>
#include <QVBoxLayout>

#include <algorithm>

#include "engine_state.h"
#include "event_pump.h"
#include "file_ops.h"
#include "paths.h"
#include "rsigsmain.h"
#include "widgets.h"

namespace quenrix {
namespace {

constexpr int kButtonWidth = 99;
constexpr int kButtonHeight = 30;
constexpr int kButtonTop = 16;
constexpr int kBottomPanelHeight = 54;

// The receivers' software was written for the Windows Japanese gothic
// faces; IPA's are metric-compatible stand-ins.
QFont JapaneseFont(bool proportional, int pixelSize) {
    QFont font;
    font.setFamilies(proportional ? QStringList{"ＭＳ Ｐゴシック", "IPAPGothic", "IPAGothic"}
                                  : QStringList{"ＭＳ ゴシック", "IPAGothic", "IPAPGothic"});
    font.setPixelSize(pixelSize);
    return font;
}

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption,
                    const QString& hint) {
    auto* button = Named(new QPushButton(caption, parent), name);
    button->setGeometry(0, kButtonTop, kButtonWidth, kButtonHeight);
    button->setAutoDefault(false);
    if (!hint.isEmpty())
        button->setToolTip(hint);
    return button;
}

ResizePanel* BottomPanel(QWidget* page, const char* name) {
    auto* panel = Named(new ResizePanel(page), name);
    panel->setFixedHeight(kBottomPanelHeight);
    return panel;
}

// A page's controls stacked top to bottom, edge to edge, as docked panels.
QVBoxLayout* PageColumn(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

// A panel's left button goes `fromRight` pixels left of its right edge,
// or to the left edge when the panel is narrower.
int LeftOf(int width, int fromRight) {
    return width >= fromRight ? width - fromRight : 0;
}

void MoveLeft(QWidget* widget, int left) {
    widget->move(left, widget->y());
}

}  // namespace

int StatusIndent = 0;

TFormVaverMain::TFormVaverMain(std::vector<std::string> arguments, QWidget* parent)
    : QMainWindow(parent), arguments_(std::move(arguments)) {
    setObjectName("FormVaverMain");
    setFont(JapaneseFont(true, 15));
    resize(631, 400);

    statusBar()->setObjectName("StatusBar");
    statusBar()->setSizeGripEnabled(false);
    StatusPanel0 = Named(new QLabel("入力SIG、RMG削除の有無"), "StatusPanel0");
    StatusPanel0->setFixedWidth(200);
    StatusPanel0->setAlignment(Qt::AlignCenter);
    StatusPanel1 = Named(new QLabel, "StatusPanel1");
    StatusPanel1->setFixedWidth(180);
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1);

    pgCtrl = Named(new QStackedWidget(this), "pgCtrl");
    setCentralWidget(pgCtrl);
    BuildOptionPage();
    BuildFileSelectionPage();
    BuildProgressPage();

    // Enter acts on the page's default button.
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            QPushButton* pageDefault = pgCtrl->currentIndex() == 0   ? btnNext
                                       : pgCtrl->currentIndex() == 1 ? btnOk
                                                                     : nullptr;
            if (pageDefault != nullptr && pageDefault->isEnabled())
                pageDefault->click();
        });
    }

    // The converters let the window repaint and take clicks while they read.
    SetEventPump([] { QCoreApplication::processEvents(); });
    FormCreate();
}

void TFormVaverMain::BuildOptionPage() {
    tabOptionSet = Named(new QWidget, "tabOptionSet");
    QVBoxLayout* layout = PageColumn(tabOptionSet);

    grpOptSet = Named(new QGroupBox(tabOptionSet), "grpOptSet");
    chkRmgDel =
        Named(new QCheckBox("変換成功後、入力SIG、RMGファイルを削除", grpOptSet), "chkRmgDel");
    chkRmgDel->setGeometry(24, 96, 305, 17);
    chkRmgDel->setChecked(true);
    connect(chkRmgDel, &QCheckBox::clicked, this, [this] { chkRmgDelClick(); });

    Panel1 = BottomPanel(tabOptionSet, "Panel1");
    btnClose1 = Button(Panel1, "btnClose1", "終了(&X)", "終了");
    btnNext = Button(Panel1, "btnNext", "次へ(&N)", "Sig、Rmgファイル選択へ");
    btnNext->setDefault(true);
    QWidget::setTabOrder(btnNext, btnClose1);
    connect(btnClose1, &QPushButton::clicked, this, [this] { btnClose2Click(); });
    connect(btnNext, &QPushButton::clicked, this, [this] { btnBack3Click(); });
    Panel1->onResize = [this](QWidget* sender) { Panel1Resize(sender); };

    layout->addWidget(grpOptSet, 1);
    layout->addWidget(Panel1);
    pgCtrl->addWidget(tabOptionSet);
}

void TFormVaverMain::BuildFileSelectionPage() {
    tabRSigRmgFile = Named(new QWidget, "tabRSigRmgFile");
    QVBoxLayout* layout = PageColumn(tabRSigRmgFile);

    Panel6 = Named(new QFrame(tabRSigRmgFile), "Panel6");
    Panel6->setFixedHeight(64);
    Label5 = Named(new QLabel("SIG、RMGファイルを選択して下さい", Panel6), "Label5");
    Label5->move(8, 16);
    DriveCmbBox = Named(new QComboBox(Panel6), "DriveCmbBox");
    DriveCmbBox->setFont(JapaneseFont(false, 15));
    DriveCmbBox->setGeometry(0, 38, 236, 22);
    FilterComboBox1 = Named(new QComboBox(Panel6), "FilterComboBox1");
    FilterComboBox1->setFont(JapaneseFont(true, 13));
    FilterComboBox1->setGeometry(293, 38, 229, 22);
    FilterComboBox1->addItem("SIGファイル (*.SIG)", QStringList{"*.SIG"});
    FilterComboBox1->addItem("RMGファイル (*.RMG)", QStringList{"*.RMG"});
    FilterComboBox1->addItem("10分RMGファイル(*.RM0-*.RM5)",
                             QStringList{"*.RM0", "*.RM1", "*.RM2", "*.RM3", "*.RM4", "*.RM5"});

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    Panel5 = Named(new QFrame(tabRSigRmgFile), "Panel5");
    auto* lists = new QHBoxLayout(Panel5);
    lists->setContentsMargins(0, 0, 0, 0);
    Splitter1 = Named(new QSplitter(Qt::Horizontal, Panel5), "Splitter1");
    Splitter1->setHandleWidth(12);
    Splitter1->setChildrenCollapsible(false);
    boxDirList = Named(new FolderListBox(Splitter1), "boxDirList");
    boxDirList->setFont(JapaneseFont(false, 13));
    boxFileList = Named(new QListWidget(Splitter1), "boxFileList");
    boxFileList->setFont(JapaneseFont(false, 13));
    boxFileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Splitter1->addWidget(boxDirList);
    Splitter1->addWidget(boxFileList);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({280, 230});
    lists->addWidget(Splitter1);

    Panel4 = Named(new QFrame(tabRSigRmgFile), "Panel4");
    Panel4->setFixedWidth(109);
    btnALL = Named(new QPushButton("全選択(&A)", Panel4), "btnALL");
    btnALL->setGeometry(8, 0, kButtonWidth, kButtonHeight);
    btnALL->setAutoDefault(false);
    btnOFF = Named(new QPushButton("選択解除(&R)", Panel4), "btnOFF");
    btnOFF->setGeometry(8, 56, kButtonWidth, kButtonHeight);
    btnOFF->setAutoDefault(false);
    middle->addWidget(Panel5, 1);
    middle->addWidget(Panel4);

    Panel3 = BottomPanel(tabRSigRmgFile, "Panel3");
    btnBack2 = Button(Panel3, "btnBack2", "戻る(&B)", "オプション設定へ戻る");
    btnClose2 = Button(Panel3, "btnClose2", "終了(&X)", "終了");
    btnOk = Button(Panel3, "btnOk", "変換(&C)", "ロールオーバー補正ファイルに変換");
    btnOk->setDefault(true);
    QWidget::setTabOrder(btnOk, btnBack2);
    QWidget::setTabOrder(btnBack2, btnClose2);
    Panel3->onResize = [this](QWidget* sender) { Panel8Resize(sender); };

    connect(btnALL, &QPushButton::clicked, this, [this] { btnALLClick(); });
    connect(btnOFF, &QPushButton::clicked, this, [this] { btnOFFClick(); });
    connect(btnBack2, &QPushButton::clicked, this, [this] { btnBack2Click(); });
    connect(btnClose2, &QPushButton::clicked, this, [this] { btnClose2Click(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    connect(boxDirList, &FolderListBox::directoryChanged, this, [this] { FillFileList(); });
    connect(FilterComboBox1, &QComboBox::currentIndexChanged, this, [this] { FillFileList(); });
    connect(DriveCmbBox, &QComboBox::activated, this, [this](int index) {
        if (boxDirList->SetDirectory(DriveCmbBox->itemData(index).toString().toStdString())) {
            FillFileList();
        }
    });

    layout->addWidget(Panel6);
    layout->addLayout(middle, 1);
    layout->addWidget(Panel3);
    pgCtrl->addWidget(tabRSigRmgFile);

    FillDrives();
    ShowFolder(QDir::currentPath().toStdString());
}

void TFormVaverMain::BuildProgressPage() {
    tabRSigRmg2SigRmg = Named(new QWidget, "tabRSigRmg2SigRmg");
    QVBoxLayout* layout = PageColumn(tabRSigRmg2SigRmg);

    Panel10 = Named(new ResizePanel(tabRSigRmg2SigRmg), "Panel10");
    Panel10->setFixedHeight(65);
    Panel10->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel10->setLineWidth(2);
    lblIngMsg = Named(new QLabel("変換中．．．", Panel10), "lblIngMsg");
    lblIngMsg->setGeometry(8, 8, 600, 16);
    barProgress = Named(new QProgressBar(Panel10), "barProgress");
    barProgress->setGeometry(8, 24, 577, 16);
    barProgress->setRange(0, 100);
    barProgress->setTextVisible(false);
    lblCount = Named(new QLabel(Panel10), "lblCount");
    lblCount->setFont(JapaneseFont(true, 13));
    lblCount->setGeometry(8, 42, 300, 16);
    Panel10->onResize = [this](QWidget* sender) { Panel10Resize(sender); };

    lboxStatus = Named(new QListWidget(tabRSigRmg2SigRmg), "lboxStatus");
    lboxStatus->setFocusPolicy(Qt::NoFocus);
    // Every line has the same height; without this the list measures all
    // its lines again for each line added.
    lboxStatus->setUniformItemSizes(true);
    lboxStatus->setFont(JapaneseFont(false, 15));
    QPalette palette = lboxStatus->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    palette.setColor(QPalette::Text, Qt::blue);
    lboxStatus->setPalette(palette);

    Panel8 = BottomPanel(tabRSigRmg2SigRmg, "Panel8");
    btnBack3 = Button(Panel8, "btnBack3", "戻る(&B)", "Sig、Rmgファイル選択に戻る");
    btnClose3 = Button(Panel8, "btnClose3", "終了(&X)", "終了");
    btnCancel = Button(Panel8, "btnCancel", "変換中止(&C)", "Sig、Rmgファイル変換中止");
    QWidget::setTabOrder(btnCancel, btnBack3);
    QWidget::setTabOrder(btnBack3, btnClose3);
    Panel8->onResize = [this](QWidget* sender) { Panel8Resize(sender); };
    connect(btnBack3, &QPushButton::clicked, this, [this] { btnBack3Click(); });
    connect(btnClose3, &QPushButton::clicked, this, [this] { btnClose2Click(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });

    layout->addWidget(Panel10);
    layout->addWidget(lboxStatus, 1);
    layout->addWidget(Panel8);
    pgCtrl->addWidget(tabRSigRmg2SigRmg);
}

void TFormVaverMain::FormCreate() {
    lstConvFiles.clear();
    flgCancel = false;
    flgAutoMode = false;
    logSwitch = 1;
    flgDelInput = true;
    flgDebug = false;
    strInputArg.clear();
    StatusPanel1->setText("削除する");

    // The log carries the program's base name and lies in the folder that
    // is current at start-up.
    std::string name = FileNamePart(ExecutablePath());
    const std::string extension = ExtensionPart(name);
    name = name.substr(0, name.size() - extension.size()) + ".log";
    Engine().LogFilePath = JoinPath(QDir::currentPath().toStdString(), name);
}

void TFormVaverMain::FillDrives() {
    DriveCmbBox->clear();
    DriveCmbBox->addItem("/", QString("/"));
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && volume.rootPath() != "/" &&
            DriveCmbBox->findData(volume.rootPath()) < 0) {
            DriveCmbBox->addItem(volume.rootPath(), volume.rootPath());
        }
    }
}

void TFormVaverMain::ShowFolder(const std::string& folder) {
    if (!boxDirList->SetDirectory(folder))
        return;
    const QString root = QStorageInfo(QString::fromStdString(boxDirList->Directory())).rootPath();
    const int index = DriveCmbBox->findData(root);
    DriveCmbBox->setCurrentIndex(index >= 0 ? index : 0);
    FillFileList();
}

std::string TFormVaverMain::FileListFolder() const {
    return boxDirList->Directory();
}

void TFormVaverMain::FillFileList() {
    boxFileList->clear();
    std::vector<std::string> names;
    std::vector<std::string> found;
    for (const QString& mask : FilterComboBox1->currentData().toStringList()) {
        ListFiles(found, JoinPath(FileListFolder(), mask.toStdString()));
        for (const std::string& path : found) names.push_back(FileNamePart(path));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) <
               0;
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::string& name : names) boxFileList->addItem(QString::fromStdString(name));
}

void TFormVaverMain::ShowPage(int index) {
    if (index < 0 || index > 2)
        index = 0;
    pgCtrl->setCurrentIndex(index);
}

void TFormVaverMain::SelectAllFiles(bool selected) {
    for (int i = 0; i < boxFileList->count(); ++i) boxFileList->item(i)->setSelected(selected);
}

void TFormVaverMain::btnBack3Click() {
    ShowPage(1);
}
void TFormVaverMain::btnBack2Click() {
    ShowPage(0);
}
void TFormVaverMain::btnClose2Click() {
    close();
}

void TFormVaverMain::btnALLClick() {
    if (boxFileList->count() > 0)
        SelectAllFiles(true);
}

void TFormVaverMain::btnOFFClick() {
    if (!boxFileList->selectedItems().isEmpty())
        SelectAllFiles(false);
}

void TFormVaverMain::chkRmgDelClick() {
    flgDelInput = chkRmgDel->isChecked();
    StatusPanel1->setText(flgDelInput ? "削除する" : "削除しない");
}

void TFormVaverMain::Panel1Resize(QWidget* sender) {
    const int left = LeftOf(sender->width(), 235);
    MoveLeft(btnClose1, left);
    MoveLeft(btnNext, left + 120);
}

void TFormVaverMain::Panel8Resize(QWidget* sender) {
    const bool filePage = sender == Panel3;
    QPushButton* leftButton = filePage ? btnBack2 : btnBack3;
    QPushButton* middleButton = filePage ? btnClose2 : btnClose3;
    QPushButton* rightButton = filePage ? btnOk : btnCancel;
    const int left = LeftOf(sender->width(), 363);
    MoveLeft(leftButton, left);
    MoveLeft(middleButton, left + 128);
    MoveLeft(rightButton, left + 128 + 120);
}

void TFormVaverMain::Panel10Resize(QWidget* sender) {
    if (sender->width() >= 18) {
        barProgress->resize(sender->width() - 18, barProgress->height());
    }
}

}  // namespace quenrix
