#include "pack/join_engine.h"

#include <algorithm>
#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/job_host.h"
#include "core/job_messages.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "fileio/file_identity.h"
#include "formats/format_probe.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"

namespace {

bool isAlreadyOpen(int error) {
    return error == ETXTBSY || error == EBUSY;
}

}  // namespace

JoinEngine::JoinEngine(File64& files, JobHost& host, const CancelRequest& cancel)
    : m_files(files), m_host(host), m_transfer(files, host, cancel) {}

JobOutcome JoinEngine::validate(const JoinJob& job, const InputCheck& check) {
    m_totalSize = 0;
    m_copiedSize = 0;
    m_sizes.clear();
    for (const QString& path : job.inputs) {
        const QString problem = sourceProblem(path);
        if (!problem.isEmpty()) {
            m_host.message(MessageIcon::Error, QStringLiteral("Cannot pack '") + path +
                                                   QStringLiteral("': ") + problem +
                                                   QLatin1Char('.') + kPackingAborted);
            return JobOutcome::Stopped;
        }
        const quint64 size = GetFileLen(path);
        if (size == 0) {
            m_host.message(MessageIcon::Error, QStringLiteral("Cannot pack '") + path +
                                                   QStringLiteral("' which is a 0 byte file.") +
                                                   kPackingAborted);
            return JobOutcome::Stopped;
        }
        if (job.output == path || sameFile(job.output, path)) {
            m_host.message(MessageIcon::Warning, QStringLiteral("Cannot pack Save As file!"));
            return JobOutcome::Stopped;
        }
        m_totalSize += size;
        m_sizes.push_back(size);
        if (check && !check(path)) {
            return JobOutcome::Stopped;
        }
    }
    return JobOutcome::Success;
}

JobOutcome JoinEngine::copy(const JoinJob& job) {
    m_copiedSize = 0;
    quint64 largest = 1;
    for (const quint64 size : m_sizes) {
        largest = std::max(largest, std::min(size, job.rate.largestStep()));
    }
    m_transfer.start(m_totalSize, largest);

    int outputHandle = -1;
    m_output = job.output;
    m_digest = job.checksum ? std::make_unique<Sha256>() : nullptr;
    m_cancelNote.clear();
    MpegStreamKind kind = MpegStreamKind::None;
    if (job.seamless && allMpeg4(job.inputs)) {
        const Mpeg4Route route = routeMpeg4(job);
        if (!route.refusal.isEmpty()) {
            return fail(route.refusal);
        }
        if (route.plan) {
            return copyMpeg4(job, *route.plan);
        }
        if (route.remux) {
            return remuxMpeg4(job);
        }
    } else if (job.seamless) {
        kind = seamlessKind(job.inputs);
    }
    m_seamless = kind != MpegStreamKind::None ? std::make_unique<SeamlessJoin>(kind) : nullptr;
    m_seamlessKind = kind;
    m_damagedParts.clear();
    JobOutcome outcome = prepareOutput(job.output, &outputHandle);
    for (qsizetype i = 0; outcome == JobOutcome::Success && i < job.inputs.size(); ++i) {
        m_lastPart = i + 1 == job.inputs.size();
        outcome =
            copyInput(job.inputs.at(i), m_sizes.at(static_cast<size_t>(i)), outputHandle, job.rate);
    }
    if (outcome != JobOutcome::Success) {
        return outcome;
    }
    m_files.CloseFile(outputHandle);
    if (!m_damagedParts.isEmpty()) {
        m_host.message(MessageIcon::Warning,
                       QStringLiteral("The joined file is not wholly continuous: ") +
                           m_damagedParts.join(QStringLiteral("; ")) +
                           (m_damagedParts.size() == 1
                                ? QStringLiteral(". From there on, that part was copied unchanged.")
                                : QStringLiteral(". From there on, those parts were copied "
                                                 "unchanged.")));
    }
    return m_digest ? writeChecksum(job.output) : JobOutcome::Success;
}

MpegStreamKind JoinEngine::streamKindOf(const QString& path) {
    const int handle = m_files.OpenFile(path, File64::OpenMode::ReadOnly).handle;
    if (handle == -1) {
        return MpegStreamKind::None;
    }
    char head[1024];
    int error = 0;
    const quint64 got = m_files.GetBytes(handle, head, sizeof head, &error);
    m_files.CloseFile(handle);
    return detectStreamKind(head, static_cast<size_t>(got));
}

MpegStreamKind JoinEngine::seamlessKind(const QStringList& inputs) {
    const MpegStreamKind first = streamKindOf(inputs.first());
    QString odd = first == MpegStreamKind::None ? inputs.first() : QString();
    for (qsizetype i = 1; odd.isEmpty() && i < inputs.size(); ++i) {
        if (streamKindOf(inputs.at(i)) != first) {
            odd = inputs.at(i);
        }
    }
    if (odd.isEmpty()) {
        return first;
    }
    const QString expected =
        first == MpegStreamKind::None
            ? QStringLiteral("an MPEG program, transport or video elementary stream")
            : streamKindText(first) + QStringLiteral(" like '") + inputs.first() +
                  QLatin1Char('\'');
    m_host.message(MessageIcon::Information,
                   QLatin1Char('\'') + odd + QStringLiteral("' is not ") + expected +
                       QStringLiteral(": the files are joined byte for byte."));
    return MpegStreamKind::None;
}

