#include "fileio/file64.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <QFile>

#include "core/job_host.h"
#include "core/text_helpers.h"
#include "fileio/file_identity.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"

namespace {

void setError(int* error, int value) {
    if (error != nullptr) {
        *error = value;
    }
}

}  // namespace

File64::File64(JobHost* host) : m_host(host) {}

// What a caller left open goes with the object.
File64::~File64() {
    closeJobFiles();
}

void File64::show(const QString& text) {
    if (m_host != nullptr) {
        m_host->message(MessageIcon::Error, text);
    }
}

namespace {

// An output: an existing regular file is opened as it is; a link, FIFO or socket planted
// at the name is removed and a new file made in its place, so nothing is written through
// it. A device is refused. O_NOFOLLOW catches a link planted after the look.
int openForWriting(const QByteArray& name) {
    int flags = O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
    switch (pathKind(fromNativePath(name))) {
        case PathKind::Link:
        case PathKind::Other:
            if (::unlink(name.constData()) != 0 && errno != ENOENT) {
                return -1;
            }
            flags |= O_EXCL;
            break;
        case PathKind::Device:
            errno = ENODEV;
            return -1;
        default:
            break;
    }
    return ::open(name.constData(), flags, 0666);
}

// A source: only a regular file is read, so a FIFO cannot hang the job. A missing name
// (not a dangling link) is made as an empty file, never through a link.
int openForReading(const QByteArray& name) {
    int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && pathKind(fromNativePath(name)) == PathKind::Missing) {
        fd = ::open(name.constData(),
                    O_RDONLY | O_NONBLOCK | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    }
    return regularFileOnly(fd);
}

}  // namespace

int FileCalls::open(const QByteArray& name, Purpose purpose) {
    switch (purpose) {
        case Purpose::Output:
            return openForWriting(name);
        case Purpose::Existing:
            return openExistingRegularFile(name);
        case Purpose::Source:
            break;
    }
    return openForReading(name);
}

ssize_t FileCalls::read(int fd, char* data, size_t count) {
    return ::read(fd, data, count);
}

ssize_t FileCalls::write(int fd, const char* data, size_t count) {
    return ::write(fd, data, count);
}

ssize_t FileCalls::copyRange(int in, int out, size_t count) {
    return ::copy_file_range(in, nullptr, out, nullptr, count, 0);
}

off_t FileCalls::seek(int fd, off_t position, int whence) {
    return ::lseek(fd, position, whence);
}

int FileCalls::truncate(int fd, off_t size) {
    return ::ftruncate(fd, size);
}

int FileCalls::unlink(const QByteArray& name) {
    return ::unlink(name.constData());
}

int FileCalls::rename(const QByteArray& from, const QByteArray& to) {
    return ::rename(from.constData(), to.constData());
}

File64::OpenResult File64::OpenFile(const QString& fileName, OpenMode mode) {
    const FileCalls::Purpose purpose = mode == OpenMode::ReadWrite  ? FileCalls::Purpose::Output
                                       : mode == OpenMode::Existing ? FileCalls::Purpose::Existing
                                                                    : FileCalls::Purpose::Source;
    const int handle = m_calls->open(nativePath(fileName), purpose);
    if (handle == -1) {
        const int error = errno;
        m_lastOpenError = error;
        if (mode != OpenMode::Existing) {
            show(QStringLiteral("Error opening '") + fileName + QStringLiteral("'! ") +
                 errorText(error) + QLatin1Char('.'));
        }
        m_openStatus = OpenFailed;
        return {-1, error};
    }
    m_lastOpenError = 0;
    m_openStatus = OpenOk;
    m_openTable.append(handle);
    return {handle, 0};
}

quint64 File64::GetBytes(int hFile, char* data, quint64 byteCount, int* error) {
    setError(error, 0);
    quint64 done = 0;
    // A handle that is no longer in the table may already belong to another file.
    if (!inTable(hFile)) {
        setError(error, EBADF);
    } else {
        while (done < byteCount) {
            const ssize_t got = m_calls->read(hFile, data + done, byteCount - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                setError(error, errno);
                break;
            }
            if (got == 0) {
                break;
            }
            done += static_cast<quint64>(got);
        }
    }
    std::memset(data + done, 0, byteCount - done);
    return done;
}

