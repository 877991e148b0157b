#include "fileio/file_identity.h"

#include <cstring>

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

bool sameFile(const QString& a, const QString& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(QFile::encodeName(a).constData(), &first) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &second) != 0) {
        return false;
    }
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool isHiddenFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.fileName().startsWith(QLatin1Char('.'));
}

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}
