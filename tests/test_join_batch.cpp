#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "unpack/join_batch.h"
#include "unpack/stamping_texts.h"

namespace {

const QStringList kDefaultStamping = {
    QStringLiteral("@echo Files unpacked by Tarvik Zarvo Pro (r).")};

JoinBatchBuilder builderWith(JoinBatchMode mode, const QStringList& pieces) {
    JoinBatchBuilder builder(mode);
    for (const QString& piece : pieces) {
        builder.pieceReported(piece);
    }
    return builder;
}

}  // namespace

class JoinBatchTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() { useThrowawayUserFolders(m_dir.path()); }

    void batchFileOfThreePieces() {
        const JoinBatchBuilder builder =
            builderWith(JoinBatchMode::Names,
                        {QStringLiteral("/v/movie.mpg.001"), QStringLiteral("/v/movie.mpg.002"),
                         QStringLiteral("/v/movie.mpg.003")});
        const QString expected = QStringLiteral(
            "@echo off\r\n"
            "@echo Files unpacked by Tarvik Zarvo Pro (r).\r\n"
            "@echo ---------------------------------------\r\n"
            "If NOT exist \"movie.mpg.001\" Goto 0\r\n"
            "If NOT exist \"movie.mpg.002\" Goto 0\r\n"
            "If NOT exist \"movie.mpg.003\" Goto 0\r\n"
            "Copy/b \"movie.mpg.001\" + \"movie.mpg.002\" + \"movie.mpg.003\" "
            "\"movie.mpg-JOIN.mpg\"\r\n"
            "goto 1\r\n"
            ":0\r\n"
            "Cls\r\n"
            "@echo Some required file(s) not found.\r\n"
            "@echo movie.mpg-JOIN.mpg NOT successfully created.\r\n"
            "Exit\r\n"
            ":1\r\n"
            "Cls\r\n"
            "@echo movie.mpg-JOIN.mpg successfully created.\r\n"
            "Exit\r\n");
        QCOMPARE(
            builder.batchText(joinResultName(QStringLiteral("movie.mpg"), false), kDefaultStamping),
            expected);
    }

    void fullPathsAndBlankStamping() {
        const JoinBatchBuilder builder =
            builderWith(JoinBatchMode::FullPaths, {QStringLiteral("/v/a b.001")});
        const QString text =
            builder.batchText(QStringLiteral("a b-JOIN.a b"), {QStringLiteral("@echo.")});
        QVERIFY(text.startsWith(QStringLiteral(
            "@echo off\r\n@echo.\r\n@echo \r\nIf NOT exist \"/v/a b.001\" Goto 0\r\n")));
        QVERIFY(text.contains(QStringLiteral("Copy/b \"/v/a b.001\" \"a b-JOIN.a b\"\r\n")));
    }

    // The command processor takes "&", "<", ">", "|", "^" and "%" literally only when
    // escaped: "^" outside quotes, "%%" everywhere.
    void batchLinesAreEscaped() {
        const JoinBatchBuilder builder =
            builderWith(JoinBatchMode::Names, {QStringLiteral("/v/a&b 100%.001")});
        const QString text = builder.batchText(QStringLiteral("a&b 100%-JOIN.a&b 100%"),
                                               {QStringLiteral("@echo <mine> & 50% ^ |")});
        QVERIFY(text.contains(QStringLiteral("\r\n@echo ^<mine^> ^& 50%% ^^ ^|\r\n")));
        QVERIFY(text.contains(QStringLiteral("If NOT exist \"a&b 100%%.001\" Goto 0\r\n")));
        QVERIFY(text.contains(
            QStringLiteral("Copy/b \"a&b 100%%.001\" \"a&b 100%%-JOIN.a&b 100%%\"\r\n")));
        QVERIFY(text.contains(
            QStringLiteral("@echo a^&b 100%%-JOIN.a^&b 100%% successfully created.")));
        // The dashes still follow the text as typed.
        QVERIFY(text.contains(QStringLiteral("\r\n@echo ") + QString(16, QLatin1Char('-')) +
                              QStringLiteral("\r\n")));
    }

    void longJoinsAreCopiedInSteps() {
        JoinBatchBuilder builder(JoinBatchMode::Names);
        for (int i = 1; i <= 1500; ++i) {
            builder.pieceReported(
                QStringLiteral("/v/holiday video.mpg.%1.mpg").arg(i, 4, 10, QLatin1Char('0')));
        }
        const QString result = QStringLiteral("holiday video.mpg-JOIN.mpg");
        const QStringList lines =
            builder.batchText(result, kDefaultStamping).split(QStringLiteral("\r\n"));
        const QStringList copies = lines.filter(QRegularExpression(QStringLiteral("^Copy/b ")));
        QVERIFY(copies.size() > 1);
        for (const QString& line : lines) {
            QVERIFY(line.size() <= 8191);
        }
        // Every piece once, in order; each later step appends to the result.
        QStringList joined;
        for (qsizetype i = 0; i < copies.size(); ++i) {
            QStringList sources =
                copies.at(i).mid(7).chopped(result.size() + 3).split(QStringLiteral(" + "));
            if (i > 0) {
                QCOMPARE(sources.takeFirst(), QLatin1Char('"') + result + QLatin1Char('"'));
            }
            joined += sources;
        }
        QCOMPARE(joined.size(), 1500);
        QCOMPARE(joined.first(), QStringLiteral("\"holiday video.mpg.0001.mpg\""));
        QCOMPARE(joined.last(), QStringLiteral("\"holiday video.mpg.1500.mpg\""));
    }

    void unsafeNamesSkipTheBatchFileOnly() {
        const QString folder = path(QStringLiteral("nl"));
        const QString name = QStringLiteral("two\nlines.mpg");
        writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".001"), "one-");
        writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".002"), "two");
        JoinBatchBuilder builder(JoinBatchMode::Names);
        builder.pieceReported(folder + QLatin1Char('/') + name + QStringLiteral(".001"));
        builder.pieceReported(folder + QLatin1Char('/') + name + QStringLiteral(".002"));
        QString error;
        QString warning;
        QVERIFY(builder.sourceFinished(folder, name, false, kDefaultStamping, &error, &warning));
        const QString batch = folder + QLatin1Char('/') + name + QStringLiteral("-JOIN.bat");
        QCOMPARE(warning, QLatin1Char('\'') + batch + QStringLiteral("' was not written: '") +
                              name +
                              QStringLiteral("-JOIN.mpg' holds a line break or a quotation "
                                             "mark, which a batch file cannot name. Rejoin "
                                             "the pieces with the '-JOIN.sh' beside them."));
        QVERIFY(!QFileInfo::exists(batch));
        QVERIFY(runShell(QStringLiteral("cd '") + folder + QStringLiteral("' && ./two*-JOIN.sh")));
        QCOMPARE(readFile(folder + QLatin1Char('/') + name + QStringLiteral("-JOIN.mpg")),
                 QByteArray("one-two"));
    }

    void shellTwinTakesNamesThatLookLikeOptions() {
        const QString folder = path(QStringLiteral("dash"));
        writeFile(folder + QStringLiteral("/-rf.mpg.001"), "A");
        writeFile(folder + QStringLiteral("/-rf.mpg.002"), "HHB");
        JoinBatchBuilder builder(JoinBatchMode::Names);
        builder.pieceReported(folder + QStringLiteral("/-rf.mpg.001"));
        builder.pieceReported(folder + QStringLiteral("/-rf.mpg.002"));
        builder.pieceHeader(2);
        QString error;
        QString warning;
        QVERIFY(builder.sourceFinished(folder, QStringLiteral("-rf.mpg"), false, kDefaultStamping,
                                       &error, &warning));
        QVERIFY(
            runShell(QStringLiteral("cd '") + folder + QStringLiteral("' && ./-rf.mpg-JOIN.sh")));
        QCOMPARE(readFile(folder + QStringLiteral("/-rf.mpg-JOIN.mpg")), QByteArray("AB"));
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/-rf.mpg.001")));
    }

    void resultNames_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("zipped");
        QTest::addColumn<QString>("result");
        QTest::newRow("with extension") << "movie.mpg" << false << "movie.mpg-JOIN.mpg";
        QTest::newRow("without dot") << "movie" << false << "movie-JOIN.movie";
        QTest::newRow("zip mode") << "movie.mpg" << true << "movie.mpg-JOIN.zip";
    }
    void resultNames() {
        QFETCH(QString, source);
        QFETCH(bool, zipped);
        QFETCH(QString, result);
        QCOMPARE(joinResultName(source, zipped), result);
    }

    void noBatchFileWhenNotWanted() {
        JoinBatchBuilder builder =
            builderWith(JoinBatchMode::None, {path(QStringLiteral("n/x.001"))});
        QDir().mkpath(path(QStringLiteral("n")));
        QString error;
        QString warning;
        QVERIFY(builder.sourceFinished(path(QStringLiteral("n")), QStringLiteral("x"), false,
                                       kDefaultStamping, &error, &warning));
        QVERIFY(QDir(path(QStringLiteral("n"))).entryList(QDir::Files).isEmpty());
    }

    void shellTwinRejoinsAndStripsHeaders() {
        const QString folder = path(QStringLiteral("sh"));
        writeFile(folder + QStringLiteral("/it's.001"), "first-");
        writeFile(folder + QStringLiteral("/it's.002"), "HEADERsecond");
        JoinBatchBuilder builder(JoinBatchMode::Names);
        builder.pieceReported(folder + QStringLiteral("/it's.001"));
        builder.pieceReported(folder + QStringLiteral("/it's.002"));
        builder.pieceHeader(6);
        QString error;
        QString warning;
        QVERIFY(builder.sourceFinished(
            folder, QStringLiteral("it's"), false,
            {QStringLiteral("@echo $HOME `x` \"q\""), QStringLiteral("@echo.")}, &error, &warning));
        QVERIFY(QFileInfo(folder + QStringLiteral("/it's-JOIN.sh")).isExecutable());
        QProcess shell;
        shell.setWorkingDirectory(folder);
        shell.start(QStringLiteral("./it's-JOIN.sh"), QStringList());
        QVERIFY(shell.waitForFinished());
        QCOMPARE(shell.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()),
                 QStringLiteral(
                     "$HOME `x` \"q\"\n\n-------------\nit's-JOIN.it's successfully created.\n"));
        QCOMPARE(readFile(folder + QStringLiteral("/it's-JOIN.it's")), QByteArray("first-second"));

        QFile::remove(folder + QStringLiteral("/it's.002"));
        shell.start(QStringLiteral("./it's-JOIN.sh"), QStringList());
        QVERIFY(shell.waitForFinished());
        QCOMPARE(shell.exitCode(), 1);
        QVERIFY(shell.readAllStandardOutput().endsWith(
            "it's.002: MISSING\nSome required file(s) not found.\nit's-JOIN.it's NOT "
            "successfully created.\n"));
    }

    // The rebuilt file gets the mode any new file gets under the user's umask.
    void shellTwinGivesTheResultANewFilesMode_data() {
        QTest::addColumn<QString>("umask");
        QTest::addColumn<int>("mode");
        QTest::newRow("022") << QStringLiteral("022") << 0644;
        QTest::newRow("027") << QStringLiteral("027") << 0640;
        QTest::newRow("077") << QStringLiteral("077") << 0600;
    }
    void shellTwinGivesTheResultANewFilesMode() {
        QFETCH(QString, umask);
        QFETCH(int, mode);
        const QString folder = freshFolder(path(QStringLiteral("mode")));
        writeFile(folder + QStringLiteral("/m.bin.001"), "one");
        JoinBatchBuilder builder(JoinBatchMode::Names);
        builder.pieceReported(folder + QStringLiteral("/m.bin.001"));
        QString error;
        QString warning;
        QVERIFY(builder.sourceFinished(folder, QStringLiteral("m.bin"), false, kDefaultStamping,
                                       &error, &warning));
        QVERIFY(runShell(QStringLiteral("cd '%1' && umask %2 && ./m.bin-JOIN.sh >/dev/null")
                             .arg(folder, umask)));
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(folder + QStringLiteral("/m.bin-JOIN.bin")).constData(),
                        &status),
                 0);
        QCOMPARE(int(status.st_mode & 07777), mode);
    }

    // The script and its pieces are moved together and it is run from elsewhere.
    void shellTwinTravelsWithItsPieces_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("names") << int(JoinBatchMode::Names);
        QTest::newRow("extra info") << int(JoinBatchMode::FullPaths);
    }
    void shellTwinTravelsWithItsPieces() {
        QFETCH(int, mode);
        const QString written = freshFolder(path(QStringLiteral("written")));
        JoinBatchBuilder builder(static_cast<JoinBatchMode>(mode));
        for (const char* name : {"/v.mpg.001", "/v.mpg.002"}) {
            builder.pieceReported(writeFile(written + QLatin1String(name), name));
        }
        QString error;
        QString warning;
        QVERIFY(
            builder.sourceFinished(written, QStringLiteral("v.mpg"), false, {}, &error, &warning));
        const QString moved = path(QStringLiteral("moved"));
        QDir(moved).removeRecursively();
        QVERIFY(QDir().rename(written, moved));
        QProcess shell;
        shell.setWorkingDirectory(QDir::rootPath());
        shell.start(moved + QStringLiteral("/v.mpg-JOIN.sh"), QStringList());
        QVERIFY(shell.waitForFinished());
        QCOMPARE(shell.readAllStandardError(), QByteArray());
        QCOMPARE(shell.exitCode(), 0);
        QCOMPARE(readFile(moved + QStringLiteral("/v.mpg-JOIN.mpg")),
                 QByteArray("/v.mpg.001/v.mpg.002"));
    }

    void stampingFileIsCreatedWithTheDefaultLine() {
        QFile::remove(stampingFilePath());
        RecorderJobHost host;
        const StampingTexts texts = LoadCopyrightDataFromFile(host);
        QCOMPARE(stampingFilePath(), path(QStringLiteral("data/TarvikZarvo/cstmp.ctd")));
        QCOMPARE(readFile(stampingFilePath()),
                 QByteArray("Files unpacked by Tarvik Zarvo Pro (r).\r\n"));
        QCOMPARE(texts.batchLines, kDefaultStamping);
        QCOMPARE(texts.editorText, QStringLiteral("Files unpacked by Tarvik Zarvo Pro (r)."));
        QVERIFY(host.messages.isEmpty());
    }

    void stampingLines_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("editor");
        QTest::newRow("blank and indented")
            << QByteArray("Made by us\r\n\r\n  indented\r\n")
            << QStringList{QStringLiteral("@echo Made by us"), QStringLiteral("@echo."),
                           QStringLiteral("@echo   indented")}
            << "Made by us\r\n\r\n  indented";
        QTest::newRow("first line empty")
            << QByteArray("\r\nsecond\r\n")
            << QStringList{QStringLiteral("@echo."), QStringLiteral("@echo second")} << "second";
        QTest::newRow("plain LF, no last line end")
            << QByteArray("one\ntwo")
            << QStringList{QStringLiteral("@echo one"), QStringLiteral("@echo two")}
            << "one\r\ntwo";
        QTest::newRow("spaces only")
            << QByteArray("   \r\n") << QStringList{QStringLiteral("@echo.")} << "   ";
    }
    void stampingLines() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, lines);
        QFETCH(QString, editor);
        writeFile(stampingFilePath(), file);
        RecorderJobHost host;
        const StampingTexts texts = LoadCopyrightDataFromFile(host);
        QCOMPARE(texts.batchLines, lines);
        QCOMPARE(texts.editorText, editor);
    }

    void savingAndTheRemainingNote() {
        RecorderJobHost host;
        QVERIFY(saveCopyrightText(QString(), host));
        QCOMPARE(readFile(stampingFilePath()), QByteArray("\r\n"));
        QCOMPARE(LoadCopyrightDataFromFile(host).batchLines, QStringList{QStringLiteral("@echo.")});
        QCOMPARE(stampingRemainingNote(0),
                 QStringLiteral("Note: Copyright text can hold another 640 characters."));
        QCOMPARE(stampingRemainingNote(638),
                 QStringLiteral("Note: Copyright text can hold another 2 characters."));
        QCOMPARE(stampingRemainingNote(639),
                 QStringLiteral("Note: Copyright text can hold another 1 character."));
        QCOMPARE(stampingRemainingNote(640),
                 QStringLiteral("Note: Copyright text can hold another 0 character."));
    }
};

QTEST_GUILESS_MAIN(JoinBatchTest)
#include "test_join_batch.moc"
