#include "packlist/pack_list_file.h"

#include <QFile>

#include "core/job_host.h"
#include "fileio/native_path.h"
#include "fileio/whole_file.h"
#include "packlist/pack_list_model.h"

namespace {

bool askRetry(const QString& fileName, JobHost& host) {
    return host.message(MessageIcon::Error,
                        QStringLiteral("Cannot overwrite '") + fileName +
                            QStringLiteral("'. Disk full/write-protected or file is in use."),
                        MessageButtons::RetryCancel) == MessageAnswer::Retry;
}

}  // namespace

// The list is written whole or not at all: a failed save leaves the old file as it was.
bool savePackList(const QString& fileName, const QStringList& paths, JobHost& host) {
    QByteArray text;
    for (const QString& path : paths) {
        text += nativePath(path) + "\r\n";
    }
    QString error;
    while (!replaceWholeFile(fileName, text, &error)) {
        if (!askRetry(fileName, host)) {
            return false;
        }
    }
    return true;
}

QStringList readPackList(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QString text = fromNativePath(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList accepted;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1Char('/')) && isPresentNormalFile(line)) {
            accepted.append(line);
        }
    }
    return accepted;
}
