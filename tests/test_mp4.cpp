// MPEG-4 files as first-class parts: described, checked for compatibility, and joined
// into one movie, checked the way a player sees them.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include "fileio/file64.h"
#include "pack/join_engine.h"
#include "preview/module_multimedia.h"
#include "preview/mpv_command_interface.h"
#include "support/checked_files.h"
#include "support/media_probe.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"

namespace {

constexpr double kFrame = 1.0 / 25;
const char* const kSources[] = {"smptebars", "testsrc", "testsrc2"};

// Two seconds of a lavfi picture with a tone, small and quick to make.
bool makePart(const QString& path, int index, const QString& codec, const QString& size) {
    return ffmpeg(QStringLiteral("-f lavfi -i %1=size=%2:rate=25 -f lavfi -i "
                                 "sine=frequency=%3:sample_rate=48000 -t 2 %4 '%5'")
                      .arg(QLatin1String(kSources[index % 3]), size)
                      .arg(300 + 100 * index)
                      .arg(codec, path));
}

const QString kH264 = QStringLiteral("-c:v libx264 -pix_fmt yuv420p -g 25 -c:a aac -ac 2");
const QString kFragments = QStringLiteral(" -movflags +frag_keyframe+empty_moov+default_base_moof");

}  // namespace

class Mp4Test : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_base;  // three H.264/AAC parts that the variants are copied from
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QStringList variant(const QString& name, const QString& copy, const QString& extension) {
        QStringList parts;
        for (qsizetype i = 0; i < m_base.size(); ++i) {
            parts << path(QStringLiteral("%1-%2.%3").arg(name).arg(i).arg(extension));
            if (!ffmpeg(QStringLiteral("-i '%1' -map 0 -c copy %2 '%3'")
                            .arg(m_base.at(i), copy, parts.last()))) {
                return {};
            }
        }
        return parts;
    }

