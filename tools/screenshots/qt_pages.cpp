// quenrix-screenshots (Linux): shows each page of the Qt window on a
// folder of sample files and saves it as a PNG, for looking at.
// Usage: quenrix-screenshots FOLDER OUTPUT-FOLDER
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <string>

#include "app/qt/main_window.h"

namespace {

void Settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

bool Save(quenrix::MainWindow& window, const std::string& path) {
    Settle();
    const bool saved = window.grab().save(QString::fromStdString(path));
    std::printf("%s %s\n", saved ? "saved" : "could not save", path.c_str());
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const std::string out = argv[2];
    QApplication application(argc, argv);
    quenrix::MainWindow window({}, quenrix::WindowCatalogue());
    window.show();
    bool ok = Save(window, out + "/qt-1-options.png");
    window.Core().GoToFileSelection();
    window.ShowFolder(folder);
    for (int i = 0; i < window.findChild<QListWidget*>("fileList")->count() && i < 3; ++i)
        window.findChild<QListWidget*>("fileList")->item(i)->setSelected(true);
    ok = Save(window, out + "/qt-2-files.png") && ok;
    window.Core().SetDeleteInputs(false);  // the samples stay for the next run
    window.findChild<QPushButton*>("convertButton")->click();
    ok = Save(window, out + "/qt-3-progress.png") && ok;

    // The failed file's line chosen: its reason in the status bar.
    auto* status = window.findChild<QListWidget*>("statusList");
    for (int row = 0; row < status->count(); ++row)
        if (!status->item(row)->toolTip().isEmpty()) {
            status->setCurrentRow(row);
            break;
        }
    ok = Save(window, out + "/qt-4-failed.png") && ok;

    // A batch cancelled after its first file.
    window.Core().GoToFileSelection();
    window.findChild<QListWidget*>("fileList")->selectAll();
    QTimer::singleShot(0, [&window] { window.findChild<QPushButton*>("cancelButton")->click(); });
    window.findChild<QPushButton*>("convertButton")->click();
    ok = Save(window, out + "/qt-5-cancelled.png") && ok;

    // A folder the user may not read, chosen in the folder list: the box
    // is answered, the status bar keeps saying why.
    window.Core().GoToFileSelection();
    QTimer::singleShot(200, [&out] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->grab().save(QString::fromStdString(out + "/qt-6-locked-box.png"));
            box->accept();
        }
    });
    window.Core().FolderNotEntered(folder + "/locked", EACCES);
    ok = Save(window, out + "/qt-6-locked.png") && ok;
    window.close();
    return ok ? 0 : 1;
}
