// The window's controls, pages and resize rules, and what it draws for
// the wizard core.
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStorageInfo>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "app/core/file_browser.h"
#include "app/core/wizard_layout.h"
#include "app/qt/main_window.h"
#include "app/qt/widgets.h"
#include "support/file_ops.h"
#include "support/paths.h"

namespace quenrix {
namespace {

using namespace layout;

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

void MoveLeft(QWidget* widget, int left) {
    widget->move(left, widget->y());
}

}  // namespace

MainWindow::MainWindow(std::vector<std::string> arguments, QWidget* parent) : QMainWindow(parent) {
    setObjectName("FormVaverMain");
    setFont(JapaneseFont(true, 15));
    resize(kWidth, kHeight);

    statusBar()->setObjectName("StatusBar");
    statusBar()->setSizeGripEnabled(false);
    deleteCaptionPanel = Named(new QLabel("入力SIG、RMG削除の有無"), "deleteCaptionPanel");
    deleteCaptionPanel->setFixedWidth(200);
    deleteCaptionPanel->setAlignment(Qt::AlignCenter);
    deleteStatePanel = Named(new QLabel, "deleteStatePanel");
    deleteStatePanel->setFixedWidth(180);
    statusBar()->addWidget(deleteCaptionPanel);
    statusBar()->addWidget(deleteStatePanel);

    pages = Named(new QStackedWidget(this), "pages");
    setCentralWidget(pages);
    BuildOptionPage();
    BuildFileSelectionPage();
    BuildProgressPage();

    // Enter acts on the page's default button.
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            QPushButton* pageDefault = pages->currentIndex() == 0   ? nextButton
                                       : pages->currentIndex() == 1 ? convertButton
                                                                    : nullptr;
            if (pageDefault != nullptr && pageDefault->isEnabled())
                pageDefault->click();
        });
    }

    core = std::make_unique<WizardCore>(*this, std::move(arguments),
                                        QDir::currentPath().toStdString(), ExecutablePath());
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildOptionPage() {
    optionsPage = Named(new QWidget, "optionsPage");
    QVBoxLayout* layout = PageColumn(optionsPage);

    optionsGroup = Named(new QGroupBox(optionsPage), "optionsGroup");
    deleteInputsCheck = Named(new QCheckBox("変換成功後、入力SIG、RMGファイルを削除", optionsGroup),
                              "deleteInputsCheck");
    deleteInputsCheck->setGeometry(24, 96, 305, 17);
    deleteInputsCheck->setChecked(true);
    connect(deleteInputsCheck, &QCheckBox::clicked, this,
            [this] { core->SetDeleteInputs(deleteInputsCheck->isChecked()); });

    optionsButtons = BottomPanel(optionsPage, "optionsButtons");
    optionsCloseButton = Button(optionsButtons, "optionsCloseButton", "終了(&X)", "終了");
    nextButton = Button(optionsButtons, "nextButton", "次へ(&N)", "Sig、Rmgファイル選択へ");
    nextButton->setDefault(true);
    QWidget::setTabOrder(nextButton, optionsCloseButton);
    connect(optionsCloseButton, &QPushButton::clicked, this, [this] { close(); });
    connect(nextButton, &QPushButton::clicked, this, [this] { core->GoToFileSelection(); });
    optionsButtons->onResize = [this](QWidget* panel) { PlaceOptionsButtons(panel); };

    layout->addWidget(optionsGroup, 1);
    layout->addWidget(optionsButtons);
    pages->addWidget(optionsPage);
}

