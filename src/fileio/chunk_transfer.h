#pragma once

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "core/job_outcome.h"
#include "core/progress_feedback.h"

class DigestPipeline;
class File64;
class JobHost;
class Sha256;

// The copy step of the join and split engines: moves a job's data chunk by chunk
// between two open handles (one kernel copy per chunk, or through the job's one
// buffer), reports progress after a chunk and tells when the user asked to cancel.
class ChunkTransfer {
public:
    ChunkTransfer(File64& files, JobHost& host, const CancelRequest& cancel);
    ~ChunkTransfer();
    ChunkTransfer(const ChunkTransfer&) = delete;
    ChunkTransfer& operator=(const ChunkTransfer&) = delete;

    // A new job of `total` bytes whose single steps are at most `largestStep` bytes.
    void start(quint64 total, quint64 largestStep);

    // Copies `bytes` from `in` to `out`. On failure returns false with the message
    // naming the failing side (`source` or `output`), without the job's last words.
    // With `digests`, the bytes pass the job's buffer and feed every digest on the way:
    // on threads of their own that may still be summing when this returns, so that the
    // next chunk's copy overlaps them. Call settleDigests() before reading a digest.
    bool copy(int in, int out, quint64 bytes, const QString& source, const QString& output,
              QString* failure, std::initializer_list<Sha256*> digests = {});

    // The next step of a plain copy of `remaining` bytes chunked by `chunk`, shaped so
    // that a copy-on-write file system (btrfs, XFS, ZFS) shares the blocks instead of
    // copying them: at offsets on block boundaries a whole number of blocks (of 1 MiB
    // where the chunk allows); at offsets equal within a block but off a boundary, the
    // short way to the next one. Elsewhere, and for chunks under 1,000,000 bytes (the
    // slow rates keep their steps), the chunk as it is. The last step takes the rest.
    // While aligned steps come faster than memory could copy them (the blocks are being
    // shared), the chunk grows, up to 64 MiB: each call is a file-system transaction.
    quint64 sharingStep(int in, int out, quint64 chunk, quint64 remaining);
    static constexpr quint64 kSharingChunk = 1000000;

    // How a rewriting copy changes the bytes: it works on data[0..size) in place (the
    // bytes it kept last time first) and answers how many may be written and how many
    // of them it is done with; the rest waits for the next chunk. `end` marks the last
    // chunk of the input.
    struct Rewritten {
        size_t ready = 0;
        size_t consumed = 0;
    };
    using Rewrite = std::function<Rewritten(unsigned char* data, size_t size, bool end)>;

    // Copies `bytes` from `in` through the job's buffer, rewritten on the way; at most
    // `holdLimit` bytes wait between two chunks. The digests see what is written.
    bool rewrittenCopy(int in, int out, quint64 bytes, bool endOfInput, size_t holdLimit,
                       const Rewrite& rewrite, const QString& source, const QString& output,
                       QString* failure, std::initializer_list<Sha256*> digests = {});

    // Waits until every digest has summed all it was given.
    void settleDigests();
    // Waits for one digest only: the others go on summing while the next copy runs.
    void settleDigest(const Sha256& digest);

    // Shows progress after `done` bytes; true when the user asked to cancel meanwhile
    // (the digests are settled then).
    bool report(quint64 done);

private:
    bool hashedCopy(int in, int out, quint64 bytes, const QString& source, const QString& output,
                    QString* failure, std::initializer_list<Sha256*> digests);
    quint64 growSharing(quint64 chunk);

    File64& m_files;
    JobHost& m_host;
    const CancelRequest& m_cancel;
    ProgressFeedback m_feedback;
    std::unique_ptr<char[]> m_buffer;
    quint64 m_bufferSize = 0;
    std::unique_ptr<DigestPipeline> m_digests;  // a checksummed copy's buffers and summers
    std::vector<unsigned char> m_rewriting;     // a rewriting copy's buffer, kept bytes first
    size_t m_held = 0;
    quint64 m_total = 0;
    int m_blockSizeOf = -1;  // the output handle m_blockSize was read from
    quint64 m_blockSize = 0;
    quint64 m_sharingScale = 1;  // how many chunks an aligned step takes
    std::optional<std::chrono::steady_clock::time_point> m_lastAlignedStep;
};
