#include "unpack/unpack_command.h"

#include <cerrno>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include "core/job_host.h"
#include "core/job_messages.h"
#include "core/progress_feedback.h"
#include "core/text_helpers.h"
#include "fileio/disk_space.h"
#include "fileio/file64.h"
#include "fileio/file_identity.h"
#include "formats/format_probe.h"
#include "formats/mp4/mp4_traits.h"
#include "formats/mpeg2/mpeg_header.h"
#include "platform/native_path.h"
#include "zip/zip_step.h"

namespace {

// The sources as the split will see them before any zip step ran.
SplitJob jobShape(const QStringList& entries, const UnpackOptions& options) {
    SplitJob job;
    job.type = options.type;
    job.destination = options.destination;
    job.outputName = options.outputName;
    job.customDir = options.customDir;
    for (const QString& entry : entries) {
        SplitSource source;
        source.path = entry;
        source.zipped = options.zip && !hasZipExtension(entry);
        source.fileToSplit = source.zipped ? zipArchivePath(entry) : entry;
        source.mpeg4 = options.type == UnpackType::EMH && !source.zipped && isMpeg4File(entry);
        job.sources.append(source);
    }
    return job;
}

// Existing files of `folder` that a piece of `source` would replace.
QStringList existingPieceNames(const SplitJob& job, const SplitSource& source) {
    const QString sample = pieceName(job, source, QStringLiteral("000"));
    const QString folder = QFileInfo(sample).path();
    // A piece name is the sample with three or more digits in place of "000".
    const QString sampleName = namePart(sample);
    const qsizetype digitsAt = sampleName.lastIndexOf(QStringLiteral("000"));
    const QString prefix = sampleName.left(digitsAt);
    const QString suffix = sampleName.mid(digitsAt + 3);
    QStringList found;
    for (const QString& name : entryNames(folder)) {
        const QStringView middle = QStringView(name).mid(
            prefix.size(), std::max<qsizetype>(0, name.size() - prefix.size() - suffix.size()));
        const bool digits =
            middle.size() >= 3 && std::all_of(middle.begin(), middle.end(),
                                              [](QChar c) { return c >= u'0' && c <= u'9'; });
        if (digits && name.startsWith(prefix) && name.endsWith(suffix) &&
            name.size() >= prefix.size() + suffix.size() + 3) {
            found.append(joinPath(folder, name));
        }
    }
    const QString batch =
        joinPath(pieceFolder(job, source), namePart(source.path) + QStringLiteral("-JOIN"));
    found << batch + QStringLiteral(".bat") << batch + QStringLiteral(".sh");
    return found;
}

// The names `source` will write, in the order it writes them, each standing for all that
// share it: its archive, its pieces (by the first one) and its batch files.
QStringList plannedNames(const SplitJob& job, const SplitSource& source, JoinBatchMode batch) {
    QStringList names;
    if (source.zipped) {
        names << source.fileToSplit;
    }
    names << pieceName(job, source, pieceNumberText(1, 3));
    if (batch != JoinBatchMode::None) {
        const QString base =
            joinPath(pieceFolder(job, source), namePart(source.path) + QStringLiteral("-JOIN"));
        names << base + QStringLiteral(".bat") << base + QStringLiteral(".sh");
    }
    return names;
}

}  // namespace

UnpackCommand::UnpackCommand(File64& files, JobHost& host) : m_files(files), m_host(host) {}

bool UnpackCommand::settleBeforeStart(const QStringList& entries, UnpackOptions& options) {
    m_customDirRequested = false;
    if (entries.isEmpty()) {
        m_host.message(MessageIcon::Warning, QStringLiteral("Nothing to unpack."));
        return false;
    }
    return settleDestination(entries, options);
}

