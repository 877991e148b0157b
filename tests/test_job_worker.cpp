#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>
#include <csignal>

#include "platform/termination_watch.h"
#include "support/recorder_job_host.h"
#include "support/test_files.h"
#include "ui/main_window.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A gigabyte in the plain build; sanitizers slow the copy too much to time the window,
// so there a smaller job goes in small steps, still running when the close arrives.
constexpr quint64 kHalf = kSanitized ? 64 * 1024 * 1024 : 512 * 1024 * 1024;
constexpr Speed kRate = kSanitized ? Speed::Slow : Speed::Normal;

// The longest pause between two ticks of a 10 ms timer on the window's thread while
// the job runs.
class TickWatch {
public:
    TickWatch() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_since.isValid()) {
                m_longest = std::max(m_longest, m_since.elapsed());
            }
            m_since.start();
        });
        m_timer.start();
    }
    qint64 longest() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

bool jobEnds(const MainWindow& window) {
    return waitUntil([&window] { return !window.jobRunning(); }, 120000);
}

}  // namespace

// The window while a job runs on its own thread: it keeps handling events, a close
// asks first, and files handed over wait for the job.
class JobWorkerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_a;
    QString m_b;

    void startPack(MainWindow& window, const QString& out) {
        window.load();
        window.show();
        window.options().setOn(SettingId::MpegCheck, false);
        window.options().choose(SettingId::Rate, kRate);
        window.packList().appendPath(m_a);
        window.packList().appendPath(m_b);
        window.outputNameBox()->setText(out);
        window.findChild<QPushButton*>(QStringLiteral("PackImg"))->click();
    }

private Q_SLOTS:
    void initTestCase() {
        useThrowawayUserFolders(m_dir.path());
        m_a = writePatternFile(m_dir.filePath(QStringLiteral("a.bin")), kHalf, 1);
        m_b = writePatternFile(m_dir.filePath(QStringLiteral("b.bin")), kHalf + 7, 2);
    }

    void closingDuringAJob_data() {
        QTest::addColumn<MessageAnswer>("answer");
        QTest::addColumn<QString>("after");
        QTest::newRow("No: the job finishes")
            << MessageAnswer::No << QStringLiteral("' successfully packed! Total filesize is ");
        QTest::newRow("Yes: cancelled, then closed")
            << MessageAnswer::Yes << QStringLiteral("Packing aborted by user");
    }
    void closingDuringAJob() {
        QFETCH(MessageAnswer, answer);
        QFETCH(QString, after);
        const QString out = m_dir.filePath(QStringLiteral("out.bin"));
        RecorderJobHost host;
        host.answer(answer);
        MainWindow window(&host);
        bool asked = false;
        connect(&window.jobs(), &JobController::progressed, &window, [&] {
            if (!std::exchange(asked, true)) {
                window.close();
            }
        });
        TickWatch ticks;
        startPack(window, out);
        QVERIFY(jobEnds(window));
        QVERIFY(asked);
        QCOMPARE(host.texts().size(), 2);
        QCOMPARE(host.messages.first().text,
                 QStringLiteral("A job is running. Cancel it and quit?"));
        QCOMPARE(host.messages.first().icon, MessageIcon::Warning);
        QCOMPARE(host.messages.first().buttons, MessageButtons::YesNo);
        QVERIFY2(host.texts().last().contains(after), qPrintable(host.texts().last()));
        if (!kSanitized) {
            QVERIFY2(ticks.longest() < 100, qPrintable(QString::number(ticks.longest())));
        }
        const bool closed = answer == MessageAnswer::Yes;
        QTRY_COMPARE(window.isVisible(), !closed);
        // Finished whole, or cancelled with what was written kept as the sources' start.
        const QString sources = QStringLiteral("cat '%1' '%2'").arg(m_a, m_b);
        QVERIFY(runShell(
            closed ? sources + QStringLiteral(" | cmp -s -n $(stat -c %s '%1') - '%1'").arg(out)
                   : sources + QStringLiteral(" | cmp -s - '%1'").arg(out)));
        QVERIFY(!closed || QFileInfo(out).size() < qint64(2 * kHalf + 7));
        QFile::remove(out);
    }

    void filesHandedOverDuringAJobWait() {
        const QString out = m_dir.filePath(QStringLiteral("handed.bin"));
        const QString late = writeFile(m_dir.filePath(QStringLiteral("late.mpg")), "late");
        RecorderJobHost host;
        MainWindow window(&host);
        int rowsDuringJob = -1;
        connect(&window.jobs(), &JobController::progressed, &window, [&] {
            if (rowsDuringJob < 0) {
                window.receiveFiles({late});
                rowsDuringJob = window.packList().rowCount();
            }
        });
        startPack(window, out);
        QVERIFY(jobEnds(window));
        QCOMPARE(rowsDuringJob, 2);
        QCOMPARE(window.packList().fullPaths(), (QStringList{m_a, m_b, late}));
        QFile::remove(out);
    }

    // The session's end: no question and no message, the job stops, the places stay.
    void terminationCancelsTheJobUnseen() {
        const QString out = m_dir.filePath(QStringLiteral("killed.bin"));
        RecorderJobHost host;
        MainWindow window(&host);
        TerminationWatch watch;
        connect(&watch, &TerminationWatch::terminationRequested, &window, &MainWindow::endSession);
        bool killed = false;
        connect(&window.jobs(), &JobController::progressed, &window, [&] {
            if (!std::exchange(killed, true)) {
                ::kill(::getpid(), SIGTERM);
            }
        });
        startPack(window, out);
        window.packListWindow()->move(123, 45);
        QVERIFY(jobEnds(window));
        QVERIFY(killed);
        QCOMPARE(storedValue(QStringLiteral("PkLstXpos")).toDouble(), 123 * 15.0);
        QCOMPARE(host.texts(), QStringList());
        QVERIFY(QFileInfo(out).size() < qint64(2 * kHalf + 7));
        QFile::remove(out);
    }
};

QTEST_MAIN(JobWorkerTest)
#include "test_job_worker.moc"
