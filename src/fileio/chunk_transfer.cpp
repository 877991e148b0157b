#include "fileio/chunk_transfer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>

#include "core/job_host.h"
#include "core/job_messages.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "fileio/sha256.h"

namespace {

// Bytes pass through the buffer only where the kernel cannot copy them itself.
constexpr quint64 kMaxBuffer = 1024 * 1024;
// Below this a block is hashed where it is: starting a thread would cost more than the
// digest (the slow rate copies 10,000 bytes a step).
constexpr quint64 kParallelBlock = 256 * 1024;

// The launch of work on a block: a thread of its own for a large block, else deferred
// to the caller's wait.
std::launch launchFor(quint64 size) {
    return size >= kParallelBlock ? std::launch::async : std::launch::deferred;
}

}  // namespace

ChunkTransfer::ChunkTransfer(File64& files, JobHost& host, const CancelRequest& cancel)
    : m_files(files), m_host(host), m_cancel(cancel) {}

void ChunkTransfer::start(quint64 total, quint64 largestStep) {
    m_total = total;
    m_buffer.resize(std::clamp<quint64>(largestStep, 1, kMaxBuffer));
    m_second.resize(m_buffer.size());
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
        *failure = readErrorText(source, transfer.readError != 0
                                             ? errorText(transfer.readError)
                                             : QStringLiteral("the file ended before its size"));
        return false;
    }
    return true;
}

// Two digests of the same bytes (a piece's and its whole source's) are summed side by
// side, so checksums cost one digest's time on a machine with two cores.
void ChunkTransfer::feedDigests(std::initializer_list<Sha256*> digests, const char* data,
                                quint64 size) {
    std::vector<std::future<void>> others;
    auto digest = digests.begin();
    for (++digest; digest != digests.end(); ++digest) {
        others.push_back(
            std::async(launchFor(size), [sum = *digest, data, size] { sum->add(data, size); }));
    }
    (*digests.begin())->add(data, size);
    for (std::future<void>& other : others) {
        other.get();
    }
}

// The digests of one block run while the block is written and the next one is read:
// the two buffers take turns, and a block is reused only once its digests are done.
bool ChunkTransfer::hashedCopy(int in, int out, quint64 bytes, const QString& source,
                               const QString& output, QString* failure,
                               std::initializer_list<Sha256*> digests) {
    char* blocks[2] = {m_buffer.data(), m_second.data()};
    std::future<void> hashing;
    const auto finishHashing = [&hashing] {
        if (hashing.valid()) {
            hashing.get();
        }
    };
    int current = 0;
    for (quint64 done = 0; done < bytes; current ^= 1) {
        char* block = blocks[current];
        const quint64 step = std::min<quint64>(m_buffer.size(), bytes - done);
        int readError = 0;
        const quint64 got = m_files.GetBytes(in, block, step, &readError);
        finishHashing();
        hashing =
            std::async(launchFor(got), [digests, block, got] { feedDigests(digests, block, got); });
        int writeError = 0;
        const quint64 put = m_files.WriteBytes(out, block, got, &writeError);
        done += put;
        if (put != got) {
            finishHashing();
            *failure = writeErrorText(output, errorText(writeError != 0 ? writeError : ENOSPC));
            return false;
        }
        if (got < step) {
            finishHashing();
            *failure = readErrorText(
                source, readError != 0 ? errorText(readError)
                                       : QStringLiteral("the file ended before its size"));
            return false;
        }
    }
    finishHashing();
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
            *failure = readErrorText(
                source, readError != 0 ? errorText(readError)
                                       : QStringLiteral("the file ended before its size"));
            return false;
        }
        done += got;
        const size_t size = m_held + static_cast<size_t>(got);
        const Rewritten result = rewrite(m_rewriting.data(), size, endOfInput && done == bytes);
        const char* ready = reinterpret_cast<const char*>(m_rewriting.data());
        int writeError = 0;
        if (m_files.WriteBytes(out, ready, result.ready, &writeError) != result.ready) {
            *failure = writeErrorText(output, errorText(writeError != 0 ? writeError : ENOSPC));
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
    return m_cancel.requested;
}