void MainWindow::BuildFileSelectionPage() {
    filesPage = Named(new QWidget, "filesPage");
    QVBoxLayout* layout = PageColumn(filesPage);

    folderPanel = Named(new QFrame(filesPage), "folderPanel");
    folderPanel->setFixedHeight(kFolderPanelHeight);
    selectFilesLabel =
        Named(new QLabel("SIG、RMGファイルを選択して下さい", folderPanel), "selectFilesLabel");
    selectFilesLabel->move(8, 16);
    driveSelector = Named(new QComboBox(folderPanel), "driveSelector");
    driveSelector->setFont(JapaneseFont(false, 15));
    driveSelector->setGeometry(0, 38, 236, 22);
    fileTypeSelector = Named(new QComboBox(folderPanel), "fileTypeSelector");
    fileTypeSelector->setFont(JapaneseFont(true, 13));
    fileTypeSelector->setGeometry(293, 38, 229, 22);
    for (const FileType& type : FileTypes()) fileTypeSelector->addItem(type.caption);

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    listsPanel = Named(new QFrame(filesPage), "listsPanel");
    auto* lists = new QHBoxLayout(listsPanel);
    lists->setContentsMargins(0, 0, 0, 0);
    listSplitter = Named(new QSplitter(Qt::Horizontal, listsPanel), "listSplitter");
    listSplitter->setHandleWidth(kSplitterWidth);
    listSplitter->setChildrenCollapsible(false);
    folderList = Named(new FolderListBox(listSplitter), "folderList");
    folderList->setFont(JapaneseFont(false, 13));
    fileList = Named(new QListWidget(listSplitter), "fileList");
    fileList->setFont(JapaneseFont(false, 13));
    fileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listSplitter->addWidget(folderList);
    listSplitter->addWidget(fileList);
    listSplitter->setStretchFactor(0, 1);
    listSplitter->setStretchFactor(1, 0);
    listSplitter->setSizes({kFolderListWidth, kWidth - kSelectionColumnWidth - kFolderListWidth});
    lists->addWidget(listSplitter);

    selectionButtons = Named(new QFrame(filesPage), "selectionButtons");
    selectionButtons->setFixedWidth(kSelectionColumnWidth);
    selectAllButton = Named(new QPushButton("全選択(&A)", selectionButtons), "selectAllButton");
    selectAllButton->setGeometry(8, 0, kButtonWidth, kButtonHeight);
    selectAllButton->setAutoDefault(false);
    selectNoneButton = Named(new QPushButton("選択解除(&R)", selectionButtons), "selectNoneButton");
    selectNoneButton->setGeometry(8, 56, kButtonWidth, kButtonHeight);
    selectNoneButton->setAutoDefault(false);
    middle->addWidget(listsPanel, 1);
    middle->addWidget(selectionButtons);

    filesButtons = BottomPanel(filesPage, "filesButtons");
    filesBackButton = Button(filesButtons, "filesBackButton", "戻る(&B)", "オプション設定へ戻る");
    filesCloseButton = Button(filesButtons, "filesCloseButton", "終了(&X)", "終了");
    convertButton =
        Button(filesButtons, "convertButton", "変換(&C)", "ロールオーバー補正ファイルに変換");
    convertButton->setDefault(true);
    QWidget::setTabOrder(convertButton, filesBackButton);
    QWidget::setTabOrder(filesBackButton, filesCloseButton);
    filesButtons->onResize = [this](QWidget* sender) { PlaceBottomButtons(sender); };

    connect(selectAllButton, &QPushButton::clicked, this, [this] { SelectAllFiles(true); });
    connect(selectNoneButton, &QPushButton::clicked, this, [this] { SelectAllFiles(false); });
    connect(filesBackButton, &QPushButton::clicked, this, [this] { core->GoToOptions(); });
    connect(filesCloseButton, &QPushButton::clicked, this, [this] { close(); });
    connect(convertButton, &QPushButton::clicked, this, [this] { ConvertSelection(); });
    connect(folderList, &FolderListBox::directoryChanged, this, [this] { FillFileList(); });
    connect(fileTypeSelector, &QComboBox::currentIndexChanged, this, [this] { FillFileList(); });
    connect(driveSelector, &QComboBox::activated, this, [this](int index) {
        if (folderList->SetDirectory(driveSelector->itemData(index).toString().toStdString())) {
            FillFileList();
        }
    });

    layout->addWidget(folderPanel);
    layout->addLayout(middle, 1);
    layout->addWidget(filesButtons);
    pages->addWidget(filesPage);

    FillDrives();
    ShowFolder(QDir::currentPath().toStdString());
}

