#pragma once

#include <QList>
#include <QString>

#include <functional>

#include "core/job_host.h"

// The user in a test: records every message and progress report and answers
// questions from a script (then with the safe choice: No, Cancel).
class RecorderJobHost : public JobHost {
public:
    struct Message {
        MessageIcon icon;
        QString text;
        MessageButtons buttons;
    };

    MessageAnswer message(MessageIcon icon, const QString& text,
                          MessageButtons buttons = MessageButtons::Ok) override;
    void progress(const ProgressReport& report) override;

    void answer(MessageAnswer next) { m_answers.append(next); }
    // Runs after the progress call numbered `call` (1 = the first).
    void onProgress(int call, std::function<void()> action);

    // Runs as each message arrives, before it is answered.
    std::function<void()> onMessage;

    QList<Message> messages;
    QList<ProgressReport> reports;
    QStringList texts() const;

private:
    QList<MessageAnswer> m_answers;
    int m_actionCall = 0;
    std::function<void()> m_action;
};
