// MPEG-4 files made to hurt: tables that claim millions of samples over a few bytes,
// timescales at their limits, pictures made of thousands of tiny units. Each is made
// in memory; the jobs must refuse, or finish with bounded work, and never crash.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <csignal>

#include "fileio/file64.h"
#include "formats/mp4/mp4_join.h"
#include "support/mp4_builder.h"
#include "support/test_files.h"

namespace {

std::optional<Mp4Movie> movieOf(const QString& path) {
    File64 files;
    const File64::OpenResult opened = files.OpenFile(path, File64::OpenMode::ReadOnly);
    QString problem;
    std::optional<Mp4Movie> movie =
        opened.ok() ? readMovie(files, opened.handle, GetFileLen(path), &problem) : std::nullopt;
    files.CloseFile(opened.handle);
    return movie;
}

// A join's head parsed back: its ftyp, then its moov.
std::optional<Mp4Movie> headMovie(const QByteArray& head) {
    ByteReader reader(head);
    const quint32 ftypSize = reader.u32();
    QString problem;
    return parseMovie(head.left(ftypSize),
                      head.mid(ftypSize, static_cast<qsizetype>(
                                             qFromBigEndian<quint32>(head.constData() + ftypSize))),
                      &problem);
}

}  // namespace

class Mp4HostileTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString write(const QString& name, const QByteArray& bytes) {
        return writeFile(m_dir.filePath(name), bytes);
    }