JobOutcome JoinEngine::writeChecksum(const QString& output) {
    m_transfer.settleDigests();
    const QByteArray digest = m_digest->hexDigest();
    if (digest.isEmpty()) {
        return fail(checksumFailureText(output) + kPackingAborted);
    }
    return writeChecksumLine(output, digest);
}

JobOutcome JoinEngine::writeChecksumLine(const QString& output, const QByteArray& digest) {
    const QString manifest = checksumFilePath(output);
    QString error;
    if (!replaceWholeFile(manifest, checksumLine(digest, namePart(output)), &error)) {
        return fail(writeErrorText(manifest, error) + kPackingAborted);
    }
    return JobOutcome::Success;
}

JobOutcome JoinEngine::prepareOutput(const QString& output, int* handle) {
    JobOutcome outcome = JobOutcome::Success;
    if (!deleteOldOutput(output, &outcome)) {
        return outcome;
    }
    QString failedFolder;
    QString reason;
    if (!makeFolders(QFileInfo(output).path(), &failedFolder, &reason)) {
        return fail(QStringLiteral("Cannot create the folder '") + failedFolder +
                    QStringLiteral("': ") + reason + QLatin1Char('.') + kPackingAborted);
    }
    return openOutput(output, handle);
}

bool JoinEngine::deleteOldOutput(const QString& output, JobOutcome* outcome) {
    for (;;) {
        if (!pathExists(output) || isDirectory(output)) {
            return true;
        }
        if (isWriteProtected(output)) {
            *outcome = askOverwrite(output);
            if (*outcome != JobOutcome::Success) {
                return false;
            }
            continue;
        }
        if (namePart(output).startsWith(QLatin1Char('.'))) {
            return true;
        }
        const int error = m_files.removeName(output);
        if (error == 0 || error == ENOENT) {
            return true;
        }
        if (isTooManyFiles(error) || isAlreadyOpen(error)) {
            *outcome = failForError(error, output);
            return false;
        }
        *outcome = askOverwrite(output);
        if (*outcome != JobOutcome::Success) {
            return false;
        }
    }
}

JobOutcome JoinEngine::openOutput(const QString& output, int* handle) {
    File64::OpenResult opened = m_files.OpenFile(output, File64::OpenMode::ReadWrite);
    while (!opened.ok()) {
        const int error = opened.error;
        if (isTooManyFiles(error) || isAlreadyOpen(error)) {
            return failForError(error, output);
        }
        const JobOutcome answer = askOverwrite(output);
        if (answer != JobOutcome::Success) {
            return answer;
        }
        if (isHiddenFile(output)) {
            return fail(QLatin1Char('\'') + output +
                        QStringLiteral("' is a hidden file. Packing aborted."));
        }
        opened = m_files.OpenFile(output, File64::OpenMode::ReadWrite);
    }
    *handle = opened.handle;
    // A hidden old output was not deleted: the new one must not keep its tail.
    if (const int error = m_files.truncate(*handle); error != 0) {
        return failForError(error, output);
    }
    return JobOutcome::Success;
}

JobOutcome JoinEngine::askOverwrite(const QString& output) {
    if (askRetryOverwrite(m_host, output)) {
        return JobOutcome::Success;
    }
    return fail(kPackingAbortedByUser + QLatin1Char('.'), MessageIcon::Information);
}

JobOutcome JoinEngine::checkUnchanged(const QString& path, quint64 expectedSize) {
    if (!pathExists(path)) {
        return fail(notFoundText(path) + kPackingAborted);
    }
    if (GetFileLen(path) != expectedSize) {
        return fail(QLatin1Char('\'') + path +
                    QStringLiteral("' changed while it was being packed.") + kPackingAborted);
    }
    return JobOutcome::Success;
}

