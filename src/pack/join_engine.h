#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/job_host.h"
#include "core/job_outcome.h"
#include "fileio/chunk_transfer.h"
#include "fileio/sha256.h"
#include "formats/mp4/mp4_join.h"
#include "formats/mpeg2/seamless_join.h"
#include "rules/transfer_rate.h"

class File64;
class JobHost;

struct JoinJob {
    QStringList inputs;  // full paths, in the order they are joined
    QString output;
    TransferRate rate;
    bool checksum = false;  // also write OUTPUT.sha256, computed while copying
    // MPEG streams of one kind become one continuous stream (timestamps shifted, inner
    // end codes dropped); other inputs are joined byte for byte.
    bool seamless = false;
};

// Writes the byte-for-byte concatenation of a job's inputs. Validation comes first
// and writes nothing; the caller runs its own checks between the two passes.
class JoinEngine {
public:
    // Asked once per input during validation; false stops the job quietly.
    using InputCheck = std::function<bool(const QString& path)>;

    JoinEngine(File64& files, JobHost& host, const CancelRequest& cancel);

    JobOutcome validate(const JoinJob& job, const InputCheck& check = {});
    JobOutcome copy(const JoinJob& job);

    quint64 totalSize() const { return m_totalSize; }
    quint64 copiedSize() const { return m_copiedSize; }
    // What a cancel left that the user should know ("" when nothing).
    const QString& cancelNote() const { return m_cancelNote; }

private:
    // How MPEG-4 parts are joined: by their tables, packet by packet, or as bytes.
    struct Mpeg4Route {
        std::optional<Mp4JoinPlan> plan;
        bool remux = false;
        QString refusal;  // why the parts cannot be one movie by any route
    };
    bool allMpeg4(const QStringList& inputs);
    Mpeg4Route routeMpeg4(const JoinJob& job);
    JobOutcome copyMpeg4(const JoinJob& job, const Mp4JoinPlan& plan);
    JobOutcome copyRange(const JoinJob& job, const Mp4JoinPlan::Range& range, int outputHandle,
                         quint64* done);
    JobOutcome remuxMpeg4(const JoinJob& job);
    JobOutcome prepareOutput(const QString& output, int* handle);
    bool deleteOldOutput(const QString& output, JobOutcome* outcome);
    JobOutcome openOutput(const QString& output, int* handle);
    // Whether `path` is still there at the size it was validated at; the failure said.
    JobOutcome checkUnchanged(const QString& path, quint64 expectedSize);
    // Whether a part opens and reads, asked before the output exists.
    JobOutcome checkReadable(const QString& path, quint64 expectedSize);
    JobOutcome copyInput(const QString& path, quint64 expectedSize, int outputHandle,
                         const TransferRate& rate);
    JobOutcome copySharing(const QString& path, int inputHandle, int outputHandle, quint64 size,
                           const TransferRate& rate);
    JobOutcome copyStep(const QString& path, int inputHandle, int outputHandle, quint64 bytes,
                        bool lastStep);
    bool beginSeamlessPart(const QString& path, int inputHandle);
    // The kind every input shares, or None (said once) when they are not one kind.
    MpegStreamKind seamlessKind(const QStringList& inputs);
    MpegStreamKind streamKindOf(const QString& path);
    JobOutcome writeChecksum(const QString& output);
    JobOutcome writeChecksumLine(const QString& output, const QByteArray& digest);
    JobOutcome cancelled();
    JobOutcome askOverwrite(const QString& output);
    // Shows `text` (unless empty), closes the job's files and reports the failure.
    JobOutcome fail(const QString& text, MessageIcon icon = MessageIcon::Error);
    JobOutcome failForError(int error, const QString& path);

    File64& m_files;
    JobHost& m_host;
    ChunkTransfer m_transfer;
    std::unique_ptr<Sha256> m_digest;  // of the output, when the job writes checksums
    std::unique_ptr<SeamlessJoin> m_seamless;
    MpegStreamKind m_seamlessKind = MpegStreamKind::None;
    bool m_lastPart = false;
    QStringList m_damagedParts;  // where each damaged part stopped being rewritten
    QString m_cancelNote;
    const char* m_remuxContainer = "mp4";  // the first MPEG-4 part's, for the packet join
    std::vector<quint64> m_sizes;
    QString m_output;
    quint64 m_totalSize = 0;
    quint64 m_copiedSize = 0;
};
