#pragma once

#include <QDialog>

#include "rules/split_rule.h"

class JobHost;
class OptionsModel;
class QButtonGroup;
class QLineEdit;
class QRadioButton;

// "Custom Unpack Size": a piece size, first or last piece in K of 1,024 bytes, a
// percentage or a number of pieces.
class CustomSizeDialog : public QDialog {
    Q_OBJECT

public:
    CustomSizeDialog(OptionsModel& options, JobHost& host, bool prefsOpen,
                     QWidget* parent = nullptr);

    // The accepted choice, for the preferences dialog.
    const CustomSizeChoice& choice() const { return m_choice; }

    QRadioButton* option(SplitKind kind) const;
    QLineEdit* box(SplitKind kind) const;
    void chooseOption(SplitKind kind);
    void confirm();  // "&OK"

protected:
    bool focusNextPrevChild(bool next) override;

private:
    struct Row {
        SplitKind kind;
        QRadioButton* option;
        QLineEdit* box;
    };

    struct RowNames {
        SplitKind kind;
        const char* option;
        const char* box;
    };
    void addRow(const RowNames& names, const QString& caption, int maxLength, const QRect& geometry,
                QWidget* frame);
    SplitKind chosenKind() const;
    QString currentValueText(SplitKind kind) const;

    OptionsModel& m_options;
    JobHost& m_host;
    bool m_prefsOpen;
    QList<Row> m_rows;
    QButtonGroup* m_choices;
    QList<QWidget*> m_buttons;  // "&OK" and "Cancel"
    CustomSizeChoice m_choice;
};
