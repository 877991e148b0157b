#include "ui/main_window.h"

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Tarvik Zarvo Pro"));
    resize(533, 308);
}
