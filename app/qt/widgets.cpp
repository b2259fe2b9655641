#include "app/qt/widgets.h"

#include <QDir>
#include <QFileInfo>

#include "app/core/file_browser.h"

namespace quenrix {

void ResizePanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (onResize)
        onResize(this);
}

FolderListBox::FolderListBox(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        if (SetDirectory(item->data(Qt::UserRole).toString().toStdString())) {
            emit directoryChanged();
        }
    });
}

bool FolderListBox::SetDirectory(const std::string& folder) {
    const QString path =
        QDir::cleanPath(QFileInfo(QString::fromStdString(folder)).absoluteFilePath());
    if (!QFileInfo(path).isDir() || !QDir::setCurrent(path)) {
        return false;
    }
    directory_ = path.toStdString();
    clear();
    // The folder's ancestors from the root down, each one step further
    // indented, then its subfolders: the same list as the Windows window's.
    std::size_t current = 0;
    for (const FolderListEntry& entry : FolderListing(directory_, current)) {
        auto* item = new QListWidgetItem(
            QString(entry.depth * 2, ' ') + QString::fromStdString(entry.label), this);
        item->setData(Qt::UserRole, QString::fromStdString(entry.path));
    }
    setCurrentRow(static_cast<int>(current));
    return true;
}

}  // namespace quenrix
