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
#include <QSplitterHandle>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStorageInfo>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "app/core/file_browser.h"
#include "app/core/wizard_layout.h"
#include "app/qt/accessibility.h"
#include "app/qt/main_window.h"
#include "app/qt/widgets.h"
#include "support/file_ops.h"
#include "support/native.h"
#include "support/paths.h"

namespace quenrix {
namespace {

using namespace layout;
using layout::Rect;

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

// What a screen reader says for the control: its name and, where it has
// one, its hint, in the window's language. A label's name is the text it
// shows, which Qt keeps and announces as it changes.
void Spoken(QWidget* widget, const layout::Control& control, const Catalogue& words) {
    if (qobject_cast<QLabel*>(widget) == nullptr || *control.caption == '\0')
        widget->setAccessibleName(QString::fromStdString(SpokenName(control, words)));
    if (*control.hint != '\0')
        widget->setAccessibleDescription(QString::fromStdString(words.Text(control.hint)));
}

// A control of the table made without Made (lists, panels), named for
// screen readers as Made names its own.
template <typename Widget>
Widget* Spoken(const Catalogue& words, Widget* widget, Role role) {
    Spoken(widget, ControlOf(role), words);
    return widget;
}

// A control of the window's description: its name, hint and place (in its
// panel, which starts `top` pixels down the page); with a caption where
// the widget shows one.
template <typename Widget>
Widget* Made(const Catalogue& words, QWidget* parent, Role role, int top = 0) {
    const layout::Control& control = ControlOf(role);
    auto* widget = Named(new Widget(parent), control.name);
    if constexpr (requires { widget->setText(QString()); })
        widget->setText(QString::fromStdString(words.Text(control.caption)));
    if (*control.hint != '\0')
        widget->setToolTip(QString::fromStdString(words.Text(control.hint)));
    Spoken(widget, control, words);
    widget->setGeometry(control.at.x, control.at.y - top, control.at.width, control.at.height);
    return widget;
}

QPushButton* Button(const Catalogue& words, QWidget* parent, Role role, int top = 0) {
    auto* button = Made<QPushButton>(words, parent, role, top);
    button->setAutoDefault(false);
    return button;
}

// A button's or bar's place in a panel as wide as the window.
void FollowWidth(QWidget* widget, Role role, int width) {
    const Rect at = Place(ControlOf(role), width, kHeight, kFolderListWidth);
    widget->setGeometry(at.x, widget->y(), at.width, widget->height());
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

}  // namespace

MainWindow::MainWindow(std::vector<std::string> arguments, const Catalogue& words, QWidget* parent)
    : QMainWindow(parent), words_(words) {
    setObjectName("FormVaverMain");
    setFont(JapaneseFont(true, 15));
    resize(kWidth, kHeight);

    statusBar()->setObjectName("StatusBar");
    statusBar()->setSizeGripEnabled(false);
    statusBar()->setAccessibleName(QString::fromStdString(words_.Text("状態")));
    deleteCaptionPanel = Named(new QLabel(QString::fromStdString(words_.Text(kStatusCaption))),
                               "deleteCaptionPanel");
    deleteCaptionPanel->setFixedWidth(kStatusCaptionWidth);
    deleteCaptionPanel->setAlignment(Qt::AlignCenter);
    deleteStatePanel = Named(new QLabel, "deleteStatePanel");
    deleteStatePanel->setFixedWidth(kStatusStateWidth);
    statusBar()->addWidget(deleteCaptionPanel);
    statusBar()->addWidget(deleteStatePanel);
    noticePanel = Named(new ElidedLabel, "noticePanel");
    statusBar()->addWidget(noticePanel, 1);

    pages = Named(new QStackedWidget(this), "pages");
    setCentralWidget(pages);
    BuildOptionPage();
    BuildFileSelectionPage();
    BuildProgressPage();
    ChainTheFocus();

    // Enter acts on the page's default button (the folder list keeps it
    // for itself); Space presses the button that has the focus.
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

    core_ =
        std::make_unique<WizardCore>(*this, words_, std::move(arguments),
                                     QDir::currentPath().toStdString(), native::ExecutablePath());
}

MainWindow::~MainWindow() = default;

// Tab goes through each page in the description's order; every control
// that takes the focus shows it; panels and the
// splitter's handle are named parts for a screen reader, not bare frames.
void MainWindow::ChainTheFocus() {
    auto* focusMarks = new FocusMarkStyle;
    focusMarks->setParent(this);  // made after the controls, so deleted after them
    QWidget* previous = nullptr;
    WizardPage previousPage = WizardPage::Options;
    for (const layout::Control& control : kControls) {
        auto* widget = findChild<QWidget*>(control.name);
        if (widget->focusPolicy() == Qt::NoFocus)
            continue;
        widget->setStyle(focusMarks);
        if (previous != nullptr && control.page == previousPage)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
        previousPage = control.page;
    }
    // The role first: a name set makes Qt build the widget's accessible
    // object, which keeps the role it was made with.
    QSplitterHandle* handle = listSplitter->handle(1);
    SetAccessibleRole(handle, QAccessible::Separator);
    Spoken(handle, ControlOf(Role::ListSplitter), words_);
    for (const auto& [panel, name] : std::initializer_list<std::pair<QWidget*, const char*>>{
             {folderPanel, "場所"},
             {listsPanel, "フォルダとファイル"},
             {selectionButtons, "選択"},
             {optionsButtons, "ボタン"},
             {filesButtons, "ボタン"},
             {progressPanel, "進み具合"},
             {progressButtons, "ボタン"},
         }) {
        SetAccessibleRole(panel, QAccessible::Pane);
        panel->setAccessibleName(QString::fromStdString(words_.Text(name)));
    }
}

void MainWindow::BuildOptionPage() {
    optionsPage = Named(new QWidget, "optionsPage");
    QVBoxLayout* layout = PageColumn(optionsPage);

    optionsGroup =
        Spoken(words_, Named(new QGroupBox(optionsPage), "optionsGroup"), Role::OptionsGroup);
    deleteInputsCheck = Made<QCheckBox>(words_, optionsGroup, Role::DeleteInputsCheck);
    deleteInputsCheck->setChecked(true);
    connect(deleteInputsCheck, &QCheckBox::clicked, this,
            [this] { core_->SetDeleteInputs(deleteInputsCheck->isChecked()); });

    optionsButtons = BottomPanel(optionsPage, "optionsButtons");
    optionsCloseButton = Button(words_, optionsButtons, Role::OptionsCloseButton);
    nextButton = Button(words_, optionsButtons, Role::NextButton);
    nextButton->setDefault(true);
    connect(optionsCloseButton, &QPushButton::clicked, this, [this] { close(); });
    connect(nextButton, &QPushButton::clicked, this, [this] { core_->GoToFileSelection(); });
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
    selectFilesLabel = Made<QLabel>(words_, folderPanel, Role::SelectFilesLabel);
    driveLabel = Made<QLabel>(words_, folderPanel, Role::DriveLabel);
    driveSelector = Made<QComboBox>(words_, folderPanel, Role::DriveSelector);
    driveSelector->setFont(JapaneseFont(false, 15));
    driveLabel->setBuddy(driveSelector);
    fileTypeLabel = Made<QLabel>(words_, folderPanel, Role::FileTypeLabel);
    fileTypeSelector = Made<QComboBox>(words_, folderPanel, Role::FileTypeSelector);
    fileTypeLabel->setBuddy(fileTypeSelector);
    fileTypeSelector->setFont(JapaneseFont(true, 13));
    for (const FileType& type : FileTypes())
        fileTypeSelector->addItem(QString::fromStdString(words_.Text(type.caption)));

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    BuildFileLists();

    selectionButtons = Named(new QFrame(filesPage), "selectionButtons");
    selectionButtons->setFixedWidth(kSelectionColumnWidth);
    selectAllButton = Button(words_, selectionButtons, Role::SelectAllButton, kFolderPanelHeight);
    selectNoneButton = Button(words_, selectionButtons, Role::SelectNoneButton, kFolderPanelHeight);
    middle->addWidget(listsPanel, 1);
    middle->addWidget(selectionButtons);

    filesButtons = BottomPanel(filesPage, "filesButtons");
    filesBackButton = Button(words_, filesButtons, Role::FilesBackButton);
    filesCloseButton = Button(words_, filesButtons, Role::FilesCloseButton);
    convertButton = Button(words_, filesButtons, Role::ConvertButton);
    convertButton->setDefault(true);
    filesButtons->onResize = [this](QWidget* sender) { PlaceBottomButtons(sender); };

    ConnectFileSelectionPage();

    layout->addWidget(folderPanel);
    layout->addLayout(middle, 1);
    layout->addWidget(filesButtons);
    pages->addWidget(filesPage);

    FillDrives();
    ShowFolder(QDir::currentPath().toStdString());
}

// The folder list and the file list, side by side with a splitter.
void MainWindow::BuildFileLists() {
    listsPanel = Named(new QFrame(filesPage), "listsPanel");
    auto* lists = new QHBoxLayout(listsPanel);
    lists->setContentsMargins(0, 0, 0, 0);
    listSplitter = Spoken(words_, Named(new QSplitter(Qt::Horizontal, listsPanel), "listSplitter"),
                          Role::ListSplitter);
    listSplitter->setHandleWidth(kSplitterWidth);
    listSplitter->setChildrenCollapsible(false);
    folderList =
        Spoken(words_, Named(new FolderListBox(listSplitter), "folderList"), Role::FolderList);
    folderList->setFont(JapaneseFont(false, 13));
    fileList = Spoken(words_, Named(new QListWidget(listSplitter), "fileList"), Role::FileList);
    fileList->setFont(JapaneseFont(false, 13));
    fileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listSplitter->addWidget(folderList);
    listSplitter->addWidget(fileList);
    listSplitter->setStretchFactor(0, 1);
    listSplitter->setStretchFactor(1, 0);
    listSplitter->setSizes({kFolderListWidth, kWidth - kSelectionColumnWidth - kFolderListWidth});
    lists->addWidget(listSplitter);
}

void MainWindow::ConnectFileSelectionPage() {
    // Ctrl+A chooses every file, wherever the focus is on the page.
    auto* selectAll = new QShortcut(QKeySequence::SelectAll, filesPage);
    selectAll->setContext(Qt::WidgetWithChildrenShortcut);
    connect(selectAll, &QShortcut::activated, this, [this] { SelectAllFiles(true); });
    connect(selectAllButton, &QPushButton::clicked, this, [this] { SelectAllFiles(true); });
    connect(selectNoneButton, &QPushButton::clicked, this, [this] { SelectAllFiles(false); });
    connect(filesBackButton, &QPushButton::clicked, this, [this] { core_->GoToOptions(); });
    connect(filesCloseButton, &QPushButton::clicked, this, [this] { close(); });
    connect(convertButton, &QPushButton::clicked, this, [this] { ConvertSelection(); });
    connect(folderList, &FolderListBox::directoryChanged, this, [this] { FillFileList(); });
    connect(folderList, &FolderListBox::directoryRefused, this,
            [this](const QString& folder, int cause) {
                core_->FolderNotEntered(folder.toStdString(), cause);
            });
    connect(fileTypeSelector, &QComboBox::currentIndexChanged, this, [this] { FillFileList(); });
    connect(driveSelector, &QComboBox::activated, this, [this](int index) {
        const QString drive = driveSelector->itemData(index).toString();
        if (const int cause = folderList->SetDirectory(drive.toStdString()); cause == 0) {
            FillFileList();
        } else {
            core_->FolderNotEntered(drive.toStdString(), cause);
            ShowFolder(folderList->Directory());  // the drive of the folder still shown
        }
    });
}

void MainWindow::BuildProgressPage() {
    progressPage = Named(new QWidget, "progressPage");
    QVBoxLayout* layout = PageColumn(progressPage);

    progressPanel = Named(new ResizePanel(progressPage), "progressPanel");
    progressPanel->setFixedHeight(kProgressPanelHeight);
    progressPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    progressPanel->setLineWidth(2);
    progressMessage = Made<QLabel>(words_, progressPanel, Role::ProgressMessage);
    progressBar = Made<QProgressBar>(words_, progressPanel, Role::ProgressBar);
    progressBar->setRange(0, 100);
    progressBar->setTextVisible(false);
    fileCounter = Made<QLabel>(words_, progressPanel, Role::FileCounter);
    fileCounter->setFont(JapaneseFont(true, 13));
    progressPanel->onResize = [this](QWidget* sender) { FitProgressBar(sender); };

    statusList =
        Spoken(words_, Named(new QListWidget(progressPage), "statusList"), Role::StatusList);
    // The keyboard reaches every line; the chosen line's hint (why a file
    // failed) shows in the status bar, where no mouse is needed to read it.
    statusList->setFocusPolicy(Qt::StrongFocus);
    connect(statusList, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        const QString hint = item != nullptr ? item->toolTip() : QString();
        noticePanel->SetWholeText(hint.isEmpty() ? notice_ : QString(hint).replace('\n', "  "));
    });
    // Every line has the same height; without this the list measures all
    // its lines again for each line added.
    statusList->setUniformItemSizes(true);
    statusList->setFont(JapaneseFont(false, 15));
    QPalette palette = statusList->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    palette.setColor(QPalette::Text, Qt::blue);
    statusList->setPalette(palette);

