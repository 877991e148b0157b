#include "fileio/file_identity.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "core/job_host.h"
#include "core/text_helpers.h"
#include "platform/native_path.h"

bool sameFile(const QString& a, const QString& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(nativePath(a).constData(), &first) != 0 ||
        ::stat(nativePath(b).constData(), &second) != 0) {
        return false;
    }
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool isHiddenFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.fileName().startsWith(QLatin1Char('.'));
}

bool isWriteProtected(const QString& path) {
    const QByteArray name = nativePath(path);
    struct stat status {};
    if (::lstat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    const bool noWriteBit = (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return noWriteBit || ::access(name.constData(), W_OK) != 0;
}

QString sourceProblem(const QString& path) {
    struct stat status {};
    if (::stat(nativePath(path).constData(), &status) != 0) {
        return errno == ENOENT ? QStringLiteral("it was not found") : errorText(errno);
    }
    if (S_ISDIR(status.st_mode)) {
        return QStringLiteral("it is a folder");
    }
    if (S_ISFIFO(status.st_mode)) {
        return QStringLiteral("it is a FIFO, not a file");
    }
    if (S_ISSOCK(status.st_mode)) {
        return QStringLiteral("it is a socket, not a file");
    }
    if (!S_ISREG(status.st_mode)) {
        return QStringLiteral("it is a device, not a file");
    }
    if (::access(nativePath(path).constData(), R_OK) != 0) {
        return errorText(errno);
    }
    return QString();
}

bool mayReplace(const QString& path, JobHost& host) {
    if (!pathExists(path) || isDirectory(path)) {
        return true;
    }
    return host.message(MessageIcon::Warning,
                        QLatin1Char('\'') + path +
                            QStringLiteral("' already exists. Do you want to replace it?"),
                        MessageButtons::YesNo) == MessageAnswer::Yes;
}
