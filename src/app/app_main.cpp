#include <QApplication>
#include <QMessageBox>

#include <cstdio>

#include "core/registry.h"
#include "core/single_instance.h"
#include "packlist/pack_list_window.h"
#include "ui/main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TarvikZarvo"));
    QApplication::setApplicationVersion(QStringLiteral(ZARVO_VERSION));

    SingleInstance instance;
    if (!instance.acquire()) {
        std::fputs("This program is already running!\n", stderr);
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarvik Zarvo Pro"),
                        QStringLiteral("This program is already running!"), QMessageBox::Ok);
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
        return 1;
    }

    MainWindow window;
    window.load();
    window.show();
    window.packListWindow()->show();
    if (Registry::setting(QStringLiteral("ShowTod")) != QLatin1String("0")) {
        window.tipCommand();
    }
    // Files from a file manager's "Pack it..." arrive as one "|"-separated argument.
    const QStringList arguments = QApplication::arguments().mid(1);
    if (!arguments.isEmpty()) {
        const QString commandLine = arguments.join(QLatin1Char('|'));
        QMetaObject::invokeMethod(
            &window, [&window, commandLine] { window.runCommandLine(commandLine); },
            Qt::QueuedConnection);
    }
    return QApplication::exec();
}