private Q_SLOTS:
    void initTestCase() {
        useThrowawayUserFolders(m_dir.path());
        for (int i = 0; i < 3; ++i) {
            m_base << path(QStringLiteral("base-%1.mp4").arg(i));
            QVERIFY(makePart(m_base.last(), i, kH264, QStringLiteral("320x240")));
        }
    }

    void seamlessJoin_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("copy");  // how the parts are made from the base
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("kept");  // what ffprobe must still find
        QTest::addColumn<QString>("said");  // a line the join prints, or ""
        QTest::newRow("H.264/AAC") << "h264"
                                   << ""
                                   << "mp4"
                                   << ""
                                   << "";
        QTest::newRow("HEVC") << "hevc"
                              << "encode"
                              << "mp4"
                              << ""
                              << "";
        QTest::newRow("QuickTime") << "mov"
                                   << ""
                                   << "mov"
                                   << ""
                                   << "";
        QTest::newRow("timecode") << "tc"
                                  << "-timecode 01:00:00:00"
                                  << "mov"
                                  << "stream_tags=timecode"
                                  << "";
        QTest::newRow("rotation") << "rot"
                                  << "-metadata:s:v rotate=90"
                                  << "mp4"
                                  << "stream_side_data=rotation"
                                  << "";
        QTest::newRow("fragmented") << "frag"
                                    << "-movflags frag_keyframe+empty_moov"
                                    << "mp4"
                                    << ""
                                    << "are joined packet by packet";
    }
    // Three parts become one movie of their length: every frame decodes, the third
    // part's pictures are where the timeline says, sound and picture end together,
    // and libmpv plays it to its end.
    void seamlessJoin() {
        QFETCH(QString, name);
        QFETCH(QString, copy);
        QFETCH(QString, extension);
        QFETCH(QString, kept);
        QFETCH(QString, said);
        QStringList parts;
        if (copy == QLatin1String("encode")) {
            for (int i = 0; i < 3; ++i) {
                parts << path(QStringLiteral("%1-%2.mp4").arg(name).arg(i));
                QVERIFY(makePart(parts.last(), i,
                                 QStringLiteral("-c:v libx265 -x265-params log-level=error "
                                                "-pix_fmt yuv420p -tag:v hvc1 -g 25 -c:a aac"),
                                 QStringLiteral("320x240")));
            }
        } else {
            parts = variant(name, copy, extension);
        }
        QVERIFY(!parts.isEmpty());
        const QString joined = path(name + QStringLiteral("-joined.") + extension);
        const CliResult result =
            runCliProgram(QStringList{QStringLiteral("pack"), QStringLiteral("--seamless"),
                                      QStringLiteral("-o"), joined} +
                          parts);
        QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
        QVERIFY2(result.errorOutput.contains(said), qPrintable(result.errorOutput));
        // A part whose sound starts before its picture (fragments keep the encoder's
        // delays) makes the file that much longer than its picture.
        const double lead =
            probedDuration(parts.first()) - probedDuration(parts.first(), QStringLiteral("v:0"));
        QVERIFY(qAbs(probedDuration(joined, QStringLiteral("v:0")) - 6.0) <= kFrame);
        QVERIFY(qAbs(probedDuration(joined) - 6.0 - lead) <= kFrame);
        QVERIFY(qAbs(streamEnd(joined, QStringLiteral("a:0")) -
                     streamEnd(joined, QStringLiteral("v:0"))) <= 0.05);
        QCOMPARE(decodeErrors(joined), QString());
        // The frame at 4.5 s of the join is the one at 0.5 s of the third part.
        const QList<QByteArray> frames = decodedFrames(joined);
        QCOMPARE(frames.size(), 150);
        QCOMPARE(frames.at(112), decodedFrames(parts.last()).at(12));
        if (!kept.isEmpty()) {
            QVERIFY2(!probe(joined, {QStringLiteral("-show_entries"), kept}).isEmpty(),
                     qPrintable(kept));
            QCOMPARE(probe(joined, {QStringLiteral("-show_entries"), kept}),
                     probe(parts.first(), {QStringLiteral("-show_entries"), kept}));
        }
        MpvCommandInterface mpv({QStringLiteral("null"), QStringLiteral("null")});
        ModuleMultimedia media(mpv);
        QCOMPARE(media.MciOpen(0, QStringLiteral("movie"), joined, QStringLiteral("MPEGVideo")),
                 QStringLiteral("Success"));
        QCOMPARE(media.MciSeekPlay(QStringLiteral("movie"), 140), QStringLiteral("Success"));
        QTRY_VERIFY_WITH_TIMEOUT(media.MciAtEnd(QStringLiteral("movie")), 10000);
    }

    // Ten parts: the sound is still with the picture at the end.
    void tenPartsStayInStep() {
        QStringList parts;
        for (int i = 0; i < 10; ++i) {
            parts << m_base.at(i % 3);
        }
        const QString joined = path(QStringLiteral("ten.mp4"));
        QCOMPARE(runCliProgram(QStringList{QStringLiteral("pack"), QStringLiteral("--seamless"),
                                           QStringLiteral("--assume-yes"), QStringLiteral("-o"),
                                           joined} +
                               parts)
                     .status,
                 0);
        QVERIFY(qAbs(streamEnd(joined, QStringLiteral("a:0")) -
                     streamEnd(joined, QStringLiteral("v:0"))) <= 0.05);
        QVERIFY(qAbs(probedDuration(joined) - 20.0) <= kFrame);
    }

    void mismatchesAreNamed_data() {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("difference");
        QTest::newRow("picture size") << kH264 << "160x120"
                                      << "b.mp4: 160x120; a.mp4: 320x240";
        QTest::newRow("codec") << QStringLiteral("-c:v mpeg4 -c:a aac") << "320x240"
                               << "b.mp4: video MPEG-4 video; a.mp4: video H.264";
        QTest::newRow("track layout")
            << QStringLiteral("-c:v libx264 -pix_fmt yuv420p -an") << "320x240"
            << "b.mp4: video; a.mp4: video, audio";
    }
    // The question names the first part that differs and how; No writes nothing.
    void mismatchesAreNamed() {
        QFETCH(QString, codec);
        QFETCH(QString, size);
        QFETCH(QString, difference);
        const QString folder = freshFolder(path(QStringLiteral("mismatch")));
        QVERIFY(QFile::copy(m_base.first(), folder + QStringLiteral("/a.mp4")));
        QVERIFY(makePart(folder + QStringLiteral("/b.mp4"), 1, codec, size));
        const CliResult result = runCliProgram(
            {QStringLiteral("pack"), QStringLiteral("--seamless"), QStringLiteral("--assume-no"),
             QStringLiteral("-o"), folder + QStringLiteral("/out.mp4"),
             folder + QStringLiteral("/a.mp4"), folder + QStringLiteral("/b.mp4")});
        QCOMPARE(result.status, 1);
        QCOMPARE(
            result.errorOutput,
            QStringLiteral("question: Not compatible for Zarvoing. Proceed packing and ignore Mpeg "
                           "Compatibility error? ") +
                difference + QLatin1Char('\n'));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/out.mp4")));
    }

    // An MPEG-4 part among MPEG-1/2 parts is a mismatch too.
    void mixedKindsAreAMismatch() {
        const QString folder = freshFolder(path(QStringLiteral("mixed")));
        QVERIFY(makeMpegClip(folder + QStringLiteral("/a.mpg")));
        QVERIFY(QFile::copy(m_base.first(), folder + QStringLiteral("/b.mp4")));
        const CliResult result =
            runCliProgram({QStringLiteral("pack"), QStringLiteral("--assume-no"),
                           QStringLiteral("-o"), folder + QStringLiteral("/out.mpg"),
                           folder + QStringLiteral("/a.mpg"), folder + QStringLiteral("/b.mp4")});
        QCOMPARE(result.status, 1);
        QVERIFY2(result.errorOutput.endsWith(QStringLiteral("b.mp4: MPEG-4; a.mpg: MPEG-1/2\n")),
                 qPrintable(result.errorOutput));
    }

    void emhPieces_data() {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("clean");
        QTest::addColumn<int>("lostFrames");  // a piece may list fewer pictures than it holds
        QTest::newRow("H.264/AAC, clean cuts") << kH264 << "mp4" << true << 1;
        QTest::newRow("H.264/AAC, index first")
            << kH264 + QStringLiteral(" -movflags +faststart") << "mp4" << true << 1;
        QTest::newRow("QuickTime") << kH264 << "mov" << true << 1;
        const QString hevc = QStringLiteral(
            "-c:v libx265 -pix_fmt yuv420p -tag:v hvc1 -g 25 -c:a aac "
            "-x265-params log-level=error");
        QTest::newRow("HEVC") << hevc + QStringLiteral(":open-gop=0") << "mp4" << true << 1;
        // After a CRA picture, the leading pictures that need the piece before go.
        QTest::newRow("HEVC, open picture groups") << hevc << "mp4" << true << 5;
        QTest::newRow("cut by size") << kH264 << "mp4" << false << 0;
    }
    // An EMH split of an MPEG-4 source: every piece a playable MP4 that starts with a key
    // frame; the join script rebuilds the source byte for byte, verify passes, and a
    // seamless join of the pieces is the source's length with sound and picture together.
    void emhPieces() {
        QFETCH(QString, codec);
        QFETCH(QString, extension);
        QFETCH(bool, clean);
        QFETCH(int, lostFrames);
        const QString folder = freshFolder(path(QStringLiteral("emh")));
        const QString source = folder + QStringLiteral("/clip.") + extension;
        QVERIFY(ffmpeg(QStringLiteral("-f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i "
                                      "sine=frequency=440:sample_rate=48000 -t 12 %1 '%2'")
                           .arg(codec, source)));
        QStringList arguments = texts({"unpack", "--type", "emh", "--pieces", "6", "--join-bat",
                                       "yes", "--checksum", "--where-file"});
        if (clean) {
            arguments << QStringLiteral("--clean-cuts");
        }
        const CliResult result = runCliProgram(arguments << source);
        QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
        const QStringList pieces = QDir(folder).entryList(
            {QStringLiteral("clip.%1.0*.%1").arg(extension)}, QDir::Files, QDir::Name);
        QCOMPARE(pieces.size(), 6);
        double videoLength = 0;
        QStringList paths;
        for (const QString& name : pieces) {
            const QString piece = folder + QLatin1Char('/') + name;
            paths << piece;
            // The container, the first picture's type and the picture's length, in one call.
            const QMap<QString, QString> fields = probeFields(
                piece, QStringLiteral("format=format_name:stream=duration:frame=pict_type"),
                {QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                 QStringLiteral("-read_intervals"), QStringLiteral("%+#1")});
            QVERIFY2(fields.value(QStringLiteral("format_name")).contains(QStringLiteral("mp4")),
                     qPrintable(name));
            QCOMPARE(fields.value(QStringLiteral("pict_type")), QStringLiteral("I"));
            QCOMPARE(decodeErrors(piece), QString());
            const double length = fields.value(QStringLiteral("duration")).toDouble();
            QVERIFY2(length > 0, qPrintable(name));
            videoLength += length;
        }
        const double sourceLength = probedDuration(source, QStringLiteral("v:0"));
        if (clean) {
            QVERIFY(qAbs(videoLength - sourceLength) <= 6 * lostFrames * kFrame);
        }
        const QString copy = freshFolder(folder + QStringLiteral("/copy"));
        QVERIFY(runShell(
            QStringLiteral("cp '%1'/clip.%2.0* '%1'/clip.%2-JOIN.sh '%1'/clip.%2.sha256 '%3' && "
                           "sh '%3'/clip.%2-JOIN.sh >/dev/null")
                .arg(folder, extension, copy)));
        QVERIFY(readFile(copy + QStringLiteral("/clip.%1-JOIN.%1").arg(extension)) ==
                readFile(source));
        QCOMPARE(
            runCliProgram({QStringLiteral("verify"), folder + QStringLiteral("/clip.") + extension +
                                                         QStringLiteral(".sha256")})
                .status,
            0);
        const QString rejoined = folder + QStringLiteral("/rejoined.") + extension;
        const CliResult rejoin =
            runCliProgram(QStringList{QStringLiteral("pack"), QStringLiteral("--seamless"),
                                      QStringLiteral("-o"), rejoined} +
                          paths);
        QVERIFY2(rejoin.status == 0, qPrintable(rejoin.errorOutput));
        QCOMPARE(decodeErrors(rejoined), QString());
        if (clean) {
            QVERIFY(qAbs(probedDuration(rejoined, QStringLiteral("v:0")) - sourceLength) <=
                    6 * lostFrames * kFrame);
            QVERIFY(qAbs(streamEnd(rejoined, QStringLiteral("a:0")) -
                         streamEnd(rejoined, QStringLiteral("v:0"))) <= 0.05);
        }
        QVERIFY(readFile(folder + QStringLiteral("/clip.%1-JOIN.bat").arg(extension))
                    .contains("the joined file plays only the first piece."));
    }

    // A source that is not a whole MPEG-4 file is said once and cut as it is.
    void anIncompleteSourceIsCutAsItIs() {
        const QString folder = freshFolder(path(QStringLiteral("cut-off")));
        const QString source =
            writeFile(folder + QStringLiteral("/clip.mp4"), readFile(m_base.first()).chopped(5000));
        const CliResult result = runCliProgram(
            texts({"unpack", "--type", "emh", "--pieces", "3", "--join-bat", "yes", "--where-file"})
            << source);
        QCOMPARE(result.status, 0);
        QVERIFY2(result.errorOutput.startsWith(QStringLiteral("warning: '") + source +
                                               QStringLiteral("' is not a complete MPEG-4 file (")),
                 qPrintable(result.errorOutput));
        QCOMPARE(readFile(folder + QStringLiteral("/clip.mp4.001.mp4")) +
                     readFile(folder + QStringLiteral("/clip.mp4.002.mp4")) +
                     readFile(folder + QStringLiteral("/clip.mp4.003.mp4")),
                 readFile(source));
    }

    void aPartUnreadableAtTheJoinLeavesNoOutput_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("said");  // %1: the third part
        QTest::newRow("cannot be opened")
            << int(FailingCalls::Op::Open) << EACCES
            << QStringLiteral("Error opening '%1'! Permission denied.");
        QTest::newRow("cannot be read")
            << int(FailingCalls::Op::Read) << EIO
            << QStringLiteral("Error reading '%1': Input/output error. Packing aborted!");
    }
    // Fragmented parts are read one at a time; the third going bad once the join is
    // under way (after its routing read every part) still stops it before the output.
    void aPartUnreadableAtTheJoinLeavesNoOutput() {
        QFETCH(int, op);
        QFETCH(int, error);
        QFETCH(QString, said);
        const QStringList parts =
            variant(QStringLiteral("lease"), kFragments, QStringLiteral("mp4"));
        QVERIFY(!parts.isEmpty());
        const QString out = path(QStringLiteral("lease-joined.mp4"));
        RecorderJobHost host;
        CheckedFiles files(&host);  // checks that every part opened was closed
        const CancelRequest cancel;
        JoinEngine engine(files, host, cancel);
        host.onMessage = [&] {
            if (host.messages.last().text.contains(QStringLiteral("packet by packet"))) {
                files.failCall(static_cast<FailingCalls::Op>(op), 2, error);
            }
        };
        JoinJob job{parts, out, TransferRate::fromWord(QStringLiteral("normal"))};
        job.seamless = true;
        QCOMPARE(engine.validate(job), JobOutcome::Success);
        QCOMPARE(engine.copy(job), JobOutcome::Failed);
        QCOMPARE(host.texts().last(), said.arg(parts.at(2)));
        QVERIFY(!QFileInfo::exists(out));
    }

    void ffmpegLogsStayOffTheTerminal_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("parts");  // "bad": a part FFmpeg complains of
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::newRow("described") << "info" << texts({"bad"}) << 0 << QString();
        QTest::newRow("joined") << "pack" << texts({"bad", "good"}) << 0
                                << QStringLiteral("successfully packed!");
        // The writer's reason for a codec the MP4 writer does not take.
        QTest::newRow("failed join")
            << "pack" << texts({"pcm", "pcm"}) << 1
            << QStringLiteral(
                   "error: The MPEG-4 parts could not be joined: Invalid argument "
                   "(Could not find tag for codec pcm_s16le in stream #1, codec not "
                   "currently supported in container). Packing aborted!\n");
    }
    // FFmpeg's own lines never reach the terminal; a failure carries FFmpeg's reason.
    void ffmpegLogsStayOffTheTerminal() {
        QFETCH(QString, command);
        QFETCH(QStringList, parts);
        QFETCH(int, status);
        QFETCH(QString, said);
        const QString folder = path(QStringLiteral("logs"));
        const QString pcm = folder + QStringLiteral("/pcm.mp4");
        if (!QFileInfo::exists(pcm)) {
            freshFolder(folder);
            const QString good = folder + QStringLiteral("/good.mp4");
            QVERIFY(makePart(good, 0, kH264 + kFragments, QStringLiteral("160x120")));
            // The first picture's first NAL unit claims to be 2 GB long.
            QByteArray bytes = readFile(good);
            const qsizetype data = bytes.indexOf("mdat", bytes.indexOf("moof"));
            QVERIFY(data > 0);
            bytes.replace(data + 4, 4, QByteArray::fromHex("7fffffff"));
            writeFile(folder + QStringLiteral("/bad.mp4"), bytes);
            QVERIFY(!decodeErrors(folder + QStringLiteral("/bad.mp4")).isEmpty());
            // PCM sound in a QuickTime file that calls itself MP4.
            QVERIFY(ffmpeg(QStringLiteral("-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i "
                                          "sine=sample_rate=8000 -t 1 -c:v libx264 -pix_fmt "
                                          "yuv420p -c:a pcm_s16le -f mov%1 '%2.mov'")
                               .arg(kFragments, pcm)));
            bytes = readFile(pcm + QStringLiteral(".mov"));
            QCOMPARE(bytes.mid(4, 8), QByteArray("ftypqt  "));
            writeFile(pcm, bytes.replace(8, 4, "isom"));
        }
        QStringList arguments{command};
        if (command == QLatin1String("pack")) {
            arguments << QStringLiteral("--seamless") << QStringLiteral("--assume-yes")
                      << QStringLiteral("-o") << folder + QStringLiteral("/out.mp4");
        }
        for (const QString& part : parts) {
            arguments << folder + QLatin1Char('/') + part + QStringLiteral(".mp4");
        }
        const CliResult result = runCliProgram(arguments);
        QVERIFY2(result.status == status, qPrintable(result.errorOutput));
        QVERIFY2(!result.errorOutput.contains(QRegularExpression(QStringLiteral("\\[[^]]* @ 0x"))),
                 qPrintable(result.errorOutput));
        QVERIFY2(result.errorOutput.contains(said), qPrintable(result.errorOutput));
    }

    // What the terminal program tells of each kind.
    void information() {
        const CliResult none = runCliProgram({QStringLiteral("info"), m_base.first()});
        QCOMPARE(none.status, 0);
        QProcess info;
        info.start(cliProgram(), {QStringLiteral("info"), m_base.first()});
        QVERIFY(info.waitForFinished());
        QCOMPARE(
            QString::fromUtf8(info.readAllStandardOutput()),
            m_base.first() +
                QStringLiteral(": 320x240 (pxls) 25 fps\n  Duration: 00:00:02:00 (2.000 s)\n"
                               "  Frames: 50\n  Size: %1 bytes\n  Video: H.264 High\n"
                               "  Audio: AAC LC, 48 kHz, stereo\n")
                    .arg(QLocale(QStringLiteral("en_US")).toString(GetFileLen(m_base.first()))));
    }
};

QTEST_GUILESS_MAIN(Mp4Test)
#include "test_mp4.moc"
