#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

#include "fileio/file64.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"

class File64Test : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void cleanup() {
        File64::clearFailures();
        QVERIFY(File64::openFileTable().isEmpty());
    }

    void openReadOnlyCreatesMissingFile() {
        RecorderJobHost host;
        File64 files(&host);
        files.OpenFile(path(QStringLiteral("new.bin")), QStringLiteral("READ_ONLY"));
        QCOMPARE(File64::openStatus(), File64::OpenOk);
        QVERIFY(QFileInfo::exists(path(QStringLiteral("new.bin"))));
        QCOMPARE(GetFileLen(path(QStringLiteral("new.bin"))), quint64(0));
        QCOMPARE(files.filename(), path(QStringLiteral("new.bin")));
        files.CloseFile(files.FileHandle());
        QVERIFY(host.messages.isEmpty());
    }

    void failedOpenShowsMessageAndStatus75() {
        RecorderJobHost host;
        File64 files(&host);
        const QString missing = path(QStringLiteral("no/such/folder/x"));
        files.OpenFile(missing, QStringLiteral("READ_WRITE"));
        QCOMPARE(File64::openStatus(), File64::OpenFailed);
        QCOMPARE(File64::lastOpenError(), ENOENT);
        QCOMPARE(host.texts(), QStringList{QStringLiteral("Error opening '") + missing +
                                           QStringLiteral("'! No such file or directory.")});
        QCOMPARE(host.messages.first().icon, MessageIcon::Error);
        QVERIFY(File64::openFileTable().isEmpty());
        QVERIFY(!files.IsOpen());
    }

    void unknownModeIsAnotherFailure() {
        RecorderJobHost host;
        File64 files(&host);
        files.OpenFile(path(QStringLiteral("x")), QStringLiteral("WRITE"));
        QCOMPARE(File64::openStatus(), File64::OpenOtherFailure);
        files.OpenFile(path(QStringLiteral("x")), QStringLiteral("READ_WRITE"));
        QCOMPARE(File64::openStatus(), File64::OpenOk);
        files.CloseAllFiles();
    }

    void fileLenBeyondFourGiB() {
        const QString big = path(QStringLiteral("big.bin"));
        if (!writeSparseFile(big, 6442450944ULL)) {
            QSKIP("the file system refuses a sparse 6 GiB file");
        }
        QCOMPARE(GetFileLen(big), quint64(6442450944ULL));
        QCOMPARE(GetFileLen(path(QStringLiteral("missing"))), quint64(0));
        QCOMPARE(GetFileLen(m_dir.path()), quint64(0));

        RecorderJobHost host;
        File64 files(&host);
        files.OpenFile(big, QStringLiteral("READ_ONLY"));
        const qint64 position = 6442450944LL - 4;  // low word has its top bit set
        files.SeekAbsolute(static_cast<qint32>(position >> 32),
                           static_cast<qint32>(static_cast<quint32>(position & 0xFFFFFFFF)));
        char tail[4] = {};
        QCOMPARE(files.GetBytes(files.FileHandle(), tail, 4), quint64(4));
        QCOMPARE(QByteArray(tail, 4), QByteArray("tail"));
        files.CloseFile(files.FileHandle());
        std::remove(big.toLocal8Bit().constData());
    }

    void getBytesAtEndZeroesTheTail() {
        const QString file = writeFile(path(QStringLiteral("abc")), "abc");
        RecorderJobHost host;
        File64 files(&host);
        files.OpenFile(file, QStringLiteral("READ_ONLY"));
        char buffer[6];
        std::memset(buffer, 'x', sizeof buffer);
        QCOMPARE(files.GetBytes(files.FileHandle(), buffer, 6), quint64(3));
        QCOMPARE(QByteArray(buffer, 6), QByteArray("abc\0\0\0", 6));
        files.CloseFile(files.FileHandle());
    }

    void closeAllAfterConstructionWarnsOnce() {
        RecorderJobHost host;
        File64 files(&host);
        files.CloseAllFiles();
        QCOMPARE(host.texts(), QStringList{QStringLiteral("There is no open file.")});
        QVERIFY(!files.IsOpen());
    }

    void guardsWithoutOpenFile() {
        RecorderJobHost host;
        File64 files(&host);
        QCOMPARE(files.FileHandle(), -1);
        files.setAutoFlush(true);
        QVERIFY(files.AutoFlush());
        files.CloseFile(-1);
        QCOMPARE(host.texts(), QStringList(4, QStringLiteral("There is no open file.")));
    }

    void tableIsAStackOfOwnEntries() {
        RecorderJobHost host;
        File64 files(&host);
        files.OpenFile(path(QStringLiteral("a")), QStringLiteral("READ_WRITE"));
        const int a = files.FileHandle();
        files.OpenFile(path(QStringLiteral("b")), QStringLiteral("READ_WRITE"));
        const int b = files.FileHandle();
        QCOMPARE(File64::openFileTable(), (QList<int>{a, b}));

        // Closing the older handle removes its own entry, not the newest.
        files.CloseFile(a);
        QCOMPARE(File64::openFileTable(), QList<int>{b});
        files.CloseFile(b);
        QVERIFY(File64::openFileTable().isEmpty());
        // A handle no longer in the table is left alone, silently.
        files.CloseFile(b);
        QVERIFY(host.messages.isEmpty());
    }

    void closedHandleIsNeverReadOrWritten() {
        const QString file = writeFile(path(QStringLiteral("data")), "data");
        RecorderJobHost host;
        File64 files(&host);
        files.OpenFile(file, QStringLiteral("READ_WRITE"));
        const int handle = files.FileHandle();
        files.CloseAllFiles();
        char buffer[4];
        int error = 0;
        QCOMPARE(files.GetBytes(handle, buffer, 4, &error), quint64(0));
        QCOMPARE(files.WriteBytes(handle, "zzzz", 4, &error), quint64(0));
        QCOMPARE(error, EBADF);
        QCOMPARE(readFile(file), QByteArray("data"));
    }

    void writeAppendsAtPosition() {
        RecorderJobHost host;
        File64 files(&host);
        const QString file = path(QStringLiteral("w"));
        files.OpenFile(file, QStringLiteral("READ_WRITE"));
        files.setAutoFlush(true);
        QCOMPARE(files.WriteBytes(files.FileHandle(), "hello", 5), quint64(5));
        QCOMPARE(files.WriteBytes(files.FileHandle(), " you", 4), quint64(4));
        files.SeekRelative(-3);
        QCOMPARE(files.WriteBytes(files.FileHandle(), "YOU", 3), quint64(3));
        files.CloseFile(files.FileHandle());
        QCOMPARE(readFile(file), QByteArray("hello YOU"));
        QVERIFY(host.messages.isEmpty());
    }

    void plannedFailuresHitTheChosenCall() {
        const QString file = writeFile(path(QStringLiteral("r")), "0123456789");
        RecorderJobHost host;
        File64 files(&host);
        files.OpenFile(file, QStringLiteral("READ_ONLY"));
        File64::failCall(File64::Op::Read, 1, EIO);
        char buffer[5];
        int error = 0;
        QCOMPARE(files.GetBytes(files.FileHandle(), buffer, 5, &error), quint64(5));
        QCOMPARE(error, 0);
        QCOMPARE(files.GetBytes(files.FileHandle(), buffer, 5, &error), quint64(0));
        QCOMPARE(error, EIO);
        files.CloseFile(files.FileHandle());

        File64::failCall(File64::Op::Open, 0, EMFILE);
        files.OpenFile(file, QStringLiteral("READ_ONLY"));
        QCOMPARE(File64::openStatus(), File64::OpenFailed);
        QCOMPARE(File64::lastOpenError(), EMFILE);
    }
};

QTEST_GUILESS_MAIN(File64Test)
#include "test_file64.moc"
