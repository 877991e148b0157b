#pragma once

#include <QColor>
#include <QPointer>
#include <QProgressBar>
#include <QWidget>

// The thin progress bar of a running job: created on the host window when the job
// starts, destroyed when it ends. Range 0 to 100; the position is the percentage.
class CProgBar32 {
public:
    void SetBackColor(const QColor& color) {
        m_back = color;
        applyColors();
    }
    void SetBarColor(const QColor& color) {
        m_bar = color;
        applyColors();
    }
    void SetProgVert(bool vertical) { m_vertical = vertical; }
    void setParent(QWidget* parent) { m_parent = parent; }
    QWidget* Parent() const { return m_parent; }

    // Creates and shows the bar; false without a parent. A negative size takes the
    // parent's width and 20 pixels of height.
    bool Create(int left = 0, int top = 0, int width = -1, int height = -1, bool smooth = true);
    void DestroyProgBar();
    void ClearProgBar() { SetProgBarPos(0); }
    // Sets the position; pending events run before and after.
    void SetProgBarPos(int position);
    // Runs pending events, waits `milliseconds`, runs pending events again.
    void DelayProgBar(int milliseconds);

    QProgressBar* ProgBarHwnd() const { return m_widget; }

private:
    void applyColors();

    QPointer<QWidget> m_parent;
    QPointer<QProgressBar> m_widget;
    QColor m_back = Qt::black;
    QColor m_bar = QColor(200, 200, 200);
    bool m_vertical = false;
};
