#pragma once

#include <QPointer>
#include <QWidget>

#include "core/job_host.h"

// The desktop program's user: message boxes titled "Tarvik Zarvo Pro", on top of
// every window.
class DialogJobHost : public JobHost {
public:
    explicit DialogJobHost(QWidget* parent);

    MessageAnswer message(MessageIcon icon, const QString& text,
                          MessageButtons buttons = MessageButtons::Ok) override;
    void progress(const ProgressReport& report) override;

private:
    QPointer<QWidget> m_parent;
};
