#include "support/checked_files.h"

#include <QTest>

#include <cerrno>

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

int FailingCalls::open(const QByteArray& name, bool writing) {
    return fails(Op::Open) ? -1 : FileCalls::open(name, writing);
}

ssize_t FailingCalls::read(int fd, char* data, size_t count) {
    return fails(Op::Read) ? -1 : FileCalls::read(fd, data, count);
}

ssize_t FailingCalls::write(int fd, const char* data, size_t count) {
    return fails(Op::Write) ? -1 : FileCalls::write(fd, data, count);
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
