#include "pack/pack_command.h"

#include "core/job_host.h"
#include "core/job_messages.h"
#include "core/text_helpers.h"
#include "fileio/disk_space.h"
#include "fileio/file64.h"
#include "fileio/file_identity.h"
#include "pack/join_engine.h"
#include "zip/zip_step.h"

PackCommand::PackCommand(File64& files, JobHost& host) : m_files(files), m_host(host) {}

bool PackCommand::hasEnoughInputs(const QStringList& inputs) {
    if (inputs.isEmpty()) {
        m_host.message(MessageIcon::Warning, QStringLiteral("Nothing to pack."));
        return false;
    }
    if (inputs.size() == 1) {
        m_host.message(MessageIcon::Warning,
                       QStringLiteral("At least 2 files are required for packing."));
        return false;
    }
    return true;
}

JobOutcome PackCommand::run(const QStringList& inputs, const QString& output,
                            const PackOptions& options) {
    if (!hasEnoughInputs(inputs)) {
        return JobOutcome::Stopped;
    }
    m_totalSize = 0;
    m_mpeg.reset();
    m_freeBytes = freeBytesFor(output);

    m_cancel.reset();
    JoinEngine engine(m_files, m_host, m_cancel);
    const JoinJob job{inputs, output, options.rate, options.checksum, options.seamless};
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
    if (!passesOverwriteRule(output, options)) {
        return JobOutcome::Stopped;
    }
    outcome = engine.copy(job);
    if (outcome == JobOutcome::Cancelled) {
        const QString kept = keptFileLine(output, GetFileLen(output));
        m_host.message(MessageIcon::Information,
                       withLine(withLine(kPackingAbortedByUser, kept), engine.cancelNote()));
        return outcome;
    }
    ReplacedFiles replaced;
    QStringList results{output};
    if (outcome == JobOutcome::Success && options.zip) {
        outcome = zipStep(inputs, output, replaced, &results);
    }
    if (outcome == JobOutcome::Cancelled) {
        m_host.message(
            MessageIcon::Information,
            withLine(kPackingAbortedByUser, keptFileLine(output, GetFileLen(output), true)));
    }
    if (outcome != JobOutcome::Success) {
        return outcome;
    }
    if (onJobDone) {
        onJobDone();
    }
    // A seamless join drops the end codes between its parts.
    const quint64 written = options.seamless ? GetFileLen(output) : m_totalSize;
    if (options.deleteSources != DeleteAction::No) {
        // The sources go only once what replaces them is surely on the disk.
        const QString problem = makeDurable(results);
        if (!problem.isEmpty()) {
            m_host.message(MessageIcon::Error,
                           problem + QStringLiteral(" The sources stay where they are."));
            return JobOutcome::Failed;
        }
        deleteSources(inputs, options.deleteSources, m_host);
    }
    PreviouslySaved = true;
    m_savedOutput = output;
    const QString aside = replaced.text();
    m_host.message(MessageIcon::Information,
                   QLatin1Char('\'') + output +
                       QStringLiteral("' successfully packed! Total filesize is ") +
                       sizeText(written) + QStringLiteral(" bytes.") +
                       (aside.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + aside));
    return JobOutcome::Success;
}

bool PackCommand::passesMpegCheck(const QString& path) {
    if (m_mpeg.MpegIgnoreErrors) {
        return true;
    }
    const FormatFinding finding = m_mpeg.CheckMpegCompatibility(path, m_files);
    if (finding.valid()) {
        return true;
    }
    m_mpeg.MpegIgnoreErrors = userIgnores(finding);
    return m_mpeg.MpegIgnoreErrors;
}

bool PackCommand::userIgnores(const FormatFinding& finding) {
    // After the mismatch question, the first file that differs from the first, and how.
    const QString question =
        finding.kind == FormatFinding::Kind::Mismatched
            ? QStringLiteral(
                  "Not compatible for Zarvoing. Proceed packing and ignore Mpeg "
                  "Compatibility error?\r\n") +
                  finding.difference
            : QLatin1Char('\'') + finding.path +
                  QStringLiteral(
                      "' is not a valid MPEG file.\r\n\r\nProceed packing and "
                      "ignore invalid Mpeg error?");
    return m_host.message(MessageIcon::Error, question, MessageButtons::YesNo) ==
           MessageAnswer::Yes;
}

bool PackCommand::passesOverwriteRule(const QString& output, const PackOptions& options) {
    const bool namesSavedFile =
        PreviouslySaved && (output == m_savedOutput || sameFile(output, m_savedOutput));
    if (!namesSavedFile) {
        // A file this run did not write is never replaced without asking.
        return output == options.confirmedOutput || mayReplace(output, m_host);
    }
    switch (options.overwrite) {
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
    m_cancel.request();
    return true;
}

// A zip that fails or is cancelled fails the job: the joined file stays whole, and the
// sources stay where they are.
JobOutcome PackCommand::zipStep(const QStringList& inputs, const QString& output,
                                ReplacedFiles& replaced, QStringList* results) {
    if (refuseZip(output, inputs, QStringLiteral("packed"), m_host)) {
        return JobOutcome::Success;
    }
    m_zipping = true;
    if (onZipStatus) {
        onZipStatus(output);
    }
    const QString archive = zipArchivePath(output);
    const JobOutcome outcome = zipFile(output, archive, m_files, m_host, m_cancel, replaced);
    if (outcome == JobOutcome::Success) {
        results->append(archive);
    }
    m_zipping = false;
    if (onZipStatus) {
        onZipStatus(QString());
    }
    return outcome;
}
