// The safety rules that hold for every job, tried the way a careless user or an attacker
// would: through zarvo-cli, on real files.
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/job_messages.h"
#include "fileio/file64.h"
#include "support/media_probe.h"
#include "support/test_files.h"

class HardeningTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() { useThrowawayUserFolders(m_dir.path()); }

    // Each place a job writes a file of its own, and a command that writes there.
    static void addWrittenPlaces() {
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

    // A link planted where a job writes is replaced; what it points at stays as it was.
    void plantedLinksAreReplacedNeverFollowed_data() { addWrittenPlaces(); }
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

    // A write-protected file where a job writes is neither replaced nor deleted, root's
    // rights or not: off a terminal the Retry question is cancelled.
    void writeProtectedFilesAreNeverReplaced_data() { addWrittenPlaces(); }
    void writeProtectedFilesAreNeverReplaced() {
        QFETCH(QString, planted);
        QFETCH(QStringList, arguments);
        const QString folder = freshFolder(path(QStringLiteral("protected")));
        writePatternFile(folder + QStringLiteral("/s.bin"), 3000, 1);
        writePatternFile(folder + QStringLiteral("/.h.bin"), 2500, 2);
        const QString kept = writeFile(folder + QLatin1Char('/') + planted, "kept");
        QVERIFY(QFile::setPermissions(kept, QFile::ReadOwner));
        const CliResult result = runCliProgram(arguments, folder);
        QCOMPARE(result.status, 1);
        QVERIFY2(result.errorOutput.contains(QStringLiteral("question: Cannot overwrite '") + kept +
                                             QStringLiteral("'. Disk full/write-protected or "
                                                            "file is in use.\n")),
                 qPrintable(result.errorOutput));
        QCOMPARE(readFile(kept), QByteArray("kept"));
        // The mode bits, not what they mean for whoever runs the test.
        const QFile::Permissions userBits = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
        QCOMPARE(QFile::permissions(kept) & ~userBits, QFile::ReadOwner);
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

    // A name that is not valid UTF-8 is a name like any other: packed and unpacked exactly,
    // in a folder of such a name too, and its checksum file verifies.
    void namesThatAreNotUtf8() {
        const QString folder = freshFolder(path(QStringLiteral("latin1")));
        // bash makes the bytes of $'\xff': names that no UTF-8 decoder accepts.
        const QString script = writeFile(folder + QStringLiteral("/names.sh"), R"(set -e
cd "$1"
mkdir $'dir\xff\xfe'
cd $'dir\xff\xfe'
head -c 3000 /dev/urandom > $'caf\xe9.bin'
printf B > $'\xff.bin'
"$ZARVO_CLI" pack --no-mpeg-check -o $'out\xe9.bin' $'caf\xe9.bin' $'\xff.bin'
cat $'caf\xe9.bin' $'\xff.bin' | cmp -s - $'out\xe9.bin'
"$ZARVO_CLI" unpack --piece-size 1 --join-bat yes --where-file $'caf\xe9.bin'
cat $'caf\xe9.bin.001' $'caf\xe9.bin.002' $'caf\xe9.bin.003' | cmp -s - $'caf\xe9.bin'
mv $'caf\xe9.bin' kept
./$'caf\xe9.bin-JOIN.sh' >/dev/null
cmp -s kept $'caf\xe9.bin-JOIN.bin'
"$ZARVO_CLI" unpack --piece-size 1 --checksum --where-file kept
mv kept.sha256 $'sums\xff.sha256'
"$ZARVO_CLI" verify $'sums\xff.sha256' >/dev/null
)");
        QVERIFY(runShell(QStringLiteral("bash '%1' '%2'").arg(script, folder)));
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

    // A PMT whose pointer field points past its packet is no table: the finder reads
    // nothing beyond the packet, and the pieces are cut by size.
    void aTableCutOffByItsPacket() {
        const QString folder = freshFolder(path(QStringLiteral("pmt")));
        QByteArray pat(188, '\xff');
        pat.replace(0, 17,
                    QByteArray::fromHex("4740001000"
                                        "00b00d0001c10000"
                                        "0001f000"));
        QByteArray null(188, '\xff');
        null.replace(0, 4, QByteArray::fromHex("471fff10"));
        QByteArray pmt(188, '\xff');
        pmt.replace(0, 5, QByteArray::fromHex("47500010b4"));  // pointer field 180
        pmt.replace(185, 3, QByteArray::fromHex("02b017"));
        const QString source = writeFile(folder + QStringLiteral("/cut.ts"), pat + null + pmt);
        const CliResult result = runCliProgram(
            texts({"unpack", "--type", "emh", "--clean-cuts", "--pieces", "2", "--where-file"})
            << source);
        QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
        QVERIFY(result.errorOutput.contains(QStringLiteral("its pieces are cut by size.")));
    }

    // The join script writes only a new file of its own and takes the result's name
    // only when that is free; it checks the pieces against their own lines alone, and
    // sha256sum -c passes on the checksum file beside the pieces wherever the source is.
    void joinScriptsWriteNothingThroughAName() {
        const QString folder = freshFolder(path(QStringLiteral("script")));
        const QString source = writePatternFile(folder + QStringLiteral("/src/clip.bin"), 5000, 8);
        const QString pieces = freshFolder(folder + QStringLiteral("/pieces"));
        const CliResult away = runCliProgram(
            texts({"unpack", "--piece-size", "2", "--join-bat", "yes", "--checksum", "--to"})
            << pieces << source);
        QVERIFY2(away.status == 0, qPrintable(away.errorOutput));
        const CliResult beside = runCliProgram(
            texts({"unpack", "--piece-size", "2", "--checksum", "--where-file"}) << source);
        QVERIFY2(beside.status == 0, qPrintable(beside.errorOutput));
        for (const QString& at : {pieces, folder + QStringLiteral("/src")}) {
            QVERIFY2(
                runShell(QStringLiteral("cd '%1' && sha256sum --quiet -c clip.bin.sha256").arg(at)),
                qPrintable(at));
        }
        writeFile(pieces + QStringLiteral("/clip.bin"), "an unrelated file of that name");
        const QString victim = writeFile(folder + QStringLiteral("/victim"), "precious");
        const QString result = pieces + QStringLiteral("/clip.bin-JOIN.bin");
        QVERIFY(QFile::link(victim, result));
        QProcess script;
        script.start(QStringLiteral("sh"), {pieces + QStringLiteral("/clip.bin-JOIN.sh")});
        QVERIFY(script.waitForFinished());
        QCOMPARE(script.exitCode(), 1);
        QVERIFY(script.readAllStandardOutput().endsWith(
            "'clip.bin-JOIN.bin' already exists: it is left as it is.\n"
            "clip.bin-JOIN.bin NOT successfully created.\n"));
        QCOMPARE(readFile(victim), QByteArray("precious"));
        QFile::remove(result);
        // Run from elsewhere, from a copy of the folder: it finds the pieces beside it.
        QVERIFY(runShell(
            QStringLiteral("cp -r '%1' '%1-moved' && cd / && sh '%1-moved/clip.bin-JOIN.sh' "
                           ">/dev/null")
                .arg(pieces)));
        QCOMPARE(readFile(pieces + QStringLiteral("-moved/clip.bin-JOIN.bin")), readFile(source));
        QCOMPARE(QDir(pieces + QStringLiteral("-moved"))
                     .entryList({QStringLiteral("*XXXXXX*"), QStringLiteral("*-JOIN.??????")},
                                QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // Each source of concatenated checksum files is rebuilt from its own pieces, and
    // every file is read once.
    void verifyRebuildsEachSourceFromItsOwnPieces() {
        const QString folder = freshFolder(path(QStringLiteral("two-sets")));
        for (const char* name : {"a.bin", "b.bin"}) {
            const QString source =
                writePatternFile(folder + QLatin1Char('/') + QLatin1String(name), 7000, name[0]);
            QCOMPARE(runCliProgram(texts({"unpack", "--piece-size", "2", "--checksum", "--type",
                                          "emh", "--where-file"})
                                   << source)
                         .status,
                     0);
        }
        QVERIFY(runShell(QStringLiteral("cd '%1' && cat a.bin.sha256 b.bin.sha256 > all.sha256 && "
                                        "rm a.bin b.bin")
                             .arg(folder)));
        QProcess verify;
        verify.start(cliProgram(),
                     {QStringLiteral("verify"), folder + QStringLiteral("/all.sha256")});
        QVERIFY(verify.waitForFinished());
        const QByteArray said = verify.readAllStandardOutput();
        QVERIFY2(said.contains("a.bin: OK (rebuilt from its pieces)\n") &&
                     said.contains("b.bin: OK (rebuilt from its pieces)\n"),
                 said.constData());
        QCOMPARE(verify.exitCode(), 0);
    }

    // A device, FIFO or impossible name in a checksum file is checked at once, and every
    // line and the totals are printed whatever a name holds.
    void verifyNeverWaitsAndPrintsEveryLine() {
        const QString folder = freshFolder(path(QStringLiteral("devices")));
        QCOMPARE(::mkfifo(QFile::encodeName(folder + QStringLiteral("/pipe")).constData(), 0600),
                 0);
        const QByteArray zeros(64, '0');
        writeFile(folder + QStringLiteral("/odd.sha256"),
                  zeros + "  /dev/zero\n" + zeros + "  pipe\n" + zeros + "  /dev/tty\n" + zeros +
                      "  with" + '\0' + "nul\n# source: " + zeros + "  gone.bin\n");
        QElapsedTimer clock;
        clock.start();
        QProcess verify;
        verify.start(cliProgram(),
                     {QStringLiteral("verify"), folder + QStringLiteral("/odd.sha256")});
        QVERIFY(verify.waitForFinished(20000));
        QVERIFY(clock.elapsed() < 20000);
        QCOMPARE(verify.exitCode(), 1);
        QCOMPARE(verify.readAllStandardOutput(),
                 QByteArray("/dev/zero: FAILED\npipe: FAILED\n/dev/tty: FAILED\n\\with\\0nul: "
                            "MISSING\ngone.bin: MISSING\n0 OK, 3 FAILED, 2 MISSING\n"));
    }

    // A zip that fails (here: the disk is full) fails the job: status 1, the joined file
    // whole, the sources where they were.
    void aFailedZipFailsTheJob() {
        if (::geteuid() != 0) {
            QSKIP("mounting a small file system needs root");
        }
        const QString folder = freshFolder(path(QStringLiteral("fullzip")));
        const QString a = writePatternFile(folder + QStringLiteral("/a.bin"), 60000, 1);
        const QString b = writePatternFile(folder + QStringLiteral("/b.bin"), 60000, 2);
        const QString small = freshFolder(folder + QStringLiteral("/small"));
        if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=160k") != 0) {
            QSKIP("tmpfs cannot be mounted here");
        }
        const CliResult result = runCliProgram(
            texts({"pack", "--no-mpeg-check", "--zip", "--delete-sources", "noprompt", "-o"})
            << small + QStringLiteral("/out.bin") << a << b);
        const QByteArray out = readFile(small + QStringLiteral("/out.bin"));
        const QStringList left = QDir(small).entryList(QDir::Files | QDir::Hidden);
        ::umount(QFile::encodeName(small).constData());
        QCOMPARE(result.status, 1);
        QVERIFY2(result.errorOutput.contains(QStringLiteral("Zipping aborted.")),
                 qPrintable(result.errorOutput));
        QCOMPARE(out, readFile(a) + readFile(b));
        QCOMPARE(left, QStringList{QStringLiteral("out.bin")});
    }

    // Ctrl+C while zipping stops at once; the joined file stays whole, and neither an
    // archive nor a temporary stays. A temporary that a killed run left goes next time.
    void zippingCanBeInterrupted() {
        const QString folder = freshFolder(path(QStringLiteral("zipint")));
        const QString a = writePatternFile(folder + QStringLiteral("/a.bin"), 60000000, 3);
        const QString b = writeFile(folder + QStringLiteral("/b.bin"), "b");
        const QString stale =
            writeFile(folder + QStringLiteral("/.out.zip.zarvo-partial.Ab12Cd"), "x");
        const QString mine =
            writeFile(folder + QStringLiteral("/.out.zip.zarvo-partial.mine"), "m");
        QProcess pack;
        pack.start(cliProgram(),
                   texts({"pack", "--no-mpeg-check", "--zip", "--rate", "ufast", "-o"})
                       << folder + QStringLiteral("/out.bin") << a << b);
        QVERIFY(pack.waitForStarted());
        const QString partial = folder + QStringLiteral("/.out.zip.zarvo-partial");
        // Zipping: the stale temporary is gone and the zip library writes its own.
        QTRY_VERIFY_WITH_TIMEOUT((!QFileInfo::exists(stale) &&
                                  QDir(folder)
                                          .entryList({QStringLiteral(".out.zip.zarvo-partial.*")},
                                                     QDir::Files | QDir::Hidden)
                                          .size() == 2) ||
                                     pack.state() == QProcess::NotRunning,
                                 20000);
        QCOMPARE(pack.state(), QProcess::Running);
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(pack.processId()), SIGINT);
        QVERIFY(pack.waitForFinished(10000));
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(pack.exitCode(), 130);
        QVERIFY(pack.readAllStandardError().endsWith(
            " bytes) is complete; only its zip was not made.\n"));
        QCOMPARE(GetFileLen(folder + QStringLiteral("/out.bin")), quint64(60000001));
        QCOMPARE(
            QDir(folder).entryList(QDir::Files | QDir::Hidden),
            (QStringList{QStringLiteral(".out.zip.zarvo-partial.mine"), QStringLiteral("a.bin"),
                         QStringLiteral("b.bin"), QStringLiteral("out.bin")}));
        QVERIFY(QFileInfo::exists(mine) && !QFileInfo::exists(partial));
    }

    // What an unpack replaces goes to the trash, old pieces beyond the new count too,
    // and the final message counts them.
    void anUnpackTrashesWhatItReplaces() {
        const QString folder = freshFolder(path(QStringLiteral("again")));
        const QString source = writePatternFile(folder + QStringLiteral("/x.bin"), 5000, 9);
        QStringList old;
        for (const char* name : {"x.bin.001", "x.bin.002", "x.bin.004", "x.bin.005",
                                 "x.bin-JOIN.sh", "x.bin.sha256", "x.bin.007"}) {
            old << writeFile(folder + QLatin1Char('/') + QLatin1String(name), name);
        }
        const QString trash = freshFolder(path(QStringLiteral("data/Trash")));
        const CliResult result = runCliProgram(texts({"unpack", "--piece-size", "2", "--checksum",
                                                      "--join-bat", "yes", "--where-file"})
                                               << source);
        QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
        QVERIFY2(result.errorOutput.endsWith(QStringLiteral(
                     "1 file successfully unpacked!  6 files it replaced went to the Trash.\n")),
                 qPrintable(result.errorOutput));
        // Three new pieces: 004 and 005 are old ones beyond them, 007 lies past a gap.
        QCOMPARE(QDir(trash + QStringLiteral("/files")).entryList(QDir::Files),
                 (QStringList{QStringLiteral("x.bin-JOIN.sh"), QStringLiteral("x.bin.001"),
                              QStringLiteral("x.bin.002"), QStringLiteral("x.bin.004"),
                              QStringLiteral("x.bin.005"), QStringLiteral("x.bin.sha256")}));
        QCOMPARE(readFile(old.at(6)), QByteArray("x.bin.007"));
        const CliResult shorter =
            runCliProgram(texts({"unpack", "--piece-size", "4", "--where-file"}) << source);
        QVERIFY2(shorter.errorOutput.endsWith(
                     QStringLiteral("3 files it replaced went to the Trash.\n")),
                 qPrintable(shorter.errorOutput));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/x.bin.003")));
    }

    // More fragmented parts than the usual limit of open files join packet by packet:
    // the parts are opened one at a time.
    void manyFragmentedPartsJoinUnderALowFileLimit() {
        ZARVO_SLOW_CASE();
        const QString folder = freshFolder(path(QStringLiteral("many")));
        const QString first = folder + QStringLiteral("/p0000.mp4");
        QVERIFY(ffmpeg(QStringLiteral("-f lavfi -i testsrc=size=64x48:rate=10 -t 0.5 -c:v libx264 "
                                      "-pix_fmt yuv420p -g 5 -movflags "
                                      "+frag_keyframe+empty_moov+default_base_moof '%1'")
                           .arg(first)));
        QStringList parts{first};
        for (int i = 1; i < 1100; ++i) {
            parts << folder + QStringLiteral("/p%1.mp4").arg(i, 4, 10, QLatin1Char('0'));
            QVERIFY(QFile::copy(first, parts.last()));
        }
        const QString joined = folder + QStringLiteral("/joined.mp4");
        QProcess pack;
        pack.setChildProcessModifier([] {
            rlimit limit{};
            ::getrlimit(RLIMIT_NOFILE, &limit);
            limit.rlim_cur = 1024;
            ::setrlimit(RLIMIT_NOFILE, &limit);
        });
        pack.start(cliProgram(), texts({"pack", "--seamless", "-o"}) << joined << parts);
        pack.closeWriteChannel();
        QVERIFY(pack.waitForFinished(600000));
        const QString said = QString::fromLocal8Bit(pack.readAllStandardError());
        QVERIFY2(pack.exitCode() == 0, qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("are joined packet by packet")), qPrintable(said));
        QVERIFY(qAbs(probedDuration(joined, QStringLiteral("v:0")) - 550.0) <= 0.2);
    }

    // The joined file reaches the disk before its sources go to the trash.
    void sourcesGoOnlyOnceTheResultIsOnDisk() {
        const QString folder = freshFolder(path(QStringLiteral("durable")));
        writePatternFile(folder + QStringLiteral("/a.bin"), 3000, 4);
        writePatternFile(folder + QStringLiteral("/b.bin"), 3000, 5);
        QProcess traced;
        traced.setWorkingDirectory(folder);
        // The leak checker of a sanitizer build refuses to run under a tracer.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(
            QStringLiteral("ASAN_OPTIONS"),
            environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        traced.setProcessEnvironment(environment);
        traced.start(QStringLiteral("strace"),
                     QStringList{QStringLiteral("-f"), QStringLiteral("-e"),
                                 QStringLiteral("trace=fdatasync,fsync,rename,renameat,renameat2"),
                                 cliProgram()} +
                         texts({"pack", "--no-mpeg-check", "--delete-sources", "noprompt", "-o",
                                "out.bin", "a.bin", "b.bin"}));
        QVERIFY(traced.waitForFinished(30000));
        QCOMPARE(traced.exitCode(), 0);
        const QString calls = QString::fromLocal8Bit(traced.readAllStandardError());
        const qsizetype data = calls.indexOf(QStringLiteral("fdatasync("));
        const qsizetype folderSync = calls.indexOf(QStringLiteral("fsync("));
        const qsizetype trashed = calls.indexOf(QStringLiteral("a.bin\", "));
        QVERIFY2(data >= 0 && folderSync > data && trashed > folderSync, qPrintable(calls));
    }
};

QTEST_MAIN(HardeningTest)
#include "test_hardening.moc"
