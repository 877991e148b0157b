#include "pack/pack_command.h"

#include <cerrno>

#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "core/job_host.h"
#include "core/text_helpers.h"
#include "fileio/disk_space.h"
#include "fileio/file64.h"
#include "fileio/file_identity.h"
#include "pack/join_engine.h"
#include "zip/cgzipfiles.h"

OverwritePolicy overwritePolicyFromWord(const QString& word) {
    if (word == QLatin1String("No")) {
        return OverwritePolicy::No;
    }
    if (word == QLatin1String("NoPrompt")) {
        return OverwritePolicy::NoPrompt;
    }
    return OverwritePolicy::Prompt;
}

namespace {

// The position of the extension's dot inside the file name; -1 when it has none
// (a dot in a folder name, or the leading dot of a hidden name, is no extension).
qsizetype extensionDot(const QString& path) {
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > nameStart ? dot : -1;
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

PackCommand::PackCommand(File64& files, JobHost& host) : m_files(files), m_host(host) {}

JobOutcome PackCommand::run(const QStringList& inputs, const QString& output,
                            const PackOptions& options) {
    if (inputs.isEmpty()) {
        m_host.message(MessageIcon::Warning, QStringLiteral("Nothing to pack."));
        return JobOutcome::Stopped;
    }
    if (inputs.size() == 1) {
        m_host.message(MessageIcon::Warning,
                       QStringLiteral("At least 2 files are required for packing."));
        return JobOutcome::Stopped;
    }
    m_totalSize = 0;
    m_mpeg.reset();
    m_freeBytes = freeBytesFor(output);

    JoinEngine engine(m_files, m_host);
    const JoinJob job{inputs, output, options.rate};
    JoinEngine::InputCheck check;
    if (options.mpegCheck) {
        check = [this](const QString& path) { return passesMpegCheck(path); };
    }
    JobOutcome outcome = engine.validate(job, check);
    m_totalSize = engine.totalSize();
    if (outcome != JobOutcome::Success) {
        return outcome;
    }
    if (m_freeBytes < m_totalSize) {
        m_host.message(MessageIcon::Error,
                       QStringLiteral("Not enough free diskspace. Packing aborted!"));
        return JobOutcome::Stopped;
    }
    if (!passesOverwriteRule(options.overwrite)) {
        return JobOutcome::Stopped;
    }
    outcome = engine.copy(job);
    if (outcome == JobOutcome::Success && options.zip) {
        outcome = zipStep(inputs, output);
    }
    if (outcome != JobOutcome::Success) {
        return outcome;
    }
    DeleteSources(inputs, options.deleteSources, m_host);
    PreviouslySaved = true;
    m_host.message(MessageIcon::Information,
                   QLatin1Char('\'') + output +
                       QStringLiteral("' successfully packed! Total filesize is ") +
                       sizeText(m_totalSize) + QStringLiteral(" bytes."));
    return JobOutcome::Success;
}

bool PackCommand::passesMpegCheck(const QString& path) {
    if (m_mpeg.MpegIgnoreErrors) {
        return true;
    }
    m_mpeg.CheckMpegCompatibility(path, m_files, m_host);
    if ((m_mpeg.MpegCompatible && m_mpeg.MpegValid) || m_mpeg.MpegIgnoreErrors) {
        return true;
    }
    if (!m_mpeg.MpegCompatible) {
        const MessageAnswer answer = m_host.message(
            MessageIcon::Error,
            QStringLiteral("Not compatible for Zarvoing. Proceed packing and ignore Mpeg "
                           "Compatibility error?"),
            MessageButtons::YesNo);
        m_mpeg.MpegIgnoreErrors = answer == MessageAnswer::Yes;
        return m_mpeg.MpegIgnoreErrors;
    }
    return false;
}

bool PackCommand::passesOverwriteRule(OverwritePolicy policy) {
    if (!PreviouslySaved) {
        return true;
    }
    switch (policy) {
        case OverwritePolicy::Prompt:
            return m_host.message(MessageIcon::Warning,
                                  QStringLiteral("You are trying to overwrite a file that was "
                                                 "previously saved. Do you want to continue?"),
                                  MessageButtons::YesNo) == MessageAnswer::Yes;
        case OverwritePolicy::No:
            m_host.message(
                MessageIcon::Warning,
                QStringLiteral("You cannot overwrite a file that was previously saved."));
            return false;
        case OverwritePolicy::NoPrompt:
            break;
    }
    return true;
}

bool PackCommand::cancel() {
    if (m_zipping) {
        return false;
    }
    m_files.closeJobFiles();
    m_host.message(MessageIcon::Information, QStringLiteral("Packing aborted by user"));
    return true;
}

JobOutcome PackCommand::zipStep(const QStringList& inputs, const QString& output) {
    const QString archive = zipArchivePath(output);
    if (refuseZip(inputs, output, archive)) {
        return JobOutcome::Success;
    }
    m_zipping = true;
    if (onZipStatus) {
        onZipStatus(output);
    }
    JobOutcome outcome = removeOldArchive(archive);
    if (outcome == JobOutcome::Success) {
        CGZipFiles zip;
        zip.setHost(&m_host);
        zip.setZipFileName(archive);
        zip.setUpdatingZip(false);
        zip.AddFile(output);
        reportZipResult(output, archive, zip.MakeZipFile());
    }
    m_zipping = false;
    if (onZipStatus) {
        onZipStatus(QString());
    }
    return outcome;
}

// An output that is already an archive, or an archive name that stands for the output
// or one of the sources, is never zipped: writing the archive would destroy it.
bool PackCommand::refuseZip(const QStringList& inputs, const QString& output,
                            const QString& archive) {
    const QString refusal = QStringLiteral("Cannot zip '") + output;
    if (hasZipExtension(output) || archive == output || sameFile(archive, output)) {
        m_host.message(MessageIcon::Error,
                       refusal + QStringLiteral("' because it is already a zip file. Zipping "
                                                "aborted."));
        return true;
    }
    for (const QString& input : inputs) {
        if (archive == input || sameFile(archive, input)) {
            m_host.message(MessageIcon::Error,
                           refusal + QStringLiteral("' because '") + archive +
                               QStringLiteral("' is one of the files being packed. Zipping "
                                              "aborted."));
            return true;
        }
    }
    return false;
}

JobOutcome PackCommand::removeOldArchive(const QString& archive) {
    for (;;) {
        const QFileInfo info(archive);
        if (!info.exists() && !info.isSymLink()) {
            return JobOutcome::Success;
        }
        if (::unlink(QFile::encodeName(archive).constData()) == 0 || errno == ENOENT) {
            return JobOutcome::Success;
        }
        const MessageAnswer answer =
            m_host.message(MessageIcon::Error,
                           QStringLiteral("Cannot overwrite '") + archive +
                               QStringLiteral("'. Disk full/write-protected or file is in use."),
                           MessageButtons::RetryCancel);
        if (answer != MessageAnswer::Retry) {
            m_host.message(MessageIcon::Information, QStringLiteral("Packing aborted by user"));
            m_files.closeJobFiles();
            return JobOutcome::Failed;
        }
    }
}

void PackCommand::reportZipResult(const QString& output, const QString& archive, int result) {
    if (result == 0) {
        m_host.message(MessageIcon::Information, QLatin1Char('\'') + output +
                                                     QStringLiteral("' successfully zipped as '") +
                                                     archive + QStringLiteral("'."));
        return;
    }
    m_host.message(MessageIcon::Error,
                   CGZipFiles::GetLastMessage() + QStringLiteral("\r\n\r\nZipping aborted."));
}
