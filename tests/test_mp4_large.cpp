// A seamless MPEG-4 join whose output passes 4 GiB: 64-bit chunk offsets that point at
// the right samples. Slow: it writes about 9 GB.
#include <QDir>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include "fileio/file64.h"
#include "support/media_probe.h"
#include "support/test_files.h"

class Mp4LargeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void joinPastFourGiB() {
        // tmpfs when it has room: the test's bytes never wait for a disk.
        const QString base = QStorageInfo(QStringLiteral("/dev/shm")).bytesAvailable() > 12LL << 30
                                 ? QStringLiteral("/dev/shm")
                                 : QDir::tempPath();
        QTemporaryDir dir(base + QStringLiteral("/zarvo-mp4-large-XXXXXX"));
        QVERIFY(dir.isValid());
        if (QStorageInfo(dir.path()).bytesAvailable() < 12LL << 30) {
            QSKIP("no room for 12 GB of test files");
        }
        useThrowawayUserFolders(dir.path());
        QStringList parts;
        for (const char* source : {"testsrc", "testsrc2"}) {
            parts << dir.filePath(QLatin1String(source) + QStringLiteral(".mov"));
            // Uncompressed pictures: 2.2 GB a part, quick to make.
            QVERIFY(
                ffmpeg(QStringLiteral("-f lavfi -i %1=size=640x360:rate=25 -t 192 -c:v rawvideo "
                                      "-pix_fmt uyvy422 '%2'")
                           .arg(QLatin1String(source), parts.last())));
        }
        const QString joined = dir.filePath(QStringLiteral("joined.mov"));
        const CliResult result =
            runCliProgram(QStringList{QStringLiteral("pack"), QStringLiteral("--seamless"),
                                      QStringLiteral("--rate"), QStringLiteral("ufast"),
                                      QStringLiteral("-o"), joined} +
                          parts);
        QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
        QVERIFY(GetFileLen(joined) > 4ULL << 30);
        QFile file(joined);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(1 << 20).contains("co64"));  // the moov comes first
        // The second part's pictures, the last second too, lie past 4 GiB.
        const QList<QByteArray> frames = decodedFrames(joined);
        const QList<QByteArray> second = decodedFrames(parts.last());
        QCOMPARE(frames.size(), 2 * 4800);
        QCOMPARE(frames.mid(4800), second);
    }
};

QTEST_GUILESS_MAIN(Mp4LargeTest)
#include "test_mp4_large.moc"
