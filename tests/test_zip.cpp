#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "zip/cgzipfiles.h"

class ZipTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void newObjectDefaults() {
        CGZipFiles zip;
        QCOMPARE(zip.ZipFileCount(), 0);
        QCOMPARE(zip.RootDirectory(), QStringLiteral("\\"));
        QCOMPARE(zip.ZipFileName(), QString());
        QVERIFY(!zip.RecurseFolders() && !zip.UpdatingZip() && !zip.Encrypted() &&
                !zip.IncludeSystemFiles());
        QCOMPARE(zip.nameSlots(), QStringList{QStringLiteral("querty")});
    }

    void fileListErrors() {
        CGZipFiles zip;
        QVERIFY(!zip.AddFile(QStringLiteral("/v/a.mpg")));
        const auto twice = zip.AddFile(QStringLiteral("/v/a.mpg"));
        QVERIFY(twice.has_value());
        QCOMPARE(twice->number, quint32(0x800407D1));
        QCOMPARE(twice->source, QStringLiteral("CGZip::AddFile"));
        QCOMPARE(twice->description, QStringLiteral("File is already in Zip List"));
        QVERIFY(zip.AddFile(QStringLiteral("/V/A.MPG")).has_value());
        QCOMPARE(zip.ZipFileCount(), 1);
        QCOMPARE(zip.nameSlots(),
                 (QStringList{QStringLiteral("querty"), QStringLiteral("/v/a.mpg")}));

        const auto missing = zip.RemoveFile(QStringLiteral("/v/b.mpg"));
        QVERIFY(missing.has_value());
        QCOMPARE(missing->number, quint32(0x800407D2));
        QCOMPARE(missing->source, QStringLiteral("CGZip::RemoveFile"));
        QCOMPARE(missing->description, QStringLiteral("File is not in Zip List"));
        QVERIFY(zip.RemoveFile(QStringLiteral("querty")).has_value());
        QVERIFY(!zip.RemoveFile(QStringLiteral("/V/a.mpg")));
        QCOMPARE(zip.ZipFileCount(), 0);
    }

    void archivePassesUnzipAndKeepsTheBytes() {
        const QString source = writePatternFile(path(QStringLiteral("in/clip.mpg")), 3000000, 9);
        const QString archive = path(QStringLiteral("out/clip.zip"));
        QDir().mkpath(path(QStringLiteral("out")));
        RecorderJobHost host;
        CGZipFiles zip;
        zip.setHost(&host);
        zip.setZipFileName(archive);
        zip.setEncrypted(true);  // kept, changes nothing
        zip.AddFile(source);
        QCOMPARE(zip.MakeZipFile(), 0);
        QCOMPARE(CGZipFiles::GetLastMessage(), QString());
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
        for (const QString& file : {a, b}) {
            CGZipFiles zip;
            zip.setZipFileName(archive);
            zip.setUpdatingZip(file == b);
            zip.AddFile(file);
            QCOMPARE(zip.MakeZipFile(), 0);
        }
        QProcess list;
        list.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive});
        QVERIFY(list.waitForFinished());
        QCOMPARE(QString::fromLocal8Bit(list.readAllStandardOutput()),
                 QStringLiteral("a.txt\nb.txt\n"));
    }

    void failureLeavesAReadableMessage() {
        CGZipFiles zip;
        zip.setZipFileName(path(QStringLiteral("f/no/such/folder/x.zip")));
        zip.AddFile(writeFile(path(QStringLiteral("f/a")), "a"));
        QVERIFY(zip.MakeZipFile() != 0);
        QVERIFY(CGZipFiles::GetLastMessage().startsWith(
            QStringLiteral("Cannot write the zip archive '") +
            path(QStringLiteral("f/no/such/folder/x.zip"))));

        CGZipFiles missing;
        missing.setZipFileName(path(QStringLiteral("f/y.zip")));
        missing.AddFile(path(QStringLiteral("f/gone")));
        QCOMPARE(missing.MakeZipFile(), CGZipFiles::InternalFailure);
        QVERIFY(!CGZipFiles::GetLastMessage().isEmpty());
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("f/y.zip"))));
    }

    void beyondFourGiBIsZip64() {
        const QString big = path(QStringLiteral("g/big.bin"));
        QDir().mkpath(path(QStringLiteral("g")));
        if (!writeSparseFile(big, 4294967296ULL + 4096)) {
            QSKIP("the disk refuses a sparse file over 4 GiB");
        }
        const QString archive = path(QStringLiteral("g/big.zip"));
        CGZipFiles zip;
        zip.setZipFileName(archive);
        zip.AddFile(big);
        QCOMPARE(zip.MakeZipFile(), 0);
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
