#include "unpack/stamping_texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/job_host.h"
#include "core/text_helpers.h"
#include "platform/whole_file.h"

namespace {

bool writeText(const QString& path, const QString& text) {
    QDir().mkpath(QFileInfo(path).path());
    QString error;
    return replaceWholeFile(path, text.toUtf8(), &error);
}

void reportFailure(JobHost& host, const QFileDevice::FileError error, const QString& text) {
    host.message(MessageIcon::Error, unexpectedErrorText(static_cast<int>(error), text));
}

}  // namespace

QString stampingFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/TarvikZarvo/cstmp.ctd");
}

QString stampingBatchLine(const QString& line) {
    return line.trimmed().isEmpty() ? QStringLiteral("@echo.") : QStringLiteral("@echo ") + line;
}

StampingTexts LoadCopyrightDataFromFile(JobHost& host) {
    StampingTexts texts;
    const QString path = stampingFilePath();
    if (!QFileInfo::exists(path) &&
        !writeText(path, kDefaultStampingLine + QStringLiteral("\r\n"))) {
        reportFailure(host, QFileDevice::WriteError,
                      QStringLiteral("Cannot create '") + path + QLatin1Char('\''));
        return texts;
    }
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        host.message(
            MessageIcon::Warning,
            QStringLiteral("The copyright stamping texts cannot be read from '") + path +
                QStringLiteral("': ") +
                (QFileInfo(path).isDir() ? QStringLiteral("it is a folder") : file.errorString()) +
                QStringLiteral(". Join batch files get no stamping lines."));
        return texts;
    }
    QString content = QString::fromUtf8(file.readAll());
    content.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    content.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = content.split(QLatin1Char('\n'));
    if (content.endsWith(QLatin1Char('\n'))) {
        lines.removeLast();  // the line end of the last line starts no new line
    }
    for (const QString& line : lines) {
        texts.batchLines.append(stampingBatchLine(line));
        if (texts.editorText.isEmpty()) {
            texts.editorText = line;
        } else {
            texts.editorText += QStringLiteral("\r\n") + line;
        }
    }
    return texts;
}

QString stampingRemainingNote(int textLength) {
    const int remaining = kStampingCapacity - textLength;
    return QStringLiteral("Note: Copyright text can hold another ") + QString::number(remaining) +
           (remaining > 1 ? QStringLiteral(" characters.") : QStringLiteral(" character."));
}

bool saveCopyrightText(const QString& text, JobHost& host) {
    const QString path = stampingFilePath();
    if (!writeText(path, text + QStringLiteral("\r\n"))) {
        reportFailure(host, QFileDevice::WriteError,
                      QStringLiteral("Cannot write '") + path + QLatin1Char('\''));
        return false;
    }
    return true;
}
