#pragma once

#include <QString>
#include <QtGlobal>

// How an engine tells or asks the user something, and reports progress. The desktop
// program shows message boxes, the terminal program prints lines, tests record.

enum class MessageIcon { Error, Warning, Information, Question };
// NoYes: Yes and No with No the default, for questions whose Yes cannot be undone.
enum class MessageButtons { Ok, YesNo, NoYes, RetryCancel, YesNoCancel };
enum class MessageAnswer { Ok, Yes, No, Retry, Cancel };

// The answer of a question closed without a choice (Escape, a cancelled job, a quit):
// the one that changes nothing.
inline MessageAnswer cancelAnswer(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::YesNo:
        case MessageButtons::NoYes:
            return MessageAnswer::No;
        case MessageButtons::RetryCancel:
        case MessageButtons::YesNoCancel:
            return MessageAnswer::Cancel;
        case MessageButtons::Ok:
            break;
    }
    return MessageAnswer::Ok;
}

// What the progress display shows after a chunk.
struct ProgressReport {
    quint64 done = 0;
    quint64 total = 0;
    int percent = 0;
    QString percentText;        // "42%"
    QString timeRemainingText;  // kept from the last even percentage
};

class JobHost {
public:
    virtual ~JobHost() = default;

    // Shows `text` and returns the button pressed (Ok for an Ok-only message).
    virtual MessageAnswer message(MessageIcon icon, const QString& text,
                                  MessageButtons buttons = MessageButtons::Ok) = 0;

    // Called after every chunk a job writes.
    virtual void progress(const ProgressReport& report) = 0;
};
