#include "app/qt/widgets.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyledItemDelegate>

#include <cerrno>

#include "app/core/file_browser.h"

namespace quenrix {

void ResizePanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (onResize)
        onResize(this);
}

namespace {

// Draws each line of the folder list as far right as its depth: two
// blanks' width a step, as the Windows window draws it.
class IndentedLines : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(Indent(option, index), 0);
    }

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->rect.setLeft(option->rect.left() + Indent(*option, index));
    }

  private:
    static int Indent(const QStyleOptionViewItem& option, const QModelIndex& index) {
        return index.data(FolderListBox::kDepthRole).toInt() * 2 *
               option.fontMetrics.horizontalAdvance(QLatin1Char(' '));
    }
};

}  // namespace

FolderListBox::FolderListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentedLines(this));
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { Enter(item->data(Qt::UserRole).toString()); });
}

void FolderListBox::Enter(const QString& folder) {
    const int cause = SetDirectory(folder.toStdString());
    if (cause == 0) {
        emit directoryChanged();
        return;
    }
    // The chosen line must not stay highlighted as if the window were there.
    (void)SetDirectory(directory_);
    emit directoryRefused(folder, cause);
}

namespace {

bool IsFolderKey(const QKeyEvent& key) {
    return key.modifiers() == Qt::NoModifier || key.modifiers() == Qt::KeypadModifier
               ? key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter ||
                     key.key() == Qt::Key_Backspace
               : false;
}

}  // namespace

bool FolderListBox::event(QEvent* event) {
    // Taken before the window's Enter shortcut (which converts) sees it.
    if (event->type() == QEvent::ShortcutOverride && IsFolderKey(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QListWidget::event(event);
}

void FolderListBox::keyPressEvent(QKeyEvent* event) {
    if (!IsFolderKey(*event)) {
        QListWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->key() == Qt::Key_Backspace) {
        Enter(QString::fromStdString(directory_) + "/..");
    } else if (QListWidgetItem* item = currentItem()) {
        Enter(item->data(Qt::UserRole).toString());
    }
}

int FolderListBox::SetDirectory(const std::string& folder) {
    const QString path =
        QDir::cleanPath(QFileInfo(QString::fromStdString(folder)).absoluteFilePath());
    if (const native::Done entered = EnterListedFolder(path.toStdString()); !entered)
        return entered.cause;
    directory_ = path.toStdString();
    clear();
    // The folder's ancestors from the root down, each one step further
    // indented, then its subfolders: the same list as the Windows window's.
    std::size_t current = 0;
    for (const FolderListEntry& entry : FolderListing(directory_, current)) {
        auto* item = new QListWidgetItem(QString::fromStdString(entry.label), this);
        item->setData(Qt::UserRole, QString::fromStdString(entry.path));
        item->setData(kDepthRole, entry.depth);
    }
    setCurrentRow(static_cast<int>(current));
    return 0;
}

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    // As narrow as the window makes it: the text is cut to fit.
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::SetWholeText(const QString& text) {
    whole_ = text;
    setToolTip(text);
    // A screen reader reads the text whole, and is told when it changes.
    setAccessibleName(text);
    Fit();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Fit();
}

void ElidedLabel::Fit() {
    setText(fontMetrics().elidedText(whole_, Qt::ElideRight, width()));
}

}  // namespace quenrix
