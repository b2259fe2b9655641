#include "app/qt/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

#include "support/native.h"

namespace quenrix {
namespace {

constexpr int kWaitMs = 2000;

}  // namespace

SingleInstance::SingleInstance(const std::string& programPath, QObject* parent) : QObject(parent) {
    QString name = QString::fromStdString(InstanceName(programPath));
    // Socket paths are short; a long program path is shortened by a hash.
    if (name.size() > 40) {
        name = name.right(16) + "-" +
               QCryptographicHash::hash(programPath.c_str(), QCryptographicHash::Sha1)
                   .toHex()
                   .left(16);
    }
    name_ = "quenrix-" + name;
}

bool SingleInstance::BecomeFirst() {
    // A folder of the user's own (mode 0700, never the shared temporary
    // folder, also under cron): another user's copy neither blocks this
    // one nor can reach its socket, and a dead copy's lock is this user's
    // to take over.
    const QString folder = QString::fromStdString(native::PrivateRuntimeFolder());
    if (folder.isEmpty())
        return true;  // no guard to be had: run as the first copy
    const QString socket = folder + "/" + name_;
    lock_ = std::make_unique<QLockFile>(socket + ".lock");
    lock_->setStaleLockTime(0);  // a long run is never stale; a dead copy's lock is
    if (!lock_->tryLock(0)) {
        if (lock_->error() != QLockFile::LockFailedError) {
            return true;  // no guard to be had: run as the first copy
        }
        QLocalSocket first;
        first.connectToServer(socket);
        if (first.waitForConnected(kWaitMs)) {
            first.write("raise\n");
            first.waitForBytesWritten(kWaitMs);
            first.disconnectFromServer();
        }
        return false;
    }
    name_ = socket;
    // A copy that crashed may have left its socket behind.
    QLocalServer::removeServer(name_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(name_);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            emit raiseRequested();
        }
    });
    return true;
}

}  // namespace quenrix
