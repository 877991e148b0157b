#include "unpack/split_engine.h"

#include <cerrno>
#include <optional>

#include <QFile>
#include <QFileInfo>

#include "core/job_messages.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "fileio/file_identity.h"
#include "fileio/sha256.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"
#include "zip/zip_step.h"

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

QString pieceBase(const SplitJob& job, const SplitSource& source) {
    QString splitName = source.zipped ? source.fileToSplit : source.path;
    switch (job.destination) {
        case UnpackDestination::SaveFile:
            return job.outputName;
        case UnpackDestination::CustomDir:
            return joinPath(job.customDir, namePart(splitName));
        case UnpackDestination::WhereFile:
            break;
    }
    return splitName;
}

// An MPEG-4 source's pieces keep its own extension ("clip.mp4.001.mp4"), so that a
// player knows them; other `EMH` pieces end in ".mpg".
QString pieceName(const SplitJob& job, const SplitSource& source, const QString& numberText) {
    QString ending;
    if (job.type == UnpackType::EMH && !source.zipped) {
        const QString name = namePart(source.path);
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        ending = !source.mpeg4 ? QStringLiteral(".mpg")
                 : dot > 0     ? name.mid(dot)
                               : QStringLiteral(".mp4");
    }
    return pieceBase(job, source) + QLatin1Char('.') + numberText + ending;
}

QString fewerPiecesText(const QString& source, size_t pieces, quint64 planned) {
    return QLatin1Char('\'') + source +
           QStringLiteral(
               "' is cut into %1 pieces instead of %2: no picture group starts after "
               "the last cut.")
               .arg(pieces)
               .arg(planned);
}

QString tooManyPiecesText(const QString& source, quint64 pieces) {
    return QStringLiteral("Cannot unpack '") + source + QStringLiteral("' into ") +
           sizeText(pieces) + QStringLiteral(" pieces: a file can be unpacked into at most ") +
           sizeText(kMaxPieces) + QStringLiteral(" pieces.") + kUnpackingAborted;
}

SplitEngine::SplitEngine(File64& files, JobHost& host, const CancelRequest& cancel,
                         ReplacedFiles& replaced)
    : m_files(files), m_host(host), m_transfer(files, host, cancel), m_replaced(replaced) {}

JobOutcome SplitEngine::run(const SplitJob& job, SplitRule& rule, quint64 total) {
    m_copied = 0;
    m_written.clear();
    m_rate = job.rate;
    m_pieceDigest = nullptr;
    m_sourceDigest = nullptr;
    m_transfer.start(total, job.rate.largestStep());
    JoinBatchBuilder batch(job.batch);
    for (const SplitSource& source : job.sources) {
        const JobOutcome outcome = splitSource(job, source, rule, batch);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
    }
    return JobOutcome::Success;
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
    const std::vector<PieceSpan> spans = spansOf(job, source, *plan, length);
    if (!m_files.seekTo(source.handle, spans.front().start)) {
        return fail(QStringLiteral("Error reading '") + source.fileToSplit + QLatin1Char('\'') +
                    QLatin1Char('.') + kUnpackingAborted);
    }
    // Made only when asked for: setting up OpenSSL costs more than a shared piece.
    std::optional<Sha256> sourceDigest;
    if (job.checksum) {
        sourceDigest.emplace();
    }
    m_sourceDigest = sourceDigest ? &*sourceDigest : nullptr;
    m_manifest.clear();
    for (quint64 number = 1; number <= spans.size(); ++number) {
        const JobOutcome outcome = writePiece(job, source, *plan, number, spans[number - 1], batch);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
    }
    if (job.checksum) {
        // The whole source's line only where the pieces hold all of it.
        const bool whole =
            rule.SplitMode != SplitKind::FirstPiece && rule.SplitMode != SplitKind::LastPiece;
        m_transfer.settleDigests();
        const QByteArray wholeDigest = whole ? sourceDigest->hexDigest() : QByteArray();
        if (whole && wholeDigest.isEmpty()) {
            return fail(checksumFailureText(source.path) + kUnpackingAborted);
        }
        const QString split = source.zipped ? source.fileToSplit : source.path;
        const QString manifest = checksumFilePath(pieceBase(job, source));
        if (whole) {
            // A line of its own only where sha256sum -c, run beside the pieces, finds it.
            const bool besideThePieces =
                job.sourcesStay && folderPart(split) == folderPart(manifest);
            m_manifest += besideThePieces
                              ? rebuiltSourceComment() + checksumLine(wholeDigest, namePart(split))
                              : sourceComment(wholeDigest, namePart(split));
        }
        QString reason;
        JobOutcome outcome = JobOutcome::Success;
        if (!setAsideOldFile(manifest, &outcome)) {
            return outcome;
        }
        if (!replaceWholeFile(manifest, m_manifest, &reason)) {
            return fail(writeErrorText(manifest, reason) + kUnpackingAborted);
        }
        m_written.append(manifest);
        batch.setSourceDigest(wholeDigest);
    }
    setAsideOldPiecesFrom(job, source, spans.size() + 1, plan->digits);
    batch.setMpeg4Pieces(source.mpeg4 && !spans.front().header.isEmpty());
    QString error;
    QString warning;
    const auto beforeWriting = [this](const QString& path) {
        JobOutcome outcome = JobOutcome::Success;
        if (setAsideOldFile(path, &outcome)) {
            m_written.append(path);
            return true;
        }
        return false;
    };
    if (!batch.sourceFinished(pieceFolder(job, source), namePart(source.path), source.zipped,
                              job.stampingLines, &error, &warning, beforeWriting)) {
        return error.isEmpty() ? JobOutcome::Failed : fail(unexpectedErrorText(75, error));
    }
    if (!warning.isEmpty()) {
        m_host.message(MessageIcon::Warning, warning);
    }
    m_files.CloseFile(source.handle);
    return JobOutcome::Success;
}

