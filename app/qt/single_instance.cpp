#include "app/qt/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

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
    lock_ = std::make_unique<QLockFile>(QDir::tempPath() + "/" + name_ + ".lock");
    lock_->setStaleLockTime(0);  // a long run is never stale; a dead copy's lock is
    if (!lock_->tryLock(0)) {
        if (lock_->error() != QLockFile::LockFailedError) {
            return true;  // no guard to be had: run as the first copy
        }
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (socket.waitForConnected(kWaitMs)) {
            socket.write("raise\n");
            socket.waitForBytesWritten(kWaitMs);
            socket.disconnectFromServer();
        }
        return false;
    }
    // A copy that crashed may have left its socket behind.
    QLocalServer::removeServer(name_);
    server_.listen(name_);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            emit raiseRequested();
        }
    });
    return true;
}

}  // namespace quenrix
