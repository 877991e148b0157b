#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

#include "core/job_host.h"

// The desktop program's user: message boxes titled "Tarvik Zarvo Pro", on top of
// every window, and event processing after every chunk so that a cancel click runs.
class DialogJobHost : public JobHost {
public:
    explicit DialogJobHost(QWidget* parent);

    MessageAnswer message(MessageIcon icon, const QString& text,
                          MessageButtons buttons = MessageButtons::Ok) override;
    void progress(const ProgressReport& report) override;

    // What the window shows of a report (progress bar, percent and time labels).
    void setProgressView(std::function<void(const ProgressReport&)> view) {
        m_view = std::move(view);
    }

private:
    QPointer<QWidget> m_parent;
    std::function<void(const ProgressReport&)> m_view;
};
