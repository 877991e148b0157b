#include "cli/terminal_job_host.h"

#include <cctype>
#include <csignal>
#include <cstdio>

#include <unistd.h>

#include <QList>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int) {
    g_interrupted = 1;
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a prompt waiting for input returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const char* levelWord(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return "error";
        case MessageIcon::Warning:
            return "warning";
        case MessageIcon::Information:
            return "information";
        case MessageIcon::Question:
            break;
    }
    return "question";
}

// One message, one line: the line breaks of a text become blanks.
QString oneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

void printError(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

}  // namespace

TerminalJobHost::TerminalJobHost(StandingAnswer standing)
    : m_standing(standing), m_showProgress(isatty(STDERR_FILENO) != 0) {
    installInterruptHandler();
}

TerminalJobHost::~TerminalJobHost() {
    endProgressLine();
}

bool TerminalJobHost::interrupted() {
    return g_interrupted != 0;
}

MessageAnswer TerminalJobHost::message(MessageIcon icon, const QString& text,
                                       MessageButtons buttons) {
    endProgressLine();
    const char* level = buttons == MessageButtons::Ok ? levelWord(icon) : "question";
    printError(QLatin1String(level) + QStringLiteral(": ") + oneLine(text) + QLatin1Char('\n'));
    if (buttons == MessageButtons::Ok) {
        return MessageAnswer::Ok;
    }
    // --assume-yes/--assume-no answer even at a terminal, so scripts never stop to ask.
    const bool yesOrNo = buttons != MessageButtons::RetryCancel;
    if (yesOrNo && m_standing != StandingAnswer::None) {
        return m_standing == StandingAnswer::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    if (isatty(STDIN_FILENO) && !interrupted()) {
        return askAtTerminal(buttons);
    }
    if (cancelAnswer(buttons) == MessageAnswer::No) {
        return MessageAnswer::No;
    }
    // Nobody is there to change anything: a retry could not succeed, and Cancel of a
    // three-way question leaves everything as it was.
    return MessageAnswer::Cancel;
}

MessageAnswer TerminalJobHost::askAtTerminal(MessageButtons buttons) {
    const bool yesNo = cancelAnswer(buttons) == MessageAnswer::No;
    for (;;) {
        printError(yesNo ? QStringLiteral("[y]es or [n]o? ")
                         : QStringLiteral("[r]etry or [c]ancel? "));
        char line[64] = {};
        if (std::fgets(line, sizeof line, stdin) == nullptr || interrupted()) {
            printError(QStringLiteral("\n"));
            return yesNo ? MessageAnswer::No : MessageAnswer::Cancel;
        }
        const char answer = line[0];
        if (yesNo && (answer == 'y' || answer == 'Y')) {
            return MessageAnswer::Yes;
        }
        if (yesNo && (answer == 'n' || answer == 'N')) {
            return MessageAnswer::No;
        }
        if (!yesNo && (answer == 'r' || answer == 'R')) {
            return MessageAnswer::Retry;
        }
        if (!yesNo && (answer == 'c' || answer == 'C')) {
            return MessageAnswer::Cancel;
        }
    }
}

void TerminalJobHost::progress(const ProgressReport& report) {
    if (interrupted() && !m_cancelled && m_cancel) {
        m_cancelled = m_cancel();
        if (m_cancelled) {
            return;
        }
    }
    if (!m_showProgress) {
        return;
    }
    const QString line =
        QStringLiteral("\r%1  %2").arg(report.percentText, 4).arg(report.timeRemainingText);
    if (line == m_lastLine) {
        return;  // repaint only when the text changes
    }
    printError(line + QStringLiteral("\033[K"));
    m_lastLine = line;
    m_progressShown = true;
}

void TerminalJobHost::endProgressLine() {
    if (m_progressShown) {
        printError(QStringLiteral("\n"));
        m_progressShown = false;
        m_lastLine.clear();
    }
}
