#include <QTemporaryDir>
#include <QTest>

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
        const QString name = path(QStringLiteral("new.bin"));
        const int handle = files.OpenFile(name, File64::OpenMode::ReadOnly).handle;
        QCOMPARE(files.openStatus(), File64::OpenOk);
        QCOMPARE(GetFileLen(name), quint64(0));
        files.CloseFile(handle);
        QVERIFY(host.messages.isEmpty());
    }

    // Existing never makes a file and stays quiet; the others name the file.
    void failedOpensShowTheirMessage_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("shown");
        QTest::newRow("output") << int(File64::OpenMode::ReadWrite) << true;
        QTest::newRow("source") << int(File64::OpenMode::ReadOnly) << true;
        QTest::newRow("existing") << int(File64::OpenMode::Existing) << false;
    }
    void failedOpensShowTheirMessage() {
        QFETCH(int, mode);
        QFETCH(bool, shown);
        RecorderJobHost host;
        CheckedFiles files(&host);
        const QString missing = path(QStringLiteral("no/such/folder/x"));
        const File64::OpenResult failed =
            files.OpenFile(missing, static_cast<File64::OpenMode>(mode));
        QVERIFY(!failed.ok());
        QCOMPARE(failed.error, ENOENT);
        QCOMPARE(files.openStatus(), File64::OpenFailed);
        QCOMPARE(files.lastOpenError(), ENOENT);
        QCOMPARE(host.texts(), shown ? QStringList{QStringLiteral("Error opening '") + missing +
                                                   QStringLiteral("'! No such file or directory.")}
                                     : QStringList());
        QVERIFY(files.openFileTable().isEmpty());
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("x"))));
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
        const int handle = files.OpenFile(big, File64::OpenMode::Existing).handle;
        const quint64 position = 6442450944ULL - 4;  // low word has its top bit set
        QVERIFY(files.seekTo(handle, position));
        QCOMPARE(files.position(handle), std::optional<quint64>(position));
        char tail[4] = {};
        QCOMPARE(files.GetBytes(handle, tail, 4), quint64(4));
        QCOMPARE(QByteArray(tail, 4), QByteArray("tail"));
        files.CloseFile(handle);
        std::remove(big.toLocal8Bit().constData());
    }

    void getBytesAtEndZeroesTheTail() {
        const QString file = writeFile(path(QStringLiteral("abc")), "abc");
        RecorderJobHost host;
        CheckedFiles files(&host);
        const int handle = files.OpenFile(file, File64::OpenMode::ReadOnly).handle;
        char buffer[6];
        std::memset(buffer, 'x', sizeof buffer);
        QCOMPARE(files.GetBytes(handle, buffer, 6), quint64(3));
        QCOMPARE(QByteArray(buffer, 6), QByteArray("abc\0\0\0", 6));
        files.CloseFile(handle);
    }

    void tableIsAStackOfOwnEntries() {
        RecorderJobHost host;
        CheckedFiles files(&host);
        const int a = files.OpenFile(path(QStringLiteral("a")), File64::OpenMode::ReadWrite).handle;
        const int b = files.OpenFile(path(QStringLiteral("b")), File64::OpenMode::ReadWrite).handle;
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
        const int handle = files.OpenFile(file, File64::OpenMode::ReadWrite).handle;
        files.closeJobFiles();
        char buffer[4];
        int error = 0;
        QCOMPARE(files.GetBytes(handle, buffer, 4, &error), quint64(0));
        QCOMPARE(files.WriteBytes(handle, "zzzz", 4, &error), quint64(0));
        QCOMPARE(error, EBADF);
        QCOMPARE(readFile(file), QByteArray("data"));
    }

    void writeTruncateAndRemove() {
        RecorderJobHost host;
        CheckedFiles files(&host);
        const QString file = writeFile(path(QStringLiteral("w")), "old old old");
        const int handle = files.OpenFile(file, File64::OpenMode::ReadWrite).handle;
        QCOMPARE(files.truncate(handle), 0);
        QCOMPARE(files.WriteBytes(handle, "hello you", 9), quint64(9));
        QVERIFY(files.seekTo(handle, 6));
        QCOMPARE(files.WriteBytes(handle, "YOU", 3), quint64(3));
        files.CloseFile(handle);
        QCOMPARE(readFile(file), QByteArray("hello YOU"));
        QCOMPARE(files.removeName(file), 0);
        QCOMPARE(files.removeName(file), ENOENT);
        QVERIFY(host.messages.isEmpty());
    }

    void plannedFailuresHitTheChosenCall() {
        const QString file = writeFile(path(QStringLiteral("r")), "0123456789");
        RecorderJobHost host;
        CheckedFiles files(&host);
        const int handle = files.OpenFile(file, File64::OpenMode::ReadOnly).handle;
        files.failCall(FailingCalls::Op::Read, 1, EIO);
        char buffer[5];
        int error = 0;
        QCOMPARE(files.GetBytes(handle, buffer, 5, &error), quint64(5));
        QCOMPARE(error, 0);
        QCOMPARE(files.GetBytes(handle, buffer, 5, &error), quint64(0));
        QCOMPARE(error, EIO);
        files.failCall(FailingCalls::Op::Seek, 0, EIO);
        QVERIFY(!files.seekTo(handle, 0));
        QCOMPARE(files.position(handle), std::optional<quint64>(5));
        files.CloseFile(handle);

        files.failCall(FailingCalls::Op::Open, 0, EMFILE);
        files.OpenFile(file, File64::OpenMode::ReadOnly);
        QCOMPARE(files.openStatus(), File64::OpenFailed);
        QCOMPARE(files.lastOpenError(), EMFILE);
    }
};

QTEST_GUILESS_MAIN(File64Test)
#include "test_file64.moc"