JobOutcome UnpackCommand::run(const QStringList& entries, UnpackOptions& options, SplitRule& rule) {
    if (!settleBeforeStart(entries, options) || !checkSizes(entries, rule) ||
        !checkPieceCounts(entries, options, rule) || !checkPieceNames(entries, options) ||
        !checkCollisions(entries, options)) {
        return JobOutcome::Stopped;
    }
    SplitJob job = jobShape(entries, options);
    job.rate = options.rate;
    job.batch = options.batch;
    job.stampingLines = options.stampingLines;
    job.checksum = options.checksum;
    job.sourcesStay = options.deleteSources == DeleteAction::No;
    job.cleanCuts = options.cleanCuts;
    m_cancel.reset();
    if (!lookUpHeaders(job, rule)) {
        m_host.message(MessageIcon::Information, kUnpackingAbortedByUser);
        return JobOutcome::Cancelled;
    }
    if (!checkFreeSpace(job, rule)) {
        return JobOutcome::Stopped;
    }
    m_replaced = {};
    m_archives.clear();
    JobOutcome outcome = openPhase(entries, options, &job.sources);
    if (outcome == JobOutcome::Cancelled) {
        m_host.message(MessageIcon::Information, kUnpackingAbortedByUser);
    }
    if (outcome != JobOutcome::Success) {
        return outcome;
    }
    m_total = 0;
    for (const SplitSource& source : job.sources) {
        m_total += rule.SplitMode == SplitKind::FirstPiece || rule.SplitMode == SplitKind::LastPiece
                       ? std::min(rule.SplitSize, GetFileLen(source.fileToSplit))
                       : GetFileLen(source.fileToSplit);
    }
    SplitEngine engine(m_files, m_host, m_cancel, m_replaced);
    outcome = engine.run(job, rule, m_total);
    if (outcome == JobOutcome::Cancelled) {
        const QStringList& written = engine.writtenFiles();
        const QString kept = written.isEmpty()
                                 ? QString()
                                 : keptFileLine(written.last(), GetFileLen(written.last()));
        m_host.message(MessageIcon::Information, withLine(kUnpackingAbortedByUser, kept));
    }
    if (outcome != JobOutcome::Success) {
        return outcome;
    }
    if (onJobDone) {
        onJobDone();
    }
    if (options.deleteSources != DeleteAction::No) {
        // The sources go only once their pieces are surely on the disk.
        const QString problem = makeDurable(engine.writtenFiles() + m_archives);
        if (!problem.isEmpty()) {
            m_host.message(MessageIcon::Error,
                           problem + QStringLiteral(" The sources stay where they are."));
            return JobOutcome::Failed;
        }
        deleteSources(entries, options.deleteSources, m_host);
    }
    const QString aside = m_replaced.text();
    m_host.message(MessageIcon::Information,
                   QString::number(entries.size()) +
                       (entries.size() == 1 ? QStringLiteral(" file successfully unpacked!")
                                            : QStringLiteral(" files successfully unpacked!")) +
                       (aside.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + aside));
    return JobOutcome::Success;
}

bool UnpackCommand::settleDestination(const QStringList& entries, UnpackOptions& options) {
    if (entries.size() < 2 || options.destination != UnpackDestination::SaveFile) {
        return true;
    }
    const MessageAnswer answer = m_host.message(
        MessageIcon::Warning,
        QStringLiteral("You are trying to unpack 2 or more files. Zarvo cannot save them as "
                       "the same filename. Specify a custom directory now?"),
        MessageButtons::YesNoCancel);
    if (answer == MessageAnswer::Yes) {
        m_customDirRequested = true;
        return false;
    }
    if (answer != MessageAnswer::No) {
        return false;
    }
    m_host.message(MessageIcon::Information,
                   QStringLiteral("Zarvo will save the unpacked files in the directory where the "
                                  "file is."));
    options.destination = UnpackDestination::WhereFile;
    if (onWhereFileChosen) {
        onWhereFileChosen();
    }
    return true;
}

bool UnpackCommand::checkSizes(const QStringList& entries, const SplitRule& rule) {
    for (const QString& entry : entries) {
        const QString problem = sourceProblem(entry);
        if (!problem.isEmpty()) {
            m_host.message(MessageIcon::Error, QStringLiteral("Cannot unpack '") + entry +
                                                   QStringLiteral("': ") + problem +
                                                   QLatin1Char('.') + kUnpackingAborted);
            return false;
        }
        const quint64 length = GetFileLen(entry);
        if (length == 0) {
            m_host.message(MessageIcon::Error, QStringLiteral("Cannot unpack '") + entry +
                                                   QStringLiteral("' which is a 0 byte file.") +
                                                   kUnpackingAborted);
            return false;
        }
        if (rule.hasFixedSize() && length < rule.SplitSize) {
            m_host.message(MessageIcon::Error,
                           QStringLiteral("Cannot unpack '") + entry +
                               QStringLiteral("' because it is a smaller than ") +
                               sizeText(rule.SplitSize) + QStringLiteral(" bytes.") +
                               kUnpackingAborted);
            return false;
        }
    }
    return true;
}

// The piece limit, checked exactly before anything is written. A source that is zipped
// first is checked when its archive exists.
bool UnpackCommand::checkPieceCounts(const QStringList& entries, const UnpackOptions& options,
                                     const SplitRule& rule) {
    for (const SplitSource& source : jobShape(entries, options).sources) {
        SplitRule planned = rule;  // the number and percentage modes change their copy
        const std::optional<PiecePlan> plan = planPieces(planned, GetFileLen(source.path));
        if (!source.zipped && plan && plan->pieceCount > kMaxPieces) {
            m_host.message(MessageIcon::Error, tooManyPiecesText(source.path, plan->pieceCount));
            return false;
        }
    }
    return true;
}

