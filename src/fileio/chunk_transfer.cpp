#include "fileio/chunk_transfer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "core/job_host.h"
#include "core/job_messages.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "fileio/sha256.h"

namespace {

// Bytes pass through the buffer only where the kernel cannot copy them itself.
constexpr quint64 kMaxBuffer = 1024 * 1024;
// Shaped steps are whole MiB where they can be: that covers the sizes the file systems
// share in (ZFS's default record size among them).
constexpr quint64 kSharingUnit = 1024 * 1024;
constexpr quint64 kLargestSharedStep = 64 * kSharingUnit;
// Blocks a checksummed copy may read ahead of its digests.
constexpr size_t kPipelineBlocks = 8;
constexpr size_t kMaxDigests = 2;

// A read that stopped short, by the error it met (none: the file was shorter).
QString shortReadText(const QString& source, int readError) {
    return readErrorText(source, readError != 0 ? errorText(readError)
                                                : QStringLiteral("the file ended before its size"));
}

// A write that stopped short: a full disk when the system named no error.
QString shortWriteText(const QString& output, int writeError) {
    return writeErrorText(output, errorText(writeError != 0 ? writeError : ENOSPC));
}

}  // namespace

// The digests of a checksummed copy: a ring of blocks, each handed to every digest in
// order and reused once all are done with it. A helper thread sums while the copy
// reads and writes the next blocks; when the copy is ahead by a whole ring it sums too,
// taking the digest furthest behind that the helper is not summing. So the two threads
// share the digests and the copy between them, and two digests of the same bytes (a
// piece's and its source's) with the copy cost about one digest's time on two cores.
class DigestPipeline {
public:
    explicit DigestPipeline(size_t blockSize) {
        for (auto& block : m_blocks) {
            block.data.resize(blockSize);
        }
        m_helper = std::thread([this] { helpUntilStopped(); });
    }
    // Settled first: a block left unsummed would be summed into a digest that may be gone.
    ~DigestPipeline() {
        {
            const std::lock_guard lock(m_mutex);
            Q_ASSERT(slowest() == m_posted);
            m_stopping = true;
        }
        m_changed.notify_all();
        m_helper.join();
    }
    size_t blockSize() const { return m_blocks.front().data.size(); }

    // The next block to fill, once no digest still needs it.
    char* nextBlock() {
        std::unique_lock lock(m_mutex);
        sumUntil(lock, [this] { return m_posted - slowest() < kPipelineBlocks; });
        return m_blocks[m_posted % kPipelineBlocks].data.data();
    }
    // Hands the block from nextBlock() to the digests.
    void post(quint64 size, std::initializer_list<Sha256*> digests) {
        {
            const std::lock_guard lock(m_mutex);
            Block& block = m_blocks[m_posted % kPipelineBlocks];
            block.size = size;
            Q_ASSERT(digests.size() <= kMaxDigests);  // a piece's and its source's at most
            block.digests.fill(nullptr);
            std::copy_n(digests.begin(), std::min(digests.size(), kMaxDigests),
                        block.digests.begin());
            ++m_posted;
        }
        m_changed.notify_all();
    }
    void settle() {
        std::unique_lock lock(m_mutex);
        sumUntil(lock, [this] { return slowest() == m_posted; });
    }
    // Waits until `digest` has summed all it was given; the others may go on meanwhile.
    void settle(const Sha256* digest) {
        std::unique_lock lock(m_mutex);
        sumUntil(lock, [this, digest] { return !owes(digest); });
    }

private:
    struct Block {
        std::vector<char> data;
        quint64 size = 0;
        std::array<Sha256*, kMaxDigests> digests{};
    };

    quint64 slowest() const { return *std::min_element(m_done.begin(), m_done.end()); }

    // True while a block handed to `digest` waits for it or is being summed.
    bool owes(const Sha256* digest) const {
        for (size_t lane = 0; lane < kMaxDigests; ++lane) {
            for (quint64 block = m_done[lane]; block < m_posted; ++block) {
                if (m_blocks[block % kPipelineBlocks].digests[lane] == digest) {
                    return true;
                }
            }
        }
        return false;
    }

