#include "core/job_messages.h"

#include <cerrno>

#include "core/job_host.h"
#include "core/text_helpers.h"

QString notFoundText(const QString& path) {
    return QLatin1Char('\'') + path + QStringLiteral("' was not found!");
}

bool isTooManyFiles(int error) {
    return error == EMFILE || error == ENFILE;
}

QString tooManyFilesText(const QString& verb, const QString& path) {
    return QStringLiteral("Zarvo cannot ") + verb + QStringLiteral(" '") + path +
           QStringLiteral(
               "' due to excess number of file handling. Possible solution is to "
               "move the file elsewhere other than the root directory.");
}

QString keptFileLine(const QString& path, quint64 bytes, bool whole) {
    const QString size = QStringLiteral(" (") + sizeText(bytes) + QStringLiteral(" bytes)");
    return whole ? QLatin1Char('\'') + path + QLatin1Char('\'') + size +
                       QStringLiteral(" is complete; only its zip was not made.")
                 : QStringLiteral("The unfinished file '") + path + QLatin1Char('\'') + size +
                       QStringLiteral(" was kept.");
}

QString withLine(const QString& text, const QString& line) {
    return line.isEmpty() ? text : text + QStringLiteral("\r\n") + line;
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
