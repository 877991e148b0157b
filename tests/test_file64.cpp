#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

#include "fileio/file64.h"
#include "support/checked_files.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"

class File64Test : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void openReadOnlyCreatesMissingFile() {
        RecorderJobHost host;
        CheckedFiles files(&host);
        files.OpenFile(path(QStringLiteral("new.bin")), File64::OpenMode::ReadOnly);
        QCOMPARE(files.openStatus(), File64::OpenOk);
        QVERIFY(QFileInfo::exists(path(QStringLiteral("new.bin"))));
        QCOMPARE(GetFileLen(path(QStringLiteral("new.bin"))), quint64(0));
        QCOMPARE(files.filename(), path(QStringLiteral("new.bin")));
        files.CloseFile(files.FileHandle());
        QVERIFY(host.messages.isEmpty());
    }

    void failedOpenShowsMessageAndStatus75() {
        RecorderJobHost host;
        CheckedFiles files(&host);
        const QString missing = path(QStringLiteral("no/such/folder/x"));
        files.OpenFile(missing, File64::OpenMode::ReadWrite);
        QCOMPARE(files.openStatus(), File64::OpenFailed);
        QCOMPARE(files.lastOpenError(), ENOENT);
        QCOMPARE(host.texts(), QStringList{QStringLiteral("Error opening '") + missing +
                                           QStringLiteral("'! No such file or directory.")});
        QCOMPARE(host.messages.first().icon, MessageIcon::Error);
        QVERIFY(files.openFileTable().isEmpty());
        QVERIFY(!files.IsOpen());
    }

    void anOpenReturnsItsHandleOrItsError() {
        RecorderJobHost host;
        CheckedFiles files(&host);
        const File64::OpenResult opened =
            files.OpenFile(path(QStringLiteral("x")), File64::OpenMode::ReadWrite);
        QVERIFY(opened.ok());
        QCOMPARE(opened.handle, files.FileHandle());
        files.CloseAllFiles();
        const File64::OpenResult failed =
            files.OpenFile(path(QStringLiteral("none/x")), File64::OpenMode::ReadWrite);
        QCOMPARE(failed.error, ENOENT);
        QVERIFY(!failed.ok());
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
        CheckedFiles files(&host);
        files.OpenFile(big, File64::OpenMode::ReadOnly);
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
        CheckedFiles files(&host);
        files.OpenFile(file, File64::OpenMode::ReadOnly);
        char buffer[6];
        std::memset(buffer, 'x', sizeof buffer);
        QCOMPARE(files.GetBytes(files.FileHandle(), buffer, 6), quint64(3));
        QCOMPARE(QByteArray(buffer, 6), QByteArray("abc\0\0\0", 6));
        files.CloseFile(files.FileHandle());
    }

    void closeAllAfterConstructionWarnsOnce() {
        RecorderJobHost host;
        CheckedFiles files(&host);
        files.CloseAllFiles();
        QCOMPARE(host.texts(), QStringList{QStringLiteral("There is no open file.")});
        QVERIFY(!files.IsOpen());
    }

    void guardsWithoutOpenFile() {
        RecorderJobHost host;
        CheckedFiles files(&host);
        QCOMPARE(files.FileHandle(), -1);
        files.setAutoFlush(true);
        QVERIFY(files.AutoFlush());
        files.CloseFile(-1);
        QCOMPARE(host.texts(), QStringList(4, QStringLiteral("There is no open file.")));
    }

    void tableIsAStackOfOwnEntries() {
        RecorderJobHost host;
        CheckedFiles files(&host);
        files.OpenFile(path(QStringLiteral("a")), File64::OpenMode::ReadWrite);
        const int a = files.FileHandle();
        files.OpenFile(path(QStringLiteral("b")), File64::OpenMode::ReadWrite);
        const int b = files.FileHandle();
        QCOMPARE(files.openFileTable(), (QList<int>{a, b}));

        // Closing the older handle removes its own entry, not the newest.
        files.CloseFile(a);
        QCOMPARE(files.openFileTable(), QList<int>{b});
        files.CloseFile(b);
        QVERIFY(files.openFileTable().isEmpty());
        // A handle no longer in the table is left alone, silently.
        files.CloseFile(b);
        QVERIFY(host.messages.isEmpty());
    }

    void closedHandleIsNeverReadOrWritten() {
        const QString file = writeFile(path(QStringLiteral("data")), "data");
        RecorderJobHost host;
        CheckedFiles files(&host);
        files.OpenFile(file, File64::OpenMode::ReadWrite);
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
        CheckedFiles files(&host);
        const QString file = path(QStringLiteral("w"));
        files.OpenFile(file, File64::OpenMode::ReadWrite);
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
        CheckedFiles files(&host);
        files.OpenFile(file, File64::OpenMode::ReadOnly);
        files.failCall(FailingCalls::Op::Read, 1, EIO);
        char buffer[5];
        int error = 0;
        QCOMPARE(files.GetBytes(files.FileHandle(), buffer, 5, &error), quint64(5));
        QCOMPARE(error, 0);
        QCOMPARE(files.GetBytes(files.FileHandle(), buffer, 5, &error), quint64(0));
        QCOMPARE(error, EIO);
        files.CloseFile(files.FileHandle());

        files.failCall(FailingCalls::Op::Open, 0, EMFILE);
        files.OpenFile(file, File64::OpenMode::ReadOnly);
        QCOMPARE(files.openStatus(), File64::OpenFailed);
        QCOMPARE(files.lastOpenError(), EMFILE);
    }
};

QTEST_GUILESS_MAIN(File64Test)
#include "test_file64.moc"