JobOutcome JoinEngine::copyInput(const QString& path, quint64 expectedSize, int outputHandle,
                                 const TransferRate& rate) {
    if (const JobOutcome outcome = checkUnchanged(path, expectedSize);
        outcome != JobOutcome::Success) {
        return outcome;
    }
    const quint64 size = expectedSize;
    const File64::OpenResult opened = m_files.OpenFile(path, File64::OpenMode::ReadOnly);
    if (!opened.ok()) {
        // The open already told the user which file; too many files has its own advice.
        if (isTooManyFiles(opened.error)) {
            return failForError(opened.error, path);
        }
        return fail(QString());
    }
    const int inputHandle = opened.handle;
    if (m_seamless && !beginSeamlessPart(path, inputHandle)) {
        return fail(readErrorText(path, errorText(EIO)) + kPackingAborted);
    }
    if (!m_seamless && !m_digest && rate.readAhead >= ChunkTransfer::kSharingChunk) {
        const JobOutcome outcome = copySharing(path, inputHandle, outputHandle, size, rate);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
        m_files.CloseFile(inputHandle);
        return JobOutcome::Success;
    }
    const ChunkPlan plan = planChunks(size, rate);
    for (quint64 chunk = 0; chunk < plan.fullChunks; ++chunk) {
        const bool last = chunk + 1 == plan.fullChunks && plan.remainder == 0;
        const JobOutcome outcome = copyStep(path, inputHandle, outputHandle, rate.readAhead, last);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
        m_copiedSize += rate.readAhead;
        if (m_transfer.report(m_copiedSize)) {
            return cancelled();
        }
    }
    if (plan.remainder != 0) {
        const JobOutcome outcome = copyStep(path, inputHandle, outputHandle, plan.remainder, true);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
        // The display counts the remainder only after it is shown.
        const bool cancel = m_transfer.report(m_copiedSize);
        m_copiedSize += plan.remainder;
        if (cancel) {
            return cancelled();
        }
    }
    m_files.CloseFile(inputHandle);
    if (m_seamless && !m_seamless->damage().isEmpty()) {
        m_damagedParts.append(QStringLiteral("in '") + path + QStringLiteral("', ") +
                              m_seamless->damage());
    }
    return JobOutcome::Success;
}

// A part is lined up by its first video timestamp (or its first timestamp of any kind),
// looked for from its start however far in it lies; then the copy starts over.
bool JoinEngine::beginSeamlessPart(const QString& path, int inputHandle) {
    const PartAnchor anchor =
        findPartAnchor(m_seamlessKind, [this, inputHandle](unsigned char* data, size_t size) {
            return static_cast<size_t>(
                m_files.GetBytes(inputHandle, reinterpret_cast<char*>(data), size));
        });
    if (!m_files.seekTo(inputHandle, 0)) {
        return false;
    }
    m_seamless->beginPart(m_lastPart, anchor);
    if (!anchor.found && m_seamlessKind != MpegStreamKind::Elementary) {
        m_host.message(MessageIcon::Warning,
                       QLatin1Char('\'') + path +
                           QStringLiteral("' has no timestamp to line it up by: its clock "
                                          "moves as the part before it does."));
    }
    return true;
}

// A plain copy at the fast rates goes in steps a copy-on-write file system can share.
JobOutcome JoinEngine::copySharing(const QString& path, int inputHandle, int outputHandle,
                                   quint64 size, const TransferRate& rate) {
    for (quint64 done = 0; done < size;) {
        const quint64 step =
            m_transfer.sharingStep(inputHandle, outputHandle, rate.readAhead, size - done);
        const JobOutcome outcome = copyStep(path, inputHandle, outputHandle, step, false);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
        done += step;
        m_copiedSize += step;
        if (m_transfer.report(m_copiedSize)) {
            return cancelled();
        }
    }
    return JobOutcome::Success;
}

JobOutcome JoinEngine::copyStep(const QString& path, int inputHandle, int outputHandle,
                                quint64 bytes, bool lastStep) {
    QString failure;
    bool copied = false;
    if (m_seamless) {
        const auto rewrite = [this](unsigned char* data, size_t size, bool end) {
            return m_seamless->process(data, size, end);
        };
        copied = m_transfer.rewrittenCopy(inputHandle, outputHandle, bytes, lastStep,
                                          SeamlessJoin::kHoldLimit, rewrite, path, m_output,
                                          &failure, {m_digest.get()});
    } else {
        copied = m_digest
                     ? m_transfer.copy(inputHandle, outputHandle, bytes, path, m_output, &failure,
                                       {m_digest.get()})
                     : m_transfer.copy(inputHandle, outputHandle, bytes, path, m_output, &failure);
    }
    if (!copied) {
        return fail(failure + kPackingAborted);
    }
    return JobOutcome::Success;
}

// What was written stays: exact source bytes up to the last whole chunk.
JobOutcome JoinEngine::cancelled() {
    m_files.closeJobFiles();
    return JobOutcome::Cancelled;
}

JobOutcome JoinEngine::failForError(int error, const QString& path) {
    if (error == ENOENT) {
        return fail(notFoundText(path) + kPackingAborted);
    }
    if (isAlreadyOpen(error)) {
        return fail(QStringLiteral("The requested file was not closed properly! Try again later!"));
    }
    if (isTooManyFiles(error)) {
        return fail(tooManyFilesText(QStringLiteral("pack"), path));
    }
    return fail(unexpectedErrorText(error, errorText(error)));
}

JobOutcome JoinEngine::fail(const QString& text, MessageIcon icon) {
    m_transfer.settleDigests();  // the job's digests go with it
    if (!text.isEmpty()) {
        m_host.message(icon, text);
    }
    m_files.closeJobFiles();
    return JobOutcome::Failed;
}
