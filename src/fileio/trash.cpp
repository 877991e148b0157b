#include "fileio/trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <QSet>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "core/job_host.h"
#include "core/text_helpers.h"
#include "fileio/file_identity.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"

namespace {

QString confirmationText(const QStringList& paths) {
    const QString head =
        paths.size() == 1
            ? QStringLiteral("Are you sure you want to move this file to the Trash?")
            : QStringLiteral("Are you sure you want to move these %1 files to the Trash?")
                  .arg(paths.size());
    return head + QStringLiteral("\r\n\r\n") + paths.join(QStringLiteral("\r\n"));
}

// True for ".../Trash/files/NAME", ".../.Trash-UID/files/NAME", ".../.Trash/UID/files/NAME".
bool isInTrashFolder(const QString& inTrash) {
    const QDir files = QFileInfo(inTrash).absoluteDir();
    if (files.dirName() != QLatin1String("files")) {
        return false;
    }
    QDir trash = files;
    trash.cdUp();
    const QString name = trash.dirName();
    trash.cdUp();
    return name == QLatin1String("Trash") || name.startsWith(QStringLiteral(".Trash")) ||
           trash.dirName() == QLatin1String(".Trash");
}

}  // namespace

// Moves one file to the trash and checks that it really arrived there.
bool moveToTrash(const QString& path) {
    // Without the user's data folder Qt cannot find the trash and would misplace files.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash) || !QFileInfo::exists(inTrash) ||
        QFileInfo::exists(path)) {
        return false;
    }
    if (!isInTrashFolder(inTrash)) {
        // Qt settles for "./files" when it finds no trash folder: put the file back.
        QFile::rename(inTrash, path);
        return false;
    }
    return true;
}

QStringList deleteSources(const QStringList& paths, DeleteAction action, JobHost& host) {
    if (action == DeleteAction::No || paths.isEmpty()) {
        return {};
    }
    if (action == DeleteAction::Prompt &&
        host.message(MessageIcon::Question, confirmationText(paths), MessageButtons::YesNo) !=
            MessageAnswer::Yes) {
        return {};
    }
    QStringList trashed;
    QStringList kept;
    for (const QString& path : paths) {
        if (trashed.contains(path)) {
            continue;  // the same file twice in the list
        }
        (moveToTrash(path) ? trashed : kept).append(path);
    }
    if (!kept.isEmpty()) {
        host.message(MessageIcon::Error,
                     QStringLiteral("These files could not be moved to the Trash and were "
                                    "left where they are:\r\n\r\n") +
                         kept.join(QStringLiteral("\r\n")));
    }
    return trashed;
}

QString ReplacedFiles::text() const {
    QStringList sentences;
    if (trashed > 0) {
        sentences.append(
            trashed == 1 ? QStringLiteral("1 file it replaced went to the Trash.")
                         : QStringLiteral("%1 files it replaced went to the Trash.").arg(trashed));
    }
    if (deleted > 0) {
        sentences.append(deleted == 1 ? QStringLiteral("1 file it replaced was deleted: the "
                                                       "Trash could not take it.")
                                      : QStringLiteral("%1 files it replaced were deleted: the "
                                                       "Trash could not take them.")
                                            .arg(deleted));
    }
    return sentences.join(QLatin1Char(' '));
}

bool setAsideReplaced(const QString& path, ReplacedFiles& replaced) {
    if (pathKind(path) != PathKind::Regular) {
        return true;
    }
    if (isWriteProtected(path)) {
        return false;
    }
    if (moveToTrash(path)) {
        ++replaced.trashed;
        return true;
    }
    if (::unlink(nativePath(path).constData()) == 0) {
        ++replaced.deleted;
        return true;
    }
    return errno == ENOENT;
}

namespace {

// fsync or fdatasync of `path` opened read-only; errno's text on failure.
QString synced(const QString& path, bool folder) {
    const int fd = ::open(nativePath(path).constData(),
                          O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : O_NONBLOCK));
    if (fd < 0) {
        return errorText(errno);
    }
    const int result = folder ? ::fsync(fd) : ::fdatasync(fd);
    const int error = errno;
    ::close(fd);
    // A folder on a file system that cannot sync one (EINVAL) has nothing more to write.
    return result == 0 || (folder && error == EINVAL) ? QString() : errorText(error);
}

}  // namespace

QString makeDurable(const QStringList& paths) {
    QSet<QString> folders;
    for (const QString& path : paths) {
        const QString problem = synced(path, false);
        if (!problem.isEmpty()) {
            return QLatin1Char('\'') + path +
                   QStringLiteral("' could not be written to the disk for good: ") + problem +
                   QLatin1Char('.');
        }
        folders.insert(withoutTrailingSlashes(folderPart(path)));
    }
    for (const QString& folder : std::as_const(folders)) {
        const QString problem = synced(folder.isEmpty() ? QStringLiteral("/") : folder, true);
        if (!problem.isEmpty()) {
            return QLatin1Char('\'') + folder +
                   QStringLiteral("' could not be written to the disk for good: ") + problem +
                   QLatin1Char('.');
        }
    }
    return QString();
}
