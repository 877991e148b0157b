#include "packlist/pack_list_file.h"

#include <QFile>

#include "core/job_host.h"
#include "packlist/pack_list_model.h"

namespace {

bool askRetry(const QString& fileName, JobHost& host) {
    return host.message(MessageIcon::Error,
                        QStringLiteral("Cannot overwrite '") + fileName +
                            QStringLiteral("'. Disk full/write-protected or file is in use."),
                        MessageButtons::RetryCancel) == MessageAnswer::Retry;
}

}  // namespace

bool savePackList(const QString& fileName, const QStringList& paths, JobHost& host) {
    QFile file(fileName);
    while (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        if (!askRetry(fileName, host)) {
            return false;
        }
    }
    for (const QString& path : paths) {
        const QByteArray line = path.toUtf8() + "\r\n";
        // A retry writes only what is still missing, so no line is ever doubled.
        qint64 written = 0;
        while (written < line.size()) {
            const qint64 put = file.write(line.constData() + written, line.size() - written);
            if (put > 0) {
                written += put;
            } else if (!askRetry(fileName, host)) {
                return false;  // the lines written so far stay
            }
        }
    }
    return true;
}

QStringList readPackList(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QString text = QString::fromUtf8(file.readAll());
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
