#include <QTest>

#include "core/progress_feedback.h"

class ProgressTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void percentRoundsHalfToEven_data() {
        QTest::addColumn<quint64>("done");
        QTest::addColumn<quint64>("total");
        QTest::addColumn<int>("percent");
        QTest::newRow("nothing") << quint64(0) << quint64(8) << 0;
        QTest::newRow("12.5 down") << quint64(1) << quint64(8) << 12;
        QTest::newRow("37.5 up") << quint64(3) << quint64(8) << 38;
        QTest::newRow("2.5 down") << quint64(5) << quint64(200) << 2;
        QTest::newRow("0.5 down") << quint64(1) << quint64(200) << 0;
        QTest::newRow("1.5 up") << quint64(3) << quint64(200) << 2;
        QTest::newRow("just under half") << quint64(1249) << quint64(10000) << 12;
        QTest::newRow("all") << quint64(8) << quint64(8) << 100;
        QTest::newRow("huge sizes") << quint64(1) << quint64(3) << 33;
        QTest::newRow("beyond 4 GiB") << quint64(6442450944) << quint64(12884901888) << 50;
        QTest::newRow("near the top of 64 bits")
            << quint64(0xFFFFFFFFFFFFFFFFULL) / 2 << quint64(0xFFFFFFFFFFFFFFFFULL) << 50;
    }
    void percentRoundsHalfToEven() {
        QFETCH(quint64, done);
        QFETCH(quint64, total);
        QFETCH(int, percent);
        QCOMPARE(progressPercent(done, total), percent);
    }

    void timeRemaining_data() {
        QTest::addColumn<double>("elapsed");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("text");
        QTest::newRow("half after a minute") << 60.0 << 50 << "2 minutes 0 second remaining";
        QTest::newRow("done") << 75.0 << 100 << "0 second remaining";
        QTest::newRow("nothing yet: 198 times") << 5.0 << 0 << "16 minutes 30 seconds remaining";
        QTest::newRow("hours and minutes") << 2550.0 << 50 << "1 hour 25 minutes remaining";
        QTest::newRow("plural hours") << 9000.0 << 50 << "5 hours 0 minute remaining";
        QTest::newRow("minute and second") << 120.5 << 50 << "4 minutes 1 second remaining";
        QTest::newRow("seconds only") << 3.0 << 50 << "6 seconds remaining";
        QTest::newRow("one second") << 0.5 << 50 << "1 second remaining";
        QTest::newRow("25 hours wrap within a day") << 45000.0 << 50 << "1 hour 0 minute remaining";
    }
    void timeRemaining() {
        QFETCH(double, elapsed);
        QFETCH(int, percent);
        QFETCH(QString, text);
        QCOMPARE(timeRemainingText(elapsed, percent), text);
    }

    void timeTextChangesOnlyAtEvenPercentages() {
        qint64 now = 0;
        ProgressFeedback feedback([&now] { return now; });
        feedback.start();
        const ProgressReport first = feedback.report(0, 100);
        QCOMPARE(first.percentText, QStringLiteral("0%"));
        QCOMPARE(first.timeRemainingText, QStringLiteral("0 second remaining"));
        now = 1100;
        const ProgressReport odd = feedback.report(1, 100);
        QCOMPARE(odd.percentText, QStringLiteral("1%"));
        QCOMPARE(odd.timeRemainingText, first.timeRemainingText);
        const ProgressReport even = feedback.report(2, 100);
        QCOMPARE(even.percentText, QStringLiteral("2%"));
        QVERIFY(even.timeRemainingText != first.timeRemainingText);
    }
};

QTEST_GUILESS_MAIN(ProgressTest)
#include "test_progress.moc"
