#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "fileio/file64.h"
#include "formats/mpeg2/mpeg_header.h"
#include "formats/mpeg_compatibility.h"
#include "formats/mpeg_info.h"
#include "support/checked_files.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"

namespace {

const QByteArray k352x240at25("\x16\x00\xF0\x13", 4);
const QByteArray k352x288at25("\x16\x01\x20\x13", 4);

}  // namespace

class MpegTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:

    void startCodeIsFoundAtItsOffset_data() {
        QTest::addColumn<qsizetype>("offset");
        for (const qsizetype offset : {0, 14, 32764, 32765, 32766, 32767, 32768, 70000}) {
            QTest::newRow(qPrintable(QString::number(offset))) << offset;
        }
    }
    void startCodeIsFoundAtItsOffset() {
        QFETCH(qsizetype, offset);
        const QString file = writeFile(path(QStringLiteral("s.mpg")),
                                       mpegBytes(offset + 40000, offset, k352x240at25));
        RecorderJobHost host;
        CheckedFiles files(&host);
        quint64 found = 0;
        const auto header = readSequenceHeader(files, file, &found);
        QVERIFY(header.has_value());
        QCOMPARE(found, quint64(offset));
        QCOMPARE(header->key(), QStringLiteral("352,240,25"));
    }

    void noStartCodeMeansNoHeader() {
        const QString file = writeFile(path(QStringLiteral("none")), QByteArray(100000, '\0'));
        const QString cut = writeFile(path(QStringLiteral("cut")), QByteArray("\x00\x00\x01", 3));
        RecorderJobHost host;
        CheckedFiles files(&host);
        QVERIFY(!readSequenceHeader(files, file));
        QVERIFY(!readSequenceHeader(files, cut));
        QVERIFY(host.messages.isEmpty());
    }

    void impossibleHeadersAreNotMpeg_data() {
        QTest::addColumn<QByteArray>("fields");
        QTest::newRow("width 0") << QByteArray("\x00\x00\xF0\x13", 4);
        QTest::newRow("height 0") << QByteArray("\x16\x00\x00\x13", 4);
        QTest::newRow("rate code 0") << QByteArray("\x16\x00\xF0\x10", 4);
        QTest::newRow("rate code 9") << QByteArray("\x16\x00\xF0\x19", 4);
    }
    void impossibleHeadersAreNotMpeg() {
        QFETCH(QByteArray, fields);
        const QString file =
            writeFile(path(QStringLiteral("impossible")), mpegBytes(4000, 10, fields));
        RecorderJobHost host;
        CheckedFiles files(&host);
        QVERIFY(!readSequenceHeader(files, file));
    }

    void fieldsDecode_data() {
        QTest::addColumn<QByteArray>("fields");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("key");
        QTest::newRow("352x240 at 25") << k352x240at25 << 352 << 240 << "352,240,25";
        QTest::newRow("code 0") << QByteArray("\x16\x00\xF0\x10", 4) << 352 << 240 << "352,240,0";
        QTest::newRow("29.97") << QByteArray("\x2D\x01\xE0\x14", 4) << 720 << 480
                               << "720,480,29.97";
        QTest::newRow("23.976") << QByteArray("\x2D\x02\x40\x11", 4) << 720 << 576
                                << "720,576,23.976";
        QTest::newRow("code 12") << QByteArray("\x16\x00\xF0\x1C", 4) << 352 << 240 << "352,240,12";
    }
    void fieldsDecode() {
        QFETCH(QByteArray, fields);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QString, key);
        const SequenceHeader header = SequenceHeader::decode(fields);
        QCOMPARE(header.width, width);
        QCOMPARE(header.height, height);
        QCOMPARE(header.key(), key);
    }

    // The first file's key is kept; each later file is checked against it, and the
    // check only reports: the pack command asks the questions.
    void compatibilityFindings() {
        const QString first =
            writeFile(path(QStringLiteral("c1.mpg")), mpegBytes(100, 14, k352x240at25));
        const QString same =
            writeFile(path(QStringLiteral("c2.mpg")), mpegBytes(100, 0, k352x240at25));
        const QString other =
            writeFile(path(QStringLiteral("c3.mpg")), mpegBytes(100, 0, k352x288at25));
        const QString text = writeFile(path(QStringLiteral("notes.txt")), "plain text");
        RecorderJobHost host;
        CheckedFiles files(&host);
        MpegCompatibility check;
        using Kind = FormatFinding::Kind;
        QCOMPARE(check.CheckMpegCompatibility(first, files).kind, Kind::Valid);
        QCOMPARE(check.CheckMpegCompatibility(same, files).kind, Kind::Valid);
        QCOMPARE(check.Mcheck_Lst, QStringList{QStringLiteral("352,240,25")});
        const FormatFinding mismatch = check.CheckMpegCompatibility(other, files);
        QCOMPARE(mismatch.kind, Kind::Mismatched);
        QCOMPARE(mismatch.path, other);
        QCOMPARE(mismatch.difference,
                 QStringLiteral("c3.mpg: 352x288 25 fps; c1.mpg: 352x240 25 fps"));
        QVERIFY(!check.MpegCompatible);
        QVERIFY(check.MpegValid);
        const FormatFinding invalid = check.CheckMpegCompatibility(text, files);
        QCOMPARE(invalid.kind, Kind::NotValid);
        QCOMPARE(invalid.path, text);
        QVERIFY(!check.MpegValid);
        QVERIFY(!check.MpegIgnoreErrors);
        QCOMPARE(check.Mcheck_Lst.size(), 1);
        QVERIFY(host.messages.isEmpty());
    }

    // The EMH header: the source's front up to 5,600 bytes past the start code, never
    // more than the source holds.
    void headerExtraction_data() {
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<qsizetype>("offset");
        QTest::addColumn<qsizetype>("headerLength");
        QTest::newRow("start at 0") << qsizetype(20000) << qsizetype(0) << qsizetype(5600);
        QTest::newRow("after a pack header")
            << qsizetype(20000) << qsizetype(14) << qsizetype(5614);
        QTest::newRow("short source") << qsizetype(3000) << qsizetype(100) << qsizetype(3000);
    }
    void headerExtraction() {
        QFETCH(qsizetype, length);
        QFETCH(qsizetype, offset);
        QFETCH(qsizetype, headerLength);
        const QByteArray source = mpegBytes(length, offset, k352x240at25);
        const QString file = writeFile(path(QStringLiteral("src.mpg")), source);
        RecorderJobHost host;
        CheckedFiles files(&host);
        const MpegHeaderRead header = readMpegHeader(file, files);
        QCOMPARE(header.bytes.value_or(QByteArray()), source.left(headerLength));
        QVERIFY(header.finding.valid());
        QVERIFY(host.messages.isEmpty());
    }

    void extractionWithoutHeaderFindsNone() {
        const QString file = writeFile(path(QStringLiteral("plain.bin")), QByteArray(9000, 'x'));
        RecorderJobHost host;
        CheckedFiles files(&host);
        const MpegHeaderRead header = readMpegHeader(file, files);
        QVERIFY(!header.bytes);
        QCOMPARE(header.finding.kind, FormatFinding::Kind::HeaderNotFound);
        QCOMPARE(header.finding.path, file);
        QVERIFY(host.messages.isEmpty());
    }

    void durationText_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("3725.25") << 3725.25 << "01:02:05:15";
        QTest::newRow("83.5") << 83.5 << "00:01:23:30";
        QTest::newRow("nothing loaded") << 0.0 << "00:00:00:00";
        QTest::newRow("whole minute") << 60.0 << "00:01:00:00";
        QTest::newRow("half a second") << 0.5 << "00:00:00:30";
    }
    void durationText() {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(::durationText(seconds), text);
    }

    void secondsFormat() {
        QCOMPARE(secondsText(60), QStringLiteral("60."));
        QCOMPARE(secondsText(0.5), QStringLiteral(".5"));
        QCOMPARE(secondsText(83.5), QStringLiteral("83.5"));
        QCOMPARE(secondsText(1.23456), QStringLiteral("1.235"));
    }

    void panelAndSummaryTexts() {
        const QString file =
            writeFile(path(QStringLiteral("p.mpg")), mpegBytes(500, 14, k352x288at25));
        RecorderJobHost host;
        CheckedFiles files(&host);
        const auto info = ShowMpegInfo(file, files);
        QVERIFY(info.has_value());
        QCOMPARE(info->sizeText, QStringLiteral("352x288 (pxls)"));
        QCOMPARE(info->rateText, QStringLiteral("25 fps"));
        QCOMPARE(info->summaryText(QStringLiteral("00:00:00:00"), QString()),
                 QStringLiteral("Filename: ") + file +
                     QStringLiteral("\r\nDuration: 00:00:00:00 secs\r\nTotal Frames:  frames\r\n"
                                    "Video Rate: 25 fps\r\nVideo Size: 352x288 (pixels)"));
        QVERIFY(!ShowMpegInfo(path(QStringLiteral("missing.mpg")), files));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("missing.mpg"))));  // not created by looking
    }

    void cliInfoReadsARealClip() {
        const QString clip = path(QStringLiteral("real/clip.mpg"));
        if (!makeMpegClip(clip)) {
            QSKIP("ffmpeg is not installed");
        }
        const QString plain = writeFile(path(QStringLiteral("real/plain.txt")), "text");
        QProcess cli;
        cli.start(cliProgram(), {QStringLiteral("info"), clip, plain});
        QVERIFY(cli.waitForFinished());
        QCOMPARE(cli.exitCode(), 1);
        QCOMPARE(QString::fromLocal8Bit(cli.readAllStandardOutput()),
                 clip + QStringLiteral(": 352x240 (pxls) 25 fps\n") + plain +
                     QStringLiteral(": not a valid MPEG file\n"));
    }
};

QTEST_GUILESS_MAIN(MpegTest)
#include "test_mpeg.moc"
