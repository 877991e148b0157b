#include <QDir>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "fileio/file64.h"
#include "formats/mpeg2/mpeg_stream.h"
#include "support/test_files.h"

namespace {

// What a program printed: standard output, or standard error with `errors`.
QByteArray output(const QString& program, const QStringList& arguments, bool errors = false) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(120000);
    return errors ? process.readAllStandardError() : process.readAllStandardOutput();
}

QString probe(const QString& file, const QStringList& what) {
    return QString::fromUtf8(output(QStringLiteral("ffprobe"),
                                    QStringList{QStringLiteral("-v"), QStringLiteral("error")} +
                                        what + QStringList{file}))
        .trimmed();
}

double duration(const QString& file) {
    return probe(file, {QStringLiteral("-show_entries"), QStringLiteral("format=duration"),
                        QStringLiteral("-of"), QStringLiteral("csv=p=0")})
        .toDouble();
}

int frameCount(const QString& file) {
    return probe(file, {QStringLiteral("-count_frames"), QStringLiteral("-select_streams"),
                        QStringLiteral("v"), QStringLiteral("-show_entries"),
                        QStringLiteral("stream=nb_read_frames"), QStringLiteral("-of"),
                        QStringLiteral("csv=p=0")})
        .section(QLatin1Char(','), 0, 0)
        .toInt();
}

QString firstPicture(const QString& file) {
    return probe(file, {QStringLiteral("-select_streams"), QStringLiteral("v"),
                        QStringLiteral("-show_entries"), QStringLiteral("frame=pict_type,width"),
                        QStringLiteral("-read_intervals"), QStringLiteral("%+#1"),
                        QStringLiteral("-of"), QStringLiteral("csv=p=0")})
        .section(QLatin1Char('\n'), 0, 0);
}

// The lines a decode of the video prints at level "error" (audio is not decoded).
QStringList videoErrors(const QString& file) {
    const QString printed = QString::fromUtf8(output(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
         QStringLiteral("-an"), QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
        true));
    QStringList lines;
    for (const QString& line : printed.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        // Probing the streams decodes some audio too; only video lines count.
        if (!line.contains(QLatin1String("mp2")) && !line.contains(QLatin1String("Last message"))) {
            lines << line;
        }
    }
    return lines;
}

// The picture shown `seconds` after the file's start.
QByteArray pictureAt(const QString& file, double seconds) {
    const double start =
        probe(file, {QStringLiteral("-show_entries"), QStringLiteral("format=start_time"),
                     QStringLiteral("-of"), QStringLiteral("csv=p=0")})
            .toDouble();
    return output(QStringLiteral("ffmpeg"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                   QStringLiteral("-ss"), QString::number(start + seconds, 'f', 3),
                   QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"),
                   QStringLiteral("md5"), QStringLiteral("-")});
}

// A clip of `source` (a lavfi video source) encoded with `codec`.
bool makeClip(const QString& path, const QString& source, const QString& codec, int seconds) {
    return runShell(QStringLiteral("ffmpeg -loglevel fatal -y -f lavfi -i %1=size=352x240:rate=25 "
                                   "-f lavfi -i sine=frequency=440:sample_rate=48000 -t %2 %3 '%4'")
                        .arg(source)
                        .arg(seconds)
                        .arg(codec, path));
}

// The bytes with every timestamp field (and a transport stream's continuity counters)
// zeroed, so that two streams can be compared in everything else.
void zeroTimestamps(QByteArray& bytes, MpegStreamKind kind) {
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    const auto size = static_cast<size_t>(bytes.size());
    const auto zero = [](unsigned char* at, int field, int length) {
        if (field >= 0) {
            std::fill(at + field, at + field + length, 0);
        }
    };
    if (kind == MpegStreamKind::Program) {
        struct Zeroing {
            decltype(zero)& clear;
            void unit(const PsUnit& unit) {
                clear(unit.at, unit.timestampAt, unit.kind == PsUnit::Pack && unit.mpeg2 ? 6 : 5);
                if (unit.kind == PsUnit::Pes) {
                    clear(unit.at, unit.dtsAt, 5);
                }
            }
            void payload(const unsigned char*, size_t, quint64, int) {}
        } zeroing{zero};
        ProgramStreamReader().parse(data, size, zeroing);
    } else if (kind == MpegStreamKind::Transport) {
        for (size_t at = 0; at + kTsPacket <= size; at += kTsPacket) {
            const TsPacketInfo info = *readTsPacket(data + at);
            zero(data + at, info.pcrAt, 6);
            data[at + 3] &= 0xF0;
            PesLayout pes;
            if (info.payloadStart &&
                readPesLayout(data + at + info.payloadAt, kTsPacket - info.payloadAt, &pes) ==
                    LayoutResult::Complete) {
                zero(data + at + info.payloadAt, pes.ptsAt, 5);
                zero(data + at + info.payloadAt, pes.dtsAt, 5);
            }
        }
    }
}

