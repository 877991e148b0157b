// Draws the desktop program's windows into PNG files, for reviewing the layout:
// zarvo-screenshot FOLDER. Run it under a real X server (scripts/screenshot uses Xvfb).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

#include "core/job_host.h"
#include "core/program_info.h"
#include "core/tips.h"
#include "ui/custom_filter_dialog.h"
#include "ui/file_browser_widget.h"
#include "ui/help_window.h"
#include "ui/main_chrome_widget.h"
#include "ui/main_window.h"
#include "ui/pack_list_window.h"
#include "ui/preferences_dialog.h"
#include "ui/tip_window.h"

namespace {

// Answers every box with its safe choice, so nothing waits for a click.
class QuietHost : public JobHost {
public:
    MessageAnswer message(MessageIcon, const QString&, MessageButtons buttons) override {
        return buttons == MessageButtons::YesNo ? MessageAnswer::No
               : buttons == MessageButtons::Ok  ? MessageAnswer::Ok
                                                : MessageAnswer::Cancel;
    }
    void progress(const ProgressReport&) override {}
};

// The screen around `widgets`, as the user sees it.
void shoot(const QString& file, const QList<QWidget*>& widgets) {
    QApplication::processEvents();
    QRect area;
    for (QWidget* widget : widgets) {
        area |= widget->frameGeometry();
    }
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    if (!screen.copy(area.adjusted(-4, -4, 4, 4)).save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    }
}

void writeFile(const QString& path, qint64 size) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.resize(size);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    if (argc < 2) {
        std::fputs("usage: zarvo-screenshot FOLDER\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir files;
    QuietHost host;
    MainWindow window(&host);
    window.load();
    window.move(40, 40);
    window.show();
    window.packListWindow()->move(window.frameGeometry().right() + 200, 40);
    window.packListWindow()->show();
    window.chrome()->MagnetisePackList();  // docked at the right side
    for (const char* name : {"intro.mpg", "main feature part one.mpg", "credits.mpg"}) {
        const QString path = files.filePath(QLatin1String(name));
        writeFile(path, 300000000);
        window.packList().appendPath(path, true);
    }
    window.outputNameBox()->setText(files.filePath(QStringLiteral("joined.mpg")));
    // A folder of files for the browser; the first is an MPEG sequence header.
    QDir().mkpath(files.filePath(QStringLiteral("videos/holiday")));
    QFile header(files.filePath(QStringLiteral("videos/beach.mpg")));
    if (header.open(QIODevice::WriteOnly)) {
        header.write(QByteArray("\x00\x00\x01\xB3\x16\x00\xF0\x13", 8) + QByteArray(4000, 'x'));
        header.close();
    }
    for (const char* name : {"city.mpg", "harbour.MPG", "notes.txt", "sunset.mpeg"}) {
        writeFile(files.filePath(QStringLiteral("videos/") + QLatin1String(name)), 1234567);
    }
    window.setCurrentDir(files.filePath(QStringLiteral("videos")));
    QApplication::processEvents();
    shoot(out + QStringLiteral("/main_window.png"), {&window});
    shoot(out + QStringLiteral("/pack_list_window.png"), {window.packListWindow()});
    shoot(out + QStringLiteral("/docked.png"), {&window, window.packListWindow()});
    // One picture button under the pointer.
    QWidget* add = window.findChild<QWidget*>(QStringLiteral("ButtonAdd_Img"));
    QTest::mouseMove(window.windowHandle(), add->mapTo(&window, add->rect().center()));
    shoot(out + QStringLiteral("/docked_hover.png"), {&window, window.packListWindow()});
    QTest::mouseMove(window.windowHandle(), QPoint(300, 290));

    // The preview showing the first frame of a real clip.
    const QString clip = files.filePath(QStringLiteral("videos/clip.mpg"));
    if (QProcess::execute(
            QStringLiteral("ffmpeg"),
            {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-f"),
             QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("testsrc=size=352x240:rate=25"), QStringLiteral("-t"),
             QStringLiteral("3"), QStringLiteral("-c:v"), QStringLiteral("mpeg1video"),
             QStringLiteral("-f"), QStringLiteral("mpeg"), clip}) == 0) {
        window.setCurrentDir(files.filePath(QStringLiteral("videos")));
        QListWidget* list = window.browser()->fileList();
        list->setCurrentItem(list->findItems(QStringLiteral("clip.mpg"), Qt::MatchExactly).first());
        window.previewCheck()->click();
        QTest::qWait(1000);  // the picture comes from libmpv's own thread
        shoot(out + QStringLiteral("/preview.png"), {&window});
        window.previewCheck()->click();
        QFile::remove(clip);
        window.setCurrentDir(files.filePath(QStringLiteral("videos")));
    }

    for (const char* title : {"File", "Action", "Options", "Help"}) {
        QMenu* menu = window.menu(QLatin1String(title));
        const auto* caption = qobject_cast<QWidget*>(menu->parent());
        menu->popup(caption->mapToGlobal(caption->rect().bottomLeft()));
        QList<QWidget*> shown = {&window, menu};
        if (QLatin1String(title) == QLatin1String("Options")) {
            QMenu* prefs = menu->actions().first()->menu();
            menu->setActiveAction(menu->actions().first());
            prefs->popup(menu->geometry().topRight());
            shown.append(prefs);
        }
        QTest::qWait(300);
        shoot(out + QStringLiteral("/menu_%1.png").arg(QString::fromLatin1(title).toLower()),
              shown);
        for (QWidget* popup : shown.mid(1)) {
            popup->close();
        }
    }

    // The dialogs as their menu entries open them.
    for (const auto& [entry, file] :
         {std::pair{"GeneralMnu", "menu_preferences_dialog.png"},
          std::pair{"FileTypeMnu", "menu_filter_dialog.png"}, std::pair{"AboutMnu", "about.png"}}) {
        QTimer::singleShot(400, &window, [&out, file = QLatin1String(file)] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog == nullptr) {
                std::fprintf(stderr, "no dialog opened for %s\n", qPrintable(file));
                return;
            }
            shoot(out + QLatin1Char('/') + file, {dialog});
            dialog->close();
        });
        window.findChild<QAction*>(QLatin1String(entry))->trigger();
    }

