#include "zip/zip_step.h"

#include <algorithm>
#include <cerrno>

#include <QFile>
#include <QFileInfo>

#include "core/job_host.h"
#include "core/job_messages.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "fileio/file_identity.h"
#include "fileio/trash.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"
#include "zip/cgzipfiles.h"

namespace {

// The position of the extension's dot inside the file name; -1 when it has none
// (a dot in a folder name, or the leading dot of a hidden name, is no extension).
qsizetype extensionDot(const QString& path) {
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > nameStart ? dot : -1;
}

bool gone(int removeError) {
    return removeError == 0 || removeError == ENOENT;
}

JobOutcome removeOldArchive(const QString& archive, File64& files, JobHost& host,
                            ReplacedFiles& replaced) {
    for (;;) {
        // A link or other non-file planted there is removed, never followed.
        const PathKind kind = pathKind(archive);
        const bool aside = kind == PathKind::Link || kind == PathKind::Other
                               ? gone(files.removeName(archive))
                               : kind != PathKind::Directory && kind != PathKind::Device &&
                                     setAsideReplaced(archive, replaced);
        if (aside) {
            return JobOutcome::Success;
        }
        if (!askRetryOverwrite(host, archive)) {
            host.message(MessageIcon::Information, kPackingAbortedByUser);
            files.closeJobFiles();
            return JobOutcome::Failed;
        }
    }
}

// What an interrupted run may have left of an archive: our hidden name, and the
// temporary that the zip library writes beside it (the name and six more characters).
void removeStalePartials(const QString& archive, File64& files) {
    const QString partial = partialArchivePath(archive);
    const QString folder = folderPart(partial);
    const QString stem = namePart(partial);
    for (const QString& name : entryNames(withoutTrailingSlashes(folder))) {
        const bool temporary =
            name.size() == stem.size() + 7 && name.startsWith(stem + QLatin1Char('.')) &&
            std::all_of(name.begin() + stem.size() + 1, name.end(),
                        [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; });
        if ((name == stem || temporary) && pathKind(folder + name) == PathKind::Regular) {
            files.removeName(folder + name);
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

QString partialArchivePath(const QString& archive) {
    return folderPart(archive) + QLatin1Char('.') + namePart(archive) +
           QStringLiteral(".zarvo-partial");
}

JobOutcome zipFile(const QString& file, const QString& archive, File64& files, JobHost& host,
                   const CancelRequest& cancel, ReplacedFiles& replaced) {
    removeStalePartials(archive, files);
    const QString partial = partialArchivePath(archive);
    CGZipFiles zip(files, &host, &cancel);
    zip.setZipFileName(partial);
    zip.setUpdatingZip(false);
    zip.AddFile(file);
    ZipResult result = zip.MakeZipFile();
    if (result.outcome != JobOutcome::Success) {
        files.removeName(partial);
        if (result.outcome == JobOutcome::Failed) {
            host.message(MessageIcon::Error, result.error.replace(partial, archive) +
                                                 QStringLiteral("\r\n\r\nZipping aborted."));
        }
        return result.outcome;
    }
    // An old archive goes only once the new one is surely on the disk.
    QString unsynced = pathKind(archive) == PathKind::Regular ? makeDurable({partial}) : QString();
    if (!unsynced.isEmpty()) {
        files.removeName(partial);
        host.message(MessageIcon::Error, unsynced.replace(partial, archive) +
                                             QStringLiteral("\r\n\r\nZipping aborted."));
        return JobOutcome::Failed;
    }
    JobOutcome outcome = removeOldArchive(archive, files, host, replaced);
    const int renameError = outcome == JobOutcome::Success ? files.rename(partial, archive) : 0;
    if (renameError != 0) {
        host.message(MessageIcon::Error, writeErrorText(archive, errorText(renameError)) +
                                             QStringLiteral("\r\n\r\nZipping aborted."));
        outcome = JobOutcome::Failed;
    }
    if (outcome != JobOutcome::Success) {
        files.removeName(partial);
        return outcome;
    }
    host.message(MessageIcon::Information, QLatin1Char('\'') + file +
                                               QStringLiteral("' successfully zipped as '") +
                                               archive + QStringLiteral("'."));
    return JobOutcome::Success;
}
