#include "unpack/split_engine.h"

#include <cerrno>

#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "fileio/file_identity.h"
#include "fileio/native_path.h"
#include "zip/zip_step.h"

namespace {

const QString kAborted = QStringLiteral(" Unpacking aborted!");

bool isPlainExistingFile(const QString& path) {
    return pathExists(path) && !isDirectory(path) && !namePart(path).startsWith(QLatin1Char('.'));
}

}  // namespace

QString pieceFolder(const SplitJob& job, const SplitSource& source) {
    switch (job.destination) {
        case UnpackDestination::SaveFile:
            return QFileInfo(job.outputName).path();
        case UnpackDestination::CustomDir:
            return job.customDir;
        case UnpackDestination::WhereFile:
            break;
    }
    return QFileInfo(source.zipped ? source.fileToSplit : source.path).path();
}

QString pieceName(const SplitJob& job, const SplitSource& source, const QString& numberText) {
    const QString splitName = source.zipped ? source.fileToSplit : source.path;
    QString base;
    switch (job.destination) {
        case UnpackDestination::SaveFile:
            base = job.outputName;
            break;
        case UnpackDestination::WhereFile:
            base = splitName;
            break;
        case UnpackDestination::CustomDir:
            base = joinPath(job.customDir, namePart(splitName));
            break;
    }
    const bool mpegNames = job.type == UnpackType::EMH && !source.zipped;
    return base + QLatin1Char('.') + numberText + (mpegNames ? QStringLiteral(".mpg") : QString());
}

QString tooManyPiecesText(const QString& source, quint64 pieces) {
    return QStringLiteral("Cannot unpack '") + source + QStringLiteral("' into ") +
           sizeText(pieces) + QStringLiteral(" pieces: a file can be unpacked into at most ") +
           sizeText(kMaxPieces) + QStringLiteral(" pieces.") + kAborted;
}

SplitEngine::SplitEngine(File64& files, JobHost& host) : m_files(files), m_host(host) {}

JobOutcome SplitEngine::run(const SplitJob& job, SplitRule& rule, quint64 total) {
    m_copied = 0;
    m_total = total;
    m_rate = job.rate;
    m_buffer.resize(std::min<quint64>(job.rate.largestStep(), 1024 * 1024));
    m_feedback.start();
    JoinBatchBuilder batch(job.batch);
    for (const SplitSource& source : job.sources) {
        const JobOutcome outcome = splitSource(job, source, rule, batch);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
    }
    return m_files.IsOpen() ? JobOutcome::Success : JobOutcome::Cancelled;
}

JobOutcome SplitEngine::splitSource(const SplitJob& job, const SplitSource& source, SplitRule& rule,
                                    JoinBatchBuilder& batch) {
    const quint64 length = GetFileLen(source.fileToSplit);
    const std::optional<PiecePlan> plan = planPieces(rule, length);
    if (!plan) {
        return fail(unexpectedErrorText(11, QStringLiteral("Division by zero")));
    }
    if (plan->pieceCount > kMaxPieces) {
        return fail(tooManyPiecesText(source.path, plan->pieceCount));
    }
    QByteArray header = source.mpegHeader.value_or(QByteArray());
    if (job.type == UnpackType::EMH && !source.zipped && !source.mpegHeader) {
        header = readMpegHeader(source.fileToSplit, m_files, m_host).value_or(QByteArray());
    }
    if (!m_files.SeekTo(source.handle, plan->firstOffset)) {
        return fail(QStringLiteral("Error reading '") + source.fileToSplit + QLatin1Char('\'') +
                    QLatin1Char('.') + kAborted);
    }
    for (quint64 number = 1; number <= plan->pieceCount; ++number) {
        const JobOutcome outcome =
            writePiece(job, source, *plan, number, plan->pieceBytes(number, length), header, batch);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
    }
    if (!m_files.IsOpen()) {
        return JobOutcome::Cancelled;  // no batch file for a source the user cancelled
    }
    QString error;
    QString warning;
    if (!batch.sourceFinished(pieceFolder(job, source), namePart(source.path), source.zipped,
                              job.stampingLines, &error, &warning)) {
        return fail(unexpectedErrorText(75, error));
    }
    if (!warning.isEmpty()) {
        m_host.message(MessageIcon::Warning, warning);
    }
    m_files.CloseFile(source.handle);
    return JobOutcome::Success;
}

