#include "zip/zip_step.h"

#include <cerrno>

#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "core/job_host.h"
#include "core/job_messages.h"
#include "core/native_path.h"
#include "core/whole_file.h"
#include "fileio/file64.h"
#include "fileio/file_identity.h"
#include "fileio/trash.h"
#include "zip/cgzipfiles.h"

namespace {

// The position of the extension's dot inside the file name; -1 when it has none
// (a dot in a folder name, or the leading dot of a hidden name, is no extension).
qsizetype extensionDot(const QString& path) {
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > nameStart ? dot : -1;
}

// An old archive of the same name goes to the trash, since it may be an unrelated file
// of the user's; a link or other non-file planted there is removed, never followed.
bool setOldArchiveAside(const QString& archive) {
    switch (pathKind(archive)) {
        case PathKind::Missing:
            return true;
        case PathKind::Regular:
            return moveToTrash(archive);
        case PathKind::Link:
        case PathKind::Other:
            return ::unlink(nativePath(archive).constData()) == 0 || errno == ENOENT;
        case PathKind::Directory:
        case PathKind::Device:
            break;
    }
    return false;
}

JobOutcome removeOldArchive(const QString& archive, File64& files, JobHost& host) {
    for (;;) {
        if (setOldArchiveAside(archive)) {
            return JobOutcome::Success;
        }
        if (!askRetryOverwrite(host, archive)) {
            host.message(MessageIcon::Information, kPackingAbortedByUser);
            files.closeJobFiles();
            return JobOutcome::Failed;
        }
    }
}

}  // namespace

QString zipArchivePath(const QString& path) {
    const qsizetype dot = extensionDot(path);
    return dot < 0 ? path + QStringLiteral(".zip") : path.left(dot + 1) + QStringLiteral("zip");
}

bool hasZipExtension(const QString& path) {
    const qsizetype dot = extensionDot(path);
    return dot >= 0 && path.mid(dot + 1).compare(QStringLiteral("zip"), Qt::CaseInsensitive) == 0;
}

bool refuseZip(const QString& file, const QStringList& sources, const QString& jobFiles,
               JobHost& host) {
    const QString archive = zipArchivePath(file);
    const QString refusal = QStringLiteral("Cannot zip '") + file;
    if (hasZipExtension(file) || archive == file || sameFile(archive, file)) {
        host.message(MessageIcon::Error,
                     refusal + QStringLiteral("' because it is already a zip file. Zipping "
                                              "aborted."));
        return true;
    }
    for (const QString& source : sources) {
        if (archive == source || sameFile(archive, source)) {
            host.message(MessageIcon::Error, refusal + QStringLiteral("' because '") + archive +
                                                 QStringLiteral("' is one of the files being ") +
                                                 jobFiles + QStringLiteral(". Zipping aborted."));
            return true;
        }
    }
    return false;
}

JobOutcome zipFile(const QString& file, const QString& archive, File64& files, JobHost& host,
                   bool* zipped) {
    *zipped = false;
    const JobOutcome outcome = removeOldArchive(archive, files, host);
    if (outcome != JobOutcome::Success) {
        return outcome;
    }
    CGZipFiles zip;
    zip.setHost(&host);
    zip.setZipFileName(archive);
    zip.setUpdatingZip(false);
    zip.AddFile(file);
    if (zip.MakeZipFile() == 0) {
        host.message(MessageIcon::Information, QLatin1Char('\'') + file +
                                                   QStringLiteral("' successfully zipped as '") +
                                                   archive + QStringLiteral("'."));
        *zipped = true;
        return JobOutcome::Success;
    }
    host.message(MessageIcon::Error,
                 CGZipFiles::GetLastMessage() + QStringLiteral("\r\n\r\nZipping aborted."));
    return JobOutcome::Success;
}
