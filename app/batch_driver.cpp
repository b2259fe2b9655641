// The batch: converts every file of lstConvFiles with progress, status
// lines and cancellation between files.
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

#include "batch_actions.h"
#include "engine_state.h"
#include "oplog.h"
#include "paths.h"
#include "pipeline.h"
#include "rsigsmain.h"
#include "widgets.h"

namespace quenrix {
namespace {

void SetBold(QLabel* label) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
}

}  // namespace

void TFormVaverMain::SetIngMsg(const QString& text, const QColor& colour) {
    if (!text.isNull())
        lblIngMsg->setText(text);
    if (colour.isValid()) {
        QPalette palette = lblIngMsg->palette();
        palette.setColor(QPalette::WindowText, colour);
        lblIngMsg->setPalette(palette);
    }
}

void TFormVaverMain::ConvertFiles() {
    batchRunning_ = true;
    flgCancel = false;
    btnBack3->setEnabled(false);
    btnClose3->setEnabled(false);
    btnCancel->setEnabled(true);
    ShowPage(2);
    Panel10->setVisible(true);
    SetIngMsg(QString(), Qt::black);
    WriteLog(Engine().LogFilePath, flgDelInput ? "入力ファイル設定：入力ファイル削除する"
                                               : "入力ファイル設定：入力ファイル削除しない");

    // Runs on every way out of the loop, an exception included.
    auto closing = [this] {
        btnBack3->setEnabled(true);
        btnClose3->setEnabled(true);
        btnCancel->setEnabled(false);
        SetBold(lblIngMsg);
        SetIngMsg("変換終了", QColor());
        InitProgress(0);
        QCoreApplication::processEvents();
        batchRunning_ = false;
    };
    try {
        if (!lstConvFiles.empty()) {
            InitProgress(static_cast<int>(lstConvFiles.size()));
            SetBold(lblIngMsg);
            SetIngMsg("変換中・・・", QColor());
            BatchFileActions actions(lstConvFiles, flgDelInput);
            for (std::size_t i = 0; i < lstConvFiles.size(); ++i) {
                if (flgCancel) {
                    WriteLog(Engine().LogFilePath, "変換キャンセル");
                    break;
                }
                lblCount->setText(QString("ファイル数=%1/%2").arg(i + 1).arg(lstConvFiles.size()));
                const int fileRow = lboxStatus->count();
                AddStatusLine(PathText(FileNamePart(lstConvFiles[i])), 1);
                const LogCapture logged;
                const ConvertResult result = ConvertGpsFile(lstConvFiles[i]);
                const FileOutcome outcome = actions.Apply(i, result);
                for (const std::string& line : outcome.statusLines) {
                    AddStatusLine(line, 2);
                }
                if (!outcome.reason.empty()) {
                    ShowReason(fileRow, logged.Messages());
                }
                StepProgress(1);
                QCoreApplication::processEvents();
            }
        }
    } catch (...) {
        closing();
        throw;
    }
    closing();
    if (closeRequested_) {
        // The title bar's close button was pressed during the batch.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

// A file that failed keeps the status list's lines as they are; its log
// messages (the path aside) become the tooltip of its lines, so the user
// need not open the log to learn why.
void TFormVaverMain::ShowReason(int fileRow, const std::vector<std::string>& logged) {
    QStringList reasons;
    for (std::size_t i = 1; i < logged.size(); ++i) {
        QString message = QString::fromStdString(logged[i]);
        if (message.startsWith(" > "))
            message.remove(0, 3);
        reasons << message;
    }
    for (int row = fileRow; row < lboxStatus->count(); ++row) {
        lboxStatus->item(row)->setToolTip(reasons.join('\n'));
    }
}

void TFormVaverMain::AddStatusLine(const std::string& text, std::int16_t kind) {
    std::string line;
    if (kind == 1) {
        const std::string prefix = LogTimeStamp() + " - ";
        if (StatusIndent == 0)
            StatusIndent = static_cast<int>(prefix.size());
        line = prefix + text;
    } else {
        line = std::string(static_cast<std::size_t>(StatusIndent), ' ') + "             -> " + text;
    }
    lboxStatus->addItem(QString::fromStdString(line));
    lboxStatus->scrollToBottom();
}

void TFormVaverMain::InitProgress(int n) {
    // A maximum of 0 would make the bar show Qt's busy animation; an empty
    // bar of one step shows "nothing to do" instead.
    barProgress->setRange(0, std::max(n, 1));
    barProgress->setValue(0);
}

void TFormVaverMain::StepProgress(int d) {
    barProgress->setValue(barProgress->value() + d);
    QCoreApplication::processEvents();
}

void TFormVaverMain::btnOkClick() {
    if (boxFileList->selectedItems().isEmpty()) {
        QMessageBox box(QMessageBox::Warning, "警告", "SIG、RMGファイルを選択して下さい",
                        QMessageBox::Ok, this);
        box.exec();
        return;
    }
    lstConvFiles.clear();
    for (int i = 0; i < boxFileList->count(); ++i) {
        if (boxFileList->item(i)->isSelected()) {
            lstConvFiles.push_back(
                JoinPath(FileListFolder(), boxFileList->item(i)->text().toStdString()));
        }
    }
    try {
        ConvertFiles();
    } catch (const std::exception& error) {
        QMessageBox::critical(this, windowTitle(), QString::fromLocal8Bit(error.what()));
    } catch (...) {
        QMessageBox::critical(this, windowTitle(), QString());
    }
}

void TFormVaverMain::btnCancelClick() {
    flgCancel = true;
    SetIngMsg("変換を中止しています。しばらくお待ちください", Qt::red);
}

}  // namespace quenrix
