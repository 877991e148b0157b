#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "fileio/file64.h"
#include "support/checked_files.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "zip/cgzipfiles.h"

class ZipTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void archivePassesUnzipAndKeepsTheBytes() {
        const QString source = writePatternFile(path(QStringLiteral("in/clip.mpg")), 3000000, 9);
        const QString archive = path(QStringLiteral("out/clip.zip"));
        QDir().mkpath(path(QStringLiteral("out")));
        RecorderJobHost host;
        CheckedFiles files(&host);
        CGZipFiles zip(files, &host, nullptr);
        zip.setZipFileName(archive);
        QVERIFY(zip.AddFile(source));
        QVERIFY(!zip.AddFile(source.toUpper()));  // one entry per file
        const ZipResult result = zip.MakeZipFile();
        QCOMPARE(result.outcome, JobOutcome::Success);
        QCOMPARE(result.error, QString());
        QVERIFY(!host.reports.isEmpty());
        QCOMPARE(host.reports.last().done, quint64(3000000));
        QCOMPARE(host.reports.last().percent, 100);
        QVERIFY(runShell(QStringLiteral("unzip -tq '%1' >/dev/null").arg(archive)));
        QVERIFY(runShell(
            QStringLiteral("cd '%1' && unzip -q '%2'").arg(path(QStringLiteral("out")), archive)));
        QCOMPARE(readFile(path(QStringLiteral("out/clip.mpg"))), readFile(source));
    }

    void existingArchiveIsReplacedUnlessUpdating() {
        const QString a = writeFile(path(QStringLiteral("u/a.txt")), "first");
        const QString b = writeFile(path(QStringLiteral("u/b.txt")), "second");
        const QString archive = path(QStringLiteral("u/both.zip"));
        File64 files;
        for (const QString& file : {a, b}) {
            CGZipFiles zip(files, nullptr, nullptr);
            zip.setZipFileName(archive);
            zip.setUpdatingZip(file == b);
            zip.AddFile(file);
            QCOMPARE(zip.MakeZipFile().outcome, JobOutcome::Success);
        }
        QProcess list;
        list.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive});
        QVERIFY(list.waitForFinished());
        QCOMPARE(QString::fromLocal8Bit(list.readAllStandardOutput()),
                 QStringLiteral("a.txt\nb.txt\n"));
    }

    // Each failure comes back as a readable text, and no archive is left behind.
    void failuresReturnTheirText() {
        const QString a = writeFile(path(QStringLiteral("f/a")), QByteArray(100000, 'a'));
        const QString noFolder = path(QStringLiteral("f/no/such/folder/x.zip"));
        const QString archive = path(QStringLiteral("f/y.zip"));
        struct Case {
            QString archive;
            QString file;
            FailingCalls::Op failing;
            QString startsWith;
        };
        const QList<Case> cases{
            {noFolder, a, FailingCalls::Op::Unlink,
             QStringLiteral("Cannot write the zip archive '") + noFolder + QStringLiteral("': ")},
            {archive, path(QStringLiteral("f/gone")), FailingCalls::Op::Unlink,
             QLatin1Char('\'') + path(QStringLiteral("f/gone")) +
                 QStringLiteral("' is not a file.")},
            {archive, a, FailingCalls::Op::Open,
             QStringLiteral("Cannot write the zip archive '") + archive + QStringLiteral("': ")},
            {archive, a, FailingCalls::Op::Read,
             QStringLiteral("Cannot write the zip archive '") + archive +
                 QStringLiteral("': Read error: Input/output error")},
        };
        for (const Case& c : cases) {
            CheckedFiles files(nullptr);
            files.failCall(c.failing, 0, EIO);
            CGZipFiles zip(files, nullptr, nullptr);
            zip.setZipFileName(c.archive);
            zip.AddFile(c.file);
            const ZipResult result = zip.MakeZipFile();
            QCOMPARE(result.outcome, JobOutcome::Failed);
            QVERIFY2(result.error.startsWith(c.startsWith), qPrintable(result.error));
            QVERIFY(!QFileInfo::exists(c.archive));
        }
    }

    void beyondFourGiBIsZip64() {
        ZARVO_SLOW_CASE();
        const QString big = path(QStringLiteral("g/big.bin"));
        QDir().mkpath(path(QStringLiteral("g")));
        if (!writeSparseFile(big, 4294967296ULL + 4096)) {
            QSKIP("the disk refuses a sparse file over 4 GiB");
        }
        const QString archive = path(QStringLiteral("g/big.zip"));
        File64 files;
        CGZipFiles zip(files, nullptr, nullptr);
        zip.setZipFileName(archive);
        zip.AddFile(big);
        QCOMPARE(zip.MakeZipFile().outcome, JobOutcome::Success);
        QProcess list;
        list.start(QStringLiteral("unzip"), {QStringLiteral("-Zv"), archive});
        QVERIFY(list.waitForFinished(120000));
        const QString listing = QString::fromLocal8Bit(list.readAllStandardOutput());
        QVERIFY2(listing.contains(QStringLiteral("4294971392 bytes")), qPrintable(listing));
        QVERIFY2(listing.contains(QStringLiteral("PKWARE 64-bit sizes")), qPrintable(listing));
        QVERIFY(runShell(QStringLiteral("unzip -tq '%1' >/dev/null").arg(archive)));
        QFile::remove(archive);
        QFile::remove(big);
    }
};

QTEST_GUILESS_MAIN(ZipTest)
#include "test_zip.moc"
