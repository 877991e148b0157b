#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <cstring>

#include "core/program_info.h"
#include "core/tips.h"
#include "platform/command_line.h"
#include "platform/native_path.h"
#include "platform/single_instance.h"
#include "platform/termination_watch.h"
#include "ui/main_window.h"
#include "ui/pack_list_window.h"

namespace {

const char* const kUsage =
    "usage: zarvo [FILE...] [-- FILE...]\n"
    "\n"
    "Starts Tarvik Zarvo Pro, the desktop program that packs (joins) files and unpacks\n"
    "(splits) them. Files named on the command line go into the pack list and the save\n"
    "dialog asks where the joined file goes. An argument may also list several paths\n"
    "with \"|\" between them (\"a.mpg|b.mpg\"), unless a file of exactly that name exists.\n"
    "After \"--\" every argument is one file name as it stands. When the program already\n"
    "runs, the files are handed to it.\n"
    "\n"
    "  --help       print this text\n"
    "  --version    print the version\n"
    "\n"
    "zarvo-cli packs, unpacks and shows MPEG information from a terminal.\n";

enum class EarlyExit { None, Help, Version, BadOption };

// Qt's own options, which it also takes with two dashes ("--platform offscreen").
bool isToolkitOption(const QString& argument) {
    static const QStringList names = {QStringLiteral("platform"),
                                      QStringLiteral("platformpluginpath"),
                                      QStringLiteral("platformtheme"),
                                      QStringLiteral("plugin"),
                                      QStringLiteral("qwindowgeometry"),
                                      QStringLiteral("qwindowicon"),
                                      QStringLiteral("qwindowtitle"),
                                      QStringLiteral("reverse"),
                                      QStringLiteral("session"),
                                      QStringLiteral("style"),
                                      QStringLiteral("stylesheet"),
                                      QStringLiteral("widgetcount"),
                                      QStringLiteral("display"),
                                      QStringLiteral("geometry"),
                                      QStringLiteral("name"),
                                      QStringLiteral("title"),
                                      QStringLiteral("visual"),
                                      QStringLiteral("sync")};
    return names.contains(argument.mid(2).section(QLatin1Char('='), 0, 0));
}

// The arguments before "--": after it every argument is a file name.
int optionsEnd(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            return i;
        }
    }
    return argc;
}

// --help and --version need no display; any other "--word" that names no file is a
// mistake, not a file to pack.
EarlyExit earlyExit(int argc, char* argv[], QString* badOption) {
    const int end = optionsEnd(argc, argv);
    for (int i = 1; i < end; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return EarlyExit::Help;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            return EarlyExit::Version;
        }
    }
    for (int i = 1; i < end; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument.startsWith(QStringLiteral("--")) && !QFileInfo::exists(argument) &&
            !isToolkitOption(argument)) {
            *badOption = argument;
            return EarlyExit::BadOption;
        }
    }
    return EarlyExit::None;
}

// The usage, and where this installation keeps the files a user may look for.
void printUsage(int argc, char* argv[]) {
    const QCoreApplication app(argc, argv);  // for the program's own folder
    std::fputs(kUsage, stdout);
    std::printf("\nHelp page: %s\nTips: %s\n", qPrintable(helpFilePath()),
                qPrintable(tipsFilePath()));
}

int refuseSecondInstance() {
    std::fputs("This program is already running!\n", stderr);
    QMessageBox box(QMessageBox::Warning, kProgramTitle,
                    QStringLiteral("This program is already running!"), QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    return 1;
}

// Said once per run: without a private folder a second copy may start beside this one.
void warnNoSafeFolder() {
    QString problem;
    SingleInstance::privateFolder(&problem);
    const QString text =
        QStringLiteral("No private folder for the running copy's lock was found (") + problem +
        QStringLiteral(
            "). This copy runs without refusing a second one, and files sent with "
            "\"Pack it...\" open in a new copy.");
    std::fprintf(stderr, "zarvo: %s\n", text.toLocal8Bit().constData());
    QMessageBox box(QMessageBox::Warning, kProgramTitle, text, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    QString badOption;
    switch (earlyExit(argc, argv, &badOption)) {
        case EarlyExit::Help:
            printUsage(argc, argv);
            return 0;
        case EarlyExit::Version:
            std::printf("zarvo %s\n", ZARVO_VERSION);
            return 0;
        case EarlyExit::BadOption:
            std::fprintf(stderr, "zarvo: unknown option '%s'\n\n%s", qPrintable(badOption), kUsage);
            return 2;
        case EarlyExit::None:
            break;
    }

    // In a Wayland session the program runs through XWayland: the preview draws into a
    // window of its own by its X11 id, and window positions need X11. An explicit
    // QT_QPA_PLATFORM (or -platform) still wins.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && qEnvironmentVariableIsSet("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TarvikZarvo"));
    QApplication::setApplicationVersion(QStringLiteral(ZARVO_VERSION));
    // The desktop's menu entry and icon belong to this program's windows.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tarvik.zarvopro"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/skin/ZarvoIcon.svg")));
    // From the raw bytes (Qt took its own options out): names keep what they are.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(fromNativePath(QByteArray(argv[i])));
    }

    // Full paths, so that a running copy finds them from its own folder.
    const QStringList files = commandLineFiles(arguments);
    SingleInstance instance;
    const SingleInstance::Lock lock = instance.acquire();
    if (lock == SingleInstance::Lock::HeldElsewhere) {
        // A file manager's "Pack it..." must not lose its files to a running copy.
        if (!files.isEmpty() && SingleInstance::handOver(files)) {
            return 0;
        }
        return refuseSecondInstance();
    }

    MainWindow window;
    window.load();
    window.show();
    if (window.options().showTips()) {
        window.tipCommand();
    }
    window.packListWindow()->show();
    if (lock == SingleInstance::Lock::NoSafeFolder) {
        QMetaObject::invokeMethod(
            &window, [] { warnNoSafeFolder(); }, Qt::QueuedConnection);
    } else {
        instance.listen([&window](const QStringList& paths) { window.receiveFiles(paths); });
    }
    if (!files.isEmpty()) {
        QMetaObject::invokeMethod(
            &window, [&window, files] { window.runCommandLine(files); }, Qt::QueuedConnection);
    }
    // A logout, shutdown or kill cancels a running job and keeps the places it stores.
    TerminationWatch termination;
    QObject::connect(&termination, &TerminationWatch::terminationRequested, &window,
                     &MainWindow::endSession);
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &window, [&window] {
        QMetaObject::invokeMethod(&window, &MainWindow::endSession, Qt::QueuedConnection);
    });
    return QApplication::exec();
}