std::vector<PieceSpan> plannedSpans(const PiecePlan& plan, quint64 length,
                                    const QByteArray& header) {
    std::vector<PieceSpan> spans;
    quint64 start = plan.firstOffset;
    for (quint64 number = 1; number <= plan.pieceCount; ++number) {
        const quint64 bytes = plan.pieceBytes(number, length);
        const bool withHeader = number > 1 || plan.lastPieceMode;
        spans.push_back({start, bytes, withHeader ? header : QByteArray()});
        start += bytes;
    }
    return spans;
}

std::vector<PieceSpan> cleanSpans(const PiecePlan& plan, quint64 length, const CutFinder& nextCut) {
    std::vector<PieceSpan> planned = plannedSpans(plan, length, QByteArray());
    const quint64 plannedEnd = planned.back().start + planned.back().bytes;
    quint64 end = length;
    if (plannedEnd < length) {
        const std::optional<CleanCut> after = nextCut(plannedEnd);
        end = after ? after->offset : length;
    }
    std::optional<CleanCut> first =
        plan.firstOffset == 0 ? CleanCut{0, {}} : nextCut(plan.firstOffset);
    if (!first || first->offset >= end) {
        return planned;  // no picture group to start at: the rule's pieces as they are
    }
    std::vector<CleanCut> starts{*first};
    for (size_t i = 1; i < planned.size(); ++i) {
        const std::optional<CleanCut> cut =
            nextCut(std::max(planned[i].start, starts.back().offset + 1));
        if (!cut || cut->offset >= end) {
            break;
        }
        starts.push_back(*cut);
    }
    std::vector<PieceSpan> spans;
    for (size_t i = 0; i < starts.size(); ++i) {
        const quint64 next = i + 1 < starts.size() ? starts[i + 1].offset : end;
        spans.push_back({starts[i].offset, next - starts[i].offset, starts[i].header});
    }
    return spans;
}

// An `EMH` split puts the source's header in front of every piece after the first (of
// every piece of a last-piece split), so that it plays by itself; with clean cuts each
// piece starts at a picture group with the headers it needs.
std::vector<PieceSpan> SplitEngine::spansOf(const SplitJob& job, const SplitSource& source,
                                            const PiecePlan& plan, quint64 length) {
    if (source.spans) {
        return *source.spans;
    }
    const bool emh = job.type == UnpackType::EMH && !source.zipped;
    if (emh && job.cleanCuts) {
        if (std::optional<CleanCutFinder> cuts =
                CleanCutFinder::open(m_files, source.handle, length)) {
            std::vector<PieceSpan> spans =
                cleanSpans(plan, length, [&cuts](quint64 from) { return cuts->next(from); });
            if (spans.size() < plan.pieceCount) {
                m_host.message(MessageIcon::Information,
                               fewerPiecesText(source.path, spans.size(), plan.pieceCount));
            }
            return spans;
        }
        m_host.message(MessageIcon::Information,
                       QLatin1Char('\'') + source.path +
                           QStringLiteral("' is not an MPEG program, transport or video "
                                          "elementary stream with video: its pieces are cut "
                                          "by size."));
    }
    return plannedSpans(plan, length, emh ? source.mpegHeader : QByteArray());
}

