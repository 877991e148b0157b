#include "core/single_instance.h"

#include <QDir>
#include <QStandardPaths>

QString SingleInstance::lockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return folder + QStringLiteral("/TarvikZarvo.lock");
}

bool SingleInstance::acquire() {
    m_lock = std::make_unique<QLockFile>(lockPath());
    m_lock->setStaleLockTime(0);  // a lock left by a crash is recognised by its dead process
    return m_lock->tryLock(0);
}
