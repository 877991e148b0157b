#include "fileio/chunk_transfer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/job_host.h"
#include "core/job_messages.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "fileio/sha256.h"

namespace {

// Bytes pass through the buffer only where the kernel cannot copy them itself.
constexpr quint64 kMaxBuffer = 1024 * 1024;
// Blocks a checksummed copy may read ahead of its digests.
constexpr size_t kPipelineBlocks = 16;
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

// The digests of a checksummed copy, each summed on a thread of its own while the copy
// reads and writes the next blocks: a ring of blocks, handed over in order, each
// reused once every digest is done with it. Two digests of the same bytes (a piece's
// and its source's) thus cost one digest's time on a machine with two cores.
class DigestPipeline {
public:
    explicit DigestPipeline(size_t blockSize) {
        for (auto& block : m_blocks) {
            block.data.resize(blockSize);
        }
        for (size_t worker = 0; worker < kMaxDigests; ++worker) {
            m_threads.emplace_back([this, worker] { sum(worker); });
        }
    }
    ~DigestPipeline() {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    size_t blockSize() const { return m_blocks.front().data.size(); }

    // The next block to fill, once no digest still needs it.
    char* nextBlock() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_posted - slowest() < kPipelineBlocks; });
        return m_blocks[m_posted % kPipelineBlocks].data.data();
    }
    // Hands the block from nextBlock() to the digests.
    void post(quint64 size, std::initializer_list<Sha256*> digests) {
        {
            const std::lock_guard lock(m_mutex);
            Block& block = m_blocks[m_posted % kPipelineBlocks];
            block.size = size;
            block.digests.fill(nullptr);
            std::copy_n(digests.begin(), std::min(digests.size(), kMaxDigests),
                        block.digests.begin());
            ++m_posted;
        }
        m_changed.notify_all();
    }
    void settle() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return slowest() == m_posted; });
    }

private:
    struct Block {
        std::vector<char> data;
        quint64 size = 0;
        std::array<Sha256*, kMaxDigests> digests{};
    };

    quint64 slowest() const { return *std::min_element(m_done.begin(), m_done.end()); }

    void sum(size_t worker) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock,
                           [this, worker] { return m_stopping || m_done[worker] < m_posted; });
            if (m_done[worker] == m_posted) {
                return;  // stopping, and nothing left
            }
            const Block& block = m_blocks[m_done[worker] % kPipelineBlocks];
            lock.unlock();
            if (Sha256* digest = block.digests[worker]) {
                digest->add(block.data.data(), block.size);
            }
            lock.lock();
            ++m_done[worker];
            m_changed.notify_all();
        }
    }

    std::array<Block, kPipelineBlocks> m_blocks;
    std::array<quint64, kMaxDigests> m_done{};
    quint64 m_posted = 0;
    bool m_stopping = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::thread> m_threads;
};

ChunkTransfer::ChunkTransfer(File64& files, JobHost& host, const CancelRequest& cancel)
    : m_files(files), m_host(host), m_cancel(cancel) {}

ChunkTransfer::~ChunkTransfer() = default;

void ChunkTransfer::settleDigests() {
    if (m_digests) {
        m_digests->settle();
    }
}

void ChunkTransfer::start(quint64 total, quint64 largestStep) {
    m_total = total;
    m_buffer.resize(std::clamp<quint64>(largestStep, 1, kMaxBuffer));
    settleDigests();
    m_held = 0;
    m_feedback.start();
}

bool ChunkTransfer::copy(int in, int out, quint64 bytes, const QString& source,
                         const QString& output, QString* failure,
                         std::initializer_list<Sha256*> digests) {
    if (digests.size() != 0) {
        return hashedCopy(in, out, bytes, source, output, failure, digests);
    }
    const File64::Transfer transfer =
        m_files.TransferBytes(in, out, bytes, m_buffer.data(), m_buffer.size());
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
    if (!m_digests || m_digests->blockSize() != m_buffer.size()) {
        m_digests = std::make_unique<DigestPipeline>(m_buffer.size());
    }
    for (quint64 done = 0; done < bytes;) {
        char* block = m_digests->nextBlock();
        const quint64 step = std::min<quint64>(m_buffer.size(), bytes - done);
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
        const quint64 step = std::min<quint64>(m_buffer.size(), bytes - done);
        m_rewriting.resize(std::max(m_rewriting.size(), holdLimit + m_buffer.size()));
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
    if (m_cancel.requested) {
        settleDigests();  // the job drops its digests now
    }
    return m_cancel.requested;
}
