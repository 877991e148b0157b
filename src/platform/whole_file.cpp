#include "platform/whole_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/text_helpers.h"
#include "platform/native_path.h"

namespace {

// A new, empty file beside `path` that no one else can have opened or linked.
int createTemporary(const QString& path, QString* temporary) {
    const QFileInfo info(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporary = info.path() + QStringLiteral("/.") + info.fileName() +
                     QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16,
                                                   QLatin1Char('0'));
        const int fd = ::open(nativePath(*temporary).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

bool writeAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t put =
            ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += put;
    }
    return true;
}

}  // namespace

int regularFileOnly(int fd) {
    if (fd < 0) {
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int openExistingRegularFile(const QByteArray& name) {
    return regularFileOnly(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

std::optional<QByteArray> readSmallFile(const QString& path, quint64 maxBytes, QString* error) {
    const int fd = openExistingRegularFile(nativePath(path));
    if (fd < 0) {
        *error = errno == EINVAL ? QStringLiteral("it is not a regular file") : errorText(errno);
        return std::nullopt;
    }
    QByteArray data;
    char block[65536];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 || data.size() + got > static_cast<qsizetype>(maxBytes)) {
            *error = got < 0 ? errorText(errno)
                             : QStringLiteral("it is larger than %1 bytes").arg(sizeText(maxBytes));
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        data.append(block, got);
    }
    ::close(fd);
    return data;
}

bool makeFolders(const QString& folder, QString* failedFolder, QString* reason) {
    const QStringList parts = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString made = folder.startsWith(QLatin1Char('/')) ? QString() : QStringLiteral(".");
    for (const QString& part : parts) {
        made += QLatin1Char('/') + part;
        const QByteArray name = nativePath(made);
        if (::mkdir(name.constData(), 0777) == 0) {
            continue;
        }
        const int error = errno;
        struct stat status {};
        if (error == EEXIST && ::stat(name.constData(), &status) == 0 && S_ISDIR(status.st_mode)) {
            continue;
        }
        *failedFolder = made;
        *reason = errorText(error == EEXIST ? ENOTDIR : error);
        return false;
    }
    return true;
}

PathKind pathKind(const QString& path) {
    struct stat status {};
    if (::lstat(nativePath(path).constData(), &status) != 0) {
        return PathKind::Missing;
    }
    if (S_ISLNK(status.st_mode)) {
        return PathKind::Link;
    }
    if (S_ISREG(status.st_mode)) {
        return PathKind::Regular;
    }
    if (S_ISDIR(status.st_mode)) {
        return PathKind::Directory;
    }
    return S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) ? PathKind::Device : PathKind::Other;
}

bool replaceWholeFile(const QString& path, const QByteArray& data, QString* error, mode_t mode) {
    if (pathKind(path) == PathKind::Directory) {
        *error = errorText(EISDIR);
        return false;
    }
    QString temporary;
    const int fd = createTemporary(path, &temporary);
    if (fd < 0) {
        *error = errorText(errno);
        return false;
    }
    const bool written =
        writeAll(fd, data) && (mode == 0 || ::fchmod(fd, mode) == 0) && ::fsync(fd) == 0;
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    // rename() replaces whatever stands at the name, a planted link included.
    if (written && closed &&
        ::rename(nativePath(temporary).constData(), nativePath(path).constData()) == 0) {
        return true;
    }
    *error = errorText(written && closed ? errno : writeError);
    ::unlink(nativePath(temporary).constData());
    return false;
}
