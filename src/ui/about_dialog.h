#pragma once

#include <QDialog>

// The About box: the program's name, version and purpose, the libraries it runs on and
// its licence.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // Everything the box says, as plain text (what a screen reader and a test read).
    QString text() const { return m_text; }

private:
    QString m_text;
};
