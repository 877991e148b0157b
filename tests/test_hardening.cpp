// The safety rules that hold for every job, tried the way a careless user or an attacker
// would: through zarvo-cli, on real files.
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "support/test_files.h"

class HardeningTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() { useThrowawayUserFolders(m_dir.path()); }

    // A link planted where a job writes is replaced; what it points at stays as it was.
    void plantedLinksAreReplacedNeverFollowed_data() {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QStringList>("arguments");
        const QStringList unpack =
            texts({"unpack", "--piece-size", "1", "--join-bat", "yes", "--where-file"});
        QTest::newRow("piece") << QStringLiteral("s.bin.002")
                               << (QStringList(unpack) << QStringLiteral("s.bin"));
        QTest::newRow("hidden piece")
            << QStringLiteral(".h.bin.001") << (QStringList(unpack) << QStringLiteral(".h.bin"));
        QTest::newRow("batch file")
            << QStringLiteral("s.bin-JOIN.bat") << (QStringList(unpack) << QStringLiteral("s.bin"));
        QTest::newRow("shell twin")
            << QStringLiteral("s.bin-JOIN.sh") << (QStringList(unpack) << QStringLiteral("s.bin"));
        QTest::newRow("archive") << QStringLiteral("s.zip")
                                 << texts({"unpack", "--zip", "--piece-size", "1", "--where-file",
                                           "s.bin"});
        QTest::newRow("joined output") << QStringLiteral("out.bin")
                                       << texts({"pack", "--no-mpeg-check", "--assume-yes", "-o",
                                                 "out.bin", "s.bin", ".h.bin"});
        QTest::newRow("hidden output") << QStringLiteral(".out.bin")
                                       << texts({"pack", "--no-mpeg-check", "--assume-yes", "-o",
                                                 ".out.bin", "s.bin", ".h.bin"});
        QTest::newRow("pack archive") << QStringLiteral("out.zip")
                                      << texts({"pack", "--no-mpeg-check", "--zip", "--assume-yes",
                                                "-o", "out.bin", "s.bin", ".h.bin"});
    }
    void plantedLinksAreReplacedNeverFollowed() {
        QFETCH(QString, planted);
        QFETCH(QStringList, arguments);
        const QString folder = freshFolder(path(QStringLiteral("links")));
        writePatternFile(folder + QStringLiteral("/s.bin"), 3000, 1);
        writePatternFile(folder + QStringLiteral("/.h.bin"), 2500, 2);
        const QString victim = writeFile(path(QStringLiteral("victim/precious")), "precious");
        QFile::setPermissions(victim, QFile::ReadOwner | QFile::WriteOwner);
        const QString dangling = path(QStringLiteral("victim/never-made"));
        for (const QString& target : {victim, dangling}) {
            const QString at = folder + QLatin1Char('/') + planted;
            QFile::remove(at);
            QVERIFY(QFile::link(target, at));
            const CliResult result = runCliProgram(arguments, folder);
            QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
            QVERIFY2(!QFileInfo(at).isSymLink(), qPrintable(at));
            QVERIFY(QFileInfo(at).isFile());
        }
        QCOMPARE(readFile(victim), QByteArray("precious"));
        QCOMPARE(QFile::permissions(victim),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QVERIFY(!QFileInfo::exists(dangling));
    }

    void collidingOutputsAreRefusedBeforeWriting_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QString>("shared");
        QTest::newRow("same name, two folders")
            << texts({"--to", "dest", "--join-bat", "yes"}) << texts({"one/a.bin", "two/a.bin"})
            << QStringLiteral("dest/a.bin.001");
        QTest::newRow("one archive for two")
            << texts({"--zip", "--where-file"}) << texts({"one/a.mpg", "one/a.avi"})
            << QStringLiteral("one/a.zip");
        QTest::newRow("listed twice")
            << texts({"--where-file"}) << texts({"one/a.bin", "one/a.bin"})
            << QStringLiteral("one/a.bin.001");
    }
    void collidingOutputsAreRefusedBeforeWriting() {
        QFETCH(QStringList, options);
        QFETCH(QStringList, sources);
        QFETCH(QString, shared);
        const QString folder = freshFolder(path(QStringLiteral("collide")));
        QDir().mkpath(folder + QStringLiteral("/dest"));
        for (const QString& source : sources) {
            writePatternFile(folder + QLatin1Char('/') + source, 3000, 3);
        }
        const QString unrelated = writeFile(folder + QStringLiteral("/one/a.zip"), "mine");
        QStringList before;
        QDirIterator all(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (all.hasNext()) {
            before << all.next();
        }
        const CliResult result =
            runCliProgram(texts({"unpack", "--piece-size", "1"}) + options + sources, folder);
        QCOMPARE(result.status, 1);
        QCOMPARE(result.errorOutput,
                 QStringLiteral("error: Cannot unpack '%1' and '%2' together: both would write "
                                "'%3'. Unpacking aborted!\n")
                     .arg(folder + QLatin1Char('/') + sources.at(0),
                          folder + QLatin1Char('/') + sources.at(1),
                          folder + QLatin1Char('/') + shared));
        QStringList after;
        QDirIterator again(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (again.hasNext()) {
            after << again.next();
        }
        QCOMPARE(after, before);
        QCOMPARE(readFile(unrelated), QByteArray("mine"));
    }

    void anOldArchiveGoesToTheTrash() {
        const QString folder = freshFolder(path(QStringLiteral("oldzip")));
        writePatternFile(folder + QStringLiteral("/a.mpg"), 3000, 4);
        writeFile(folder + QStringLiteral("/a.zip"), "an older archive");
        const CliResult result = runCliProgram(
            texts({"unpack", "--zip", "--piece-size", "1", "--where-file", "a.mpg"}), folder);
        QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
        QCOMPARE(readFile(path(QStringLiteral("data/Trash/files/a.zip"))),
                 QByteArray("an older archive"));
    }

    // Nobody writes into the FIFO: a job that opened it would wait for ever.
    void aFifoSourceIsRefusedAtOnce() {
        const QString folder = freshFolder(path(QStringLiteral("fifo")));
        const QString fifo = folder + QStringLiteral("/pipe.mpg");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        writeFile(folder + QStringLiteral("/a.mpg"), "a");
        QElapsedTimer clock;
        clock.start();
        const CliResult unpack =
            runCliProgram(texts({"unpack", "--where-file", "pipe.mpg"}), folder);
        const CliResult pack = runCliProgram(
            texts({"pack", "--no-mpeg-check", "-o", "out.mpg", "a.mpg", "pipe.mpg"}), folder);
        QVERIFY(clock.elapsed() < 20000);
        QCOMPARE(unpack.status, 1);
        QCOMPARE(unpack.errorOutput, QStringLiteral("error: Cannot unpack '") + fifo +
                                         QStringLiteral("': it is a FIFO, not a file. Unpacking "
                                                        "aborted!\n"));
        QCOMPARE(pack.status, 1);
        QVERIFY(pack.errorOutput.contains(QStringLiteral("it is a FIFO, not a file.")));
    }

    // Names a shell or the command processor would misread still give join scripts that
    // rebuild the source exactly.
    void hostileNamesInJoinScripts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("batchLine");  // "" when no .bat can be written
        QTest::newRow("ampersand and percent")
            << "a&b 100%.bin"
            << "@echo a^&b 100%%.bin-JOIN.bin successfully created.";
        QTest::newRow("looks like an option") << "-rf.mpg"
                                              << "@echo -rf.mpg-JOIN.mpg successfully created.";
        QTest::newRow("line break") << "two\nlines.bin" << QString();
    }
    void hostileNamesInJoinScripts() {
        QFETCH(QString, name);
        QFETCH(QString, batchLine);
        const QString folder = freshFolder(path(QStringLiteral("hostile")));
        const QString source = folder + QLatin1Char('/') + name;
        writePatternFile(source, 5000, 6);
        const CliResult result = runCliProgram(
            texts({"unpack", "--piece-size", "1", "--join-bat", "yes", "--where-file", "--"})
                << name,
            folder);
        QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
        const QString batch = source + QStringLiteral("-JOIN.bat");
        if (batchLine.isEmpty()) {
            QVERIFY(!QFileInfo::exists(batch));
            QVERIFY(result.errorOutput.startsWith(QStringLiteral("warning: '")));
        } else {
            QVERIFY(readFile(batch).contains(batchLine.toUtf8() + "\r\n"));
        }
        const QByteArray original = readFile(source);
        QFile::rename(source, source + QStringLiteral(".orig"));
        QVERIFY(runShell(QStringLiteral("cd '") + folder +
                         QStringLiteral("' && ./*-JOIN.sh >/dev/null")));
        QCOMPARE(readFile(folder + QLatin1Char('/') + QFileInfo(name).fileName() +
                          QStringLiteral("-JOIN.") + name.section(QLatin1Char('.'), -1)),
                 original);
    }

    // A name that is not valid UTF-8 is a name like any other: packed and unpacked exactly.
    void namesThatAreNotUtf8() {
        const QString folder = freshFolder(path(QStringLiteral("latin1")));
        const QString script = QStringLiteral(
            "cd '%1' && head -c 3000 /dev/urandom > $'caf\xe9.bin' && printf B > $'\xff.bin' && "
            "\"$ZARVO_CLI\" pack --no-mpeg-check -o $'out\xe9.bin' $'caf\xe9.bin' $'\xff.bin' && "
            "cat $'caf\xe9.bin' $'\xff.bin' | cmp -s - $'out\xe9.bin' && "
            "\"$ZARVO_CLI\" unpack --piece-size 1 --join-bat yes --where-file $'caf\xe9.bin' && "
            "cat $'caf\xe9.bin.001' $'caf\xe9.bin.002' $'caf\xe9.bin.003' | cmp -s - "
            "$'caf\xe9.bin' && "
            "mv $'caf\xe9.bin' kept && ./$'caf\xe9.bin-JOIN.sh' >/dev/null && "
            "cmp -s kept $'caf\xe9.bin-JOIN.bin'");
        QVERIFY(
            runShell(QStringLiteral("bash -c \"") +
                     QString(script.arg(folder)).replace(QLatin1Char('"'), QStringLiteral("\\\"")) +
                     QLatin1Char('"')));
    }

    // Thousands of characters of working folder: the free-space check still measures.
    void aLongWorkingFolder() {
        const QString folder = freshFolder(path(QStringLiteral("long")));
        QVERIFY(
            runShell(QStringLiteral("cd '%1' && n=$(printf 'd%%.0s' $(seq 200)) && "
                                    "for i in $(seq 25); do mkdir $n && cd $n || exit 1; done && "
                                    "printf abc > a && printf def > b && "
                                    "\"$ZARVO_CLI\" pack --no-mpeg-check -o out a b 2>/dev/null && "
                                    "[ \"$(cat out)\" = abcdef ]")
                         .arg(folder)));
    }
};

QTEST_MAIN(HardeningTest)
#include "test_hardening.moc"
