#include "support/recorder_job_host.h"

MessageAnswer RecorderJobHost::message(MessageIcon icon, const QString& text,
                                       MessageButtons buttons) {
    messages.append({icon, text, buttons});
    if (onMessage) {
        onMessage();
    }
    if (buttons == MessageButtons::Ok) {
        return MessageAnswer::Ok;
    }
    if (!m_answers.isEmpty()) {
        return m_answers.takeFirst();
    }
    return cancelAnswer(buttons);  // the safe choice
}

void RecorderJobHost::progress(const ProgressReport& report) {
    reports.append(report);
    if (m_action && reports.size() == m_actionCall) {
        m_action();
    }
}

void RecorderJobHost::onProgress(int call, std::function<void()> action) {
    m_actionCall = call;
    m_action = std::move(action);
}

QStringList RecorderJobHost::texts() const {
    QStringList result;
    for (const Message& message : messages) {
        result.append(message.text);
    }
    return result;
}
