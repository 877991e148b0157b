#include "pack/join_engine.h"

#include <algorithm>
#include <cerrno>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/job_host.h"
#include "core/job_messages.h"
#include "core/native_path.h"
#include "core/text_helpers.h"
#include "core/whole_file.h"
#include "fileio/file64.h"
#include "fileio/file_identity.h"

namespace {

bool isTooManyFiles(int error) {
    return error == EMFILE || error == ENFILE;
}

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
    JobOutcome outcome = prepareOutput(job.output, &outputHandle);
    for (qsizetype i = 0; outcome == JobOutcome::Success && i < job.inputs.size(); ++i) {
        outcome =
            copyInput(job.inputs.at(i), m_sizes.at(static_cast<size_t>(i)), outputHandle, job.rate);
    }
    if (outcome != JobOutcome::Success) {
        return outcome;
    }
    m_files.CloseFile(outputHandle);
    return m_digest ? writeChecksum(job.output) : JobOutcome::Success;
}

JobOutcome JoinEngine::writeChecksum(const QString& output) {
    const QString manifest = checksumFilePath(output);
    QString error;
    if (!replaceWholeFile(manifest, checksumLine(m_digest->hexDigest(), namePart(output)),
                          &error)) {
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
        if (!pathExists(output) || isDirectory(output) ||
            namePart(output).startsWith(QLatin1Char('.'))) {
            return true;
        }
        if (::unlink(nativePath(output).constData()) == 0 || errno == ENOENT) {
            return true;
        }
        const int error = errno;
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
    *handle = m_files.FileHandle();
    // A hidden old output was not deleted: the new one must not keep its tail.
    if (::ftruncate(*handle, 0) != 0) {
        return failForError(errno, output);
    }
    return JobOutcome::Success;
}

JobOutcome JoinEngine::askOverwrite(const QString& output) {
    if (askRetryOverwrite(m_host, output)) {
        return JobOutcome::Success;
    }
    return fail(kPackingAbortedByUser + QLatin1Char('.'), MessageIcon::Information);
}

JobOutcome JoinEngine::copyInput(const QString& path, quint64 expectedSize, int outputHandle,
                                 const TransferRate& rate) {
    if (!pathExists(path)) {
        return fail(notFoundText(path) + kPackingAborted);
    }
    const quint64 size = GetFileLen(path);
    if (size != expectedSize) {
        return fail(QLatin1Char('\'') + path +
                    QStringLiteral("' changed while it was being packed.") + kPackingAborted);
    }
    const File64::OpenResult opened = m_files.OpenFile(path, File64::OpenMode::ReadOnly);
    if (!opened.ok()) {
        // The open already told the user which file; too many files has its own advice.
        if (isTooManyFiles(opened.error)) {
            return failForError(opened.error, path);
        }
        return fail(QString());
    }
    const int inputHandle = m_files.FileHandle();
    const ChunkPlan plan = planChunks(size, rate);
    for (quint64 chunk = 0; chunk < plan.fullChunks; ++chunk) {
        const JobOutcome outcome = copyStep(path, inputHandle, outputHandle, rate.readAhead);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
        m_copiedSize += rate.readAhead;
        if (m_transfer.report(m_copiedSize)) {
            return cancelled();
        }
    }
    if (plan.remainder != 0) {
        const JobOutcome outcome = copyStep(path, inputHandle, outputHandle, plan.remainder);
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
    return JobOutcome::Success;
}

JobOutcome JoinEngine::copyStep(const QString& path, int inputHandle, int outputHandle,
                                quint64 bytes) {
    QString failure;
    const bool copied =
        m_digest ? m_transfer.copy(inputHandle, outputHandle, bytes, path, m_output, &failure,
                                   {m_digest.get()})
                 : m_transfer.copy(inputHandle, outputHandle, bytes, path, m_output, &failure);
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
        return fail(QStringLiteral("Zarvo cannot pack '") + path +
                    QStringLiteral("' due to excess number of file handling. Possible solution "
                                   "is to move the file elsewhere other than the root "
                                   "directory."));
    }
    return fail(unexpectedErrorText(error, errorText(error)));
}

JobOutcome JoinEngine::fail(const QString& text, MessageIcon icon) {
    if (!text.isEmpty()) {
        m_host.message(icon, text);
    }
    m_files.closeJobFiles();
    return JobOutcome::Failed;
}
