#include "fileio/trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/job_host.h"

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

QStringList DeleteSources(const QStringList& paths, DeleteAction action, JobHost& host) {
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
