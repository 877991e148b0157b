#pragma once

#include <QMainWindow>

// The main window of the desktop program.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
};
