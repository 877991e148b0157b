#include "ui/job_host_dialog.h"

#include "core/program_info.h"
#include "ui/skin_widget.h"

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
        case MessageButtons::NoYes:
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
    box.setPalette(skinPalette());
    if (buttons == MessageButtons::NoYes) {
        box.setDefaultButton(QMessageBox::No);
    }
    const int pressed = box.exec();
    // Escape, the window's close button or a quit answer as the safe choice.
    const bool offered = boxButtons(buttons).testFlag(QMessageBox::StandardButton(pressed));
    return offered ? answerOf(pressed) : cancelAnswer(buttons);
}

// The window shows a job's progress from the job controller's signal.
void DialogJobHost::progress(const ProgressReport&) {}