void MainWindow::BuildProgressPage() {
    progressPage = Named(new QWidget, "progressPage");
    QVBoxLayout* layout = PageColumn(progressPage);

    progressPanel = Named(new ResizePanel(progressPage), "progressPanel");
    progressPanel->setFixedHeight(kProgressPanelHeight);
    progressPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    progressPanel->setLineWidth(2);
    progressMessage = Named(new QLabel("変換中．．．", progressPanel), "progressMessage");
    progressMessage->setGeometry(8, 8, 600, 16);
    progressBar = Named(new QProgressBar(progressPanel), "progressBar");
    progressBar->setGeometry(8, 24, 577, 16);
    progressBar->setRange(0, 100);
    progressBar->setTextVisible(false);
    fileCounter = Named(new QLabel(progressPanel), "fileCounter");
    fileCounter->setFont(JapaneseFont(true, 13));
    fileCounter->setGeometry(8, 42, 300, 16);
    progressPanel->onResize = [this](QWidget* sender) { FitProgressBar(sender); };

    statusList = Named(new QListWidget(progressPage), "statusList");
    statusList->setFocusPolicy(Qt::NoFocus);
    // Every line has the same height; without this the list measures all
    // its lines again for each line added.
    statusList->setUniformItemSizes(true);
    statusList->setFont(JapaneseFont(false, 15));
    QPalette palette = statusList->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    palette.setColor(QPalette::Text, Qt::blue);
    statusList->setPalette(palette);

    progressButtons = BottomPanel(progressPage, "progressButtons");
    progressBackButton =
        Button(progressButtons, "progressBackButton", "戻る(&B)", "Sig、Rmgファイル選択に戻る");
    progressCloseButton = Button(progressButtons, "progressCloseButton", "終了(&X)", "終了");
    cancelButton =
        Button(progressButtons, "cancelButton", "変換中止(&C)", "Sig、Rmgファイル変換中止");
    QWidget::setTabOrder(cancelButton, progressBackButton);
    QWidget::setTabOrder(progressBackButton, progressCloseButton);
    progressButtons->onResize = [this](QWidget* sender) { PlaceBottomButtons(sender); };
    connect(progressBackButton, &QPushButton::clicked, this, [this] { core->GoToFileSelection(); });
    connect(progressCloseButton, &QPushButton::clicked, this, [this] { close(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { core->RequestCancel(); });

    layout->addWidget(progressPanel);
    layout->addWidget(statusList, 1);
    layout->addWidget(progressButtons);
    pages->addWidget(progressPage);
}

void MainWindow::FillDrives() {
    driveSelector->clear();
    driveSelector->addItem("/", QString("/"));
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && volume.rootPath() != "/" &&
            driveSelector->findData(volume.rootPath()) < 0) {
            driveSelector->addItem(volume.rootPath(), volume.rootPath());
        }
    }
}

void MainWindow::ShowFolder(const std::string& folder) {
    if (!folderList->SetDirectory(folder))
        return;
    const QString root = QStorageInfo(QString::fromStdString(folderList->Directory())).rootPath();
    const int index = driveSelector->findData(root);
    driveSelector->setCurrentIndex(index >= 0 ? index : 0);
    FillFileList();
}

std::string MainWindow::FileListFolder() const {
    return folderList->Directory();
}

void MainWindow::FillFileList() {
    fileList->clear();
    const int type = std::max(fileTypeSelector->currentIndex(), 0);
    for (const std::string& name : FilesOfType(FileListFolder(), static_cast<std::size_t>(type))) {
        auto* item = new QListWidgetItem(QString::fromStdString(name), fileList);
        item->setData(Qt::UserRole, QByteArray::fromStdString(name));  // the system's own bytes
    }
}

void MainWindow::SelectAllFiles(bool selected) {
    if (selected ? fileList->count() == 0 : fileList->selectedItems().isEmpty())
        return;
    for (int i = 0; i < fileList->count(); ++i) fileList->item(i)->setSelected(selected);
}

