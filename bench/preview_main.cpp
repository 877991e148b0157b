// zarvo-bench-preview FOLDER: the preview following the browser through 50 clips, one
// Down key at a time, as a user does with the preview switched on. Prints how long the
// window took to handle each key (the load of the next clip included): median and
// maximum, against the 100 ms target. Run it under X (xvfb-run) for real video output.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cstdio>

#include "core/job_host.h"
#include "ui/file_browser_widget.h"
#include "ui/main_window.h"
#include "ui/preview_player_widget.h"

namespace {

class QuietHost : public JobHost {
public:
    MessageAnswer message(MessageIcon, const QString&, MessageButtons) override {
        return MessageAnswer::No;
    }
    void progress(const ProgressReport&) override {}
};

constexpr int kClips = 50;
constexpr double kTargetMs = 100;

bool makeClips(const QString& folder) {
    QDir().mkpath(folder);
    const QString first = folder + QStringLiteral("/clip00.mpg");
    if (QProcess::execute(QStringLiteral("ffmpeg"), {QStringLiteral("-loglevel"),
                                                     QStringLiteral("error"),
                                                     QStringLiteral("-y"),
                                                     QStringLiteral("-f"),
                                                     QStringLiteral("lavfi"),
                                                     QStringLiteral("-i"),
                                                     QStringLiteral("testsrc=size=352x240:rate=25"),
                                                     QStringLiteral("-f"),
                                                     QStringLiteral("lavfi"),
                                                     QStringLiteral("-i"),
                                                     QStringLiteral("sine=frequency=440"),
                                                     QStringLiteral("-t"),
                                                     QStringLiteral("3"),
                                                     QStringLiteral("-c:v"),
                                                     QStringLiteral("mpeg1video"),
                                                     QStringLiteral("-c:a"),
                                                     QStringLiteral("mp2"),
                                                     QStringLiteral("-f"),
                                                     QStringLiteral("mpeg"),
                                                     first}) != 0) {
        return false;
    }
    for (int i = 1; i < kClips; ++i) {
        QFile::copy(first, folder + QStringLiteral("/clip%1.mpg").arg(i, 2, 10, QLatin1Char('0')));
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: zarvo-bench-preview FOLDER\n", stderr);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/clips");
    if (!makeClips(folder)) {
        std::fputs("ffmpeg could not make the clips\n", stderr);
        return 1;
    }
    QuietHost host;
    MainWindow window(&host);
    window.load();
    window.show();
    window.setCurrentDir(folder);
    QListWidget* list = window.browser()->fileList();
    list->setFocus();
    list->setCurrentRow(0);
    window.previewCheck()->click();
    QTest::qWait(200);
    QList<double> times;
    for (int i = 1; i < kClips; ++i) {
        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(list, Qt::Key_Down);
        QApplication::processEvents();
        times.append(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    const bool loaded = window.player()->fields().fileName.endsWith(QStringLiteral("clip49.mpg"));
    std::sort(times.begin(), times.end());
    const double median = times.at(times.size() / 2);
    const double worst = times.last();
    std::printf(
        "preview through %d clips, per key: median %.1f ms, max %.1f ms (target %.0f ms)%s\n",
        kClips, median, worst, kTargetMs, loaded ? "" : " - the last clip did not load");
    return loaded && worst <= kTargetMs ? 0 : 1;
}