    // Helps summing until `ready` holds, waiting only when no digest is free to take.
    template <typename Ready>
    void sumUntil(std::unique_lock<std::mutex>& lock, Ready ready) {
        while (!ready()) {
            if (!sumOneBlock(lock)) {
                m_changed.wait(lock);
            }
        }
    }

    void helpUntilStopped() {
        std::unique_lock lock(m_mutex);
        sumUntil(lock, [this] { return m_stopping; });
    }

    // Sums the next block of the digest furthest behind that no thread is summing;
    // false when there is none.
    bool sumOneBlock(std::unique_lock<std::mutex>& lock) {
        size_t lane = kMaxDigests;
        for (size_t each = 0; each < kMaxDigests; ++each) {
            if (!m_summing[each] && m_done[each] < m_posted &&
                (lane == kMaxDigests || m_done[each] < m_done[lane])) {
                lane = each;
            }
        }
        if (lane == kMaxDigests) {
            return false;
        }
        m_summing[lane] = true;
        const Block& block = m_blocks[m_done[lane] % kPipelineBlocks];
        lock.unlock();
        if (Sha256* digest = block.digests[lane]) {
            digest->add(block.data.data(), block.size);
        }
        lock.lock();
        m_summing[lane] = false;
        ++m_done[lane];
        m_changed.notify_all();
        return true;
    }

    std::array<Block, kPipelineBlocks> m_blocks;
    std::array<quint64, kMaxDigests> m_done{};
    std::array<bool, kMaxDigests> m_summing{};
    quint64 m_posted = 0;
    bool m_stopping = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_helper;
};

ChunkTransfer::ChunkTransfer(File64& files, JobHost& host, const CancelRequest& cancel)
    : m_files(files), m_host(host), m_cancel(cancel) {}

ChunkTransfer::~ChunkTransfer() = default;

void ChunkTransfer::settleDigests() {
    if (m_digests) {
        m_digests->settle();
    }
}

void ChunkTransfer::settleDigest(const Sha256& digest) {
    if (m_digests) {
        m_digests->settle(&digest);
    }
}

void ChunkTransfer::start(quint64 total, quint64 largestStep) {
    m_total = total;
    const quint64 bufferSize = std::clamp<quint64>(largestStep, 1, kMaxBuffer);
    if (bufferSize != m_bufferSize) {
        // Not cleared: a job the kernel copies never touches it, so its pages never fault.
        m_buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
        m_bufferSize = bufferSize;
    }
    settleDigests();
    m_held = 0;
    m_sharingScale = 1;
    m_lastAlignedStep.reset();
    m_feedback.start();
}

quint64 ChunkTransfer::sharingStep(int in, int out, quint64 chunk, quint64 remaining) {
    const quint64 plain = std::min(chunk, remaining);
    if (chunk < kSharingChunk) {
        return plain;
    }
    if (m_blockSizeOf != out) {
        m_blockSizeOf = out;
        m_blockSize = m_files.blockSize(out);
    }
    const std::optional<quint64> from = m_files.position(in);
    const std::optional<quint64> to = m_files.position(out);
    if (!from || !to || *from % m_blockSize != *to % m_blockSize) {
        return plain;
    }
    if (*to % m_blockSize != 0) {
        return std::min(remaining, m_blockSize - *to % m_blockSize);
    }
    const quint64 unit =
        chunk >= kSharingUnit && kSharingUnit % m_blockSize == 0 ? kSharingUnit : m_blockSize;
    const quint64 grown = std::min(chunk * growSharing(chunk), std::max(chunk, kLargestSharedStep));
    return std::min(remaining, std::max(unit, grown / unit * unit));
}

