#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

#include <sys/types.h>

class JobHost;

// The system calls behind a File64, each as the system makes it (-1 and errno on
// failure). Tests install their own to make a call fail.
class FileCalls {
public:
    virtual ~FileCalls() = default;
    // How a name is opened: as a job's source (a missing one is made empty), as an
    // output, or as an existing regular file only (nothing is made).
    enum class Purpose { Source, Output, Existing };
    virtual int open(const QByteArray& name, Purpose purpose);
    virtual ssize_t read(int fd, char* data, size_t count);
    virtual ssize_t write(int fd, const char* data, size_t count);
    // copy_file_range between the two positions.
    virtual ssize_t copyRange(int in, int out, size_t count);
    virtual off_t seek(int fd, off_t position, int whence);
    virtual int truncate(int fd, off_t size);
    virtual int unlink(const QByteArray& name);
    virtual int rename(const QByteArray& from, const QByteArray& to);
};

// Every byte a job reads or writes goes through this class, over plain POSIX file
// descriptors, so sizes and positions are 64-bit. Each open gives its caller a handle,
// which it passes back to every call and closes. Failures are shown through the
// JobHost (when there is one) and leave a status behind; nothing is thrown.
class File64 {
public:
    // What openStatus() holds after an open.
    enum OpenStatus : int { OpenOk = 0, OpenFailed = 75 };

    // ReadOnly makes a missing source empty, as a job's open does; Existing opens only
    // a regular file that is there, and says nothing when it is not.
    enum class OpenMode { ReadWrite, ReadOnly, Existing };
    struct OpenResult {
        int handle = -1;
        int error = 0;  // errno of a failed open
        bool ok() const { return handle != -1; }
    };

    explicit File64(JobHost* host = nullptr);
    ~File64();
    File64(const File64&) = delete;
    File64& operator=(const File64&) = delete;

    void setHost(JobHost* host) { m_host = host; }
    // The system calls this object makes (tests); nullptr restores the real ones.
    void setCalls(FileCalls* calls) { m_calls = calls != nullptr ? calls : &m_systemCalls; }

    // An existing file keeps its content; a missing one is created empty (but with
    // Existing). A failure is shown through the host and left in openStatus() and
    // lastOpenError() too.
    OpenResult OpenFile(const QString& fileName, OpenMode mode);

    // Reads `byteCount` bytes from the handle's position into `data`. Returns the number
    // read; the unread tail of `data` is zeroed. A failed read leaves its errno in `error`.
    quint64 GetBytes(int hFile, char* data, quint64 byteCount, int* error = nullptr);

    // Writes `byteCount` bytes at the handle's position; returns the number written.
    quint64 WriteBytes(int hFile, const char* data, quint64 byteCount, int* error = nullptr);

    // What a transfer between two handles achieved.
    struct Transfer {
        quint64 copied = 0;
        int readError = 0;   // errno of a failed read, 0 when none
        int writeError = 0;  // errno of a failed write, 0 when none
        bool sourceEnded = false;
    };

    // Copies `byteCount` bytes from `hIn`'s position to `hOut`'s. The kernel copies
    // page cache to page cache where it can; elsewhere the bytes pass through
    // `buffer`. Only bytes the source holds are written.
    Transfer transfer(int hIn, int hOut, quint64 byteCount, char* buffer, quint64 bufferSize);

    // Moves `hFile`'s position; false on failure.
    bool seekTo(int hFile, quint64 position);
    // Where `hFile` stands; nothing on failure.
    std::optional<quint64> position(int hFile);
    // The block size the file system behind `hFile` allocates in (4096 when it does not
    // say): the unit in which a copy-on-write file system can share blocks.
    quint64 blockSize(int hFile);
    // Empties the file behind `hFile`; its errno on failure, 0 when done.
    int truncate(int hFile);
    // Removes a name (no file of this object's): its errno on failure, 0 when done.
    int removeName(const QString& fileName);
    // Gives `from` the name `to` (replacing what was there): its errno, 0 when done.
    int rename(const QString& from, const QString& to);
    void CloseFile(int hFile);
    // Closes every file of the table, as a failed or cancelled job's reset does.
    void closeJobFiles();

    int openStatus() const { return m_openStatus; }
    int lastOpenError() const { return m_lastOpenError; }
    // Every handle this object opened and has not closed.
    const QList<int>& openFileTable() const { return m_openTable; }

private:
    bool inTable(int hFile) const;
    bool kernelCopy(int hIn, int hOut, quint64 byteCount, Transfer& transfer);
    void bufferedCopy(int hIn, int hOut, quint64 byteCount, char* buffer, quint64 bufferSize,
                      Transfer& transfer);
    void show(const QString& text);

    JobHost* m_host;
    FileCalls m_systemCalls;
    FileCalls* m_calls = &m_systemCalls;
    QList<int> m_openTable;
    int m_openStatus = OpenOk;
    int m_lastOpenError = 0;
};

// A file's size in bytes; 0 when it cannot be opened or is not a regular file.
quint64 GetFileLen(const QString& fileName);
