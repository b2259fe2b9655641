// Only one copy runs at a time: a second copy asks the first to raise its
// window and exits.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

#include <memory>
#include <string>

#include "app/core/instance_guard.h"

namespace quenrix {

class SingleInstance : public QObject, public InstanceGuard {
    Q_OBJECT

  public:
    // The guard is named after the program's full path, so copies
    // installed in different places do not stop each other.
    explicit SingleInstance(const std::string& programPath, QObject* parent = nullptr);

    // True for the first copy. A later copy asks the first one to raise
    // its window and gets false.
    bool BecomeFirst() override;

  signals:
    void raiseRequested();

  private:
    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};

}  // namespace quenrix
