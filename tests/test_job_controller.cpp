#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "core/job_messages.h"
#include "desktop/job_controller.h"
#include "options/options_model.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"

// The desktop program's jobs as the window drives them: armed, started, and cancelled
// by the user's request between two chunks.
class JobControllerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() { useThrowawayUserFolders(m_dir.path()); }

    // At 10,000-byte chunks a cancel after report N leaves the first N chunks; pieces of
    // 102,400 bytes take 11 steps each (10 chunks and a remainder of 2,400).
    void cancelKeepsExactSourceBytes_data() {
        QTest::addColumn<bool>("packing");
        QTest::addColumn<int>("cancelAt");
        QTest::addColumn<qint64>("written");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("kept");  // 30,000 bytes of it
        QTest::newRow("pack") << true << 3 << qint64(30000) << kPackingAbortedByUser
                              << QStringLiteral("out");
        QTest::newRow("unpack, in piece 3") << false << 25 << qint64(2 * 102400 + 30000)
                                            << kUnpackingAbortedByUser << QStringLiteral("a.003");
    }
    void cancelKeepsExactSourceBytes() {
        QFETCH(bool, packing);
        QFETCH(int, cancelAt);
        QFETCH(qint64, written);
        QFETCH(QString, message);
        QFETCH(QString, kept);
        const QString folder = freshFolder(path(QStringLiteral("cancel")));
        const QString a = writePatternFile(folder + QStringLiteral("/a"), 1000000, 1);
        const QString b = writePatternFile(folder + QStringLiteral("/b"), 5000, 2);
        OptionsModel options;
        options.choose(SettingId::Rate, Speed::Slow);
        options.setOn(SettingId::MpegCheck, false);
        options.choose(SettingId::Destination, UnpackDestination::WhereFile);
        options.applyCustomSize(SplitKind::CustomSize, QStringLiteral("100"), false);
        RecorderJobHost host;
        JobController jobs(options, host);
        jobs.setRunInline(true);  // every report arrives, each in its turn
        QSignalSpy finished(&jobs, &JobController::finished);
        // The window shows each report; the user's click arrives meanwhile.
        int reports = 0;
        connect(&jobs, &JobController::progressed, this, [&] {
            if (++reports == cancelAt - 1) {
                jobs.cancel();  // not armed: nothing happens
            } else if (reports == cancelAt) {
                jobs.armCancel();
                jobs.cancel();
            }
        });

        const QString out = folder + QStringLiteral("/out");
        jobs.arm();
        if (packing) {
            jobs.startPack({a, b}, out);
        } else {
            jobs.startUnpack({a}, out);
        }
        QCOMPARE(
            host.texts(),
            QStringList{withLine(message, keptFileLine(folder + QLatin1Char('/') + kept, 30000))});
        QCOMPARE(reports, cancelAt);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().at(1).value<JobOutcome>(), JobOutcome::Cancelled);
        QVERIFY(!jobs.busy());
        QByteArray output = readFile(out);
        for (const char* piece : {"/a.001", "/a.002", "/a.003", "/a.004"}) {
            output += readFile(folder + QLatin1String(piece));
        }
        QCOMPARE(output.size(), written);
        QVERIFY(output == readFile(a).left(written));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/a-JOIN.bat")));
    }

    // A start needs a press that arms it; a second start while one runs does nothing.
    void startsOnlyWhenArmedAndIdle() {
        const QString a = writeFile(path(QStringLiteral("arm/a")), "aa");
        const QString b = writeFile(path(QStringLiteral("arm/b")), "bb");
        OptionsModel options;
        options.setOn(SettingId::MpegCheck, false);
        RecorderJobHost host;
        JobController jobs(options, host);
        jobs.setRunInline(true);
        jobs.startPack({a, b}, path(QStringLiteral("arm/out")));
        QVERIFY(host.texts().isEmpty());
        jobs.arm();
        connect(&jobs, &JobController::progressed, this, [&] {
            jobs.arm();
            jobs.startUnpack({a}, path(QStringLiteral("arm/piece")));
        });
        jobs.startPack({a, b}, path(QStringLiteral("arm/out")));
        QCOMPARE(readFile(path(QStringLiteral("arm/out"))), QByteArray("aabb"));
        QCOMPARE(host.texts().size(), 1);
        QVERIFY(host.texts().first().endsWith(QStringLiteral("Total filesize is 4 bytes.")));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("arm/piece.001"))));
    }
};

QTEST_GUILESS_MAIN(JobControllerTest)
#include "test_job_controller.moc"
