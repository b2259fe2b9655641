// Start-up and the run modes: the command line decides between the
// automatic run of the files it names and the manual wizard.
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cctype>

#include "engine_state.h"
#include "event_pump.h"
#include "file_ops.h"
#include "oplog.h"
#include "paths.h"
#include "rsigsmain.h"

namespace quenrix {
namespace {

std::string UpperAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    return text;
}

bool IsGpsExtension(const std::string& extension) {
    const std::string upper = UpperAscii(extension);
    for (const char* gps : {".SIG", ".RMG", ".RM0", ".RM1", ".RM2", ".RM3", ".RM4", ".RM5"}) {
        if (upper == gps)
            return true;
    }
    return false;
}

constexpr int kAutomaticCloseDelayMs = 500;

}  // namespace

void TFormVaverMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    setWindowTitle("Quenrix Ver.1.0");
    if (QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    ShowPage(0);
    // The run mode is decided once the window is on screen.
    QMetaObject::invokeMethod(
        this, [this] { StartRun(); }, Qt::QueuedConnection);
}

void TFormVaverMain::StartRun() {
    try {
        ReadCommandLine();
        WriteLog(Engine().LogFilePath, "Quenrix Ver.1.0");
        if (flgAutoMode) {
            WriteLog(Engine().LogFilePath, "変換自動");
            WriteLongLog(Engine().LogFilePath, "入力引数:" + arguments_.front());
            if (!flgDelInput) {
                WriteLog(Engine().LogFilePath, "オプション引数:/NOTDEL 入力ファイル削除しない");
            }
        } else {
            WriteLog(Engine().LogFilePath, "変換手動");
        }
        if (!lstConvFiles.empty()) {
            ConvertFiles();
        }
        if (flgAutoMode) {
            if (lstConvFiles.empty()) {
                WriteLog(Engine().LogFilePath,
                         "ERROR：SIG,RMGファイルがみあたらない " + strInputArg);
            } else {
                QEventLoop pause;
                QTimer::singleShot(kAutomaticCloseDelayMs, &pause, &QEventLoop::quit);
                pause.exec();
            }
            close();
        }
    } catch (...) {
        WriteLog(Engine().LogFilePath, "ERROR：システム異常");
    }
}

void TFormVaverMain::ReadCommandLine() {
    if (!arguments_.empty()) {
        strInputArg = arguments_.front();
        flgAutoMode = true;
        lstConvFiles.clear();
        const std::string extension = ExtensionPart(strInputArg);
        if (!IsGpsExtension(extension) && extension.empty()) {
            // No extension: a folder, whose files are all listed.
            strInputArg = JoinPath(strInputArg, "");
        }
        ListFiles(lstConvFiles, strInputArg);
    }
    for (const std::string& argument : arguments_) {
        const std::string option = UpperAscii(argument);
        if (option == "/NOTDEL") {
            chkRmgDel->setChecked(false);
            chkRmgDelClick();
        } else if (option == "/NLOG") {
            logSwitch = 0;
            Engine().LogFilePath.clear();
        } else if (option == "/DEBUG") {
            flgDebug = true;
        }
    }
}

void TFormVaverMain::closeEvent(QCloseEvent* event) {
    if (batchRunning_) {
        // The batch finishes first; the window closes after it.
        closeRequested_ = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

TFormVaverMain::~TFormVaverMain() {
    SetEventPump({});
    lstConvFiles.clear();
    if (FileExists(Engine().WorkFileName)) {
        DeleteFile(Engine().WorkFileName);
    }
    WriteLog(Engine().LogFilePath, "終了");
}

}  // namespace quenrix