// Each source of an `EMH` split is read for its header once, before the job; an
// MPEG-4 source's pieces are planned whole, each with its own header. False when the
// user cancelled meanwhile: a long recording's pictures take a while to look at.
bool UnpackCommand::lookUpHeaders(SplitJob& job, const SplitRule& rule) {
    if (job.type != UnpackType::EMH) {
        return true;
    }
    for (SplitSource& source : job.sources) {
        if (source.mpeg4) {
            source.spans = mpeg4Spans(source, rule, job.cleanCuts);
        } else if (!source.zipped) {
            source.mpegHeader = mpegHeaderOf(source.path);
        }
        if (m_cancel.requested()) {
            return false;
        }
    }
    return true;
}

// The source's header; none, after a word to the user, when it has no sequence header.
QByteArray UnpackCommand::mpegHeaderOf(const QString& path) {
    MpegHeaderRead header = readMpegHeader(path, m_files);
    if (header.finding.kind == FormatFinding::Kind::HeaderNotFound) {
        m_host.message(MessageIcon::Error,
                       QLatin1Char('\'') + path + QStringLiteral("' MPEG header not found."));
    }
    return std::move(header.bytes).value_or(QByteArray());
}

// The spans of an MPEG-4 source's pieces with their headers; one that is not a whole
// MPEG-4 file is cut as it is, and the user hears of it.
std::vector<PieceSpan> UnpackCommand::mpeg4Spans(const SplitSource& source, const SplitRule& rule,
                                                 bool cleanCuts) {
    const quint64 length = GetFileLen(source.path);
    SplitRule planned = rule;
    const std::optional<PiecePlan> plan = planPieces(planned, length);
    if (!plan) {
        return {};
    }
    QString problem;
    const File64::OpenResult opened = m_files.OpenFile(source.path, File64::OpenMode::ReadOnly);
    std::optional<Mp4Splitter> splitter =
        opened.ok() ? Mp4Splitter::open(m_files, opened.handle, length, &problem, scanProgress())
                    : std::nullopt;
    std::vector<PieceSpan> spans;
    if (!splitter && m_cancel.requested()) {
        m_files.CloseFile(opened.handle);
        return {};
    }
    if (!splitter) {
        if (opened.ok()) {
            m_host.message(MessageIcon::Warning,
                           QLatin1Char('\'') + source.path +
                               QStringLiteral("' is not a complete MPEG-4 file (") + problem +
                               QStringLiteral("): its pieces are cut as they are, without an "
                                              "index of their own."));
        }
        spans = plannedSpans(*plan, length, QByteArray());
    } else if (cleanCuts) {
        spans = cleanSpans(*plan, length, [&splitter](quint64 from) -> std::optional<CleanCut> {
            if (const std::optional<quint64> cut = splitter->nextCut(from)) {
                return CleanCut{*cut, {}};
            }
            return std::nullopt;
        });
        if (spans.size() < plan->pieceCount) {
            m_host.message(MessageIcon::Information,
                           fewerPiecesText(source.path, spans.size(), plan->pieceCount));
        }
    } else {
        spans = plannedSpans(*plan, length, QByteArray());
    }
    for (PieceSpan& span : spans) {
        if (splitter) {
            span.header = splitter->pieceHeader(span.start, span.bytes);
        }
    }
    if (opened.ok()) {
        m_files.CloseFile(opened.handle);
    }
    return spans;
}

// A long recording's pictures are looked at before its pieces are planned: the user
// sees that happen, and may cancel it.
PictureScanProgress UnpackCommand::scanProgress() {
    auto feedback = std::make_shared<ProgressFeedback>();
    feedback->start();
    return [this, feedback](quint64 done, quint64 total) {
        m_host.progress(feedback->report(done, total));
        return !m_cancel.requested();
    };
}