quint64 File64::WriteBytes(int hFile, const char* data, quint64 byteCount, int* error) {
    setError(error, 0);
    if (!inTable(hFile)) {
        setError(error, EBADF);
        return 0;
    }
    quint64 done = 0;
    while (done < byteCount) {
        const ssize_t put = m_calls->write(hFile, data + done, byteCount - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            setError(error, put == 0 ? ENOSPC : errno);
            break;
        }
        done += static_cast<quint64>(put);
    }
    return done;
}

bool File64::inTable(int hFile) const {
    return hFile != -1 && m_openTable.contains(hFile);
}

File64::Transfer File64::transfer(int hIn, int hOut, quint64 byteCount, char* buffer,
                                  quint64 bufferSize) {
    Transfer transfer;
    if (!inTable(hIn) || !inTable(hOut)) {
        transfer.readError = EBADF;
        return transfer;
    }
    if (!kernelCopy(hIn, hOut, byteCount, transfer)) {
        bufferedCopy(hIn, hOut, byteCount, buffer, bufferSize, transfer);
    }
    return transfer;
}

// False when the kernel could not finish: the buffered copy then carries on from
// where it stopped and names the side that fails, if one does.
bool File64::kernelCopy(int hIn, int hOut, quint64 byteCount, Transfer& transfer) {
    while (transfer.copied < byteCount) {
        const ssize_t moved = m_calls->copyRange(hIn, hOut, byteCount - transfer.copied);
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved < 0) {
            return false;
        }
        if (moved == 0) {
            transfer.sourceEnded = true;
            return true;
        }
        transfer.copied += static_cast<quint64>(moved);
    }
    return true;
}

void File64::bufferedCopy(int hIn, int hOut, quint64 byteCount, char* buffer, quint64 bufferSize,
                          Transfer& transfer) {
    while (transfer.copied < byteCount) {
        const quint64 step = std::min(bufferSize, byteCount - transfer.copied);
        const quint64 got = GetBytes(hIn, buffer, step, &transfer.readError);
        const quint64 put = WriteBytes(hOut, buffer, got, &transfer.writeError);
        transfer.copied += put;
        if (put < got || transfer.readError != 0) {
            return;
        }
        if (got < step) {
            transfer.sourceEnded = true;
            return;
        }
    }
}

bool File64::seekTo(int hFile, quint64 position) {
    return inTable(hFile) && m_calls->seek(hFile, static_cast<off_t>(position), SEEK_SET) != -1;
}

std::optional<quint64> File64::position(int hFile) {
    const off_t at = inTable(hFile) ? m_calls->seek(hFile, 0, SEEK_CUR) : -1;
    return at < 0 ? std::nullopt : std::optional<quint64>(static_cast<quint64>(at));
}

quint64 File64::blockSize(int hFile) {
    struct stat status = {};
    if (!inTable(hFile) || ::fstat(hFile, &status) != 0 || status.st_blksize <= 0) {
        return 4096;
    }
    return static_cast<quint64>(status.st_blksize);
}

int File64::truncate(int hFile) {
    if (!inTable(hFile)) {
        return EBADF;
    }
    return m_calls->truncate(hFile, 0) == 0 ? 0 : errno;
}

int File64::removeName(const QString& fileName) {
    return m_calls->unlink(nativePath(fileName)) == 0 ? 0 : errno;
}

int File64::rename(const QString& from, const QString& to) {
    return m_calls->rename(nativePath(from), nativePath(to)) == 0 ? 0 : errno;
}

void File64::CloseFile(int hFile) {
    // Only a handle this object opened is closed: on Linux its number is reused at once.
    if (hFile == -1 || !m_openTable.removeOne(hFile)) {
        return;
    }
    if (::close(hFile) != 0 && errno != EINTR && m_host != nullptr) {
        const int error = errno;
        m_host->message(MessageIcon::Error,
                        unexpectedErrorText(error, QString::fromLocal8Bit(std::strerror(error))));
    }
}

void File64::closeJobFiles() {
    while (!m_openTable.isEmpty()) {
        ::close(m_openTable.takeLast());
    }
}

quint64 GetFileLen(const QString& fileName) {
    // O_NONBLOCK: a FIFO must not hold the caller until someone writes into it.
    const int fd = ::open(nativePath(fileName).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd == -1) {
        return 0;
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular ? static_cast<quint64>(info.st_size) : 0;
}
