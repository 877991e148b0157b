#include "fileio/disk_space.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include "platform/native_path.h"

namespace {

// The folder that holds `path`, by its text ("/" for the root and its entries).
QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

}  // namespace

QString nearestExistingFolder(const QString& path) {
    QString folder = absolutePathOf(path);
    while (!isDirectory(folder)) {
        const QString parent = parentOf(folder);
        if (parent == folder) {
            return QStringLiteral("/");
        }
        folder = parent;
    }
    return folder;
}

// Asked by the folder's own bytes: a name that is not valid UTF-8 must not become
// another name on the way.
quint64 freeBytesFor(const QString& path) {
    struct statvfs volume {};
    if (::statvfs(nativePath(nearestExistingFolder(path)).constData(), &volume) != 0) {
        return 0;
    }
    return static_cast<quint64>(volume.f_bavail) * static_cast<quint64>(volume.f_frsize);
}

QString volumeOf(const QString& path) {
    struct stat status {};
    if (::stat(nativePath(nearestExistingFolder(path)).constData(), &status) != 0) {
        return QString();
    }
    return QString::number(static_cast<qulonglong>(status.st_dev));
}
