#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <vector>

#include "support/test_files.h"

namespace {

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A small XFS image with reflink, loop-mounted for one test and gone after it, whatever
// the test's end.
class XfsMount {
public:
    explicit XfsMount(const QString& folder)
        : m_image(folder + QStringLiteral("/xfs.img")), m_point(folder + QStringLiteral("/mnt")) {
        QDir().mkpath(m_point);
        if (::geteuid() != 0) {
            m_missing = QStringLiteral("root, to mount an image");
        } else if (!run(QStringLiteral("truncate"),
                        {QStringLiteral("-s"), QStringLiteral("512M"), m_image}) ||
                   !run(QStringLiteral("mkfs.xfs"),
                        {QStringLiteral("-q"), QStringLiteral("-f"), QStringLiteral("-m"),
                         QStringLiteral("reflink=1"), m_image})) {
            m_missing = QStringLiteral("mkfs.xfs with reflink");
        } else if (!run(QStringLiteral("mount"),
                        {QStringLiteral("-o"), QStringLiteral("loop"), m_image, m_point})) {
            m_missing = QStringLiteral("a loop mount (refused here)");
        } else {
            m_mounted = true;
        }
    }
    ~XfsMount() {
        if (m_mounted) {
            run(QStringLiteral("umount"), {m_point});
        }
        QFile::remove(m_image);
    }
    XfsMount(const XfsMount&) = delete;
    XfsMount& operator=(const XfsMount&) = delete;

    QString missing() const { return m_missing; }
    QString path(const QString& name) const { return m_point + QLatin1Char('/') + name; }

private:
    QString m_image;
    QString m_point;
    QString m_missing;
    bool m_mounted = false;
};

// Whether every extent FIEMAP reports for the file is shared with another file.
bool allExtentsShared(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    constexpr unsigned kExtents = 512;
    std::vector<char> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
    auto* map = reinterpret_cast<fiemap*>(buffer.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = kExtents;
    const bool read = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
    ::close(fd);
    if (!read || map->fm_mapped_extents == 0) {
        return false;
    }
    for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
        if ((map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

// On a copy-on-write file system the fast rates' copies share the source's blocks.
class BlockSharingTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    // Pieces longer than the rate's 5,000,000-byte chunk share only when every step
    // after the first stays on block boundaries.
    void unpackAndRejoinShareBlocks_data() {
        QTest::addColumn<int>("pieceKb");
        QTest::newRow("4 MiB pieces") << 4096;
        QTest::newRow("12 MiB pieces, several steps each") << 12288;
    }
    void unpackAndRejoinShareBlocks() {
        QFETCH(int, pieceKb);
        XfsMount xfs(m_dir.path());
        if (!xfs.missing().isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("needs ") + xfs.missing()));
        }
        const quint64 pieceBytes = quint64(pieceKb) * 1024;
        // A short last piece of one block.
        const QString source =
            writePatternFile(xfs.path(QStringLiteral("src.bin")), 4 * pieceBytes + 4096, 7);
        QVERIFY(runShell(QStringLiteral("sync")));
        const CliResult unpack =
            runCliProgram({QStringLiteral("unpack"), QStringLiteral("--rate"),
                           QStringLiteral("ufast"), QStringLiteral("--piece-size"),
                           QString::number(pieceKb), QStringLiteral("--where-file"), source});
        QCOMPARE(unpack.status, 0);
        QStringList pieces;
        for (int n = 1; n <= 5; ++n) {
            pieces << source + QStringLiteral(".00") + QString::number(n);
        }
        for (const QString& piece : std::as_const(pieces)) {
            QVERIFY2(allExtentsShared(piece), qPrintable(piece));
        }
        const QString joined = xfs.path(QStringLiteral("joined.bin"));
        const CliResult pack =
            runCliProgram(QStringList{QStringLiteral("pack"), QStringLiteral("--no-mpeg-check"),
                                      QStringLiteral("--rate"), QStringLiteral("ufast"),
                                      QStringLiteral("--output"), joined} +
                          pieces);
        QCOMPARE(pack.status, 0);
        QVERIFY(allExtentsShared(joined));
        QVERIFY(readFile(joined) == readFile(source));
    }
};

QTEST_GUILESS_MAIN(BlockSharingTest)
#include "test_block_sharing.moc"