    progressButtons = BottomPanel(progressPage, "progressButtons");
    progressBackButton = Button(words_, progressButtons, Role::ProgressBackButton);
    progressCloseButton = Button(words_, progressButtons, Role::ProgressCloseButton);
    cancelButton = Button(words_, progressButtons, Role::CancelButton);
    progressButtons->onResize = [this](QWidget* sender) { PlaceBottomButtons(sender); };
    connect(progressBackButton, &QPushButton::clicked, this,
            [this] { core_->GoToFileSelection(); });
    connect(progressCloseButton, &QPushButton::clicked, this, [this] { close(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { core_->RequestCancel(); });

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
    if (folderList->SetDirectory(folder) != 0)
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
    core_->ConvertSelected(FileListFolder(), names);
    // The folder as the batch left it: deleted inputs gone, corrected
    // files there, nothing chosen (a file chosen again would be one that
    // is gone).
    FillFileList();
}

void MainWindow::PlaceOptionsButtons(QWidget* panel) {
    FollowWidth(optionsCloseButton, Role::OptionsCloseButton, panel->width());
    FollowWidth(nextButton, Role::NextButton, panel->width());
}

void MainWindow::PlaceBottomButtons(QWidget* panel) {
    if (panel == filesButtons) {
        FollowWidth(filesBackButton, Role::FilesBackButton, panel->width());
        FollowWidth(filesCloseButton, Role::FilesCloseButton, panel->width());
        FollowWidth(convertButton, Role::ConvertButton, panel->width());
    } else {
        FollowWidth(progressBackButton, Role::ProgressBackButton, panel->width());
        FollowWidth(progressCloseButton, Role::ProgressCloseButton, panel->width());
        FollowWidth(cancelButton, Role::CancelButton, panel->width());
    }
}

void MainWindow::FitProgressBar(QWidget* panel) {
    if (panel->width() >= 18)
        FollowWidth(progressBar, Role::ProgressBar, panel->width());
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    if (QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    core_->FirstShown();
    // The run mode is decided once the window is on screen.
    QMetaObject::invokeMethod(
        this, [this] { core_->Start(); }, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!core_->MayClose()) {
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
    // Read as shown ("ファイル数=3/3"); announced as it changes.
    fileCounter->setAccessibleName(QString::fromStdString(
        text.empty() ? SpokenName(ControlOf(Role::FileCounter), words_) : text));
}

void MainWindow::SetProgress(int position, int maximum) {
    // A maximum of 0 would make the bar show Qt's busy animation; an empty
    // bar of one step shows "nothing to do" instead.
    progressBar->setRange(0, std::max(maximum, 1));
    progressBar->setValue(position);
}

void MainWindow::AddStatusLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) statusList->addItem(QString::fromStdString(line));
    statusList->scrollToBottom();
}

void MainWindow::SetStatusLineHint(int row, const std::string& hint) {
    if (QListWidgetItem* item = statusList->item(row)) {
        item->setToolTip(QString::fromStdString(hint));
        item->setData(Qt::AccessibleDescriptionRole, QString::fromStdString(hint));
    }
}

void MainWindow::ShowBatchRunning(bool running) {
    if (!running && statusList->count() > 0)
        statusList->setCurrentRow(statusList->count() - 1);  // the batch's result
    const bool cancelHadFocus = cancelButton->hasFocus();
    progressBackButton->setEnabled(!running);
    progressCloseButton->setEnabled(!running);
    cancelButton->setEnabled(running);
    // A cancel button pressed from the keyboard hands the focus to the
    // results, so that a screen reader reads the result out.
    if (!running && cancelHadFocus)
        statusList->setFocus();
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

void MainWindow::ShowNotice(const std::string& text) {
    // A narrow window cuts the text short: the tooltip holds it whole.
    notice_ = QString::fromStdString(text);
    noticePanel->SetWholeText(notice_);
}

void MainWindow::CloseWindow() {
    // Queued: the core may still be on its way out of a handler.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

}  // namespace quenrix
