#include "fileio/disk_space.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include "core/native_path.h"

QString nearestExistingFolder(const QString& path) {
    QString folder = absolutePathOf(path);
    while (!isDirectory(folder)) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) {
            return QStringLiteral("/");
        }
        folder = parent;
    }
    return folder;
}

bool DoesSystemSupportLargeDrives(const QString& path) {
    const QStorageInfo volume(nearestExistingFolder(path));
    return volume.isValid() && volume.isReady();
}

quint64 freeBytesFor(const QString& path) {
    const QStorageInfo volume(nearestExistingFolder(path));
    if (!volume.isValid() || !volume.isReady() || volume.bytesAvailable() < 0) {
        return 0;
    }
    return static_cast<quint64>(volume.bytesAvailable());
}

QString volumeOf(const QString& path) {
    const QStorageInfo volume(nearestExistingFolder(path));
    return QString::fromLocal8Bit(volume.device()) + QLatin1Char('|') + volume.rootPath();
}
