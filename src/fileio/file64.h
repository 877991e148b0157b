#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

class JobHost;

// Every byte a job reads or writes goes through this class, over plain POSIX file
// descriptors, so sizes and positions are 64-bit. Failures are shown through the
// JobHost and leave a status behind; nothing is thrown.
class File64 {
public:
    static constexpr int OpenOk = 0;
    static constexpr int OpenFailed = 75;
    static constexpr int OpenOtherFailure = 999999999;

    explicit File64(JobHost* host);
    ~File64();
    File64(const File64&) = delete;
    File64& operator=(const File64&) = delete;

    void setHost(JobHost* host) { m_host = host; }

    // `mode` is "READ_WRITE" or "READ_ONLY". An existing file keeps its content; a
    // missing one is created empty.
    void OpenFile(const QString& fileName, const QString& mode);

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

    // Shared by every object of the program.
    static int openStatus() { return s_openStatus; }
    static int lastOpenError() { return s_lastOpenError; }
    static QList<int> openFileTable() { return s_openTable; }

    // Test seam: the `nth` next call (0 = the very next) of `op` fails with `error`.
    enum class Op { Open, Read, Write };
    static void failCall(Op op, int nth, int error);
    static void clearFailures();

private:
    bool guardOpen();
    bool inTable(int hFile) const;
    bool kernelCopy(int hIn, int hOut, quint64 byteCount, Transfer& transfer);
    void bufferedCopy(int hIn, int hOut, quint64 byteCount, char* buffer, quint64 bufferSize,
                      Transfer& transfer);
    void show(const QString& text);

    JobHost* m_host;
    int m_handle = -1;
    QString m_fileName;
    bool m_autoFlush = false;

    static QList<int> s_openTable;
    static int s_openStatus;
    static int s_lastOpenError;
};

// A file's size in bytes; 0 when it cannot be opened or is not a regular file.
quint64 GetFileLen(const QString& fileName);
