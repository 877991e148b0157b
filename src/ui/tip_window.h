#pragma once

#include <QStringList>
#include <QWidget>

class OptionsModel;
class QCheckBox;
class QLabel;

// "Tarvik Zarvo Tip of the Day": one random hint from the tips file.
class TipWindow : public QWidget {
    Q_OBJECT

public:
    TipWindow(const QString& tipsFile, OptionsModel& options, QWidget* parent = nullptr);

    QLabel* tipText() const { return m_tip; }
    QCheckBox* showAtStartup() const { return m_showAtStartup; }
    void nextTip();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QStringList m_tips;
    QLabel* m_tip;
    QCheckBox* m_showAtStartup;
};
