#include <QApplication>

#include "ui/main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TarvikZarvo"));
    MainWindow window;
    window.show();
    return QApplication::exec();
}
