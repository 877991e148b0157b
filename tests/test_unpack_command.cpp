#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

#include "core/job_messages.h"
#include "fileio/disk_space.h"
#include "fileio/file64.h"
#include "support/checked_files.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "unpack/unpack_command.h"

namespace {

const QByteArray k352x240at25("\x16\x00\xF0\x13", 4);
const QStringList kStamping = {QStringLiteral("@echo Files unpacked by Tarvik Zarvo Pro (r).")};

struct Unpack {
    RecorderJobHost host;
    CheckedFiles files{&host};
    UnpackCommand command{files, host};
    UnpackOptions options;
    SplitRule rule;

    Unpack() {
        options.destination = UnpackDestination::WhereFile;
        options.stampingLines = kStamping;
        applyPreset(rule, QStringLiteral("high"));
    }
    JobOutcome run(const QStringList& entries) { return command.run(entries, options, rule); }
};

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

}  // namespace

class UnpackCommandTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() { useThrowawayUserFolders(m_dir.path()); }

    void nothingToUnpack() {
        Unpack unpack;
        QCOMPARE(unpack.run({}), JobOutcome::Stopped);
        QCOMPARE(unpack.host.texts(), QStringList{QStringLiteral("Nothing to unpack.")});
        QCOMPARE(unpack.host.messages.first().icon, MessageIcon::Warning);
    }

    void splitsWhereTheFileIsWithItsBatchFile() {
        const QString folder = freshFolder(path(QStringLiteral("w")));
        const QString source = writePatternFile(folder + QStringLiteral("/movie.mpg"), 3100000, 1);
        Unpack unpack;
        unpack.options.batch = JoinBatchMode::Names;
        QCOMPARE(unpack.run({source}), JobOutcome::Success);
        QCOMPARE(unpack.host.texts(), QStringList{QStringLiteral("1 file successfully unpacked!")});
        QCOMPARE(filesIn(folder),
                 (QStringList{QStringLiteral("movie.mpg"), QStringLiteral("movie.mpg-JOIN.bat"),
                              QStringLiteral("movie.mpg-JOIN.sh"), QStringLiteral("movie.mpg.001"),
                              QStringLiteral("movie.mpg.002"), QStringLiteral("movie.mpg.003")}));
        QCOMPARE(QFileInfo(source + QStringLiteral(".003")).size(), 220000);
        QCOMPARE(readFile(source + QStringLiteral(".001")) +
                     readFile(source + QStringLiteral(".002")) +
                     readFile(source + QStringLiteral(".003")),
                 readFile(source));
        const QByteArray batch = readFile(folder + QStringLiteral("/movie.mpg-JOIN.bat"));
        QVERIFY(
            batch.startsWith("@echo off\r\n@echo Files unpacked by Tarvik Zarvo Pro (r).\r\n"
                             "@echo ---------------------------------------\r\n"
                             "If NOT exist \"movie.mpg.001\" Goto 0\r\n"));
        QVERIFY(
            batch.contains("Copy/b \"movie.mpg.001\" + \"movie.mpg.002\" + \"movie.mpg.003\" "
                           "\"movie.mpg-JOIN.mpg\"\r\n"));
        QVERIFY(runShell(QStringLiteral("cd '%1' && ./movie.mpg-JOIN.sh >/dev/null").arg(folder)));
        QCOMPARE(readFile(folder + QStringLiteral("/movie.mpg-JOIN.mpg")), readFile(source));
    }

    void destinationQuestion_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<bool>("chooseFolder");
        QTest::newRow("yes: choose a folder")
            << int(MessageAnswer::Yes) << int(JobOutcome::Stopped) << true;
        QTest::newRow("no: where the file is")
            << int(MessageAnswer::No) << int(JobOutcome::Success) << false;
        QTest::newRow("cancel") << int(MessageAnswer::Cancel) << int(JobOutcome::Stopped) << false;
    }
    void destinationQuestion() {
        QFETCH(int, answer);
        QFETCH(int, outcome);
        QFETCH(bool, chooseFolder);
        const QString folder = freshFolder(path(QStringLiteral("dq")));
        const QString a = writePatternFile(folder + QStringLiteral("/a.bin"), 1500000, 2);
        const QString b = writePatternFile(folder + QStringLiteral("/b.bin"), 1500000, 3);
        Unpack unpack;
        unpack.options.destination = UnpackDestination::SaveFile;
        unpack.options.outputName = folder + QStringLiteral("/out.bin");
        bool whereFileChosen = false;
        unpack.command.onWhereFileChosen = [&] { whereFileChosen = true; };
        unpack.host.answer(static_cast<MessageAnswer>(answer));
        QCOMPARE(int(unpack.run({a, b})), outcome);
        QCOMPARE(unpack.host.texts().first(),
                 QStringLiteral(
                     "You are trying to unpack 2 or more files. Zarvo cannot save them as the same "
                     "filename. Specify a custom directory now?"));
        QCOMPARE(unpack.host.messages.first().buttons, MessageButtons::YesNoCancel);
        QCOMPARE(unpack.command.customDirectoryRequested(), chooseFolder);
        if (answer == int(MessageAnswer::No)) {
            QCOMPARE(unpack.host.texts().at(1),
                     QStringLiteral(
                         "Zarvo will save the unpacked files in the directory where the file is."));
            QVERIFY(whereFileChosen);
            QCOMPARE(unpack.options.destination, UnpackDestination::WhereFile);
            QCOMPARE(unpack.host.texts().last(), QStringLiteral("2 files successfully unpacked!"));
            QVERIFY(QFileInfo::exists(a + QStringLiteral(".002")) &&
                    QFileInfo::exists(b + QStringLiteral(".002")));
        } else {
            QCOMPARE(filesIn(folder),
                     (QStringList{QStringLiteral("a.bin"), QStringLiteral("b.bin")}));
        }
    }

    void oneEntryToTheSaveFileName() {
        const QString folder = freshFolder(path(QStringLiteral("sf")));
        const QString a = writePatternFile(folder + QStringLiteral("/a.bin"), 1500000, 4);
        Unpack unpack;
        unpack.options.destination = UnpackDestination::SaveFile;
        unpack.options.outputName = folder + QStringLiteral("/named.mpg");
        QCOMPARE(unpack.run({a}), JobOutcome::Success);
        QCOMPARE(unpack.host.messages.size(), 1);
        QCOMPARE(QFileInfo(folder + QStringLiteral("/named.mpg.002")).size(), 60000);
    }

    void sizeChecksComeFirst_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("1,440K refuses") << int(SplitKind::Preset) << false;
        QTest::newRow("pieces accept") << int(SplitKind::Pieces) << true;
        QTest::newRow("percentage accepts") << int(SplitKind::Percentage) << true;
    }
    void sizeChecksComeFirst() {
        QFETCH(int, kind);
        QFETCH(bool, accepted);
        const QString folder = freshFolder(path(QStringLiteral("sz")));
        const QString first = writePatternFile(folder + QStringLiteral("/first.bin"), 1440000, 5);
        const QString second = writePatternFile(folder + QStringLiteral("/second.bin"), 1000000, 6);
        Unpack unpack;
        unpack.rule.SplitMode = static_cast<SplitKind>(kind);
        QCOMPARE(unpack.run({first, second}), accepted ? JobOutcome::Success : JobOutcome::Stopped);
        if (!accepted) {
            QCOMPARE(
                unpack.host.texts(),
                QStringList{
                    QStringLiteral("Cannot unpack '") + second +
                    QStringLiteral(
                        "' because it is a smaller than 1,440,000 bytes. Unpacking aborted!")});
            QCOMPARE(filesIn(folder),
                     (QStringList{QStringLiteral("first.bin"), QStringLiteral("second.bin")}));
        } else {
            QCOMPARE(unpack.host.texts().last(), QStringLiteral("2 files successfully unpacked!"));
        }
    }

    void emptyEntryRefusesEveryMode_data() {
        QTest::addColumn<int>("kind");
        for (const SplitKind kind :
             {SplitKind::Preset, SplitKind::Pieces, SplitKind::Percentage, SplitKind::LastPiece}) {
            QTest::newRow(qPrintable(QString::number(int(kind)))) << int(kind);
        }
    }
    void emptyEntryRefusesEveryMode() {
        QFETCH(int, kind);
        const QString folder = freshFolder(path(QStringLiteral("e")));
        const QString a = writePatternFile(folder + QStringLiteral("/a"), 2000000, 7);
        const QString empty = writeFile(folder + QStringLiteral("/empty"), QByteArray());
        Unpack unpack;
        unpack.rule.SplitMode = static_cast<SplitKind>(kind);
        QCOMPARE(unpack.run({a, empty}), JobOutcome::Stopped);
        QCOMPARE(unpack.host.texts(),
                 QStringList{QStringLiteral("Cannot unpack '") + empty +
                             QStringLiteral("' which is a 0 byte file. Unpacking aborted!")});
    }

    void freeSpaceExactAndOneByteShort() {
        const QString mountPoint = freshFolder(path(QStringLiteral("tiny")));
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=2m") !=
            0) {
            QSKIP("cannot mount a small tmpfs here (needs root)");
        }
        const quint64 free = freeBytesFor(mountPoint);
        const QString fits = writePatternFile(path(QStringLiteral("fs/fits")), free, 8);
        const QString over = writePatternFile(path(QStringLiteral("fs/over")), free + 1, 9);
        Unpack refused;
        refused.options.destination = UnpackDestination::CustomDir;
        refused.options.customDir = mountPoint;
        refused.rule.SplitMode = SplitKind::Pieces;
        const JobOutcome shortBy1 = refused.run({over});
        const QStringList afterRefusal = filesIn(mountPoint);
        Unpack accepted;
        accepted.options = refused.options;
        accepted.rule.SplitMode = SplitKind::Pieces;
        const JobOutcome exact = accepted.run({fits});
        const QStringList pieces = filesIn(mountPoint);
        ::umount(QFile::encodeName(mountPoint).constData());
        QCOMPARE(shortBy1, JobOutcome::Stopped);
        QCOMPARE(refused.host.texts(),
                 QStringList{QStringLiteral("Not enough free diskspace. Unpacking aborted!")});
        QVERIFY(afterRefusal.isEmpty());
        QCOMPARE(exact, JobOutcome::Success);
        QCOMPARE(pieces, (QStringList{QStringLiteral("fits.001"), QStringLiteral("fits.002")}));
    }

    // The header copies of an EMH split need room too: what fits as RAW may not.
    void emhFreeSpaceCountsTheHeaderCopies() {
        const QString mountPoint = freshFolder(path(QStringLiteral("tinyemh")));
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=256k") !=
            0) {
            QSKIP("cannot mount a small tmpfs here (needs root)");
        }
        const quint64 free = freeBytesFor(mountPoint);
        // 20 pieces of 10K: 19 headers of 5,600 bytes do not fit beside the data.
        const QString source =
            writeFile(path(QStringLiteral("fs/clip.mpg")),
                      mpegBytes(static_cast<qsizetype>(free) - 60000, 0, k352x240at25));
        QStringList texts;
        QStringList written;
        for (const UnpackType type : {UnpackType::EMH, UnpackType::RAW}) {
            Unpack unpack;
            unpack.options.type = type;
            unpack.options.destination = UnpackDestination::CustomDir;
            unpack.options.customDir = mountPoint;
            applyCustomSize(unpack.rule, SplitKind::CustomSize, QStringLiteral("10"), false);
            unpack.run({source});
            texts << unpack.host.texts();
            written << QString::number(filesIn(mountPoint).size());
        }
        ::umount(QFile::encodeName(mountPoint).constData());
        QCOMPARE(texts,
                 (QStringList{QStringLiteral("Not enough free diskspace. Unpacking aborted!"),
                              QStringLiteral("1 file successfully unpacked!")}));
        QVERIFY(written.first() == QStringLiteral("0") && written.last().toInt() > 1);
    }

    void aHeaderThatCannotBeWrittenEndsTheJob() {
        const QString folder = freshFolder(path(QStringLiteral("hdrfail")));
        const QString source =
            writeFile(folder + QStringLiteral("/clip.mpg"), mpegBytes(30000, 0, k352x240at25));
        Unpack unpack;
        unpack.options.type = UnpackType::EMH;
        applyCustomSize(unpack.rule, SplitKind::CustomSize, QStringLiteral("10"), false);
        unpack.files.failCall(FailingCalls::Op::Write, 1,
                              ENOSPC);  // after piece 1: the first header
        QCOMPARE(unpack.run({source}), JobOutcome::Failed);
        unpack.files.clearFailures();
        QCOMPARE(unpack.host.texts().last(),
                 QStringLiteral("Error writing '") + source +
                     QStringLiteral(".002.mpg': No space left on device. Unpacking aborted!"));
        QCOMPARE(GetFileLen(source + QStringLiteral(".001.mpg")), quint64(10240));
    }

    void aPieceThatCannotBeEmptiedEndsTheJob() {
        const QString folder = freshFolder(path(QStringLiteral("trunc")));
        const QString source = writePatternFile(folder + QStringLiteral("/clip"), 30000, 3);
        writeFile(source + QStringLiteral(".002"), "an old piece");
        Unpack unpack;
        applyCustomSize(unpack.rule, SplitKind::CustomSize, QStringLiteral("10"), false);
        unpack.files.failCall(FailingCalls::Op::Truncate, 1, EIO);
        QCOMPARE(unpack.run({source}), JobOutcome::Failed);
        unpack.files.clearFailures();
        QCOMPARE(unpack.host.texts().last(),
                 QStringLiteral("Error writing '") + source +
                     QStringLiteral(".002': Input/output error. Unpacking aborted!"));
    }

    void zipModeNaming() {
        const QString folder = freshFolder(path(QStringLiteral("z")));
        const QString clip = writePatternFile(folder + QStringLiteral("/clip.mpg"), 100000, 10);
        const QString movie = writePatternFile(folder + QStringLiteral("/movie"), 100000, 11);
        const QString zipped = writePatternFile(folder + QStringLiteral("/old.zip"), 100000, 12);
        writeFile(folder + QStringLiteral("/clip.zip"), "an old archive");
        Unpack unpack;
        unpack.options.zip = true;
        unpack.options.batch = JoinBatchMode::Names;
        applyCustomSize(unpack.rule, SplitKind::CustomSize, QStringLiteral("40"), false);
        QCOMPARE(unpack.run({clip, movie, zipped}), JobOutcome::Success);
        const QStringList texts = unpack.host.texts();
        QCOMPARE(texts.at(0), QLatin1Char('\'') + clip +
                                  QStringLiteral("' successfully zipped as '") + folder +
                                  QStringLiteral("/clip.zip'."));
        QCOMPARE(texts.at(1), QLatin1Char('\'') + movie +
                                  QStringLiteral("' successfully zipped as '") + folder +
                                  QStringLiteral("/movie.zip'."));
        QCOMPARE(texts.at(2),
                 QStringLiteral("Cannot zip '") + zipped +
                     QStringLiteral("' because it is already a zip file. Zipping aborted."));
        QCOMPARE(texts.last(), QStringLiteral("3 files successfully unpacked!\r\n\r\n1 file it "
                                              "replaced went to the Trash."));
        const QStringList files = filesIn(folder);
        QVERIFY(files.contains(QStringLiteral("clip.zip.001")) &&
                files.contains(QStringLiteral("movie.zip.001")));
        QVERIFY(files.contains(QStringLiteral("old.zip.003")) &&
                files.contains(QStringLiteral("clip.mpg")));
        QVERIFY(readFile(folder + QStringLiteral("/clip.mpg-JOIN.bat"))
                    .contains("\"clip.mpg-JOIN.zip\""));
        QVERIFY(runShell(
            QStringLiteral("cd '%1' && cat clip.zip.0* > rejoined.zip && unzip -tq rejoined.zip")
                .arg(folder)));
    }

    // The open of the file to split fails: the file layer names it, the job says more.
    void openFailuresSayWhy_data() {
        QTest::addColumn<bool>("zip");
        QTest::addColumn<int>("nth");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        const QString source = path(QStringLiteral("open/clip.mpg"));
        const QString excess = QStringLiteral("Zarvo cannot unpack '") + source +
                               QStringLiteral(
                                   "' due to excess number of file handling. Possible "
                                   "solution is to move the file elsewhere other than "
                                   "the root directory.");
        QTest::newRow("no more handles") << false << 0 << EMFILE << excess;
        QTest::newRow("none in the system") << false << 0 << ENFILE << excess;
        QTest::newRow("the archive gone")
            << true << 1 << ENOENT
            << QLatin1Char('\'') + path(QStringLiteral("open/clip.zip")) +
                   QStringLiteral("' was not found! Zipping aborted!");
        QTest::newRow("other reasons: the file layer's text only")
            << false << 0 << EACCES << QString();
    }
    void openFailuresSayWhy() {
        QFETCH(bool, zip);
        QFETCH(int, nth);
        QFETCH(int, error);
        QFETCH(QString, text);
        freshFolder(path(QStringLiteral("open")));
        const QString source = writePatternFile(path(QStringLiteral("open/clip.mpg")), 300000, 3);
        Unpack unpack;
        unpack.options.zip = zip;
        applyCustomSize(unpack.rule, SplitKind::CustomSize, QStringLiteral("100"), false);
        unpack.files.failCall(FailingCalls::Op::Open, nth, error);
        const JobOutcome outcome = unpack.run({source});
        QVERIFY2(outcome == JobOutcome::Failed, qPrintable(unpack.host.texts().join(u'|')));
        const QStringList texts = unpack.host.texts();
        QVERIFY2(texts.value(texts.size() - (text.isEmpty() ? 1 : 2))
                     .startsWith(QStringLiteral("Error opening '")),
                 qPrintable(texts.join(QLatin1Char('|'))));
        if (!text.isEmpty()) {
            QCOMPARE(texts.last(), text);
        }
    }

    void cancelDuringTheThirdPiece_data() {
        QTest::addColumn<bool>("checksum");
        QTest::newRow("plain") << false;
        QTest::newRow("checksum") << true;  // and no checksum file
    }
    void cancelDuringTheThirdPiece() {
        QFETCH(bool, checksum);
        const QString folder = freshFolder(path(QStringLiteral("c")));
        const QString source = writePatternFile(folder + QStringLiteral("/big"), 1000000, 13);
        Unpack unpack;
        unpack.options.checksum = checksum;
        unpack.options.batch = JoinBatchMode::Names;
        unpack.options.rate = TransferRate::fromWord(QStringLiteral("slow"));
        applyCustomSize(unpack.rule, SplitKind::CustomSize, QStringLiteral("100"), false);
        // 102,400-byte pieces at 10,000-byte chunks: 11 steps a piece; cancel in piece 3.
        bool acted = false;
        unpack.host.onProgress(25, [&] { acted = unpack.command.cancel(); });
        QCOMPARE(unpack.run({source}), JobOutcome::Cancelled);
        QVERIFY(acted);
        QCOMPARE(unpack.host.texts(),
                 QStringList{withLine(kUnpackingAbortedByUser,
                                      keptFileLine(folder + QStringLiteral("/big.003"), 30000))});
        QCOMPARE(filesIn(folder),
                 (QStringList{QStringLiteral("big"), QStringLiteral("big.001"),
                              QStringLiteral("big.002"), QStringLiteral("big.003")}));
        const QByteArray all = readFile(source);
        QCOMPARE(readFile(source + QStringLiteral(".002")), all.mid(102400, 102400));
        QCOMPARE(readFile(source + QStringLiteral(".003")), all.mid(204800, 30000));
    }

    void piecesNeverReplaceSources() {
        const QString folder = freshFolder(path(QStringLiteral("p")));
        const QString movie = writePatternFile(folder + QStringLiteral("/movie.mpg"), 3000000, 14);
        const QString piece =
            writePatternFile(folder + QStringLiteral("/movie.mpg.001"), 1500000, 15);
        Unpack unpack;
        QCOMPARE(unpack.run({movie, piece}), JobOutcome::Stopped);
        QCOMPARE(
            unpack.host.texts(),
            QStringList{QStringLiteral("Cannot unpack '") + movie + QStringLiteral("' because '") +
                        piece + QStringLiteral("' would overwrite '") + piece +
                        QStringLiteral("', which is also being unpacked. Unpacking aborted!")});
        QCOMPARE(filesIn(folder),
                 (QStringList{QStringLiteral("movie.mpg"), QStringLiteral("movie.mpg.001")}));
        // A hard link under a piece's name is the same file.
        QFile::remove(piece);
        const QString other = writePatternFile(path(QStringLiteral("p2/other")), 1500000, 16);
        QVERIFY(QFile::link(other, folder + QStringLiteral("/movie.mpg.0002")));
        Unpack linked;
        QCOMPARE(linked.run({movie, other}), JobOutcome::Stopped);
        QCOMPARE(readFile(other).size(), 1500000);
    }

    void existingPieces_data() {
        QTest::addColumn<bool>("immutable");
        QTest::newRow("read-only old piece asks") << true;
        QTest::newRow("hidden old piece is cut to size") << false;
    }
    void existingPieces() {
        QFETCH(bool, immutable);
        const QString folder = freshFolder(path(QStringLiteral("x")));
        const QString name = immutable ? QStringLiteral("/src") : QStringLiteral("/.src");
        const QString source = writePatternFile(folder + name, 2000000, 17);
        const QString old =
            writeFile(folder + name + QStringLiteral(".002"), QByteArray(3000000, 'o'));
        if (immutable && !setImmutable(old, true)) {
            QSKIP("chattr +i is not available here");
        }
        Unpack unpack;
        const JobOutcome outcome = unpack.run({source});
        setImmutable(old, false);
        if (immutable) {
            QCOMPARE(outcome, JobOutcome::Failed);
            QCOMPARE(
                unpack.host.texts(),
                (QStringList{QStringLiteral("Cannot overwrite '") + old +
                                 QStringLiteral("'. Disk full/write-protected or file is in use."),
                             QStringLiteral("Unpacking aborted by user")}));
            QCOMPARE(readFile(old).size(), 3000000);
        } else {
            QCOMPARE(outcome, JobOutcome::Success);
            QCOMPARE(readFile(old), readFile(source).mid(1440000));
        }
    }

    void emhPiecesCarryTheHeader() {
        const QString folder = freshFolder(path(QStringLiteral("emh")));
        const QByteArray bytes = mpegBytes(30000, 14, k352x240at25);
        const QString source = writeFile(folder + QStringLiteral("/clip.mpg"), bytes);
        Unpack unpack;
        unpack.options.type = UnpackType::EMH;
        unpack.options.batch = JoinBatchMode::Names;
        applyCustomSize(unpack.rule, SplitKind::CustomSize, QStringLiteral("10"), false);
        QCOMPARE(unpack.run({source}), JobOutcome::Success);
        const int h = 14 + 5600;
        QCOMPARE(readFile(source + QStringLiteral(".001.mpg")), bytes.left(10240));
        QCOMPARE(readFile(source + QStringLiteral(".002.mpg")),
                 bytes.left(h) + bytes.mid(10240, 10240));
        QCOMPARE(readFile(source + QStringLiteral(".003.mpg")), bytes.left(h) + bytes.mid(20480));
        QVERIFY(runShell(QStringLiteral("cd '%1' && ./clip.mpg-JOIN.sh >/dev/null").arg(folder)));
        QCOMPARE(readFile(folder + QStringLiteral("/clip.mpg-JOIN.mpg")), bytes);
    }

    void emhLastPiece() {
        const QString folder = freshFolder(path(QStringLiteral("last")));
        const QByteArray bytes = mpegBytes(30000, 0, k352x240at25);
        const QString source = writeFile(folder + QStringLiteral("/clip.mpg"), bytes);
        Unpack unpack;
        unpack.options.type = UnpackType::EMH;
        applyCustomSize(unpack.rule, SplitKind::LastPiece, QStringLiteral("10"), false);
        QCOMPARE(unpack.run({source}), JobOutcome::Success);
        QCOMPARE(filesIn(folder),
                 (QStringList{QStringLiteral("clip.mpg"), QStringLiteral("clip.mpg.001.mpg")}));
        QCOMPARE(readFile(source + QStringLiteral(".001.mpg")),
                 bytes.left(5600) + bytes.right(10240));
    }

    void emhWithoutHeaderSplitsAsRaw() {
        const QString folder = freshFolder(path(QStringLiteral("nohdr")));
        const QByteArray bytes(25000, 'z');
        const QString source = writeFile(folder + QStringLiteral("/plain.mpg"), bytes);
        Unpack unpack;
        unpack.options.type = UnpackType::EMH;
        applyCustomSize(unpack.rule, SplitKind::CustomSize, QStringLiteral("10"), false);
        QCOMPARE(unpack.run({source}), JobOutcome::Success);
        const QString missing =
            QLatin1Char('\'') + source + QStringLiteral("' MPEG header not found.");
        // One look at the source, one warning, however many pieces.
        QCOMPARE(unpack.host.texts(),
                 (QStringList{missing, QStringLiteral("1 file successfully unpacked!")}));
        QCOMPARE(readFile(source + QStringLiteral(".002.mpg")), bytes.mid(10240, 10240));
    }

    void plansThatCannotBeWrittenEndWithTheUnexpectedErrorReport_data() {
        QTest::addColumn<qint64>("length");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("error");
        QTest::newRow("zero piece size") << qint64(1) << int(SplitKind::Percentage) << "50"
                                         << "Error 11: 'Division by zero'  detected.";
    }
    void plansThatCannotBeWrittenEndWithTheUnexpectedErrorReport() {
        QFETCH(qint64, length);
        QFETCH(int, kind);
        QFETCH(QString, value);
        QFETCH(QString, error);
        const QString folder = freshFolder(path(QStringLiteral("plan")));
        const QString source =
            writePatternFile(folder + QStringLiteral("/src"), static_cast<quint64>(length), 20);
        Unpack unpack;
        applyCustomSize(unpack.rule, static_cast<SplitKind>(kind), value, false);
        QCOMPARE(unpack.run({source}), JobOutcome::Failed);
        QCOMPARE(unpack.host.messages.size(), 1);
        QVERIFY(unpack.host.texts().first().startsWith(QStringLiteral("Unexpected error.")));
        QVERIFY(unpack.host.texts().first().endsWith(error));
        QCOMPARE(filesIn(folder), QStringList{QStringLiteral("src")});
    }

    // 32,767 pieces is the most; one byte more is refused before anything is written.
    void pieceLimitIsExact_data() {
        QTest::addColumn<qint64>("length");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("pieces");
        QTest::newRow("1K pieces, one byte over")
            << qint64(1024) * 32767 + 1 << int(SplitKind::CustomSize) << "1"
            << "32,768";
        QTest::newRow("number of pieces") << qint64(40000) << int(SplitKind::Pieces) << "40000"
                                          << "40,000";
        QTest::newRow("exactly the limit")
            << qint64(1024) * 32767 << int(SplitKind::CustomSize) << "1" << QString();
    }
    void pieceLimitIsExact() {
        QFETCH(qint64, length);
        QFETCH(int, kind);
        QFETCH(QString, value);
        QFETCH(QString, pieces);
        if (pieces.isEmpty()) {
            ZARVO_SLOW_CASE();  // 32,767 pieces
        }
        const QString folder = freshFolder(path(QStringLiteral("limit")));
        const QString source =
            writePatternFile(folder + QStringLiteral("/src"), static_cast<quint64>(length), 21);
        Unpack unpack;
        applyCustomSize(unpack.rule, static_cast<SplitKind>(kind), value, false);
        if (pieces.isEmpty()) {
            QCOMPARE(unpack.run({source}), JobOutcome::Success);
            QCOMPARE(filesIn(folder).size(), 32768);
            return;
        }
        QCOMPARE(unpack.run({source}), JobOutcome::Stopped);
        QCOMPARE(unpack.host.texts(),
                 QStringList{QStringLiteral("Cannot unpack '") + source +
                             QStringLiteral("' into ") + pieces +
                             QStringLiteral(" pieces: a file can be unpacked into at most 32,767 "
                                            "pieces. Unpacking aborted!")});
        QCOMPARE(filesIn(folder), QStringList{QStringLiteral("src")});
    }

    void cliSplitsARealClipIntoPlayablePieces() {
        const QString folder = freshFolder(path(QStringLiteral("real")));
        const QString clip = folder + QStringLiteral("/clip.mpg");
        if (!makeMpegClip(clip) || !runShell(QStringLiteral("command -v ffprobe >/dev/null"))) {
            QSKIP("ffmpeg is not installed");
        }
        QProcess cli;
        cli.setWorkingDirectory(folder);
        cli.start(cliProgram(),
                  {QStringLiteral("unpack"), QStringLiteral("--type"), QStringLiteral("emh"),
                   QStringLiteral("--pieces"), QStringLiteral("3"), QStringLiteral("--join-bat"),
                   QStringLiteral("yes"), QStringLiteral("clip.mpg")});
        QVERIFY(cli.waitForFinished());
        QCOMPARE(cli.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(cli.readAllStandardError()),
                 QStringLiteral("information: 1 file successfully unpacked!\n"));
        for (const char* piece : {"clip.mpg.001.mpg", "clip.mpg.002.mpg", "clip.mpg.003.mpg"}) {
            QProcess probe;
            probe.start(
                QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                 QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream=width,height"), QStringLiteral("-of"),
                 QStringLiteral("csv=p=0"), folder + QLatin1Char('/') + QLatin1String(piece)});
            QVERIFY(probe.waitForFinished());
            QCOMPARE(probe.readAllStandardOutput().trimmed(), QByteArray("352,240"));
        }
        QVERIFY(runShell(QStringLiteral("cd '%1' && ./clip.mpg-JOIN.sh >/dev/null").arg(folder)));
        QCOMPARE(readFile(folder + QStringLiteral("/clip.mpg-JOIN.mpg")), readFile(clip));
    }

    void cliRefusesOutOfRangeSizesAndAsksAboutSaveFile() {
        const QString folder = freshFolder(path(QStringLiteral("cli")));
        const QString a = writePatternFile(folder + QStringLiteral("/a"), 5000, 18);
        const QString b = writePatternFile(folder + QStringLiteral("/b"), 5000, 19);
        QProcess cli;
        cli.start(cliProgram(), {QStringLiteral("unpack"), QStringLiteral("--percent"),
                                 QStringLiteral("100"), a});
        QVERIFY(cli.waitForFinished());
        QCOMPARE(cli.exitCode(), 2);
        QCOMPARE(QString::fromLocal8Bit(cli.readAllStandardError()),
                 QStringLiteral("warning: Filesize must be between 1% to 99%.\n"));
        cli.start(cliProgram(), {QStringLiteral("unpack"), QStringLiteral("--assume-yes"),
                                 QStringLiteral("--pieces"), QStringLiteral("2"),
                                 QStringLiteral("-o"), folder + QStringLiteral("/out"), a, b});
        QVERIFY(cli.waitForFinished());
        QCOMPARE(cli.exitCode(), 1);
        QCOMPARE(filesIn(folder), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    }
};

QTEST_GUILESS_MAIN(UnpackCommandTest)
#include "test_unpack_command.moc"
