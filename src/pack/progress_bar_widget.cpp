#include "pack/progress_bar_widget.h"

#include <QApplication>
#include <QThread>

bool CProgBar32::Create(int left, int top, int width, int height, bool smooth) {
    if (m_parent == nullptr) {
        return false;
    }
    DestroyProgBar();
    m_widget = new QProgressBar(m_parent);
    m_widget->setObjectName(QStringLiteral("TempProg"));
    m_widget->setRange(0, 100);
    m_widget->setTextVisible(false);
    m_widget->setOrientation(m_vertical ? Qt::Vertical : Qt::Horizontal);
    Q_UNUSED(smooth);  // Qt's bar is always smooth
    m_widget->setGeometry(left, top, width < 0 ? m_parent->width() : width,
                          height < 0 ? 20 : height);
    applyColors();
    m_widget->show();
    return true;
}

void CProgBar32::applyColors() {
    if (m_widget == nullptr) {
        return;
    }
    m_widget->setStyleSheet(QStringLiteral("QProgressBar { background: %1; border: none; }"
                                           "QProgressBar::chunk { background: %2; }")
                                .arg(m_back.name(), m_bar.name()));
}

void CProgBar32::DestroyProgBar() {
    delete m_widget;
}

void CProgBar32::SetProgBarPos(int position) {
    QApplication::processEvents();
    if (m_widget != nullptr) {
        m_widget->setValue(position);
    }
    QApplication::processEvents();
}

void CProgBar32::DelayProgBar(int milliseconds) {
    QApplication::processEvents();
    QThread::msleep(static_cast<unsigned long>(milliseconds));
    QApplication::processEvents();
}
