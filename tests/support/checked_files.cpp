#include "support/checked_files.h"

#include <QTest>

#include <cerrno>

#include <unistd.h>

void FailingCalls::failCall(Op op, int nth, int error) {
    m_plans[static_cast<size_t>(op)] = {nth, error};
}

void FailingCalls::clear() {
    m_plans.fill({});
}

bool FailingCalls::fails(Op op) {
    Plan& plan = m_plans[static_cast<size_t>(op)];
    if (plan.countdown < 0 || plan.countdown-- > 0) {
        return false;
    }
    errno = plan.error;
    return true;
}

int FailingCalls::open(const QByteArray& name, Purpose purpose) {
    return fails(Op::Open) ? -1 : FileCalls::open(name, purpose);
}

ssize_t FailingCalls::read(int fd, char* data, size_t count) {
    return fails(Op::Read) ? -1 : FileCalls::read(fd, data, count);
}

ssize_t FailingCalls::write(int fd, const char* data, size_t count) {
    return fails(Op::Write) ? -1 : FileCalls::write(fd, data, count);
}

off_t FailingCalls::seek(int fd, off_t position, int whence) {
    // Only a move counts: asking where a file stands is not planned to fail.
    const bool move = !(position == 0 && whence == SEEK_CUR);
    return move && fails(Op::Seek) ? -1 : FileCalls::seek(fd, position, whence);
}

int FailingCalls::truncate(int fd, off_t size) {
    return fails(Op::Truncate) ? -1 : FileCalls::truncate(fd, size);
}

int FailingCalls::unlink(const QByteArray& name) {
    return fails(Op::Unlink) ? -1 : FileCalls::unlink(name);
}

ssize_t FailingCalls::copyRange(int in, int out, size_t count) {
    for (const Plan& plan : m_plans) {
        if (plan.countdown >= 0) {
            errno = EXDEV;  // the caller falls back to reads and writes
            return -1;
        }
    }
    return FileCalls::copyRange(in, out, count);
}

CheckedFiles::CheckedFiles(JobHost* host) : File64(host) {
    setCalls(&m_faults);
}

CheckedFiles::~CheckedFiles() {
    QTest::qVerify(openFileTable().isEmpty(), "openFileTable().isEmpty()", "a job left files open",
                   __FILE__, __LINE__);
    setCalls(nullptr);
}
