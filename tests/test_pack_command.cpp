#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

#include "core/job_messages.h"
#include "fileio/disk_space.h"
#include "fileio/file64.h"
#include "pack/pack_command.h"
#include "support/checked_files.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "zip/zip_step.h"

namespace {

const QByteArray k352x240at25("\x16\x00\xF0\x13", 4);
const QByteArray k352x288at25("\x16\x01\x20\x13", 4);

struct Pack {
    RecorderJobHost host;
    CheckedFiles files{&host};
    PackCommand command{files, host};
};

PackOptions withoutMpegCheck() {
    PackOptions options;
    options.mpegCheck = false;
    return options;
}

}  // namespace

class PackCommandTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() { useThrowawayUserFolders(m_dir.path()); }

    void refusesShortLists_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << 0 << "Nothing to pack.";
        QTest::newRow("one") << 1 << "At least 2 files are required for packing.";
    }
    void refusesShortLists() {
        QFETCH(int, count);
        QFETCH(QString, text);
        const QString a = writeFile(path(QStringLiteral("r/a")), "a");
        Pack pack;
        const QString out = path(QStringLiteral("r/out"));
        QCOMPARE(pack.command.run(QStringList(count, a), out, PackOptions()), JobOutcome::Stopped);
        QCOMPARE(pack.host.texts(), QStringList{text});
        QCOMPARE(pack.host.messages.first().icon, MessageIcon::Warning);
        QVERIFY(!QFileInfo::exists(out));
    }

    void packsAndReportsInTheLocale() {
        const QString a = writePatternFile(path(QStringLiteral("p/a")), 1234000, 1);
        const QString b = writePatternFile(path(QStringLiteral("p/b")), 567, 2);
        const QString out = path(QStringLiteral("p/out.bin"));
        Pack pack;
        QCOMPARE(pack.command.run({a, b}, out, withoutMpegCheck()), JobOutcome::Success);
        QCOMPARE(pack.host.texts(), QStringList{QLatin1Char('\'') + out +
                                                QStringLiteral("' successfully packed! Total "
                                                               "filesize is 1,234,567 bytes.")});
        QCOMPARE(pack.host.messages.first().icon, MessageIcon::Information);
        QVERIFY(pack.command.PreviouslySaved);
        QCOMPARE(readFile(out), readFile(a) + readFile(b));
    }

    void incompatibleMpegAsks_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("outcome");
        QTest::newRow("yes packs") << int(MessageAnswer::Yes) << int(JobOutcome::Success);
        QTest::newRow("no stops") << int(MessageAnswer::No) << int(JobOutcome::Stopped);
    }
    void incompatibleMpegAsks() {
        QFETCH(int, answer);
        QFETCH(int, outcome);
        const QString a =
            writeFile(path(QStringLiteral("m/a.mpg")), mpegBytes(3000, 14, k352x240at25));
        const QString b =
            writeFile(path(QStringLiteral("m/b.mpg")), mpegBytes(3000, 0, k352x288at25));
        const QString c = writeFile(path(QStringLiteral("m/c.txt")), "not mpeg");
        const QString out = path(QStringLiteral("m/out.mpg"));
        QFile::remove(out);
        Pack pack;
        pack.host.answer(static_cast<MessageAnswer>(answer));
        QCOMPARE(int(pack.command.run({a, b, c}, out, PackOptions())), outcome);
        const QString question = QStringLiteral(
            "Not compatible for Zarvoing. Proceed packing and ignore Mpeg Compatibility error?\r\n"
            "b.mpg: 352x288 25 fps; a.mpg: 352x240 25 fps");
        QCOMPARE(pack.host.texts().first(), question);
        QCOMPARE(pack.host.messages.first().buttons, MessageButtons::YesNo);
        // After Yes no further file is checked: the text file raises no question.
        QCOMPARE(pack.host.texts().count(question), 1);
        QVERIFY(!pack.host.texts().join(QString()).contains(QStringLiteral("not a valid MPEG")));
        QCOMPARE(QFileInfo::exists(out), outcome == int(JobOutcome::Success));
    }

    // No stops without a further word; Yes joins and checks no further file.
    void invalidMpegAsks_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("outcome");
        QTest::newRow("yes packs") << int(MessageAnswer::Yes) << int(JobOutcome::Success);
        QTest::newRow("no stops") << int(MessageAnswer::No) << int(JobOutcome::Stopped);
    }
    void invalidMpegAsks() {
        QFETCH(int, answer);
        QFETCH(int, outcome);
        const QString a = writeFile(path(QStringLiteral("i/a.txt")), "text a");
        const QString b = writeFile(path(QStringLiteral("i/b.txt")), "text b");
        const QString out = path(QStringLiteral("i/out"));
        QFile::remove(out);
        Pack pack;
        pack.host.answer(static_cast<MessageAnswer>(answer));
        QCOMPARE(int(pack.command.run({a, b}, out, PackOptions())), outcome);
        const QString question = QLatin1Char('\'') + a +
                                 QStringLiteral(
                                     "' is not a valid MPEG file.\r\n\r\nProceed "
                                     "packing and ignore invalid Mpeg error?");
        QCOMPARE(pack.host.texts().first(), question);
        QCOMPARE(pack.host.messages.first().icon, MessageIcon::Error);
        QCOMPARE(pack.host.messages.first().buttons, MessageButtons::YesNo);
        QCOMPARE(pack.host.messages.size(), outcome == int(JobOutcome::Success) ? 2 : 1);
        QCOMPARE(QFileInfo::exists(out), outcome == int(JobOutcome::Success));
    }

    void freeSpaceMustHoldTheWholeJob() {
        const QString mountPoint = path(QStringLiteral("small"));
        QDir().mkpath(mountPoint);
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=64k") !=
            0) {
            QSKIP("cannot mount a small tmpfs here (needs root)");
        }
        const quint64 free = freeBytesFor(mountPoint + QStringLiteral("/out"));
        const QString a = writePatternFile(path(QStringLiteral("fs/a")), free - 1000, 3);
        const QString exact = writePatternFile(path(QStringLiteral("fs/b")), 1000, 4);
        const QString over = writePatternFile(path(QStringLiteral("fs/c")), 1001, 5);
        const QString out = mountPoint + QStringLiteral("/out");
        Pack refused;
        const JobOutcome shortBy1 = refused.command.run({a, over}, out, withoutMpegCheck());
        const bool untouched = !QFileInfo::exists(out);
        Pack accepted;
        const JobOutcome fits = accepted.command.run({a, exact}, out, withoutMpegCheck());
        const qint64 written = QFileInfo(out).size();
        ::umount(QFile::encodeName(mountPoint).constData());
        QCOMPARE(shortBy1, JobOutcome::Stopped);
        QCOMPARE(refused.host.texts(),
                 QStringList{QStringLiteral("Not enough free diskspace. Packing aborted!")});
        QVERIFY(untouched);
        QCOMPARE(fits, JobOutcome::Success);
        QCOMPARE(written, qint64(free));
    }

    void freeSpaceIsMeasuredWhereTheOutputGoes() {
        QVERIFY(freeBytesFor(path(QStringLiteral("not/yet/made/out"))) > 0);
        QCOMPARE(nearestExistingFolder(path(QStringLiteral("not/yet/made/out"))), m_dir.path());
    }

    void previouslySavedOutput_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("outcome");
        const QString ask = QStringLiteral(
            "You are trying to overwrite a file that was previously saved. Do you want to "
            "continue?");
        QTest::newRow("ask, yes") << int(OverwritePolicy::Prompt) << int(MessageAnswer::Yes) << ask
                                  << int(JobOutcome::Success);
        QTest::newRow("ask, no") << int(OverwritePolicy::Prompt) << int(MessageAnswer::No) << ask
                                 << int(JobOutcome::Stopped);
        QTest::newRow("never") << int(OverwritePolicy::No) << int(MessageAnswer::Ok)
                               << "You cannot overwrite a file that was previously saved."
                               << int(JobOutcome::Stopped);
        QTest::newRow("don't ask") << int(OverwritePolicy::NoPrompt) << int(MessageAnswer::Ok)
                                   << QString() << int(JobOutcome::Success);
    }
    void previouslySavedOutput() {
        QFETCH(int, policy);
        QFETCH(int, answer);
        QFETCH(QString, text);
        QFETCH(int, outcome);
        const QString a = writeFile(path(QStringLiteral("o/a")), "a");
        const QString b = writeFile(path(QStringLiteral("o/b")), "b");
        const QString out = path(QStringLiteral("o/out"));
        QFile::remove(out);  // left by the row before
        PackOptions options = withoutMpegCheck();
        options.overwrite = static_cast<OverwritePolicy>(policy);
        Pack pack;
        QCOMPARE(pack.command.run({a, b}, out, options), JobOutcome::Success);
        pack.host.messages.clear();
        pack.host.answer(static_cast<MessageAnswer>(answer));
        if (QByteArray(QTest::currentDataTag()).contains("save dialog")) {
            options.confirmedOutput = out;
        }
        QCOMPARE(int(pack.command.run({b, a}, out, options)), outcome);
        if (!text.isEmpty()) {
            QCOMPARE(pack.host.texts().first(), text);
            QCOMPARE(pack.host.messages.first().icon, MessageIcon::Warning);
        }
        QCOMPARE(readFile(out),
                 outcome == int(JobOutcome::Success) ? QByteArray("ba") : QByteArray("ab"));
    }

    // Only the file this run saved falls under the overwrite policy; any other
    // existing output is asked about, and a new name is written without a word.
    void outputNotSavedByThisRun_data() {
        QTest::addColumn<bool>("packedBefore");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("agreedInDialog");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<int>("outcome");
        const int no = int(MessageAnswer::No);
        const int stopped = int(JobOutcome::Stopped);
        const int success = int(JobOutcome::Success);
        QTest::newRow("unrelated file, no") << false << true << false << no << true << stopped;
        QTest::newRow("unrelated file, yes")
            << false << true << false << int(MessageAnswer::Yes) << true << success;
        QTest::newRow("unrelated file after a pack")
            << true << true << false << no << true << stopped;
        QTest::newRow("new name after a pack") << true << false << false << no << false << success;
        QTest::newRow("agreed in the save dialog")
            << false << true << true << no << false << success;
    }
    void outputNotSavedByThisRun() {
        QFETCH(bool, packedBefore);
        QFETCH(bool, exists);
        QFETCH(bool, agreedInDialog);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(int, outcome);
        const QString a = writeFile(path(QStringLiteral("n/a")), "a");
        const QString b = writeFile(path(QStringLiteral("n/b")), "b");
        const QString out = path(QStringLiteral("n/out"));
        QFile::remove(out);  // each row starts without the files of the row before
        QFile::remove(path(QStringLiteral("n/first")));
        if (exists) {
            writeFile(out, "precious");
        }
        PackOptions options = withoutMpegCheck();
        options.overwrite = OverwritePolicy::No;  // would refuse the saved file
        Pack pack;
        if (packedBefore) {
            QCOMPARE(pack.command.run({a, b}, path(QStringLiteral("n/first")), options),
                     JobOutcome::Success);
            pack.host.messages.clear();
        }
        pack.host.answer(static_cast<MessageAnswer>(answer));
        options.confirmedOutput = agreedInDialog ? out : QString();
        QCOMPARE(int(pack.command.run({b, a}, out, options)), outcome);
        const QString question = QLatin1Char('\'') + out +
                                 QStringLiteral("' already exists. Do you want to replace it?");
        QCOMPARE(pack.host.texts().contains(question), asked);
        if (asked) {
            QCOMPARE(pack.host.messages.first().icon, MessageIcon::Warning);
            QCOMPARE(pack.host.messages.first().buttons, MessageButtons::YesNo);
        }
        QCOMPARE(readFile(out),
                 outcome == int(JobOutcome::Success) ? QByteArray("ba") : QByteArray("precious"));
    }

    void zipStep_data() {
        QTest::addColumn<QString>("outputName");
        QTest::addColumn<QString>("archiveName");
        QTest::newRow("extension replaced") << "z1/clip.mpg"
                                            << "z1/clip.zip";
        QTest::newRow("no extension") << "z2/movie"
                                      << "z2/movie.zip";
        QTest::newRow("dot in a folder name") << "z3/a.b/movie"
                                              << "z3/a.b/movie.zip";
        QTest::newRow("hidden name") << "z4/.movie"
                                     << "z4/.movie.zip";
    }
    void zipStep() {
        QFETCH(QString, outputName);
        QFETCH(QString, archiveName);
        const QString a = writeFile(path(QStringLiteral("z/a")), "aaaa");
        const QString b = writeFile(path(QStringLiteral("z/b")), "bbbb");
        const QString out = path(outputName);
        const QString archive = path(archiveName);
        QCOMPARE(zipArchivePath(out), archive);
        writeFile(archive, "an old archive");
        PackOptions options = withoutMpegCheck();
        options.zip = true;
        Pack pack;
        QCOMPARE(pack.command.run({a, b}, out, options), JobOutcome::Success);
        QCOMPARE(
            pack.host.texts(),
            (QStringList{QLatin1Char('\'') + out + QStringLiteral("' successfully zipped as '") +
                             archive + QStringLiteral("'."),
                         QLatin1Char('\'') + out +
                             QStringLiteral("' successfully packed! Total filesize is 8 bytes."
                                            "\r\n\r\n1 file it replaced went to the Trash.")}));
        QVERIFY(runShell(QStringLiteral("unzip -tq '%1' >/dev/null").arg(archive)));
        QCOMPARE(readFile(out), QByteArray("aaaabbbb"));
    }

    void zipStepRefusesArchivesAndSources_data() {
        QTest::addColumn<QString>("outputName");
        QTest::addColumn<QString>("reason");
        QTest::newRow("zip extension") << "y/joined.zip"
                                       << "' because it is already a zip file. Zipping aborted.";
        QTest::newRow("ZIP in capitals") << "y/joined.ZIP"
                                         << "' because it is already a zip file. Zipping aborted.";
        QTest::newRow("archive is a source")
            << "y/a.mpg"
            << "' because '%1' is one of the files being packed. Zipping aborted.";
    }
    void zipStepRefusesArchivesAndSources() {
        QFETCH(QString, outputName);
        QFETCH(QString, reason);
        const QString a = writeFile(path(QStringLiteral("y/a.zip")), "aaaa");
        const QString b = writeFile(path(QStringLiteral("y/b")), "bbbb");
        const QString out = path(outputName);
        PackOptions options = withoutMpegCheck();
        options.zip = true;
        Pack pack;
        QCOMPARE(pack.command.run({a, b}, out, options), JobOutcome::Success);
        QCOMPARE(
            pack.host.texts(),
            (QStringList{QStringLiteral("Cannot zip '") + out + reason.arg(a),
                         QLatin1Char('\'') + out +
                             QStringLiteral("' successfully packed! Total filesize is 8 bytes.")}));
        QCOMPARE(pack.host.messages.first().icon, MessageIcon::Error);
        QCOMPARE(readFile(a), QByteArray("aaaa"));
        QCOMPARE(readFile(out), QByteArray("aaaabbbb"));
    }

    void failedZipDoesNotUndoTheJoin() {
        const QString a = writeFile(path(QStringLiteral("fz/a")), "aaaa");
        const QString b = writeFile(path(QStringLiteral("fz/b")), "bbbb");
        const QString out = path(QStringLiteral("fz/out.mpg"));
        QDir().mkpath(path(QStringLiteral("fz/out.zip")));  // a folder where the archive goes
        writeFile(path(QStringLiteral("fz/out.zip/keep")), "k");
        PackOptions options = withoutMpegCheck();
        options.zip = true;
        Pack pack;
        QCOMPARE(pack.command.run({a, b}, out, options), JobOutcome::Failed);
        QCOMPARE(pack.host.texts().at(0),
                 QStringLiteral("Cannot overwrite '") + path(QStringLiteral("fz/out.zip")) +
                     QStringLiteral("'. Disk full/write-protected or file is in use."));
        QCOMPARE(pack.host.texts().at(1), QStringLiteral("Packing aborted by user"));
        QCOMPARE(readFile(out), QByteArray("aaaabbbb"));
        QVERIFY(QFileInfo::exists(path(QStringLiteral("fz/out.zip/keep"))));
    }

    void sourcesGoToTheTrash_data() {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("trashed");
        QTest::newRow("don't delete") << int(DeleteAction::No) << int(MessageAnswer::Ok) << false;
        QTest::newRow("ask, no") << int(DeleteAction::Prompt) << int(MessageAnswer::No) << false;
        QTest::newRow("ask, yes") << int(DeleteAction::Prompt) << int(MessageAnswer::Yes) << true;
        QTest::newRow("don't ask") << int(DeleteAction::NoPrompt) << int(MessageAnswer::Ok) << true;
    }
    void sourcesGoToTheTrash() {
        QFETCH(int, action);
        QFETCH(int, answer);
        QFETCH(bool, trashed);
        QDir(path(QStringLiteral("data"))).removeRecursively();
        QFile::remove(path(QStringLiteral("t/out")));  // left by the row before
        const QStringList sources = {writeFile(path(QStringLiteral("t/one.mpg")), "1"),
                                     writeFile(path(QStringLiteral("t/two.mpg")), "22"),
                                     writeFile(path(QStringLiteral("t/three.mpg")), "333")};
        PackOptions options = withoutMpegCheck();
        options.deleteSources = static_cast<DeleteAction>(action);
        Pack pack;
        pack.host.answer(static_cast<MessageAnswer>(answer));
        QCOMPARE(pack.command.run(sources, path(QStringLiteral("t/out")), options),
                 JobOutcome::Success);
        if (options.deleteSources == DeleteAction::Prompt) {
            QCOMPARE(pack.host.texts().first(),
                     QStringLiteral(
                         "Are you sure you want to move these 3 files to the Trash?\r\n\r\n") +
                         sources.join(QStringLiteral("\r\n")));
        } else {
            QCOMPARE(pack.host.messages.size(), 1);  // only the success message
        }
        for (const QString& source : sources) {
            QCOMPARE(QFileInfo::exists(source), !trashed);
            const QString inTrash =
                path(QStringLiteral("data/Trash/files/")) + QFileInfo(source).fileName();
            QCOMPARE(QFileInfo::exists(inTrash), trashed);
            if (trashed) {  // and it can be restored from there
                QVERIFY(QFile::rename(inTrash, source));
            }
        }
        QCOMPARE(readFile(sources.at(2)), QByteArray("333"));
    }

    void cancelIsIgnoredOnlyWhileZipping() {
        const QString a = writePatternFile(path(QStringLiteral("c/a")), 300000, 6);
        const QString b = writeFile(path(QStringLiteral("c/b")), "b");
        Pack pack;
        bool acted = false;
        pack.host.onProgress(1, [&] { acted = pack.command.cancel(); });
        QCOMPARE(pack.command.run({a, b}, path(QStringLiteral("c/out")), withoutMpegCheck()),
                 JobOutcome::Cancelled);
        QVERIFY(acted);
        QCOMPARE(pack.host.texts(),
                 QStringList{withLine(kPackingAbortedByUser,
                                      keptFileLine(path(QStringLiteral("c/out")), 100000))});
        QVERIFY(!pack.command.PreviouslySaved);
        QCOMPARE(readFile(path(QStringLiteral("c/out"))), readFile(a).left(100000));
    }
};

QTEST_GUILESS_MAIN(PackCommandTest)
#include "test_pack_command.moc"
