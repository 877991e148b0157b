#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

#include "core/job_host.h"
#include "core/job_outcome.h"
#include "fileio/chunk_transfer.h"
#include "fileio/trash.h"
#include "formats/mpeg2/clean_cut.h"
#include "rules/split_rule.h"
#include "rules/transfer_rate.h"
#include "settings/option_types.h"
#include "unpack/join_batch.h"

class File64;
class Sha256;

// One piece of a source: where it starts, how many source bytes it holds and what it
// starts with before them.
struct PieceSpan {
    quint64 start = 0;
    quint64 bytes = 0;
    QByteArray header;
};

// One entry of an unpack job.
struct SplitSource {
    QString path;         // the pack-list entry
    QString fileToSplit;  // the entry itself, or the archive its zip step made
    bool zipped = false;  // the file to split is that archive
    int handle = -1;      // opened read-only before the split starts
    // An `EMH` split's header, looked up once by the unpack command before the job
    // (empty: the source has none).
    QByteArray mpegHeader;
    // An MPEG-4 source: its `EMH` pieces are MPEG-4 files named with its extension, and
    // their spans and headers are planned before the job.
    bool mpeg4 = false;
    std::optional<std::vector<PieceSpan>> spans;
};

// The most pieces one source can be cut into (piece numbers are signed 16-bit).
constexpr quint64 kMaxPieces = 32767;

// The refusal of a plan of more than kMaxPieces pieces.
QString tooManyPiecesText(const QString& source, quint64 pieces);

struct SplitJob {
    QList<SplitSource> sources;
    UnpackType type = UnpackType::RAW;
    UnpackDestination destination = UnpackDestination::WhereFile;
    QString outputName;  // "&Save File": the base of the piece names
    QString customDir;   // "&Custom Directory..."
    TransferRate rate;
    JoinBatchMode batch = JoinBatchMode::None;
    QStringList stampingLines;
    bool checksum = false;    // also write NAME.sha256 beside the pieces, in the same pass
    bool sourcesStay = true;  // the sources are not sent to the trash after the job
    // `EMH` pieces start where a picture group starts, each with the stream headers it
    // needs; the size rule's positions move forward to the next such place.
    bool cleanCuts = false;
};

// The pieces of the size rule: every piece after the first (every piece of a last-piece
// split) carries `header`.
std::vector<PieceSpan> plannedSpans(const PiecePlan& plan, quint64 length,
                                    const QByteArray& header);
// The same pieces with every boundary moved forward to the next clean cut. A boundary
// with no cut before the end of the source, or with the same cut as the one before,
// ends the list: the last piece runs to the end, and there may be fewer pieces.
// `nextCut` gives the first cut at or after a position.
using CutFinder = std::function<std::optional<CleanCut>(quint64 from)>;
std::vector<PieceSpan> cleanSpans(const PiecePlan& plan, quint64 length, const CutFinder& nextCut);

// How many pieces the rule asked for and clean cuts gave, said once when they differ.
QString fewerPiecesText(const QString& source, size_t pieces, quint64 planned);

// The name the pieces of `source` share, before their numbers.
QString pieceBase(const SplitJob& job, const SplitSource& source);

// The piece name of piece `numberText` of `source`.
QString pieceName(const SplitJob& job, const SplitSource& source, const QString& numberText);

// The folder that receives the pieces (and batch file) of `source`.
QString pieceFolder(const SplitJob& job, const SplitSource& source);

// Writes the pieces of every source in order, and their join batch files.
class SplitEngine {
public:
    // Files the job replaces (pieces, batch and checksum files of an earlier split) are
    // moved out of its way and counted in `replaced`.
    SplitEngine(File64& files, JobHost& host, const CancelRequest& cancel, ReplacedFiles& replaced);

    // `total` is the job's byte count for the progress display.
    JobOutcome run(const SplitJob& job, SplitRule& rule, quint64 total);

    quint64 copiedSize() const { return m_copied; }
    // Every piece, batch and checksum file the job wrote.
    const QStringList& writtenFiles() const { return m_written; }

private:
    JobOutcome splitSource(const SplitJob& job, const SplitSource& source, SplitRule& rule,
                           JoinBatchBuilder& batch);
    JobOutcome writePiece(const SplitJob& job, const SplitSource& source, const PiecePlan& plan,
                          quint64 number, const PieceSpan& span, JoinBatchBuilder& batch);
    std::vector<PieceSpan> spansOf(const SplitJob& job, const SplitSource& source,
                                   const PiecePlan& plan, quint64 length);
    bool setAsideOldFile(const QString& path, JobOutcome* outcome);
    void setAsideOldPiecesFrom(const SplitJob& job, const SplitSource& source, quint64 number,
                               int digits);
    JobOutcome copyPiece(const SplitSource& source, const QString& piece, int pieceHandle,
                         quint64 bytes);
    JobOutcome copyPieceSharing(const SplitSource& source, const QString& piece, int pieceHandle,
                                quint64 bytes);
    // Counts a copied step and reports it; Cancelled when the user asked to stop.
    JobOutcome stepDone(quint64 bytes);
    JobOutcome fail(const QString& text, MessageIcon icon = MessageIcon::Error);

    File64& m_files;
    JobHost& m_host;
    ChunkTransfer m_transfer;
    quint64 m_copied = 0;
    Sha256* m_pieceDigest = nullptr;   // of the piece being written, with checksums
    Sha256* m_sourceDigest = nullptr;  // of the source being split, with checksums
    QByteArray m_manifest;             // the checksum lines of the source so far
    TransferRate m_rate;
    ReplacedFiles& m_replaced;
    QStringList m_written;
};
