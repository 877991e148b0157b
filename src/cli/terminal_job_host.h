#pragma once

#include <QString>

#include <functional>

#include "core/job_host.h"

// The user of zarvo-cli: messages become "LEVEL: TEXT" lines on standard error,
// questions are answered at the terminal or by the caller's standing answer, and
// progress is one updating line while standard error is a terminal.
class TerminalJobHost : public JobHost {
public:
    enum class StandingAnswer { None, Yes, No };

    explicit TerminalJobHost(StandingAnswer standing);
    ~TerminalJobHost() override;

    MessageAnswer message(MessageIcon icon, const QString& text,
                          MessageButtons buttons = MessageButtons::Ok) override;
    void progress(const ProgressReport& report) override;

    // Runs at the progress calls after Ctrl+C, the way a cancel click would, until it
    // returns true (a job step that ignores cancel returns false).
    void setCancelAction(std::function<bool()> action) { m_cancel = std::move(action); }
    static bool interrupted();

private:
    MessageAnswer askAtTerminal(MessageButtons buttons);
    void endProgressLine();

    StandingAnswer m_standing;
    std::function<bool()> m_cancel;
    bool m_showProgress;  // standard error is a terminal
    bool m_progressShown = false;
    bool m_cancelled = false;
    QString m_lastLine;
};
