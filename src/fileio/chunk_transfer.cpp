#include "fileio/chunk_transfer.h"

#include <algorithm>

#include "core/job_host.h"
#include "core/job_messages.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"

namespace {

// Bytes pass through the buffer only where the kernel cannot copy them itself.
constexpr quint64 kMaxBuffer = 1024 * 1024;

}  // namespace

ChunkTransfer::ChunkTransfer(File64& files, JobHost& host, const CancelRequest& cancel)
    : m_files(files), m_host(host), m_cancel(cancel) {}

void ChunkTransfer::start(quint64 total, quint64 largestStep) {
    m_total = total;
    m_buffer.resize(std::clamp<quint64>(largestStep, 1, kMaxBuffer));
    m_feedback.start();
}

bool ChunkTransfer::copy(int in, int out, quint64 bytes, const QString& source,
                         const QString& output, QString* failure) {
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

bool ChunkTransfer::report(quint64 done) {
    m_host.progress(m_feedback.report(done, m_total));
    return m_cancel.requested;
}
