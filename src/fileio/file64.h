#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <sys/types.h>

class JobHost;

// The system calls behind a File64, each as the system makes it (-1 and errno on
// failure). Tests install their own to make a call fail.
class FileCalls {
public:
    virtual ~FileCalls() = default;
    // A job's source (`writing` false) or output, opened as File64::OpenFile describes.
    virtual int open(const QByteArray& name, bool writing);
    virtual ssize_t read(int fd, char* data, size_t count);
    virtual ssize_t write(int fd, const char* data, size_t count);
    // copy_file_range between the two positions.
    virtual ssize_t copyRange(int in, int out, size_t count);
};

// Every byte a job reads or writes goes through this class, over plain POSIX file
// descriptors, so sizes and positions are 64-bit. Failures are shown through the
// JobHost and leave a status behind; nothing is thrown.
class File64 {
public:
    // What openStatus() holds after an open.
    enum OpenStatus : int { OpenOk = 0, OpenFailed = 75 };

    enum class OpenMode { ReadWrite, ReadOnly };
    struct OpenResult {
        int handle = -1;
        int error = 0;  // errno of a failed open
        bool ok() const { return handle != -1; }
    };

    explicit File64(JobHost* host);
    ~File64();
    File64(const File64&) = delete;
    File64& operator=(const File64&) = delete;

    void setHost(JobHost* host) { m_host = host; }
    // The system calls this object makes (tests); nullptr restores the real ones.
    void setCalls(FileCalls* calls) { m_calls = calls != nullptr ? calls : &m_systemCalls; }

    // An existing file keeps its content; a missing one is created empty. A failure is
    // shown through the host and left in openStatus() and lastOpenError() too.
    OpenResult OpenFile(const QString& fileName, OpenMode mode);

    int FileHandle();
    QString filename();
    bool IsOpen() const { return m_handle != -1; }
    bool AutoFlush();
    void setAutoFlush(bool newVal);

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
    Transfer TransferBytes(int hIn, int hOut, quint64 byteCount, char* buffer, quint64 bufferSize);

    void SeekAbsolute(qint32 highPos, qint32 lowPos);
    // Moves `hFile`'s position (any open handle, not only the newest); false on failure.
    bool SeekTo(int hFile, quint64 position);
    void SeekRelative(qint32 offset);
    void Flush();
    void CloseFile(int hFile);
    void CloseAllFiles();
    // Closes every file of the table, as a failed job's reset does, without the
    // "no open file" warning: after a failed open there is no current handle.
    void closeJobFiles();

    int openStatus() const { return m_openStatus; }
    int lastOpenError() const { return m_lastOpenError; }
    // Every handle this object opened and has not closed.
    const QList<int>& openFileTable() const { return m_openTable; }

private:
    bool guardOpen();
    bool inTable(int hFile) const;
    bool kernelCopy(int hIn, int hOut, quint64 byteCount, Transfer& transfer);
    void bufferedCopy(int hIn, int hOut, quint64 byteCount, char* buffer, quint64 bufferSize,
                      Transfer& transfer);
    void show(const QString& text);

    JobHost* m_host;
    FileCalls m_systemCalls;
    FileCalls* m_calls = &m_systemCalls;
    int m_handle = -1;
    QString m_fileName;
    bool m_autoFlush = false;
    QList<int> m_openTable;
    int m_openStatus = OpenOk;
    int m_lastOpenError = 0;
};

// A file's size in bytes; 0 when it cannot be opened or is not a regular file.
quint64 GetFileLen(const QString& fileName);
