#pragma once

#include <QDialog>

class JobHost;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// "Copyright Stamping": edits the lines every join batch file echoes first.
class CopyrightStampingDialog : public QDialog {
    Q_OBJECT

public:
    explicit CopyrightStampingDialog(JobHost& host, QWidget* parent = nullptr);

    QPlainTextEdit* textBox() const { return m_text; }
    QLabel* note() const { return m_note; }
    QPushButton* saveButton() const { return m_save; }
    void save();

    void done(int result) override;

Q_SIGNALS:
    void saved();

private:
    void load();
    void textChanged();

    JobHost& m_host;
    QPlainTextEdit* m_text;
    QLabel* m_note;
    QPushButton* m_save;
    bool m_loading = false;
};
