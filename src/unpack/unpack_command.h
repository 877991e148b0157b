#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include "core/job_outcome.h"
#include "fileio/trash.h"
#include "formats/mp4/mp4_split.h"
#include "unpack/split_engine.h"

class File64;
class JobHost;

struct UnpackOptions {
    UnpackType type = UnpackType::RAW;
    UnpackDestination destination = UnpackDestination::SaveFile;
    QString outputName;  // the output name box
    QString customDir;
    bool zip = false;
    DeleteAction deleteSources = DeleteAction::No;
    TransferRate rate;
    JoinBatchMode batch = JoinBatchMode::None;
    QStringList stampingLines;
    bool checksum = false;   // write NAME.sha256 beside each source's pieces
    bool cleanCuts = false;  // EMH pieces start at picture groups
};

// The unpack job around the split engine: the destination question, the size and
// free-space checks, the zip step per entry, sending sources to the trash, the result.
class UnpackCommand {
public:
    UnpackCommand(File64& files, JobHost& host);

    // `options.destination` changes when the user answers No to the destination
    // question (the pieces then go where each file is).
    JobOutcome run(const QStringList& entries, UnpackOptions& options, SplitRule& rule);
    // The refusal and the question that come before any work: an empty list, and two
    // or more entries for one save name. False when the job should not start.
    bool settleBeforeStart(const QStringList& entries, UnpackOptions& options);

    // Yes to the destination question: the caller lets the user choose the custom
    // folder; no job was started.
    bool customDirectoryRequested() const { return m_customDirRequested; }

    // The cancel button: asks the running split to stop after its chunk, or the zip step
    // after its block.
    bool cancel();
    bool zipping() const { return m_zipping; }

    // Told when "Where File Is" replaces "Save File" after the destination question.
    std::function<void()> onWhereFileChosen;
    // Told when the job is done, before the sources go and the result is shown.
    std::function<void()> onJobDone;
    // Told when the zip phase starts (with the path being zipped) and when it ends.
    std::function<void(const QString&)> onZipStatus;

    quint64 totalSize() const { return m_total; }

private:
    bool settleDestination(const QStringList& entries, UnpackOptions& options);
    bool checkSizes(const QStringList& entries, const SplitRule& rule);
    bool checkPieceCounts(const QStringList& entries, const UnpackOptions& options,
                          const SplitRule& rule);
    bool lookUpHeaders(SplitJob& job, const SplitRule& rule);
    QByteArray mpegHeaderOf(const QString& path);
    PictureScanProgress scanProgress();
    std::vector<PieceSpan> mpeg4Spans(const SplitSource& source, const SplitRule& rule,
                                      bool cleanCuts);
    bool checkFreeSpace(const SplitJob& job, const SplitRule& rule);
    bool checkPieceNames(const QStringList& entries, const UnpackOptions& options);
    bool checkCollisions(const QStringList& entries, const UnpackOptions& options);
    JobOutcome openPhase(const QStringList& entries, const UnpackOptions& options,
                         QList<SplitSource>* sources);
    JobOutcome fail(const QString& text);
    static QString missingText(const SplitSource& source);

    File64& m_files;
    JobHost& m_host;
    quint64 m_total = 0;
    bool m_customDirRequested = false;
    bool m_zipping = false;
    CancelRequest m_cancel;
    ReplacedFiles m_replaced;  // files the job's writing moved out of its way
    QStringList m_archives;    // made by the zip step
};
