// The seamless join of MPEG-4 parts: one movie, its moov first, the parts' sample data
// copied as bytes; packet by packet where the tables cannot be merged as they stand.
#include <QFileInfo>

#include <algorithm>

#include "core/job_messages.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "formats/format_probe.h"
#include "formats/mp4/mp4_traits.h"
#include "pack/join_engine.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"
#include "plugins/ffmpeg/media_module.h"

namespace {

// The writer for the first part's container: QuickTime stays QuickTime.
const char* containerOf(const Mp4Movie& first) {
    ByteReader reader(first.ftyp);
    reader.skip(8);
    const quint32 brand = reader.u32();
    if (brand == fourcc("qt  ") || first.ftyp.isEmpty()) {
        return "mov";
    }
    return (brand >> 8) == ((quint32('3') << 16) | (quint32('g') << 8) | quint32('p')) ? "3gp"
                                                                                       : "mp4";
}

}  // namespace

bool JoinEngine::allMpeg4(const QStringList& inputs) {
    return std::all_of(inputs.begin(), inputs.end(),
                       [](const QString& path) { return isMpeg4File(path); });
}

JoinEngine::Mpeg4Route JoinEngine::routeMpeg4(const JoinJob& job) {
    std::vector<Mp4Movie> movies;
    QList<PartTraits> traits;
    for (const QString& path : job.inputs) {
        QString problem;
        const File64::OpenResult opened = m_files.OpenFile(path, File64::OpenMode::ReadOnly);
        std::optional<Mp4Movie> movie =
            opened.ok() ? readMovie(m_files, opened.handle, GetFileLen(path), &problem)
                        : std::nullopt;
        if (opened.ok()) {
            m_files.CloseFile(opened.handle);
        }
        if (!movie) {
            m_host.message(MessageIcon::Information,
                           QLatin1Char('\'') + path +
                               QStringLiteral("' is not a complete MPEG-4 file (") + problem +
                               QStringLiteral("): the files are joined byte for byte."));
            return {};
        }
        traits.append(mp4Traits(*movie));
        if (!movies.empty()) {
            // Only the first part's boxes are written again; a long recording's moov
            // takes megabytes, and a later part's is done with once its tables are read.
            movie->moov = QByteArray();
        }
        movies.push_back(std::move(*movie));
    }
    const QString difference = differenceLine(job.inputs, traits);
    if (!difference.isEmpty()) {
        m_host.message(MessageIcon::Information,
                       QStringLiteral("The MPEG-4 parts differ (") + difference +
                           QStringLiteral("): the files are joined byte for byte."));
        return {};
    }
    // Neither route could write a movie that players, or our own reader, accept.
    if (const QString tooMany = sampleCountRefusal(movies); !tooMany.isEmpty()) {
        return {std::nullopt, false,
                QStringLiteral("The MPEG-4 parts cannot be joined as one movie: ") + tooMany +
                    QLatin1Char('.') + kPackingAborted};
    }
    m_remuxContainer = containerOf(movies.front());
    QString whyNot;
    std::optional<Mp4JoinPlan> plan = planMp4Join(std::move(movies), m_sizes, &whyNot);
    if (plan) {
        return {std::move(plan), false, {}};
    }
    QString unavailable;
    if (mediaModule(&unavailable) == nullptr) {
        m_host.message(MessageIcon::Warning,
                       QStringLiteral("The MPEG-4 parts cannot be joined by their tables (") +
                           whyNot + QStringLiteral("), and ") + unavailable +
                           QStringLiteral(": the files are joined byte for byte."));
        return {};
    }
    m_host.message(MessageIcon::Information,
                   QStringLiteral("The MPEG-4 parts are joined packet by packet, which takes "
                                  "longer, because ") +
                       whyNot + QLatin1Char('.'));
    return {std::nullopt, true, {}};
}

JobOutcome JoinEngine::copyMpeg4(const JoinJob& job, const Mp4JoinPlan& plan) {
    m_transfer.start(plan.outputSize, job.rate.largestStep());
    int outputHandle = -1;
    JobOutcome outcome = prepareOutput(job.output, &outputHandle);
    if (outcome != JobOutcome::Success) {
        return outcome;
    }
    int error = 0;
    const auto headBytes = static_cast<quint64>(plan.head.size());
    if (m_files.WriteBytes(outputHandle, plan.head.constData(), headBytes, &error) != headBytes) {
        return fail(writeErrorText(job.output, errorText(error != 0 ? error : ENOSPC)) +
                    kPackingAborted);
    }
    if (m_digest) {
        m_digest->add(plan.head.constData(), headBytes);
    }
    quint64 done = headBytes;
    for (const Mp4JoinPlan::Range& range : plan.ranges) {
        outcome = copyRange(job, range, outputHandle, &done);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
    }
    m_files.CloseFile(outputHandle);
    return m_digest ? writeChecksum(job.output) : JobOutcome::Success;
}

