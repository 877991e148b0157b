#include "core/job_messages.h"

#include "core/job_host.h"

QString notFoundText(const QString& path) {
    return QLatin1Char('\'') + path + QStringLiteral("' was not found!");
}

QString readErrorText(const QString& path, const QString& reason) {
    return QStringLiteral("Error reading '") + path + QStringLiteral("': ") + reason +
           QLatin1Char('.');
}

QString writeErrorText(const QString& path, const QString& reason) {
    return QStringLiteral("Error writing '") + path + QStringLiteral("': ") + reason +
           QLatin1Char('.');
}

bool askRetryOverwrite(JobHost& host, const QString& path) {
    return host.message(MessageIcon::Error,
                        QStringLiteral("Cannot overwrite '") + path +
                            QStringLiteral("'. Disk full/write-protected or file is in use."),
                        MessageButtons::RetryCancel) == MessageAnswer::Retry;
}