// Faster than 50 bytes a nanosecond is faster than memory: the blocks were shared.
quint64 ChunkTransfer::growSharing(quint64 chunk) {
    const auto now = std::chrono::steady_clock::now();
    const auto sharedPace = std::chrono::nanoseconds(chunk * m_sharingScale / 50);
    const bool quick = m_lastAlignedStep && now - *m_lastAlignedStep < sharedPace;
    m_sharingScale = quick ? std::min<quint64>(m_sharingScale * 2, 64) : 1;
    m_lastAlignedStep = now;
    return m_sharingScale;
}

bool ChunkTransfer::copy(int in, int out, quint64 bytes, const QString& source,
                         const QString& output, QString* failure,
                         std::initializer_list<Sha256*> digests) {
    if (digests.size() != 0) {
        return hashedCopy(in, out, bytes, source, output, failure, digests);
    }
    const File64::Transfer transfer =
        m_files.transfer(in, out, bytes, m_buffer.get(), m_bufferSize);
    if (transfer.writeError != 0) {
        *failure = writeErrorText(output, errorText(transfer.writeError));
        return false;
    }
    if (transfer.copied != bytes) {
        *failure = shortReadText(source, transfer.readError);
        return false;
    }
    return true;
}

// Each block is read, handed to the digests, and written while they sum it.
bool ChunkTransfer::hashedCopy(int in, int out, quint64 bytes, const QString& source,
                               const QString& output, QString* failure,
                               std::initializer_list<Sha256*> digests) {
    if (!m_digests || m_digests->blockSize() != m_bufferSize) {
        m_digests = std::make_unique<DigestPipeline>(m_bufferSize);
    }
    for (quint64 done = 0; done < bytes;) {
        char* block = m_digests->nextBlock();
        const quint64 step = std::min<quint64>(m_bufferSize, bytes - done);
        int readError = 0;
        const quint64 got = m_files.GetBytes(in, block, step, &readError);
        m_digests->post(got, digests);
        int writeError = 0;
        const quint64 put = m_files.WriteBytes(out, block, got, &writeError);
        done += put;
        if (put != got || got < step) {
            settleDigests();
            *failure =
                put != got ? shortWriteText(output, writeError) : shortReadText(source, readError);
            return false;
        }
    }
    return true;
}

bool ChunkTransfer::rewrittenCopy(int in, int out, quint64 bytes, bool endOfInput, size_t holdLimit,
                                  const Rewrite& rewrite, const QString& source,
                                  const QString& output, QString* failure,
                                  std::initializer_list<Sha256*> digests) {
    for (quint64 done = 0; done < bytes;) {
        const quint64 step = std::min<quint64>(m_bufferSize, bytes - done);
        m_rewriting.resize(std::max<size_t>(m_rewriting.size(), holdLimit + m_bufferSize));
        int readError = 0;
        const quint64 got = m_files.GetBytes(
            in, reinterpret_cast<char*>(m_rewriting.data() + m_held), step, &readError);
        if (got < step) {
            *failure = shortReadText(source, readError);
            return false;
        }
        done += got;
        const size_t size = m_held + static_cast<size_t>(got);
        const Rewritten result = rewrite(m_rewriting.data(), size, endOfInput && done == bytes);
        const char* ready = reinterpret_cast<const char*>(m_rewriting.data());
        int writeError = 0;
        if (m_files.WriteBytes(out, ready, result.ready, &writeError) != result.ready) {
            *failure = shortWriteText(output, writeError);
            return false;
        }
        for (Sha256* digest : digests) {
            if (digest != nullptr) {
                digest->add(ready, result.ready);
            }
        }
        m_held = size - result.consumed;
        std::memmove(m_rewriting.data(), m_rewriting.data() + result.consumed, m_held);
    }
    return true;
}

bool ChunkTransfer::report(quint64 done) {
    m_host.progress(m_feedback.report(done, m_total));
    if (m_cancel.requested()) {
        settleDigests();  // the job drops its digests now
    }
    return m_cancel.requested();
}