// One stretch of a part's sample data, chunk by chunk at the job's rate.
JobOutcome JoinEngine::copyRange(const JoinJob& job, const Mp4JoinPlan::Range& range,
                                 int outputHandle, quint64* done) {
    const QString& path = job.inputs.at(range.part);
    if (GetFileLen(path) != m_sizes.at(static_cast<size_t>(range.part))) {
        return fail(QLatin1Char('\'') + path +
                    QStringLiteral("' changed while it was being packed.") + kPackingAborted);
    }
    const File64::OpenResult opened = m_files.OpenFile(path, File64::OpenMode::ReadOnly);
    if (!opened.ok()) {
        return fail(QString());
    }
    if (!m_files.seekTo(opened.handle, range.offset)) {
        return fail(readErrorText(path, errorText(EIO)) + kPackingAborted);
    }
    for (quint64 left = range.length; left > 0;) {
        const quint64 step = std::min<quint64>(left, job.rate.readAhead);
        const JobOutcome outcome = copyStep(path, opened.handle, outputHandle, step, step == left);
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
        left -= step;
        *done += step;
        m_copiedSize = *done;
        if (m_transfer.report(*done)) {
            m_cancelNote = QLatin1Char('\'') + job.output +
                           QStringLiteral(
                               "' does not play: its index lists samples past the "
                               "point where it was cut off.");
            return cancelled();
        }
    }
    m_files.CloseFile(opened.handle);
    return JobOutcome::Success;
}

JobOutcome JoinEngine::checkReadable(const QString& path, quint64 expectedSize) {
    if (const JobOutcome outcome = checkUnchanged(path, expectedSize);
        outcome != JobOutcome::Success) {
        return outcome;
    }
    const File64::OpenResult opened = m_files.OpenFile(path, File64::OpenMode::ReadOnly);
    if (!opened.ok()) {
        // The open already told the user which file; too many files has its own advice.
        return isTooManyFiles(opened.error) ? failForError(opened.error, path) : fail(QString());
    }
    char head[8];
    int error = 0;
    m_files.GetBytes(opened.handle, head, sizeof head, &error);
    m_files.CloseFile(opened.handle);
    if (error != 0) {
        return fail(readErrorText(path, errorText(error)) + kPackingAborted);
    }
    return JobOutcome::Success;
}

// The module asks for each part when it reaches it, so only one is open at a time.
// Each must open and read before the output exists: a join that cannot start leaves
// nothing behind.
JobOutcome JoinEngine::remuxMpeg4(const JoinJob& job) {
    for (qsizetype i = 0; i < job.inputs.size(); ++i) {
        const JobOutcome outcome =
            checkReadable(job.inputs.at(i), m_sizes.at(static_cast<size_t>(i)));
        if (outcome != JobOutcome::Success) {
            return outcome;
        }
    }
    int outputHandle = -1;
    JobOutcome outcome = prepareOutput(job.output, &outputHandle);
    if (outcome != JobOutcome::Success) {
        return outcome;
    }
    QString unopened;  // the part whose open failed and was said
    int openError = 0;
    RemuxParts parts;
    parts.count = static_cast<size_t>(job.inputs.size());
    parts.open = [&](size_t index) {
        const QString& path = job.inputs.at(static_cast<qsizetype>(index));
        const File64::OpenResult opened = m_files.OpenFile(path, File64::OpenMode::ReadOnly);
        if (!opened.ok()) {
            unopened = path;
            openError = opened.error;
        }
        return opened.handle;
    };
    parts.close = [this](int fd) { m_files.CloseFile(fd); };
    QString problem;
    const MediaModule::RemuxResult result = mediaModule()->remux(
        parts, outputHandle, m_remuxContainer,
        [this](quint64 read) {
            m_copiedSize = std::min(read, m_totalSize);
            return !m_transfer.report(m_copiedSize);
        },
        &problem);
    if (result == MediaModule::RemuxResult::Stopped) {
        m_cancelNote = QLatin1Char('\'') + job.output +
                       QStringLiteral("' does not play: it was cut off before its index.");
        return cancelled();
    }
    if (result == MediaModule::RemuxResult::Failed && !unopened.isEmpty()) {
        return isTooManyFiles(openError) ? failForError(openError, unopened) : fail(QString());
    }
    if (result == MediaModule::RemuxResult::Failed) {
        return fail(QStringLiteral("The MPEG-4 parts could not be joined: ") + problem +
                    QLatin1Char('.') + kPackingAborted);
    }
    m_files.closeJobFiles();
    if (!m_digest) {
        return JobOutcome::Success;
    }
    // The writer seeks back to finish its index, so the digest reads the result whole.
    const QByteArray digest = fileSha256(job.output);
    if (digest.isEmpty()) {
        return fail(checksumFailureText(job.output) + kPackingAborted);
    }
    return writeChecksumLine(job.output, digest);
}
