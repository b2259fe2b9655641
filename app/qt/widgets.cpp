#include "app/qt/widgets.h"

#include <QDir>
#include <QFileInfo>

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

    // Ancestors from the root down, each one step further indented.
    QStringList parts = path.split('/', Qt::SkipEmptyParts);
    QString walked = "/";
    int depth = 0;
    auto add = [this](const QString& label, const QString& target, int indent) {
        auto* item = new QListWidgetItem(QString(indent * 2, ' ') + label, this);
        item->setData(Qt::UserRole, target);
        return item;
    };
    add("/", "/", depth++);
    for (const QString& part : parts) {
        walked = QDir::cleanPath(walked + "/" + part);
        add(part, walked, depth++);
    }
    setCurrentRow(count() - 1);
    const QStringList children = QDir(path).entryList(
        QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    for (const QString& child : children) {
        add(child, QDir::cleanPath(path + "/" + child), depth);
    }
    return true;
}

}  // namespace quenrix
