// Quenrix: repairs GPS receiver files after a week-number rollover.
// With an argument it converts the files named and closes; without one it
// shows the wizard.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QStandardPaths>

#include <cstdlib>
#include <exception>

#include "app/core/command_line.h"
#include "app/qt/main_window.h"
#include "app/qt/single_instance.h"
#include "support/file_ops.h"
#include "support/native.h"

namespace {

QtMessageHandler qtDefaultHandler = nullptr;

// Without a display, Qt's offscreen platform warns on every start; from
// cron that would mail a line a run that says nothing about the files.
void QuietOffscreenNotices(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg &&
        text.startsWith("This plugin does not support propagateSizeHints")) {
        return;
    }
    if (qtDefaultHandler != nullptr)
        qtDefaultHandler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
    // The toolkit's runtime folder is the user's own, also under cron
    // (no XDG_RUNTIME_DIR), where it would fall back to one in the shared
    // temporary folder that another user may have made first: it would
    // refuse that one, and say so on standard error.
    if (const std::string runtime = quenrix::native::PrivateRuntimeFolder(); !runtime.empty())
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    // Automatic mode runs from scripts and cron too, where there is no display.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qtDefaultHandler = qInstallMessageHandler(QuietOffscreenNotices);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const auto text = quenrix::InformationAskedFor(arguments)) {
        quenrix::native::WriteText(quenrix::native::TextStream::Output, *text);
        return 0;
    }
    QApplication application(argc, argv);
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QString(":/icons/quenrix-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    if (quenrix::StartedInTheProgramFolder(arguments, QDir::currentPath().toStdString(),
                                           quenrix::native::ExecutablePath()))
        QDir::setCurrent(QStandardPaths::writableLocation(QStandardPaths::HomeLocation));

    quenrix::SingleInstance guard(quenrix::native::ExecutablePath());
    if (!guard.BecomeFirst()) {  // the running copy raises its window
        return quenrix::NotTheFirstCopy(!arguments.empty());
    }

    // Automatic mode answers a script with its status; the window, 0.
    int status = 0;
    try {
        quenrix::MainWindow form(arguments, quenrix::WindowCatalogue());
        QObject::connect(&guard, &quenrix::SingleInstance::raiseRequested, &form, [&form] {
            form.setWindowState(form.windowState() & ~Qt::WindowMinimized);
            form.show();
            form.raise();
            form.activateWindow();
        });
        form.show();
        application.exec();
        status = form.Core().ExitStatus();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, "Quenrix", QString::fromLocal8Bit(error.what()));
        status = 1;
    } catch (...) {
        QMessageBox::critical(nullptr, "Quenrix", QString());
        status = 1;
    }
    return status;
}
