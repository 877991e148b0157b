#pragma once

#include <QDialog>

class QTextBrowser;

// The help page in a window of our own, for desktops where no program opens it: the
// shipped HTML with its pictures; outside links go to the desktop's browser.
class HelpWindow : public QDialog {
    Q_OBJECT

public:
    HelpWindow(const QString& helpFile, QWidget* parent = nullptr);
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};
