#include "ui/job_host_dialog.h"

#include "core/program_info.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Question:
            break;
    }
    return QMessageBox::Question;
}

QMessageBox::StandardButtons boxButtons(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MessageButtons::RetryCancel:
            return QMessageBox::Retry | QMessageBox::Cancel;
        case MessageButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case MessageButtons::Ok:
            break;
    }
    return QMessageBox::Ok;
}

MessageAnswer answerOf(int button) {
    switch (button) {
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        case QMessageBox::Retry:
            return MessageAnswer::Retry;
        case QMessageBox::Cancel:
            return MessageAnswer::Cancel;
        default:
            return MessageAnswer::Ok;
    }
}

}  // namespace

DialogJobHost::DialogJobHost(QWidget* parent) : m_parent(parent) {}

MessageAnswer DialogJobHost::message(MessageIcon icon, const QString& text,
                                     MessageButtons buttons) {
    QMessageBox box(boxIcon(icon), kProgramTitle, text, boxButtons(buttons), m_parent);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    const int pressed = box.exec();
    // Escape or the window's close button answer as the safe choice.
    if (buttons == MessageButtons::YesNo && pressed != QMessageBox::Yes) {
        return MessageAnswer::No;
    }
    if (buttons == MessageButtons::RetryCancel && pressed != QMessageBox::Retry) {
        return MessageAnswer::Cancel;
    }
    if (buttons == MessageButtons::YesNoCancel && pressed != QMessageBox::Yes &&
        pressed != QMessageBox::No) {
        return MessageAnswer::Cancel;
    }
    return answerOf(pressed);
}

void DialogJobHost::progress(const ProgressReport& report) {
    if (m_view) {
        m_view(report);
    }
    QApplication::processEvents();
}