// The selected names in the list's sorted order become the inputs.
void MainWindow::ConvertSelection() {
    std::vector<std::string> names;
    for (int i = 0; i < fileList->count(); ++i) {
        if (fileList->item(i)->isSelected())
            names.push_back(fileList->item(i)->data(Qt::UserRole).toByteArray().toStdString());
    }
    core->ConvertSelected(FileListFolder(), names);
}

void MainWindow::PlaceOptionsButtons(QWidget* panel) {
    const int left = LeftOf(panel->width(), kOptionsButtonsFromRight);
    MoveLeft(optionsCloseButton, left);
    MoveLeft(nextButton, left + kSecondButton);
}

void MainWindow::PlaceBottomButtons(QWidget* panel) {
    const bool filePage = panel == filesButtons;
    QPushButton* leftButton = filePage ? filesBackButton : progressBackButton;
    QPushButton* middleButton = filePage ? filesCloseButton : progressCloseButton;
    QPushButton* rightButton = filePage ? convertButton : cancelButton;
    const int left = LeftOf(panel->width(), kPageButtonsFromRight);
    MoveLeft(leftButton, left);
    MoveLeft(middleButton, left + kMiddleButton);
    MoveLeft(rightButton, left + kLastButton);
}

void MainWindow::FitProgressBar(QWidget* panel) {
    if (panel->width() >= 18) {
        progressBar->resize(panel->width() - 18, progressBar->height());
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    if (QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    core->FirstShown();
    // The run mode is decided once the window is on screen.
    QMetaObject::invokeMethod(
        this, [this] { core->Start(); }, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!core->MayClose()) {
        event->ignore();  // the batch finishes first; the core closes the window after it
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

void MainWindow::ShowPage(WizardPage page) {
    pages->setCurrentIndex(static_cast<int>(page));
}

void MainWindow::ShowDeleteInputs(bool deleteInputs, const std::string& statusText) {
    deleteInputsCheck->setChecked(deleteInputs);
    deleteStatePanel->setText(QString::fromStdString(statusText));
}

void MainWindow::SetProgressMessage(const std::string& text, MessageColour colour) {
    if (!text.empty()) {
        QFont font = progressMessage->font();
        font.setBold(true);
        progressMessage->setFont(font);
        progressMessage->setText(QString::fromStdString(text));
    }
    if (colour != MessageColour::Keep) {
        QPalette palette = progressMessage->palette();
        palette.setColor(QPalette::WindowText, colour == MessageColour::Red ? Qt::red : Qt::black);
        progressMessage->setPalette(palette);
    }
}

void MainWindow::SetFileCounter(const std::string& text) {
    fileCounter->setText(QString::fromStdString(text));
}

void MainWindow::SetProgress(int position, int maximum) {
    // A maximum of 0 would make the bar show Qt's busy animation; an empty
    // bar of one step shows "nothing to do" instead.
    progressBar->setRange(0, std::max(maximum, 1));
    progressBar->setValue(position);
}

void MainWindow::AddStatusLine(const std::string& line) {
    statusList->addItem(QString::fromStdString(line));
    statusList->scrollToBottom();
}

void MainWindow::SetStatusLineHint(int row, const std::string& hint) {
    if (QListWidgetItem* item = statusList->item(row))
        item->setToolTip(QString::fromStdString(hint));
}

void MainWindow::ShowBatchRunning(bool running) {
    progressBackButton->setEnabled(!running);
    progressCloseButton->setEnabled(!running);
    cancelButton->setEnabled(running);
}

void MainWindow::PumpMessages() {
    QCoreApplication::processEvents();
}

void MainWindow::Pause(int milliseconds) {
    QEventLoop pause;
    QTimer::singleShot(milliseconds, &pause, &QEventLoop::quit);
    pause.exec();
}

void MainWindow::ShowWarning(const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Ok, this);
    box.exec();
}

void MainWindow::CloseWindow() {
    // Queued: the core may still be on its way out of a handler.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

}  // namespace quenrix