// Every piece after the first (every piece of a last-piece split) of an `EMH` split
// starts with the source's header, so that it plays by itself.
JobOutcome SplitEngine::writePiece(const SplitJob& job, const SplitSource& source,
                                   const PiecePlan& plan, quint64 number, quint64 bytes,
                                   const QByteArray& header, JoinBatchBuilder& batch) {
    const QString piece = pieceName(job, source, pieceNumberText(number, plan.digits));
    JobOutcome outcome = JobOutcome::Success;
    if (!deleteOldPiece(piece, &outcome)) {
        return outcome;
    }
    batch.pieceReported(piece);
    const bool withHeader = !header.isEmpty() && (number > 1 || plan.lastPieceMode);
    const quint64 headerBytes = withHeader ? static_cast<quint64>(header.size()) : 0;
    batch.pieceHeader(headerBytes);
    m_files.OpenFile(piece, QStringLiteral("READ_WRITE"));
    if (File64::openStatus() != File64::OpenOk) {
        return fail(QString());  // the open already named the piece
    }
    const int pieceHandle = m_files.FileHandle();
    // A hidden old piece was not deleted: it must not keep its old bytes.
    int error = ::ftruncate(pieceHandle, 0) == 0 ? 0 : errno;
    if (error == 0 &&
        m_files.WriteBytes(pieceHandle, header.constData(), headerBytes, &error) != headerBytes) {
        error = error != 0 ? error : ENOSPC;
    }
    if (error != 0) {
        return fail(QStringLiteral("Error writing '") + piece + QStringLiteral("': ") +
                    errorText(error) + QLatin1Char('.') + kAborted);
    }
    outcome = copyPiece(source, piece, pieceHandle, bytes);
    if (outcome == JobOutcome::Success) {
        m_files.CloseFile(pieceHandle);
    }
    return outcome;
}

bool SplitEngine::deleteOldPiece(const QString& piece, JobOutcome* outcome) {
    while (isPlainExistingFile(piece)) {
        if (::unlink(nativePath(piece).constData()) == 0 || errno == ENOENT) {
            return true;
        }
        const MessageAnswer answer =
            m_host.message(MessageIcon::Error,
                           QStringLiteral("Cannot overwrite '") + piece +
                               QStringLiteral("'. Disk full/write-protected or file is in use."),
                           MessageButtons::RetryCancel);
        if (answer != MessageAnswer::Retry) {
            *outcome = fail(QStringLiteral("Unpacking aborted by user"), MessageIcon::Information);
            return false;
        }
    }
    return true;
}

JobOutcome SplitEngine::copyPiece(const SplitSource& source, const QString& piece, int pieceHandle,
                                  quint64 bytes) {
    // A piece that fits one chunk is one step; a longer one follows the job's chunking.
    const ChunkPlan chunks =
        bytes <= m_rate.readAhead ? ChunkPlan{0, bytes} : planChunks(bytes, m_rate);
    for (quint64 i = 0; i <= chunks.fullChunks; ++i) {
        const quint64 count = i < chunks.fullChunks ? m_rate.readAhead : chunks.remainder;
        if (count == 0) {
            continue;
        }
        if (!m_files.IsOpen()) {
            return JobOutcome::Cancelled;  // the cancel command closed every file
        }
        const File64::Transfer transfer = m_files.TransferBytes(source.handle, pieceHandle, count,
                                                                m_buffer.data(), m_buffer.size());
        if (transfer.writeError != 0) {
            return fail(QStringLiteral("Error writing '") + piece + QStringLiteral("': ") +
                        errorText(transfer.writeError) + QLatin1Char('.') + kAborted);
        }
        if (transfer.copied != count) {
            const QString reason = transfer.readError != 0
                                       ? errorText(transfer.readError)
                                       : QStringLiteral("the file ended before its size");
            return fail(QStringLiteral("Error reading '") + source.fileToSplit +
                        QStringLiteral("': ") + reason + QLatin1Char('.') + kAborted);
        }
        m_copied += count;
        m_host.progress(m_feedback.report(m_copied, m_total));
    }
    return JobOutcome::Success;
}

JobOutcome SplitEngine::fail(const QString& text, MessageIcon icon) {
    if (!text.isEmpty()) {
        m_host.message(icon, text);
    }
    m_files.closeJobFiles();
    return JobOutcome::Failed;
}