// Each volume that receives pieces must hold what goes to it, header copies included.
bool UnpackCommand::checkFreeSpace(const SplitJob& job, const SplitRule& rule) {
    QHash<QString, quint64> needed;
    QHash<QString, QString> folderOf;
    for (const SplitSource& source : job.sources) {
        const QString folder = pieceFolder(job, source);
        const QString volume = volumeOf(folder);
        const quint64 length = GetFileLen(source.path);
        needed[volume] += length;
        SplitRule planned = rule;
        const std::optional<PiecePlan> plan = planPieces(planned, length);
        const qsizetype header = source.mpegHeader.size();
        for (const PieceSpan& span : source.spans.value_or(std::vector<PieceSpan>())) {
            needed[volume] += static_cast<quint64>(span.header.size());
        }
        if (plan && header > 0) {
            const quint64 copies = plan->lastPieceMode ? 1 : plan->pieceCount - 1;
            needed[volume] += copies * static_cast<quint64>(header);
        }
        folderOf.insert(volume, folder);
    }
    for (auto it = needed.cbegin(); it != needed.cend(); ++it) {
        if (it.value() > freeBytesFor(folderOf.value(it.key()))) {
            m_host.message(MessageIcon::Error,
                           QStringLiteral("Not enough free diskspace. Unpacking aborted!"));
            return false;
        }
    }
    return true;
}

// No piece, batch file or archive may replace one of the job's own sources.
bool UnpackCommand::checkPieceNames(const QStringList& entries, const UnpackOptions& options) {
    const SplitJob job = jobShape(entries, options);
    for (const SplitSource& source : job.sources) {
        for (const QString& name : existingPieceNames(job, source)) {
            for (const QString& entry : entries) {
                if (name == entry || sameFile(name, entry)) {
                    m_host.message(MessageIcon::Error,
                                   QStringLiteral("Cannot unpack '") + source.path +
                                       QStringLiteral("' because '") + name +
                                       QStringLiteral("' would overwrite '") + entry +
                                       QStringLiteral("', which is also being unpacked.") +
                                       kUnpackingAborted);
                    return false;
                }
            }
        }
    }
    return true;
}

// Two sources never write the same name: pieces of two "a.bin" from different folders
// in one destination, or "a.mpg" and "a.avi" both zipped into "a.zip".
bool UnpackCommand::checkCollisions(const QStringList& entries, const UnpackOptions& options) {
    const SplitJob job = jobShape(entries, options);
    QHash<QString, QString> writer;  // planned name -> the source that writes it
    for (const SplitSource& source : job.sources) {
        for (const QString& name : plannedNames(job, source, options.batch)) {
            const QString first = writer.value(name);
            if (!first.isEmpty()) {
                m_host.message(MessageIcon::Error,
                               QStringLiteral("Cannot unpack '") + first +
                                   QStringLiteral("' and '") + source.path +
                                   QStringLiteral("' together: both would write '") + name +
                                   QStringLiteral("'.") + kUnpackingAborted);
                return false;
            }
            writer.insert(name, source.path);
        }
    }
    return true;
}

JobOutcome UnpackCommand::openPhase(const QStringList& entries, const UnpackOptions& options,
                                    QList<SplitSource>* sources) {
    for (SplitSource& source : *sources) {
        source.fileToSplit = source.path;
        source.zipped = false;
        if (options.zip && !refuseZip(source.path, entries, QStringLiteral("unpacked"), m_host)) {
            m_zipping = true;
            if (onZipStatus) {
                onZipStatus(source.path);
            }
            const QString archive = zipArchivePath(source.path);
            // A zip that fails or is cancelled ends the job: the sources stay.
            const JobOutcome outcome =
                zipFile(source.path, archive, m_files, m_host, m_cancel, m_replaced);
            m_zipping = false;
            if (outcome != JobOutcome::Success) {
                m_files.closeJobFiles();
                return outcome;
            }
            source.zipped = true;
            source.fileToSplit = archive;
            m_archives.append(archive);
        }
        if (!pathExists(source.fileToSplit)) {
            return fail(missingText(source));
        }
        const File64::OpenResult opened =
            m_files.OpenFile(source.fileToSplit, File64::OpenMode::ReadOnly);
        source.handle = opened.handle;
        if (!opened.ok()) {
            // The open named the file and the system's reason; some reasons say more.
            return fail(isTooManyFiles(opened.error)
                            ? tooManyFilesText(QStringLiteral("unpack"), source.path)
                        : opened.error == ENOENT ? missingText(source)
                                                 : QString());
        }
    }
    if (onZipStatus) {
        onZipStatus(QString());
    }
    return JobOutcome::Success;
}

// An archive gone between its zip step and the split is the zip step's loss.
QString UnpackCommand::missingText(const SplitSource& source) {
    return source.zipped ? notFoundText(source.fileToSplit) + QStringLiteral(" Zipping aborted!")
                         : notFoundText(source.path) + kUnpackingAborted;
}

bool UnpackCommand::cancel() {
    m_cancel.request();
    return true;
}

JobOutcome UnpackCommand::fail(const QString& text) {
    if (!text.isEmpty()) {
        m_host.message(MessageIcon::Error, text);
    }
    m_files.closeJobFiles();
    return JobOutcome::Failed;
}