    {
        CustomFilterDialog filters(window.options(), host, &window);
        filters.show();
        filters.move(60, 60);
        QTest::qWait(200);
        shoot(out + QStringLiteral("/filter_dialog.png"), {&filters});
    }
    {
        PreferencesDialog prefs(window.options(), window, host, &window);
        prefs.show();
        prefs.move(60, 60);
        for (int page = 0; page <= prefs.lastPage(); ++page) {
            if (prefs.pageList()->item(page)->text().startsWith(QLatin1Char('_'))) {
                continue;
            }
            prefs.goToPage(page);
            QTest::qWait(100);
            shoot(
                out + QStringLiteral("/preferences_page_%1.png").arg(page, 2, 10, QLatin1Char('0')),
                {&prefs});
        }
    }
    {
        HelpWindow help(helpFilePath());
        help.setAttribute(Qt::WA_DeleteOnClose, false);
        help.show();
        help.move(60, 60);
        QTest::qWait(300);
        shoot(out + QStringLiteral("/help_window.png"), {&help});
    }
    {
        TipWindow tips(tipsFilePath(), window.options());
        tips.show();
        tips.move(60, 60);
        QTest::qWait(200);
        shoot(out + QStringLiteral("/tip_window.png"), {&tips});
    }

    // A running job: slow pack, photographed a moment in, then cancelled.
    window.options().choose(SettingId::Rate, Speed::Slow);
    window.options().setOn(SettingId::MpegCheck, false);
    QTimer::singleShot(1500, &window, [&] {
        shoot(out + QStringLiteral("/progress.png"), {&window});
        QTest::mousePress(window.packCancelButton(), Qt::LeftButton);
        QTest::mouseRelease(window.packCancelButton(), Qt::LeftButton);
    });
    QMetaObject::invokeMethod(
        &window, [&] { window.findChild<QPushButton*>(QStringLiteral("PackImg"))->click(); },
        Qt::QueuedConnection);
    QTimer::singleShot(4000, &app, &QApplication::quit);
    return QApplication::exec();
}
