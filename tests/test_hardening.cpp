// The safety rules that hold for every job, tried the way a careless user or an attacker
// would: through zarvo-cli, on real files.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "support/test_files.h"

class HardeningTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString freshFolder(const QString& name) const {
        QDir(path(name)).removeRecursively();
        QDir().mkpath(path(name));
        return path(name);
    }

private Q_SLOTS:
    void initTestCase() { useThrowawayUserFolders(m_dir.path()); }

    // A link planted where a job writes is replaced; what it points at stays as it was.
    void plantedLinksAreReplacedNeverFollowed_data() {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QStringList>("arguments");
        const QStringList unpack{"unpack",     "--piece-size", "1",
                                 "--join-bat", "yes",          "--where-file"};
        QTest::newRow("piece") << "s.bin.002" << (QStringList(unpack) << "s.bin");
        QTest::newRow("hidden piece") << ".h.bin.001" << (QStringList(unpack) << ".h.bin");
        QTest::newRow("batch file") << "s.bin-JOIN.bat" << (QStringList(unpack) << "s.bin");
        QTest::newRow("shell twin") << "s.bin-JOIN.sh" << (QStringList(unpack) << "s.bin");
        QTest::newRow("archive") << "s.zip" << QStringList{"unpack", "--zip",        "--piece-size",
                                                           "1",      "--where-file", "s.bin"};
        QTest::newRow("joined output")
            << "out.bin" << QStringList{"pack",    "--no-mpeg-check", "--assume-yes", "-o",
                                        "out.bin", "s.bin",           ".h.bin"};
        QTest::newRow("hidden output")
            << ".out.bin" << QStringList{"pack",     "--no-mpeg-check", "--assume-yes", "-o",
                                         ".out.bin", "s.bin",           ".h.bin"};
        QTest::newRow("pack archive")
            << "out.zip" << QStringList{"pack", "--no-mpeg-check", "--zip", "--assume-yes",
                                        "-o",   "out.bin",         "s.bin", ".h.bin"};
    }
    void plantedLinksAreReplacedNeverFollowed() {
        QFETCH(QString, planted);
        QFETCH(QStringList, arguments);
        const QString folder = freshFolder(QStringLiteral("links"));
        writePatternFile(folder + QStringLiteral("/s.bin"), 3000, 1);
        writePatternFile(folder + QStringLiteral("/.h.bin"), 2500, 2);
        const QString victim = writeFile(path(QStringLiteral("victim/precious")), "precious");
        QFile::setPermissions(victim, QFile::ReadOwner | QFile::WriteOwner);
        const QString dangling = path(QStringLiteral("victim/never-made"));
        for (const QString& target : {victim, dangling}) {
            const QString at = folder + QLatin1Char('/') + planted;
            QFile::remove(at);
            QVERIFY(QFile::link(target, at));
            const CliResult result = runCli(arguments, folder);
            QVERIFY2(result.status == 0, qPrintable(result.errorOutput));
            QVERIFY2(!QFileInfo(at).isSymLink(), qPrintable(at));
            QVERIFY(QFileInfo(at).isFile());
        }
        QCOMPARE(readFile(victim), QByteArray("precious"));
        QCOMPARE(QFile::permissions(victim),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QVERIFY(!QFileInfo::exists(dangling));
    }
};

QTEST_MAIN(HardeningTest)
#include "test_hardening.moc"
