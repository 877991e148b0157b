#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "pack/join_engine.h"
#include "support/checked_files.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"

namespace {

struct Run {
    RecorderJobHost host;
    CheckedFiles files{&host};
    CancelRequest cancel;
    JoinEngine engine{files, host, cancel};

    JobOutcome pack(const JoinJob& job) {
        const JobOutcome outcome = engine.validate(job);
        return outcome == JobOutcome::Success ? engine.copy(job) : outcome;
    }
};

JoinJob jobOf(const QStringList& inputs, const QString& output,
              const QString& rate = QStringLiteral("normal")) {
    return {inputs, output, TransferRate::fromWord(rate)};
}

// The same case without and with checksums written in the copying pass.
void checksumRows() {
    QTest::addColumn<bool>("checksum");
    QTest::newRow("plain") << false;
    QTest::newRow("checksum") << true;
}

}  // namespace

class JoinEngineTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void joinsTwoSmallFilesAtEveryRate_data() {
        QTest::addColumn<QString>("rate");
        for (const char* rate : {"slow", "normal", "fast", "ufast"}) {
            QTest::newRow(rate) << QString::fromLatin1(rate);
        }
    }
    void joinsTwoSmallFilesAtEveryRate() {
        QFETCH(QString, rate);
        const QString a = writeFile(path(QStringLiteral("a")), "abc");
        const QString b = writeFile(path(QStringLiteral("b")), "defgh");
        Run run;
        QCOMPARE(run.pack(jobOf({a, b}, path(QStringLiteral("out")), rate)), JobOutcome::Success);
        QCOMPARE(readFile(path(QStringLiteral("out"))), QByteArray("abcdefgh"));
        QCOMPARE(run.engine.totalSize(), quint64(8));
        QCOMPARE(run.engine.copiedSize(), quint64(8));
        QVERIFY(run.host.messages.isEmpty());
    }

    void chunksFollowTheRate_data() {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<quint64>("size");
        QTest::addColumn<int>("chunks");
        QTest::addColumn<quint64>("remainder");
        QTest::newRow("normal") << "normal" << quint64(12345678) << 123 << quint64(45678);
        QTest::newRow("exact multiple") << "normal" << quint64(200000) << 2 << quint64(0);
        QTest::newRow("slow") << "slow" << quint64(25001) << 2 << quint64(5001);
    }
    void chunksFollowTheRate() {
        QFETCH(QString, rate);
        QFETCH(quint64, size);
        QFETCH(int, chunks);
        QFETCH(quint64, remainder);
        const QString source = writePatternFile(path(QStringLiteral("src")), size, 7);
        const QString small = writeFile(path(QStringLiteral("one")), "1");
        Run run;
        const JoinJob job = jobOf({source, small}, path(QStringLiteral("joined")), rate);
        QCOMPARE(run.pack(job), JobOutcome::Success);

        const TransferRate chosen = TransferRate::fromWord(rate);
        const int calls = chunks + (remainder != 0 ? 1 : 0);
        QCOMPARE(run.host.reports.size(), calls + 1);  // + the 1-byte file
        for (int i = 0; i < chunks; ++i) {
            QCOMPARE(run.host.reports.at(i).done, quint64(i + 1) * chosen.readAhead);
        }
        if (remainder != 0) {
            // The remainder is counted after its progress call.
            QCOMPARE(run.host.reports.at(chunks).done, size - remainder);
        }
        QCOMPARE(run.engine.copiedSize(), size + 1);
        QCOMPARE(readFile(path(QStringLiteral("joined"))), readFile(source) + "1");
    }

    // At the fast rates the steps stay on 4096-byte blocks (whole MiB at "Ultra Fast"),
    // so that a copy-on-write file system can share them; a file that starts off a
    // block boundary of the output goes as its chunks come.
    void fastRatesStepInWholeBlocks_data() {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<quint64>("size");
        QTest::addColumn<QList<quint64>>("reported");
        QTest::newRow("ufast") << "ufast" << quint64(12345678)
                               << QList<quint64>{4194304, 8388608, 12345678, 12345679};
        QTest::newRow("fast") << "fast" << quint64(3000000)
                              << QList<quint64>{999424, 1998848, 2998272, 3000000, 3000001};
        QTest::newRow("fast, under a chunk") << "fast" << quint64(999) << QList<quint64>{999, 1000};
    }
    void fastRatesStepInWholeBlocks() {
        QFETCH(QString, rate);
        QFETCH(quint64, size);
        QFETCH(QList<quint64>, reported);
        struct stat folder = {};
        if (::stat(QFile::encodeName(m_dir.path()).constData(), &folder) != 0 ||
            folder.st_blksize != 4096) {
            QSKIP("the rows assume 4096-byte blocks");
        }
        // Where blocks are shared, the steps grow past the chunk (ext4 and tmpfs copy).
        struct statfs system = {};
        if (::statfs(QFile::encodeName(m_dir.path()).constData(), &system) != 0 ||
            (system.f_type != 0xEF53 && system.f_type != 0x01021994)) {
            QSKIP("the rows assume a file system that copies (ext4 or tmpfs)");
        }
        const QString source = writePatternFile(path(QStringLiteral("src")), size, 7);
        const QString small = writeFile(path(QStringLiteral("one")), "1");
        Run run;
        QCOMPARE(run.pack(jobOf({source, small}, path(QStringLiteral("joined")), rate)),
                 JobOutcome::Success);
        QList<quint64> done;
        for (const ProgressReport& report : std::as_const(run.host.reports)) {
            done << report.done;
        }
        QCOMPARE(done, reported);
        QCOMPARE(readFile(path(QStringLiteral("joined"))), readFile(source) + "1");
    }

    void validationRefusals_data() {
        QTest::addColumn<QString>("firstInput");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("text");
        const QString a = path(QStringLiteral("v/a.mpg"));
        QTest::newRow("empty input")
            << path(QStringLiteral("v/empty.mpg")) << path(QStringLiteral("v/out"))
            << int(MessageIcon::Error)
            << QStringLiteral("Cannot pack '") + path(QStringLiteral("v/empty.mpg")) +
                   QStringLiteral("' which is a 0 byte file. Packing aborted!");
        // Each kind of source that cannot be read gets its own reason.
        for (const auto& [name, reason] :
             {std::pair{"gone.mpg", "it was not found"}, std::pair{"folder.mpg", "it is a folder"},
              std::pair{"fifo.mpg", "it is a FIFO, not a file"},
              std::pair{"/dev/null", "it is a device, not a file"}}) {
            const QString source = name[0] == '/'
                                       ? QString::fromLatin1(name)
                                       : path(QStringLiteral("v/") + QLatin1String(name));
            QTest::newRow(reason) << source << path(QStringLiteral("v/out"))
                                  << int(MessageIcon::Error)
                                  << QStringLiteral("Cannot pack '") + source +
                                         QStringLiteral("': ") + QLatin1String(reason) +
                                         QStringLiteral(". Packing aborted!");
        }
        QTest::newRow("same text")
            << a << a << int(MessageIcon::Warning) << "Cannot pack Save As file!";
        QTest::newRow("dot spelling") << a << path(QStringLiteral("v/./a.mpg"))
                                      << int(MessageIcon::Warning) << "Cannot pack Save As file!";
        QTest::newRow("double slash") << a << path(QStringLiteral("v//a.mpg"))
                                      << int(MessageIcon::Warning) << "Cannot pack Save As file!";
        QTest::newRow("symbolic link") << a << path(QStringLiteral("v/link.mpg"))
                                       << int(MessageIcon::Warning) << "Cannot pack Save As file!";
        QTest::newRow("hard link") << a << path(QStringLiteral("v/hard.mpg"))
                                   << int(MessageIcon::Warning) << "Cannot pack Save As file!";
    }
    void validationRefusals() {
        QFETCH(QString, firstInput);
        QFETCH(QString, output);
        QFETCH(int, icon);
        QFETCH(QString, text);
        const QString a = writeFile(path(QStringLiteral("v/a.mpg")), "aaaa");
        const QString b = writeFile(path(QStringLiteral("v/b.mpg")), "bbbb");
        writeFile(path(QStringLiteral("v/empty.mpg")), QByteArray());
        QFile::remove(path(QStringLiteral("v/link.mpg")));
        QFile::remove(path(QStringLiteral("v/hard.mpg")));
        QFile::link(a, path(QStringLiteral("v/link.mpg")));
        QCOMPARE(::link(QFile::encodeName(a).constData(),
                        QFile::encodeName(path(QStringLiteral("v/hard.mpg"))).constData()),
                 0);
        writeFile(path(QStringLiteral("v/out")), "old output");
        QDir().mkpath(path(QStringLiteral("v/folder.mpg")));
        ::mkfifo(QFile::encodeName(path(QStringLiteral("v/fifo.mpg"))).constData(), 0600);

        Run run;
        QCOMPARE(run.pack(jobOf({b, firstInput}, output)), JobOutcome::Stopped);
        QCOMPARE(run.host.texts(), QStringList{text});
        QCOMPARE(int(run.host.messages.first().icon), icon);
        QCOMPARE(readFile(a), QByteArray("aaaa"));
        QCOMPARE(readFile(path(QStringLiteral("v/out"))), QByteArray("old output"));
    }

    void outputDifferingOnlyInCaseIsAnotherFile() {
        const QString a = writeFile(path(QStringLiteral("c/a.mpg")), "aa");
        const QString b = writeFile(path(QStringLiteral("c/b.mpg")), "bb");
        Run run;
        QCOMPARE(run.pack(jobOf({a, b}, path(QStringLiteral("c/A.mpg")))), JobOutcome::Success);
        QCOMPARE(readFile(path(QStringLiteral("c/A.mpg"))), QByteArray("aabb"));
        QCOMPARE(readFile(a), QByteArray("aa"));
    }

    void inputCheckCanStopQuietly() {
        const QString a = writeFile(path(QStringLiteral("k/a")), "aa");
        const QString b = writeFile(path(QStringLiteral("k/b")), "bb");
        Run run;
        QStringList checked;
        const JoinJob job = jobOf({a, b}, path(QStringLiteral("k/out")));
        const auto check = [&](const QString& input) {
            checked << input;
            return checked.size() < 2;
        };
        QCOMPARE(run.engine.validate(job, check), JobOutcome::Stopped);
        QCOMPARE(checked, (QStringList{a, b}));
        QVERIFY(run.host.messages.isEmpty());
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("k/out"))));
    }

    void existingOutputIsReplaced() {
        const QString a = writeFile(path(QStringLiteral("r/a")), "aa");
        const QString b = writeFile(path(QStringLiteral("r/b")), "bb");
        writeFile(path(QStringLiteral("r/out")), "a much longer old output");
        writeFile(path(QStringLiteral("r/.hidden")), "a much longer hidden output");
        Run run;
        QCOMPARE(run.pack(jobOf({a, b}, path(QStringLiteral("r/out")))), JobOutcome::Success);
        QCOMPARE(readFile(path(QStringLiteral("r/out"))), QByteArray("aabb"));
        // A hidden output is not deleted but must not keep its old tail.
        QCOMPARE(run.pack(jobOf({a, b}, path(QStringLiteral("r/.hidden")))), JobOutcome::Success);
        QCOMPARE(readFile(path(QStringLiteral("r/.hidden"))), QByteArray("aabb"));
    }

    void unwritableOutputAsksRetryOrCancel() {
        const QString a = writeFile(path(QStringLiteral("w/a")), "aa");
        const QString b = writeFile(path(QStringLiteral("w/b")), "bb");
        const QString out = writeFile(path(QStringLiteral("w/out")), "protected");
        if (!setImmutable(out, true)) {
            QSKIP("chattr +i is not available here");
        }
        Run run;
        run.host.answer(MessageAnswer::Retry);
        run.host.answer(MessageAnswer::Cancel);
        const JobOutcome outcome = run.pack(jobOf({a, b}, out));
        setImmutable(out, false);
        QCOMPARE(outcome, JobOutcome::Failed);
        const QString question = QStringLiteral("Cannot overwrite '") + out +
                                 QStringLiteral("'. Disk full/write-protected or file is in use.");
        QCOMPARE(run.host.texts(),
                 (QStringList{question, question, QStringLiteral("Packing aborted by user.")}));
        QCOMPARE(run.host.messages.at(0).buttons, MessageButtons::RetryCancel);
        QCOMPARE(run.host.messages.at(2).icon, MessageIcon::Information);
        QCOMPARE(readFile(out), QByteArray("protected"));
    }

    void retryOfAFailedOpenSucceeds() {
        const QString a = writeFile(path(QStringLiteral("o/a")), "aa");
        const QString b = writeFile(path(QStringLiteral("o/b")), "bb");
        const QString out = path(QStringLiteral("o/out"));
        Run run;
        run.files.failCall(FailingCalls::Op::Open, 0, EACCES);
        run.host.answer(MessageAnswer::Retry);
        QCOMPARE(run.pack(jobOf({a, b}, out)), JobOutcome::Success);
        QCOMPARE(run.host.texts(),
                 (QStringList{QStringLiteral("Error opening '") + out +
                                  QStringLiteral("'! Permission denied."),
                              QStringLiteral("Cannot overwrite '") + out +
                                  QStringLiteral("'. Disk full/write-protected or file is in "
                                                 "use.")}));
        QCOMPARE(readFile(out), QByteArray("aabb"));
    }

    // Clearing or removing an old output can fail too: the job ends with the reason, or
    // asks, and the old bytes stay.
    void failingOutputCallsEndTheJob_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<QString>("name");  // a hidden old output is emptied, not removed
        QTest::addColumn<QString>("text");
        QTest::newRow("truncate") << int(FailingCalls::Op::Truncate) << QStringLiteral(".out")
                                  << unexpectedErrorText(EIO, QStringLiteral("Input/output error"));
        QTest::newRow("unlink") << int(FailingCalls::Op::Unlink) << QStringLiteral("out")
                                << QStringLiteral("Packing aborted by user.");
    }
    void failingOutputCallsEndTheJob() {
        QFETCH(int, op);
        QFETCH(QString, name);
        QFETCH(QString, text);
        const QString a = writeFile(path(QStringLiteral("c/a")), "aa");
        const QString b = writeFile(path(QStringLiteral("c/b")), "bb");
        const QString out = writeFile(path(QStringLiteral("c/")) + name, "old");
        Run run;
        run.files.failCall(static_cast<FailingCalls::Op>(op), 0, EIO);
        run.host.answer(MessageAnswer::Cancel);
        QCOMPARE(run.pack(jobOf({a, b}, out)), JobOutcome::Failed);
        QCOMPARE(run.host.texts().last(), text);
        QCOMPARE(readFile(out), QByteArray("old"));
    }

    void tooManyFilesHasItsAdvice() {
        const QString a = writeFile(path(QStringLiteral("t/a")), "aa");
        const QString b = writeFile(path(QStringLiteral("t/b")), "bb");
        Run run;
        run.files.failCall(FailingCalls::Op::Open, 1,
                           EMFILE);  // the output opens, input a does not
        QCOMPARE(run.pack(jobOf({a, b}, path(QStringLiteral("t/out")))), JobOutcome::Failed);
        QCOMPARE(run.host.texts().last(),
                 QStringLiteral("Zarvo cannot pack '") + a +
                     QStringLiteral("' due to excess number of file handling. Possible solution "
                                    "is to move the file elsewhere other than the root "
                                    "directory."));
    }

    void missingOutputFoldersAreCreated() {
        const QString a = writeFile(path(QStringLiteral("m/a")), "aa");
        const QString b = writeFile(path(QStringLiteral("m/b")), "bb");
        Run run;
        QCOMPARE(run.pack(jobOf({a, b}, path(QStringLiteral("m/x/y/out")))), JobOutcome::Success);
        QCOMPARE(readFile(path(QStringLiteral("m/x/y/out"))), QByteArray("aabb"));

        Run blocked;  // a file stands where a folder should be
        QCOMPARE(blocked.pack(jobOf({a, b}, a + QStringLiteral("/sub/out"))), JobOutcome::Failed);
        QCOMPARE(blocked.host.texts(),
                 QStringList{QStringLiteral("Cannot create the folder '") + a +
                             QStringLiteral("': Not a directory. Packing aborted!")});
    }

    void inputVanishingBeforeItsTurnIsNotFound_data() { checksumRows(); }
    // A job that ends while its digests are still summing writes no checksum file.
    void inputVanishingBeforeItsTurnIsNotFound() {
        QFETCH(bool, checksum);
        const QString a = writePatternFile(path(QStringLiteral("n/a")), 5000000, 5);
        const QString b = writeFile(path(QStringLiteral("n/b")), "bb");
        const QString out = path(QStringLiteral("n/out"));
        Run run;
        JoinJob job = jobOf({a, b}, out, QStringLiteral("ufast"));
        job.checksum = checksum;
        QCOMPARE(run.engine.validate(job), JobOutcome::Success);
        QFile::remove(b);
        QCOMPARE(run.engine.copy(job), JobOutcome::Failed);
        QCOMPARE(run.host.texts(),
                 QStringList{QLatin1Char('\'') + b +
                             QStringLiteral("' was not found! Packing aborted!")});
        QVERIFY(!QFileInfo::exists(b));  // never created by the attempt
        QCOMPARE(readFile(out), readFile(a));
        QVERIFY(!QFileInfo::exists(out + QStringLiteral(".sha256")));
    }

    void inputShrinkingDuringTheJobIsNoSuccess() {
        const QString a = writePatternFile(path(QStringLiteral("s/a")), 300000, 1);
        const QString b = writeFile(path(QStringLiteral("s/b")), "bb");
        Run run;
        const JoinJob job = jobOf({a, b}, path(QStringLiteral("s/out")));
        QCOMPARE(run.engine.validate(job), JobOutcome::Success);
        QFile(a).resize(150000);
        QCOMPARE(run.engine.copy(job), JobOutcome::Failed);
        QCOMPARE(run.host.texts(), QStringList{QLatin1Char('\'') + a +
                                               QStringLiteral("' changed while it was being "
                                                              "packed. Packing aborted!")});
    }

    void failedReadWritesNoInventedBytes() {
        const QString a = writePatternFile(path(QStringLiteral("f/a")), 350000, 2);
        const QString b = writeFile(path(QStringLiteral("f/b")), "bb");
        Run run;
        run.files.failCall(FailingCalls::Op::Read, 2, EIO);
        QCOMPARE(run.pack(jobOf({a, b}, path(QStringLiteral("f/out")))), JobOutcome::Failed);
        QCOMPARE(run.host.texts(),
                 QStringList{QStringLiteral("Error reading '") + a +
                             QStringLiteral("': Input/output error. Packing aborted!")});
        QCOMPARE(readFile(path(QStringLiteral("f/out"))), readFile(a).left(200000));
    }

    void cancelLeavesExactPartialOutput_data() { checksumRows(); }
    void cancelLeavesExactPartialOutput() {
        QFETCH(bool, checksum);
        const QString a = writePatternFile(path(QStringLiteral("x/a")), 1000000, 3);
        const QString b = writePatternFile(path(QStringLiteral("x/b")), 55555, 4);
        const QString out = path(QStringLiteral("x/out"));
        Run run;
        run.host.onProgress(3, [&] { run.cancel.request(); });
        JoinJob job = jobOf({a, b}, out, QStringLiteral("slow"));
        job.checksum = checksum;
        QCOMPARE(run.pack(job), JobOutcome::Cancelled);
        QVERIFY(run.host.messages.isEmpty());  // the cancel command speaks, not the engine
        QCOMPARE(run.host.reports.size(), 3);
        QCOMPARE(readFile(out), readFile(a).left(30000));
        QVERIFY(!QFileInfo::exists(out + QStringLiteral(".sha256")));
    }

    void cancelAtTheVeryLastChunkIsNoSuccess() {
        const QString a = writeFile(path(QStringLiteral("y/a")), "aa");
        const QString b = writeFile(path(QStringLiteral("y/b")), "bb");
        Run run;
        run.host.onProgress(2, [&] { run.cancel.request(); });
        QCOMPARE(run.pack(jobOf({a, b}, path(QStringLiteral("y/out")))), JobOutcome::Cancelled);
    }

    void fullDiskEndsWithAnError() {
        const QString mountPoint = path(QStringLiteral("tiny"));
        QDir().mkpath(mountPoint);
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=256k") !=
            0) {
            QSKIP("cannot mount a small tmpfs here (needs root)");
        }
        const QString a = writePatternFile(path(QStringLiteral("d/a")), 400000, 5);
        const QString b = writeFile(path(QStringLiteral("d/b")), "bb");
        const QString out = mountPoint + QStringLiteral("/out");
        Run run;
        const JobOutcome outcome = run.pack(jobOf({a, b}, out));
        const QByteArray written = readFile(out);
        ::umount(QFile::encodeName(mountPoint).constData());
        QCOMPARE(outcome, JobOutcome::Failed);
        QCOMPARE(run.host.texts(),
                 QStringList{QStringLiteral("Error writing '") + out +
                             QStringLiteral("': No space left on device. Packing aborted!")});
        QVERIFY(written.size() < 400000);
        QCOMPARE(written, readFile(a).left(written.size()));
    }

    void joinsBeyondFourGiB() {
        ZARVO_SLOW_CASE();
        const QString big = path(QStringLiteral("g/big"));
        QDir().mkpath(path(QStringLiteral("g")));
        const quint64 size = 4294967296ULL + 12345;
        if (!writeSparseFile(big, size)) {
            QSKIP("the file system refuses a sparse file over 4 GiB");
        }
        const QString small = writeFile(path(QStringLiteral("g/small")), "end");
        const QString out = path(QStringLiteral("g/out"));
        Run run;
        QCOMPARE(run.pack(jobOf({big, small}, out, QStringLiteral("ufast"))), JobOutcome::Success);
        QCOMPARE(run.engine.totalSize(), size + 3);
        QCOMPARE(GetFileLen(out), size + 3);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(4), QByteArray("head"));
        QVERIFY(file.seek(static_cast<qint64>(size) - 4));
        QCOMPARE(file.read(7), QByteArray("tailend"));
        file.close();
        QFile::remove(out);
        QFile::remove(big);
    }
};

QTEST_GUILESS_MAIN(JoinEngineTest)
#include "test_join_engine.moc"
