#pragma once

#include <QtGlobal>

#include <array>

#include "fileio/file64.h"

// System calls that fail on purpose: the `nth` next call of a kind (0 = the very next)
// fails with `error`. While a failure is planned the kernel copy stands aside, so every
// byte passes the reads and writes that can fail.
class FailingCalls : public FileCalls {
public:
    enum class Op { Open, Read, Write, Seek, Truncate, Unlink };
    void failCall(Op op, int nth, int error);
    void clear();

    int open(const QByteArray& name, Purpose purpose) override;
    ssize_t read(int fd, char* data, size_t count) override;
    ssize_t write(int fd, const char* data, size_t count) override;
    ssize_t copyRange(int in, int out, size_t count) override;
    off_t seek(int fd, off_t position, int whence) override;
    int truncate(int fd, off_t size) override;
    int unlink(const QByteArray& name) override;

private:
    struct Plan {
        int countdown = -1;
        int error = 0;
    };
    bool fails(Op op);
    std::array<Plan, 6> m_plans{};
};

// A job's File64 in a test: its calls can be made to fail, and when it goes it checks
// that the job closed every file it opened.
class CheckedFiles : public File64 {
public:
    explicit CheckedFiles(JobHost* host);
    ~CheckedFiles();
    CheckedFiles(const CheckedFiles&) = delete;
    CheckedFiles& operator=(const CheckedFiles&) = delete;

    void failCall(FailingCalls::Op op, int nth, int error) { m_faults.failCall(op, nth, error); }
    void clearFailures() { m_faults.clear(); }

private:
    FailingCalls m_faults;
};