// A piece: its header, then its bytes of the source.
JobOutcome SplitEngine::writePiece(const SplitJob& job, const SplitSource& source,
                                   const PiecePlan& plan, quint64 number, const PieceSpan& span,
                                   JoinBatchBuilder& batch) {
    const QByteArray& header = span.header;
    const quint64 bytes = span.bytes;
    const QString piece = pieceName(job, source, pieceNumberText(number, plan.digits));
    JobOutcome outcome = JobOutcome::Success;
    if (!setAsideOldFile(piece, &outcome)) {
        return outcome;
    }
    m_written.append(piece);
    batch.pieceReported(piece);
    const auto headerBytes = static_cast<quint64>(header.size());
    batch.pieceHeader(headerBytes);
    const int pieceHandle = m_files.OpenFile(piece, File64::OpenMode::ReadWrite).handle;
    if (pieceHandle == -1) {
        return fail(QString());  // the open already named the piece
    }
    // A hidden old piece was not deleted: it must not keep its old bytes.
    int error = m_files.truncate(pieceHandle);
    if (error == 0 &&
        m_files.WriteBytes(pieceHandle, header.constData(), headerBytes, &error) != headerBytes) {
        error = error != 0 ? error : ENOSPC;
    }
    if (error != 0) {
        return fail(writeErrorText(piece, errorText(error)) + kUnpackingAborted);
    }
    std::optional<Sha256> pieceDigest;
    if (m_sourceDigest != nullptr) {
        pieceDigest.emplace();
    }
    m_pieceDigest = pieceDigest ? &*pieceDigest : nullptr;
    if (m_pieceDigest != nullptr) {
        m_pieceDigest->add(header.constData(), headerBytes);
    }
    outcome = copyPiece(source, piece, pieceHandle, bytes);
    if (outcome == JobOutcome::Success) {
        m_files.CloseFile(pieceHandle);
        if (m_pieceDigest != nullptr) {
            m_transfer.settleDigest(*pieceDigest);  // the source's digest goes on meanwhile
            if (headerBytes > 0) {
                m_manifest += pieceHeaderComment(headerBytes);
            }
            const QByteArray digest = pieceDigest->hexDigest();
            if (digest.isEmpty()) {
                outcome = fail(checksumFailureText(piece) + kUnpackingAborted);
            } else {
                m_manifest += checksumLine(digest, namePart(piece));
                batch.pieceDigest(digest);
            }
        }
    }
    m_pieceDigest = nullptr;
    return outcome;
}

// A file of the user's where the job writes goes to the trash first, never lost.
bool SplitEngine::setAsideOldFile(const QString& path, JobOutcome* outcome) {
    while (!setAsideReplaced(path, m_replaced)) {
        if (!askRetryOverwrite(m_host, path)) {
            *outcome = fail(kUnpackingAbortedByUser, MessageIcon::Information);
            return false;
        }
    }
    return true;
}

// Pieces of an earlier, longer split of the same name would look like part of the new
// set: they go to the trash too, from `number` on up to the first one missing.
void SplitEngine::setAsideOldPiecesFrom(const SplitJob& job, const SplitSource& source,
                                        quint64 number, int digits) {
    for (; number <= kMaxPieces; ++number) {
        const QString piece = pieceName(job, source, pieceNumberText(number, digits));
        if (pathKind(piece) != PathKind::Regular || !setAsideReplaced(piece, m_replaced)) {
            return;
        }
    }
}

JobOutcome SplitEngine::copyPiece(const SplitSource& source, const QString& piece, int pieceHandle,
                                  quint64 bytes) {
    if (m_pieceDigest == nullptr && m_rate.readAhead >= ChunkTransfer::kSharingChunk) {
        return copyPieceSharing(source, piece, pieceHandle, bytes);
    }
    // A piece that fits one chunk is one step; a longer one follows the job's chunking.
    const ChunkPlan chunks =
        bytes <= m_rate.readAhead ? ChunkPlan{0, bytes} : planChunks(bytes, m_rate);
    for (quint64 i = 0; i <= chunks.fullChunks; ++i) {
        const quint64 count = i < chunks.fullChunks ? m_rate.readAhead : chunks.remainder;
        if (count == 0) {
            continue;
        }
        QString failure;
        const bool copied =
            m_pieceDigest != nullptr
                ? m_transfer.copy(source.handle, pieceHandle, count, source.fileToSplit, piece,
                                  &failure, {m_pieceDigest, m_sourceDigest})
                : m_transfer.copy(source.handle, pieceHandle, count, source.fileToSplit, piece,
                                  &failure);
        if (!copied) {
            return fail(failure + kUnpackingAborted);
        }
        const JobOutcome outcome = stepDone(count);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
    }
    return JobOutcome::Success;
}

// A plain copy at the fast rates goes in steps a copy-on-write file system can share.
JobOutcome SplitEngine::copyPieceSharing(const SplitSource& source, const QString& piece,
                                         int pieceHandle, quint64 bytes) {
    for (quint64 done = 0; done < bytes;) {
        const quint64 step =
            m_transfer.sharingStep(source.handle, pieceHandle, m_rate.readAhead, bytes - done);
        QString failure;
        if (!m_transfer.copy(source.handle, pieceHandle, step, source.fileToSplit, piece,
                             &failure)) {
            return fail(failure + kUnpackingAborted);
        }
        done += step;
        const JobOutcome outcome = stepDone(step);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
    }
    return JobOutcome::Success;
}

JobOutcome SplitEngine::stepDone(quint64 bytes) {
    m_copied += bytes;
    if (m_transfer.report(m_copied)) {
        // What was written stays; no batch file for a source the user cancelled.
        m_files.closeJobFiles();
        return JobOutcome::Cancelled;
    }
    return JobOutcome::Success;
}

JobOutcome SplitEngine::fail(const QString& text, MessageIcon icon) {
    m_transfer.settleDigests();  // the job's digests go with it
    if (!text.isEmpty()) {
        m_host.message(icon, text);
    }
    m_files.closeJobFiles();
    return JobOutcome::Failed;
}
