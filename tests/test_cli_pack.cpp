#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "cli/cli_commands.h"
#include "core/job_messages.h"
#include "support/test_files.h"

class CliPackTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Standard output and exit status of zarvo-cli (or of `program`).
    static std::pair<QString, int> output(const QStringList& arguments,
                                          const QString& program = cliProgram()) {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished();
        return {QString::fromLocal8Bit(process.readAllStandardOutput()), process.exitCode()};
    }

private Q_SLOTS:
    // Every option a command's parser accepts is in its help, which each way of asking
    // prints on standard output with status 0.
    void helpListsEveryOption_data() {
        QTest::addColumn<QString>("command");
        for (const char* command : {"pack", "unpack", "info", "verify"}) {
            QTest::newRow(command) << QString::fromLatin1(command);
        }
    }
    void helpListsEveryOption() {
        QFETCH(QString, command);
        const QString help = cliHelp(command);
        const QStringList names = cliOptionNames(command);
        QVERIFY(names.contains(QStringLiteral("help")));
        for (const QString& name : names) {
            const QString written =
                (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
            QVERIFY2(help.contains(written + QLatin1Char(' ')) ||
                         help.contains(written + QLatin1Char(',')) ||
                         help.contains(written + QLatin1Char('\n')),
                     qPrintable(written));
        }
        for (const QStringList& asked : {QStringList{command, QStringLiteral("--help")},
                                         QStringList{command, QStringLiteral("-h")},
                                         QStringList{QStringLiteral("help"), command}}) {
            QCOMPARE(output(asked), std::make_pair(help, 0));
        }
        QVERIFY(output({QStringLiteral("--help")}).first.contains(command));
        // The shell completion and the manual page know the same options.
        const QString completion = QString::fromUtf8(
            readFile(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../share/zarvo-cli.bash-completion")));
        const QString manual = QString::fromUtf8(
            readFile(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../share/zarvo-cli.1")));
        for (const QString& name : names) {
            if (name.size() > 1) {
                QVERIFY2(completion.contains(QStringLiteral("--") + name), qPrintable(name));
                QVERIFY2(
                    manual.contains(QStringLiteral("\\-\\-") +
                                    QString(name).replace(QLatin1Char('-'), QStringLiteral("\\-"))),
                    qPrintable(name));
            }
        }
    }

    // Checksums written in the copying pass, as sha256sum reads them; verify finds a
    // damaged piece and a missing one.
    void checksumsAreWrittenAndVerified() {
        const QString folder = freshFolder(path(QStringLiteral("sums")));
        writePatternFile(folder + QStringLiteral("/a.bin"), 3000000, 7);
        writePatternFile(folder + QStringLiteral("/b.bin"), 1234567, 8);
        QCOMPARE(runCliProgram(texts({"unpack", "--piece-size", "1000", "--checksum", "--join-bat",
                                      "yes", "--where-file", "a.bin"}),
                               folder)
                     .status,
                 0);
        QCOMPARE(runCliProgram(texts({"pack", "--no-mpeg-check", "--checksum", "-o", "joined.bin",
                                      "a.bin", "b.bin"}),
                               folder)
                     .status,
                 0);
        QVERIFY(runShell(QStringLiteral("cd '%1' && sha256sum --quiet -c a.bin.sha256 && "
                                        "sha256sum joined.bin | cmp - joined.bin.sha256 && "
                                        "sh a.bin-JOIN.sh >/dev/null && cmp a.bin a.bin-JOIN.bin")
                             .arg(folder)));
        const QString manifest = folder + QStringLiteral("/a.bin.sha256");
        QCOMPARE(output({QStringLiteral("verify"), manifest}).second, 0);
        QByteArray piece = readFile(folder + QStringLiteral("/a.bin.002"));
        piece[5] = static_cast<char>(piece[5] ^ 1);
        writeFile(folder + QStringLiteral("/a.bin.002"), piece);
        QFile::remove(folder + QStringLiteral("/a.bin.003"));
        const auto [said, status] = output({QStringLiteral("verify"), manifest});
        QCOMPARE(status, 1);
        QCOMPARE(said, QStringLiteral("a.bin.001: OK\na.bin.002: FAILED\na.bin.003: MISSING\n"
                                      "a.bin: OK\n2 OK, 1 FAILED, 1 MISSING\n"));
        // The shell twin stops before joining and names the damaged piece.
        writeFile(folder + QStringLiteral("/a.bin.003"), QByteArray());
        QFile::remove(folder + QStringLiteral("/a.bin-JOIN.bin"));
        QProcess script;
        script.setWorkingDirectory(folder);
        script.start(QStringLiteral("sh"), {QStringLiteral("a.bin-JOIN.sh")});
        QVERIFY(script.waitForFinished());
        QCOMPARE(script.exitCode(), 1);
        const QByteArray told = script.readAllStandardOutput();
        QVERIFY(told.contains("a.bin.002: FAILED\n") && told.contains("A piece is damaged.\n"));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/a.bin-JOIN.bin")));
    }

    // Every form of line sha256sum writes, for a name it must escape; what verify prints
    // for it is what sha256sum -c prints.
    void verifyReadsWhatSha256sumWrites_data() {
        QTest::addColumn<QString>("write");  // a shell command that lists "$N" in sums.sha256
        QTest::addColumn<bool>("absolute");  // "$N" listed with its folder
        QTest::addColumn<QString>("extra");
        QTest::addColumn<int>("status");
        QTest::newRow("plain") << QStringLiteral("sha256sum \"$N\"") << false << QString() << 0;
        QTest::newRow("binary, CRLF")
            << QStringLiteral("sha256sum -b \"$N\" | sed 's/$/\\r/'") << false << QString() << 0;
        QTest::newRow("tagged") << QStringLiteral("sha256sum --tag \"$N\"") << false << QString()
                                << 0;
        QTest::newRow("absolute") << QStringLiteral("sha256sum \"$PWD/$N\"") << true << QString()
                                  << 0;
        QTest::newRow("a stray line") << QStringLiteral("sha256sum \"$N\"; echo stray") << false
                                      << QStringLiteral("1 line is not a checksum line\n") << 1;
        QTest::newRow("written by pack")
            << QStringLiteral(
                   "\"$ZARVO_CLI\" pack --no-mpeg-check --checksum --assume-yes -o "
                   "\"$N\" a a >/dev/null && sha256sum \"$N\" | cmp - \"$N.sha256\" "
                   "&& cat \"$N.sha256\"")
            << false << QString() << 0;
    }
    void verifyReadsWhatSha256sumWrites() {
        QFETCH(QString, write);
        QFETCH(bool, absolute);
        QFETCH(QString, extra);
        QFETCH(int, status);
        const QString folder = freshFolder(path(QStringLiteral("forms")));
        writeFile(folder + QStringLiteral("/a"), "abc");
        writeFile(folder + QStringLiteral("/odd\\name\n\r.bin"), "abcabc");
        QVERIFY(runShell(QStringLiteral("cd '%1' && N='odd\\name\n\r.bin' && { %2; } > sums.sha256")
                             .arg(folder, write)));
        const auto [said, verdict] =
            output({QStringLiteral("verify"), folder + QStringLiteral("/sums.sha256")});
        QCOMPARE(said,
                 QLatin1Char('\\') + (absolute ? folder + QLatin1Char('/') : QString()) +
                     QStringLiteral("odd\\\\name\\n\\r.bin: OK\n1 OK, 0 FAILED, 0 MISSING\n") +
                     extra);
        QCOMPARE(verdict, status);
    }

    void sourceRebuiltFromPieces_data() {
        QTest::addColumn<QStringList>("split");
        QTest::newRow("raw") << texts({"--type", "raw"});
        QTest::newRow("emh") << texts({"--type", "emh"});
        QTest::newRow("emh, clean cuts") << texts({"--type", "emh", "--clean-cuts"});
    }
    // Without the source, verify checks it from the pieces less their headers.
    void sourceRebuiltFromPieces() {
        QFETCH(QStringList, split);
        const QString folder = freshFolder(path(QStringLiteral("rebuilt")));
        QVERIFY(makeMpegClip(folder + QStringLiteral("/clip.mpg")));
        QCOMPARE(runCliProgram(texts({"unpack", "--pieces", "3", "--checksum", "clip.mpg"}) + split,
                               folder)
                     .status,
                 0);
        QFile::rename(folder + QStringLiteral("/clip.mpg"), folder + QStringLiteral("/away.mpg"));
        const QString manifest = folder + QStringLiteral("/clip.mpg.sha256");
        QVERIFY(runShell(QStringLiteral("cd '%1' && sha256sum --quiet --ignore-missing -c "
                                        "clip.mpg.sha256")
                             .arg(folder)));
        auto [said, status] = output({QStringLiteral("verify"), manifest});
        QCOMPARE(status, 0);
        QVERIFY2(said.endsWith(QStringLiteral(": OK\nclip.mpg: OK (rebuilt from its pieces)\n"
                                              "4 OK, 0 FAILED, 0 MISSING\n")),
                 qPrintable(said));
        const QString last = QDir(folder).entryList({QStringLiteral("clip.mpg.003*")}).value(0);
        QByteArray piece = readFile(folder + QLatin1Char('/') + last);
        piece[piece.size() - 1] = static_cast<char>(piece[piece.size() - 1] ^ 1);
        writeFile(folder + QLatin1Char('/') + last, piece);
        std::tie(said, status) = output({QStringLiteral("verify"), manifest});
        QCOMPARE(status, 1);
        QVERIFY2(said.contains(QStringLiteral("clip.mpg: FAILED (rebuilt from its pieces)\n")),
                 qPrintable(said));
    }

    void versionAndUnknownOptions() {
        const auto [version, status] = output({QStringLiteral("--version")});
        QCOMPARE(status, 0);
        const auto [appVersion, appStatus] = output({QStringLiteral("--version")}, appProgram());
        QCOMPARE(appStatus, 0);
        QCOMPARE(version.section(QLatin1Char(' '), 1), appVersion.section(QLatin1Char(' '), 1));
        QVERIFY(version.startsWith(QStringLiteral("zarvo-cli 0.")));
        for (const QStringList& arguments :
             {texts({"unpack", "--bogus", "file"}), texts({"--bogus", "unpack"})}) {
            const CliResult bogus = runCliProgram(arguments);
            QCOMPARE(bogus.status, 2);
            QVERIFY(bogus.errorOutput.startsWith(
                QStringLiteral("zarvo-cli: Unknown option 'bogus'.\nRun 'zarvo-cli --help'")));
        }
    }

    void packsAndReportsTheSize() {
        const QString a = writeFile(path(QStringLiteral("a")), "abc");
        const QString b = writeFile(path(QStringLiteral("b")), "defgh");
        const QString out = path(QStringLiteral("out"));
        const CliResult result =
            runCliProgram({QStringLiteral("pack"), QStringLiteral("--no-mpeg-check"),
                           QStringLiteral("-o"), out, a, b});
        QCOMPARE(result.status, 0);
        QCOMPARE(readFile(out), QByteArray("abcdefgh"));
        QCOMPARE(result.errorOutput, QStringLiteral("information: '") + out +
                                         QStringLiteral("' successfully packed! Total filesize "
                                                        "is 8 bytes.\n"));
    }

    void relativePathsBecomeFullPaths() {
        writeFile(path(QStringLiteral("r/a")), "1");
        writeFile(path(QStringLiteral("r/b")), "2");
        QProcess process;
        process.setWorkingDirectory(path(QStringLiteral("r")));
        process.start(cliProgram(),
                      {QStringLiteral("pack"), QStringLiteral("--rate"), QStringLiteral("slow"),
                       QStringLiteral("--no-mpeg-check"), QStringLiteral("-o"),
                       QStringLiteral("./a"), QStringLiteral("a"), QStringLiteral("b")});
        process.waitForFinished();
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromLocal8Bit(process.readAllStandardError()),
                 QStringLiteral("warning: Cannot pack Save As file!\n"));
        QCOMPARE(readFile(path(QStringLiteral("r/a"))), QByteArray("1"));
    }

    void existingOutputIsReplacedOnlyWhenAnswered_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("no terminal") << QString() << 1 << QByteArray("keep");
        QTest::newRow("assume no") << "--assume-no" << 1 << QByteArray("keep");
        QTest::newRow("assume yes") << "--assume-yes" << 0 << QByteArray("12");
    }
    void existingOutputIsReplacedOnlyWhenAnswered() {
        QFETCH(QString, answer);
        QFETCH(int, status);
        QFETCH(QByteArray, content);
        const QString a = writeFile(path(QStringLiteral("e/a")), "1");
        const QString b = writeFile(path(QStringLiteral("e/b")), "2");
        const QString out = writeFile(path(QStringLiteral("e/out")), "keep");
        QStringList arguments{QStringLiteral("pack"), QStringLiteral("--no-mpeg-check")};
        if (!answer.isEmpty()) {
            arguments << answer;
        }
        const CliResult result = runCliProgram(arguments << QStringLiteral("-o") << out << a << b);
        QCOMPARE(result.status, status);
        QVERIFY(
            result.errorOutput.contains(QStringLiteral("' already exists. Do you want to "
                                                       "replace it?")));
        QCOMPARE(readFile(out), content);
    }

    void refusalsExitWithOne() {
        const QString a = writeFile(path(QStringLiteral("z/a")), "abc");
        const QString empty = writeFile(path(QStringLiteral("z/empty")), QByteArray());
        const CliResult result =
            runCliProgram({QStringLiteral("pack"), QStringLiteral("--no-mpeg-check"),
                           QStringLiteral("-o"), path(QStringLiteral("z/out")), a, empty});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.errorOutput, QStringLiteral("error: Cannot pack '") + empty +
                                         QStringLiteral("' which is a 0 byte file. Packing "
                                                        "aborted!\n"));
    }

    void badUsageExitsWithTwo_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")};
        QTest::newRow("no output") << QStringList{QStringLiteral("pack"), QStringLiteral("a")};
        QTest::newRow("no files") << QStringList{QStringLiteral("pack"), QStringLiteral("-o"),
                                                 QStringLiteral("x")};
        QTest::newRow("bad rate") << QStringList{QStringLiteral("pack"), QStringLiteral("--rate"),
                                                 QStringLiteral("warp"), QStringLiteral("-o"),
                                                 QStringLiteral("x"),    QStringLiteral("a")};
        QTest::newRow("unknown option")
            << QStringList{QStringLiteral("pack"), QStringLiteral("--frob")};
    }
    void badUsageExitsWithTwo() {
        QFETCH(QStringList, arguments);
        const CliResult result = runCliProgram(arguments);
        QCOMPARE(result.status, 2);
        QVERIFY(result.errorOutput.contains(QStringLiteral("usage: zarvo-cli")));
    }

    void retryQuestionOffTerminalIsCancelled() {
        const QString a = writeFile(path(QStringLiteral("q/a")), "abc");
        const QString out = path(QStringLiteral("q/folder"));
        QDir().mkpath(out);  // an output that cannot be opened
        const CliResult result =
            runCliProgram({QStringLiteral("pack"), QStringLiteral("--no-mpeg-check"),
                           QStringLiteral("-o"), out, a, a});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.errorOutput,
                 QStringLiteral("error: Error opening '") + out +
                     QStringLiteral("'! Is a directory.\nquestion: Cannot overwrite '") + out +
                     QStringLiteral("'. Disk full/write-protected or file is in use.\n"
                                    "information: Packing aborted by user.\n"));
    }

    void mpegCheckAsksAndAssumeYesAnswers() {
        const QString a = writeFile(path(QStringLiteral("m/a")), "abc");
        const QString b = writeFile(path(QStringLiteral("m/b")), "def");
        const QString out = path(QStringLiteral("m/out"));
        const QString question = QStringLiteral("question: '") + a +
                                 QStringLiteral(
                                     "' is not a valid MPEG file.  Proceed packing "
                                     "and ignore invalid Mpeg error?\n");
        CliResult result = runCliProgram({QStringLiteral("pack"), QStringLiteral("-o"), out, a, b});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.errorOutput, question);
        QVERIFY(!QFileInfo::exists(out));

        result = runCliProgram({QStringLiteral("pack"), QStringLiteral("--assume-yes"),
                                QStringLiteral("-o"), out, a, b});
        QCOMPARE(result.status, 0);
        QVERIFY(result.errorOutput.startsWith(question));
        QCOMPARE(readFile(out), QByteArray("abcdef"));
    }

    void oneFileIsRefused() {
        const QString a = writeFile(path(QStringLiteral("one/a")), "abc");
        const CliResult result = runCliProgram(
            {QStringLiteral("pack"), QStringLiteral("-o"), path(QStringLiteral("one/out")), a});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.errorOutput,
                 QStringLiteral("warning: At least 2 files are required for packing.\n"));
    }

    void zipsAndTrashesOnRequest() {
        const QString a = writeFile(path(QStringLiteral("zt/a")), "abc");
        const QString b = writeFile(path(QStringLiteral("zt/b")), "def");
        const QString out = path(QStringLiteral("zt/joined"));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        process.setProcessEnvironment(environment);
        process.start(cliProgram(), {QStringLiteral("pack"), QStringLiteral("--no-mpeg-check"),
                                     QStringLiteral("--zip"), QStringLiteral("--delete-sources"),
                                     QStringLiteral("noprompt"), QStringLiteral("-o"), out, a, b});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(QFileInfo::exists(out + QStringLiteral(".zip")));
        QVERIFY(!QFileInfo::exists(a) && !QFileInfo::exists(b));
        QVERIFY(QFileInfo::exists(path(QStringLiteral("data/Trash/files/a"))));
        QCOMPARE(readFile(out), QByteArray("abcdef"));
    }

    void interruptCancelsLikeTheCancelButton() {
        const QString big = path(QStringLiteral("i/big"));
        QDir().mkpath(path(QStringLiteral("i")));
        if (!writeSparseFile(big, 3000000000ULL)) {
            QSKIP("no room for a sparse file");
        }
        const QString out = path(QStringLiteral("i/out"));
        QProcess process;
        process.start(cliProgram(), {QStringLiteral("pack"), QStringLiteral("--no-mpeg-check"),
                                     QStringLiteral("--rate"), QStringLiteral("slow"),
                                     QStringLiteral("-o"), out, big, big});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out).size() > 0, 20000);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 130);
        const qint64 written = QFileInfo(out).size();
        QCOMPARE(QString::fromLocal8Bit(process.readAllStandardError()),
                 QStringLiteral("information: Packing aborted by user ") +
                     keptFileLine(out, static_cast<quint64>(written)) + QLatin1Char('\n'));
        QVERIFY(written > 0 && written < 3000000000LL);
        QCOMPARE(written % 10000, 0);
        QFile::remove(out);
        QFile::remove(big);
    }
};

QTEST_GUILESS_MAIN(CliPackTest)
#include "test_cli_pack.moc"
