#include "packlist/pack_list_file.h"

#include <QFile>

#include "core/job_host.h"
#include "core/job_messages.h"
#include "packlist/pack_list_model.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"

// The list is written whole or not at all: a failed save leaves the old file as it was.
bool savePackList(const QString& fileName, const QStringList& paths, JobHost& host) {
    QByteArray text;
    for (const QString& path : paths) {
        text += nativePath(path) + "\r\n";
    }
    QString error;
    while (!replaceWholeFile(fileName, text, &error)) {
        if (!askRetryOverwrite(host, fileName)) {
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