// Every PES timestamp in stream order: the decode time, or the presentation time where a
// packet has none, by stream (the stream id in a program stream, all video as E0, and the
// PID in a transport stream).
QMap<int, QList<quint64>> decodeTimes(QByteArray bytes, MpegStreamKind kind) {
    QMap<int, QList<quint64>> times;
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    const auto size = static_cast<size_t>(bytes.size());
    const auto note = [&times](const unsigned char* at, int ptsAt, int dtsAt, int stream) {
        if (ptsAt >= 0) {
            times[stream].append(readPtsField(at + (dtsAt >= 0 ? dtsAt : ptsAt)));
        }
    };
    if (kind == MpegStreamKind::Program) {
        struct Times {
            decltype(note)& add;
            void unit(const PsUnit& unit) {
                if (unit.kind == PsUnit::Pes) {
                    add(unit.at, unit.timestampAt, unit.dtsAt,
                        isVideoStreamId(unit.streamId) ? 0xE0 : unit.streamId);
                }
            }
            void payload(const unsigned char*, size_t, quint64, int) {}
        } visit{note};
        ProgramStreamReader().parse(data, size, visit);
    } else {
        for (size_t at = 0; at + kTsPacket <= size; at += kTsPacket) {
            const std::optional<TsPacketInfo> info = readTsPacket(data + at);
            PesLayout pes;
            if (info && info->payloadStart &&
                readPesLayout(data + at + info->payloadAt, kTsPacket - info->payloadAt, &pes) ==
                    LayoutResult::Complete) {
                note(data + at + info->payloadAt, pes.ptsAt, pes.dtsAt, info->pid);
            }
        }
    }
    return times;
}

// "" when every stream's decode times go forward, by less than a second at a time (a
// tenth of a second back is an audio frame's rounding at a join); else the first step
// that does not.
QString timelineProblem(const QByteArray& bytes, MpegStreamKind kind) {
    const QMap<int, QList<quint64>> times = decodeTimes(bytes, kind);
    for (auto stream = times.cbegin(); stream != times.cend(); ++stream) {
        for (qsizetype i = 1; i < stream->size(); ++i) {
            const qint64 step = timestampDistance(stream->at(i), stream->at(i - 1));
            if (step < -9000 || step > 90000) {
                return QStringLiteral("stream %1 steps by %2 ticks at its timestamp %3")
                    .arg(stream.key())
                    .arg(step)
                    .arg(i);
            }
        }
    }
    return times.isEmpty() ? QStringLiteral("no timestamps") : QString();
}

// The same stream with its video moved behind everything else (more than a MiB of audio
// first), as a muxer with a large audio buffer may write it.
QByteArray videoLast(QByteArray bytes, MpegStreamKind kind) {
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    const auto size = static_cast<size_t>(bytes.size());
    QByteArray front;
    QByteArray video;
    if (kind == MpegStreamKind::Program) {
        struct Split {
            const QByteArray& all;
            QByteArray& front;
            QByteArray& video;
            bool pesSeen = false;
            void unit(const PsUnit& unit) {
                const qsizetype length = static_cast<qsizetype>(unit.headerSize + unit.payloadSize);
                const QByteArray whole = all.mid(static_cast<qsizetype>(unit.offset), length);
                pesSeen = pesSeen || unit.kind == PsUnit::Pes;
                if (unit.kind == PsUnit::Pes && isVideoStreamId(unit.streamId)) {
                    video += whole;
                } else if (unit.kind != PsUnit::Pack || !pesSeen) {
                    front += whole;  // later pack headers go: their clock would step back
                }
            }
            void payload(const unsigned char*, size_t, quint64, int) {}
        } split{bytes, front, video};
        ProgramStreamReader().parse(data, size, split);
        return front + video;
    }
    QSet<int> videoPids;
    for (size_t at = 0; at + kTsPacket <= size; at += kTsPacket) {
        const TsPacketInfo info = *readTsPacket(data + at);
        PesLayout pes;
        if (info.payloadStart &&
            readPesLayout(data + at + info.payloadAt, kTsPacket - info.payloadAt, &pes) ==
                LayoutResult::Complete &&
            isVideoStreamId(pes.streamId)) {
            videoPids.insert(info.pid);
        }
        (videoPids.contains(info.pid) ? video : front) +=
            bytes.mid(static_cast<qsizetype>(at), kTsPacket);
    }
    return front + video;
}