private Q_SLOTS:
    void initTestCase() { useThrowawayUserFolders(m_dir.path()); }

    // Products of a timescale and a 64-bit time are taken wide, then kept in bounds.
    void rescaleAtTheLimits_data() {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<quint32>("from");
        QTest::addColumn<quint32>("to");
        QTest::addColumn<qint64>("rescaled");
        QTest::addColumn<bool>("exact");
        constexpr quint32 kTop = 0xFFFFFFFF;
        QTest::newRow("top to 3") << qint64{kTop} << kTop << 3u << qint64{3} << true;
        QTest::newRow("3 to top, past the bound")
            << qint64{kTop} << 3u << kTop << kMaxTicks << true;
        QTest::newRow("near 2^63 from 1")
            << qint64{0x7FFFFFFFFFFFFFFF} << 1u << kTop << kMaxTicks << true;
        QTest::newRow("near -2^63 from 1")
            << qint64{-0x7FFFFFFFFFFFFFFF} << 1u << kTop << -kMaxTicks << true;
        QTest::newRow("a third rounds") << qint64{1} << 3u << 2u << qint64{1} << false;
        QTest::newRow("half rounds away") << qint64{-1} << 2u << 1u << qint64{-1} << false;
        QTest::newRow("from 0") << qint64{5} << 0u << 1u << qint64{0} << false;
    }
    void rescaleAtTheLimits() {
        QFETCH(qint64, value);
        QFETCH(quint32, from);
        QFETCH(quint32, to);
        QFETCH(qint64, rescaled);
        QFETCH(bool, exact);
        QCOMPARE(rescaleTicks(value, from, to), rescaled);
        QCOMPARE(rescalesExactly(value, from, to), exact);
        QCOMPARE(addTicks({kMaxTicks, kMaxTicks}), kMaxTicks);
        QCOMPARE(addTicks({-kMaxTicks, -kMaxTicks}), -kMaxTicks);
    }

    // A part whose timescale is the largest there is joins a part of timescale 3.
    void timescalesAtTheirLimitsJoin() {
        TrackSpec first;
        first.timescale = 3;
        first.sampleDuration = 3;
        TrackSpec second = first;
        second.timescale = 0xFFFFFFFF;
        second.sampleDuration = 0xFFFFFFFF;
        const QByteArray data(1, 'x');
        const std::optional<Mp4Movie> a =
            movieOf(write(QStringLiteral("t3.mp4"), mp4File({first}, data)));
        const std::optional<Mp4Movie> b =
            movieOf(write(QStringLiteral("tmax.mp4"), mp4File({second}, data)));
        QVERIFY(a && b);
        QString whyNot;
        const std::optional<Mp4JoinPlan> plan =
            planMp4Join({*a, *b},
                        {GetFileLen(m_dir.filePath(QStringLiteral("t3.mp4"))),
                         GetFileLen(m_dir.filePath(QStringLiteral("tmax.mp4")))},
                        &whyNot);
        QVERIFY2(plan, qPrintable(whyNot));
        const std::optional<Mp4Movie> joined = headMovie(plan->head);
        QVERIFY(joined);
        QCOMPARE(joined->tracks.front().tables.sampleCount, quint64{2});
        QCOMPARE(joined->tracks.front().mediaDuration, quint64{6});
        // The other way round a second's 0xFFFFFFFF ticks of 3 no duration can hold.
        QVERIFY(!planMp4Join({*b, *a}, {1, 1}, &whyNot));
    }

    // Tables that claim 2^26 or 2^27 one-byte samples, all over the same 4 KB.
    void claimedSamplesCostNoMemory() {
        const QString path =
            write(QStringLiteral("claim26.mp4"), claimedOneByteSamples(quint64{1} << 26));
        const std::optional<Mp4Movie> part = movieOf(path);
        QVERIFY(part);
        QString whyNot;
        const std::optional<Mp4JoinPlan> plan =
            planMp4Join({*part, *part}, {GetFileLen(path), GetFileLen(path)}, &whyNot);
        QVERIFY2(plan, qPrintable(whyNot));
        const std::optional<Mp4Movie> joined = headMovie(plan->head);
        QVERIFY(joined);
        const SampleTables& tables = joined->tracks.front().tables;
        QCOMPARE(tables.sampleCount, quint64{1} << 27);
        QCOMPARE(tables.constantSize, 1u);  // one stsz size, no list
        QVERIFY(tables.allSync);            // no stss
        QVERIFY(tables.dependencies.isEmpty());
    }

    void tooManySamplesAreRefusedBeforeWriting() {
        const QString part =
            write(QStringLiteral("claim27.mp4"), claimedOneByteSamples(quint64{1} << 27));
        const QString output = m_dir.filePath(QStringLiteral("claims.mp4"));
        const CliResult result = runCliProgram(
            {QStringLiteral("pack"), QStringLiteral("--seamless"),
             QStringLiteral("--no-mpeg-check"), QStringLiteral("-o"), output, part, part});
        QCOMPARE(result.status, 1);
        QCOMPARE(
            result.errorOutput,
            QStringLiteral("error: The MPEG-4 parts cannot be joined as one movie: its track 1 "
                           "would list 268,435,456 samples, more than the 134,217,728 an "
                           "MPEG-4 file may list. Packing aborted!\n"));
        QVERIFY(!QFile::exists(output));
    }

    // 600 key frames over the same 6 MB of parameter-set units: the look for each
    // picture is bounded, and the pieces come out whole.
    void endlessUnitsAreLookedAtBounded() {
        const QString folder = freshFolder(m_dir.filePath(QStringLiteral("units")));
        const qsizetype bytes = 6 * 1024 * 1024;
        const QString source =
            writeFile(folder + QStringLiteral("/units.mp4"),
                      mp4File({hevcKeyFrames(600, bytes)}, hevcParameterSetUnits(bytes)));
        const CliResult result = runCliProgram(
            texts({"unpack", "--type", "emh", "--pieces", "3", "--join-bat", "yes", "units.mp4"}),
            folder);
        QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
        QVERIFY(QFile::exists(folder + QStringLiteral("/units.mp4.003.mp4")));
        QVERIFY(runShell(QStringLiteral("cd '%1' && ./units.mp4-JOIN.sh >/dev/null").arg(folder)));
        QCOMPARE(readFile(folder + QStringLiteral("/units.mp4-JOIN.mp4")), readFile(source));
    }

    // Two million pictures to look at: Ctrl+C stops the look, and nothing is written.
    void aLongLookIsCancelled() {
        const QString folder = freshFolder(m_dir.filePath(QStringLiteral("cancel")));
        const QString source =
            writeFile(folder + QStringLiteral("/long.mp4"),
                      mp4File({hevcKeyFrames(2'000'000, 60)}, hevcParameterSetUnits(60)));
        QProcess process;
        process.setWorkingDirectory(folder);
        process.start(cliProgram(),
                      texts({"unpack", "--type", "emh", "--pieces", "2", "long.mp4"}));
        QVERIFY(process.waitForStarted());
        // Once the source is open the program's handler is in place and the look is near.
        const QString fds = QStringLiteral("/proc/%1/fd").arg(process.processId());
        QVERIFY(waitUntil(
            [&] {
                for (const QFileInfo& fd :
                     QDir(fds).entryInfoList(QDir::AllEntries | QDir::System)) {
                    if (fd.symLinkTarget() == source) {
                        return true;
                    }
                }
                return process.state() != QProcess::Running;
            },
            30000));
        QThread::msleep(200);
        QVERIFY2(process.state() == QProcess::Running, "the look ended before it was cancelled");
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 130);
        QVERIFY(process.readAllStandardError().contains("Unpacking aborted by user"));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/long.mp4.001.mp4")));
    }

    // A day at 60 frames a second with its sound: 9,234,000 samples split into pieces
    // that list each sample once.
    void aDaysRecordingSplits() {
        ZARVO_SLOW_CASE();
        const QString folder = freshFolder(m_dir.filePath(QStringLiteral("day")));
        writeFile(folder + QStringLiteral("/day.mp4"), dayAtSixtyFrames());
        const CliResult result =
            runCliProgram(texts({"unpack", "--type", "emh", "--pieces", "4", "day.mp4"}), folder);
        QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
        quint64 listed = 0;
        for (int n = 1; n <= 4; ++n) {
            const std::optional<Mp4Movie> piece =
                movieOf(folder + QStringLiteral("/day.mp4.00%1.mp4").arg(n));
            QVERIFY(piece);
            for (const Mp4Track& track : piece->tracks) {
                listed += track.tables.sampleCount;
            }
        }
        QCOMPARE(listed, quint64{9'234'000});
    }
};

QTEST_GUILESS_MAIN(Mp4HostileTest)
#include "test_mp4_hostile.moc"