// A program stream whose video packets carry stream id E1 instead of E0.
QByteArray videoAsE1(QByteArray bytes) {
    struct Renumber {
        void unit(const PsUnit& unit) {
            if (unit.kind == PsUnit::Pes && unit.streamId == 0xE0) {
                unit.at[3] = 0xE1;
            }
        }
        void payload(const unsigned char*, size_t, quint64, int) {}
    } renumber;
    ProgramStreamReader().parse(reinterpret_cast<unsigned char*>(bytes.data()),
                                static_cast<size_t>(bytes.size()), renumber);
    return bytes;
}

QByteArray withoutEndCode(QByteArray part, const char* code) {
    if (part.endsWith(QByteArray::fromRawData(code, 4))) {
        part.chop(4);
    }
    return part;
}

}  // namespace

class MpegStreamTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() { useThrowawayUserFolders(m_dir.path()); }

    void timestampFields_data() {
        QTest::addColumn<quint64>("value");
        QTest::newRow("zero") << quint64{0};
        QTest::newRow("every bit") << (kTimestampWrap - 1);
        QTest::newRow("one second") << quint64{90000};
        QTest::newRow("alternating") << quint64{0x155555555};
    }
    // Each field keeps its marker and prefix bits around the 33-bit value.
    void timestampFields() {
        QFETCH(quint64, value);
        unsigned char pts[5] = {0x21, 0x00, 0x01, 0x00, 0x01};
        writePtsField(pts, value);
        QCOMPARE(readPtsField(pts), value);
        QCOMPARE(pts[0] & 0xF1, 0x21);
        QCOMPARE(pts[2] & 1, 1);
        QCOMPARE(pts[4] & 1, 1);
        unsigned char scr[6] = {0x44, 0x00, 0x04, 0x00, 0x04 | 0x03, 0xFF};
        writeScr2Base(scr, value);
        QCOMPARE(readScr2Base(scr), value);
        QCOMPARE(scr[0] & 0xC4, 0x44);
        QCOMPARE(scr[4] & 0x07, 0x07);  // marker and extension bits
        unsigned char pcr[6] = {0, 0, 0, 0, 0x7E, 0x55};
        writePcrBase(pcr, value);
        QCOMPARE(readPcrBase(pcr), value);
        QCOMPARE(pcr[4] & 0x7F, 0x7E);
        QCOMPARE(shiftedTimestamp(shiftedTimestamp(value, 123456789), -123456789), value);
        QCOMPARE(timestampDistance(shiftedTimestamp(value, 90000), value), qint64{90000});
    }

    void seamlessJoin_data() {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("kind");
        const auto row = [](const char* name, const char* codec, const char* extension,
                            MpegStreamKind kind) {
            QTest::newRow(name) << QString::fromLatin1(codec) << QString::fromLatin1(extension)
                                << static_cast<int>(kind);
        };
        row("MPEG-1 program stream", "-c:v mpeg1video -q:v 6 -c:a mp2 -f mpeg", "mpg",
            MpegStreamKind::Program);
        row("MPEG-2 program stream", "-c:v mpeg2video -q:v 6 -c:a mp2 -f vob", "vob",
            MpegStreamKind::Program);
        row("transport stream", "-c:v mpeg2video -q:v 6 -c:a mp2 -f mpegts", "ts",
            MpegStreamKind::Transport);
        row("elementary stream", "-c:v mpeg2video -q:v 6 -an -f mpeg2video", "m2v",
            MpegStreamKind::Elementary);
    }
    // Three parts of two seconds, each showing its own picture, become one six-second
    // stream: every frame decodes, the third part's pictures are where the timeline
    // says, and nothing but timestamps and inner end codes changed.
    void seamlessJoin() {
        QFETCH(QString, codec);
        QFETCH(QString, extension);
        QFETCH(int, kind);
        const QString folder = freshFolder(path(extension));
        QStringList parts;
        QByteArray expected;
        const char* sources[] = {"testsrc", "testsrc2", "smptebars"};
        for (int i = 0; i < 3; ++i) {
            parts << folder + QStringLiteral("/part%1.").arg(i) + extension;
            QVERIFY(makeClip(parts.last(), QLatin1String(sources[i]), codec, 2));
            // Each part ends its stream, as other muxers write it.
            const QByteArray end =
                kind == static_cast<int>(MpegStreamKind::Program)      ? QByteArray("\0\0\1\xB9", 4)
                : kind == static_cast<int>(MpegStreamKind::Elementary) ? QByteArray("\0\0\1\xB7", 4)
                                                                       : QByteArray();
            writeFile(parts.last(), readFile(parts.last()) + end);
            QByteArray bytes = readFile(parts.last());
            expected +=
                i == 2 ? bytes : withoutEndCode(withoutEndCode(bytes, "\0\0\1\xB9"), "\0\0\1\xB7");
        }
        const QString joined = folder + QStringLiteral("/joined.") + extension;
        const CliResult result =
            runCliProgram(QStringList{QStringLiteral("pack"), QStringLiteral("--seamless"),
                                      QStringLiteral("-o"), joined} +
                          parts);
        QCOMPARE(result.status, 0);
        QCOMPARE(frameCount(joined), 3 * frameCount(parts.first()));
        QCOMPARE(videoErrors(joined), QStringList());
        const auto streamKind = static_cast<MpegStreamKind>(kind);
        if (streamKind != MpegStreamKind::Elementary) {
            QVERIFY(qAbs(duration(joined) - (4.0 + duration(parts.last()))) <= 0.04);
            QCOMPARE(pictureAt(joined, 5.0), pictureAt(parts.last(), 1.0));
        }
        QByteArray actual = readFile(joined);
        zeroTimestamps(actual, streamKind);
        zeroTimestamps(expected, streamKind);
        QVERIFY(actual == expected);
    }

    // Parts lined up by their first video timestamp however far in it lies, by their
    // first audio timestamp when they have no video, every stream of a part moved by the
    // same amount, and the same bytes out at every transfer rate.
    void seamlessJoinAtEveryRate_data() {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("laterPart");  // how the second part is changed
        const auto row = [](const char* name, const char* codec, const char* extension,
                            MpegStreamKind kind, const char* change) {
            QTest::newRow(name) << QString::fromLatin1(codec) << QString::fromLatin1(extension)
                                << static_cast<int>(kind) << QString::fromLatin1(change);
        };
        row("program stream, video after a MiB of audio",
            "-c:v mpeg2video -q:v 6 -c:a pcm_s16be -ac 2 -f vob", "vob", MpegStreamKind::Program,
            "video last");
        row("program stream, later video as stream E1", "-c:v mpeg2video -q:v 6 -c:a mp2 -f vob",
            "vob", MpegStreamKind::Program, "E1");
        row("transport stream, video after a MiB of audio",
            "-c:v mpeg2video -q:v 6 -c:a s302m -strict -2 -ac 2 -f mpegts", "ts",
            MpegStreamKind::Transport, "video last");
        row("transport stream of audio alone", "-vn -c:a mp2 -f mpegts", "ts",
            MpegStreamKind::Transport, "");
        row("program stream of audio alone", "-vn -c:a mp2 -f mpeg", "mpa", MpegStreamKind::Program,
            "");
        row("elementary stream", "-c:v mpeg2video -q:v 6 -an -f mpeg2video", "m2v",
            MpegStreamKind::Elementary, "");
    }
    void seamlessJoinAtEveryRate() {
        QFETCH(QString, codec);
        QFETCH(QString, extension);
        QFETCH(int, kind);
        QFETCH(QString, laterPart);
        const auto streamKind = static_cast<MpegStreamKind>(kind);
        const QString folder =
            freshFolder(path(QStringLiteral("rates-") + QLatin1String(QTest::currentDataTag())));
        QStringList parts;
        for (int i = 0; i < 3; ++i) {
            parts << folder + QStringLiteral("/p%1.").arg(i) + extension;
            QVERIFY(makeClip(parts.last(), QStringLiteral("testsrc"), codec, 6));
        }
        QByteArray later = readFile(parts.at(1));
        if (laterPart == QLatin1String("video last")) {
            later = videoLast(later, streamKind);
            QVERIFY(decodeTimes(later, streamKind).size() == 2);
        } else if (laterPart == QLatin1String("E1")) {
            later = videoAsE1(later);
        }
        writeFile(parts.at(1), later);
        QByteArray first;
        for (const char* rate : {"slow", "normal", "fast", "ufast"}) {
            const QString out =
                folder + QStringLiteral("/joined-%1.").arg(QLatin1String(rate)) + extension;
            const CliResult result = runCliProgram(
                QStringList{QStringLiteral("pack"), QStringLiteral("--seamless"),
                            QStringLiteral("--no-mpeg-check"), QStringLiteral("--rate"),
                            QLatin1String(rate), QStringLiteral("-o"), out} +
                parts);
            QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
            QVERIFY2(!result.errorOutput.contains(QStringLiteral("warning")),
                     qPrintable(result.errorOutput));
            const QByteArray joined = readFile(out);
            if (first.isEmpty()) {
                first = joined;
            }
            QVERIFY2(joined == first, rate);
        }
        if (streamKind != MpegStreamKind::Elementary) {
            const QString problem = timelineProblem(first, streamKind);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
    }

    // A damaged transport stream part is said with its file and offset, and the parts
    // after it are still lined up; a part without any timestamp is said too.
    void damageAndMissingAnchorsAreSaidPerPart() {
        const QString folder = freshFolder(path(QStringLiteral("ts-damage")));
        QStringList parts;
        for (int i = 0; i < 3; ++i) {
            parts << folder + QStringLiteral("/p%1.ts").arg(i);
            QVERIFY(makeClip(parts.last(), QStringLiteral("testsrc"),
                             QStringLiteral("-c:v mpeg2video -q:v 6 -c:a mp2 -f mpegts"), 2));
        }
        QByteArray damaged = readFile(parts.at(1));
        const qsizetype at = (damaged.size() / 188 - 20) * 188;
        writeFile(parts.at(1), damaged.insert(at, "junk!"));
        const QString tables = parts.at(0) + QStringLiteral(".tables.ts");
        writeFile(tables, readFile(parts.at(0)).left(3 * 188));  // PAT and PMT, no PES
        const QString joined = folder + QStringLiteral("/joined.ts");
        const CliResult result = runCliProgram(QStringList{
            QStringLiteral("pack"), QStringLiteral("--seamless"), QStringLiteral("--no-mpeg-check"),
            QStringLiteral("-o"), joined, parts.at(0), parts.at(1), tables, parts.at(2)});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.errorOutput.section(QStringLiteral("information: "), 0, 0),
                 QStringLiteral("warning: '%1' has no timestamp to line it up by: its clock moves "
                                "as the part before it does.\n"
                                "warning: The joined file is not wholly continuous: in '%2', "
                                "damaged transport stream at byte %3: no sync byte where a packet "
                                "should begin. From there on, that part was copied unchanged.\n")
                     .arg(tables, parts.at(1))
                     .arg(at));
        // The third part follows the second: the video ends six seconds after it starts.
        const QByteArray aligned =
            readFile(joined).remove(static_cast<qsizetype>(GetFileLen(parts.at(0))) + at, 5);
        const QList<quint64> video =
            decodeTimes(aligned, MpegStreamKind::Transport)
                .value(decodeTimes(readFile(parts.at(0)), MpegStreamKind::Transport).firstKey());
        QVERIFY(timestampDistance(video.last(), video.first()) > 5 * 90000);
    }

    void inputsOfOtherKindsJoinAsBytes() {
        const QString folder = freshFolder(path(QStringLiteral("mixed")));
        const QString clip = folder + QStringLiteral("/a.mpg");
        QVERIFY(makeMpegClip(clip));
        const QString text = writeFile(folder + QStringLiteral("/b.txt"), "not a stream\n");
        const QString joined = folder + QStringLiteral("/j.bin");
        const CliResult result = runCliProgram(
            {QStringLiteral("pack"), QStringLiteral("--seamless"),
             QStringLiteral("--no-mpeg-check"), QStringLiteral("-o"), joined, clip, text});
        QCOMPARE(result.status, 0);
        QVERIFY2(result.errorOutput.contains(
                     QLatin1Char('\'') + text +
                     QStringLiteral("' is not an MPEG program stream like '") + clip +
                     QStringLiteral("': the files are joined byte "
                                    "for byte.")),
                 qPrintable(result.errorOutput));
        QVERIFY(readFile(joined) == readFile(clip) + readFile(text));
    }

    // Past damage a part is copied as it is, and the user hears of it.
    void damagedPartIsSaid() {
        const QString folder = freshFolder(path(QStringLiteral("damaged")));
        const QString first = folder + QStringLiteral("/a.mpg");
        const QString second = folder + QStringLiteral("/b.mpg");
        QVERIFY(makeMpegClip(first));
        writeFile(first, readFile(first) + QByteArray("\0\0\1\xB9", 4));
        QByteArray bytes = readFile(first);
        bytes.insert(bytes.size() / 2, QByteArray(1000, '\x55'));
        writeFile(second, bytes);
        const QString joined = folder + QStringLiteral("/j.mpg");
        const CliResult result =
            runCliProgram({QStringLiteral("pack"), QStringLiteral("--seamless"),
                           QStringLiteral("-o"), joined, first, second});
        QCOMPARE(result.status, 0);
        QVERIFY2(result.errorOutput.contains(
                     QStringLiteral("The joined file is not wholly continuous: in '") + second +
                     QStringLiteral("', damaged program stream at byte ")),
                 qPrintable(result.errorOutput));
        QCOMPARE(GetFileLen(joined), GetFileLen(first) + GetFileLen(second) - 4);
        QVERIFY(readFile(joined).endsWith(bytes.mid(bytes.size() / 2)));
    }

    void cleanCuts_data() {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("extension");
        QTest::newRow("MPEG-2 program stream with audio")
            << "-c:v mpeg2video -g 12 -b:v 1500k -c:a mp2 -f vob"
            << "vob";
        QTest::newRow("MPEG-1 program stream") << "-c:v mpeg1video -g 12 -c:a mp2 -f mpeg"
                                               << "mpg";
        QTest::newRow("transport stream") << "-c:v mpeg2video -g 12 -c:a mp2 -f mpegts"
                                          << "ts";
        QTest::newRow("elementary stream") << "-c:v mpeg2video -g 12 -an -f mpeg2video"
                                           << "m2v";
    }
    // Every piece starts with a key picture and decodes without a video error; the join
    // script rebuilds the source byte for byte.
    void cleanCuts() {
        QFETCH(QString, codec);
        QFETCH(QString, extension);
        const QString folder = freshFolder(path(QStringLiteral("cut-") + extension));
        const QString source = folder + QStringLiteral("/movie.") + extension;
        QVERIFY(makeClip(source, QStringLiteral("testsrc"), codec, 8));
        const QString pieces = freshFolder(folder + QStringLiteral("/pieces"));
        const CliResult result = runCliProgram(
            {QStringLiteral("unpack"), QStringLiteral("--type"), QStringLiteral("emh"),
             QStringLiteral("--clean-cuts"), QStringLiteral("--pieces"), QStringLiteral("4"),
             QStringLiteral("--join-bat"), QStringLiteral("yes"), QStringLiteral("--to"), pieces,
             source});
        QCOMPARE(result.status, 0);
        const QStringList names =
            QDir(pieces).entryList({QStringLiteral("movie.*.mpg")}, QDir::Files, QDir::Name);
        QCOMPARE(names.size(), 4);
        const auto sourceSize = static_cast<double>(GetFileLen(source));
        for (const QString& name : names) {
            const QString piece = pieces + QLatin1Char('/') + name;
            QVERIFY2(firstPicture(piece).startsWith(QStringLiteral("352,I")), qPrintable(name));
            QCOMPARE(videoErrors(piece), QStringList());
            // Within a picture group (half a second here) of a quarter of the source.
            QVERIFY(qAbs(static_cast<double>(GetFileLen(piece)) / sourceSize - 0.25) < 0.1);
        }
        QVERIFY(runShell(
            QStringLiteral("cd '%1' && sh movie.%2-JOIN.sh >/dev/null").arg(pieces, extension)));
        QVERIFY(readFile(pieces + QStringLiteral("/movie.") + extension + QStringLiteral("-JOIN.") +
                         extension) == readFile(source));
    }

    void cleanCutsOfOtherFilesCutBySize() {
        const QString folder = freshFolder(path(QStringLiteral("plain")));
        const QString source = writePatternFile(folder + QStringLiteral("/data.bin"), 30000, 7);
        const CliResult result =
            runCliProgram({QStringLiteral("unpack"), QStringLiteral("--type"),
                           QStringLiteral("emh"), QStringLiteral("--clean-cuts"),
                           QStringLiteral("--pieces"), QStringLiteral("3"), source});
        QCOMPARE(result.status, 0);
        QVERIFY2(result.errorOutput.contains(QStringLiteral("its pieces are cut by size.")),
                 qPrintable(result.errorOutput));
        QVERIFY(readFile(source + QStringLiteral(".001.mpg")) == readFile(source).left(10000));
    }
};

QTEST_GUILESS_MAIN(MpegStreamTest)
#include "test_mpeg_stream.moc"
