#include "core/text_helpers.h"

#include <cstring>

#include <QLocale>

#include "core/program_info.h"

QString replaceall(QString searchString, const QString& findString, const QString& replaceString) {
    if (findString.isEmpty()) {
        return searchString;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype hit = searchString.indexOf(findString, from);
        if (hit < 0) {
            return searchString;
        }
        searchString.replace(hit, findString.size(), replaceString);
        from = hit + replaceString.size();
    }
}

QString StripItem(QString& startStrg, QChar parser) {
    const qsizetype at = startStrg.indexOf(parser);
    if (at < 0) {
        QString whole = startStrg;
        startStrg.clear();
        return whole;
    }
    QString item = startStrg.left(at);
    startStrg.remove(0, at + 1);
    return item;
}

namespace {

// Cuts `text` one character at a time from its end until it is at most `budget` wide.
QString cutToWidth(QString text, int budget, const TextWidthFn& width) {
    while (!text.isEmpty() && width(text) > budget) {
        text.chop(1);
    }
    return text;
}

}  // namespace

QString fitPathToWidth(const QString& path, int maxLength, const TextWidthFn& width,
                       const QString& unfitting) {
    if (width(path) <= maxLength) {
        return path;
    }
    const qsizetype lastSlash = path.lastIndexOf(QLatin1Char('/'));
    if (lastSlash < 0) {
        return unfitting;  // nothing sensible to keep
    }
    const QString suffix = QStringLiteral(".../") + path.mid(lastSlash + 1);
    const int headBudget = maxLength - width(suffix) - 175;
    if (headBudget >= 0) {
        return cutToWidth(path, headBudget - 175, width) + suffix;
    }
    return cutToWidth(path, maxLength - 200, width) + QStringLiteral("...");
}

QString withoutTrailingSlashes(const QString& path) {
    if (path.isEmpty()) {
        return QStringLiteral("/");  // the root, once its own slash was taken off
    }
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) {
        trimmed.chop(1);
    }
    return trimmed;
}

QString joinPath(const QString& directory, const QString& name) {
    if (directory.isEmpty()) {
        return name;
    }
    if (directory.endsWith(QLatin1Char('/'))) {
        return directory + name;
    }
    return directory + QLatin1Char('/') + name;
}

QString folderPart(const QString& path) {
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString namePart(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString sizeText(quint64 bytes) {
    if (bytes == 0) {
        return QString();
    }
    QLocale locale;
    // The C locale would print the digits ungrouped; "#,###" always groups.
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(bytes);
}

QString unexpectedErrorText(int number, const QString& description) {
    return QStringLiteral(
               "Unexpected error. It may be a bug or an unexpected error has occur! Please quit "
               "and restart ") +
           kProgramTitle +
           QStringLiteral(
               ".\r\nIf the problem persists, please submit a bug "
               "report immediately.\r\n\r\nError ") +
           QString::number(number) + QStringLiteral(": '") + description +
           QStringLiteral("'  detected.");
}

QString captionVersion(const QString& version) {
    const QStringList parts = version.split(QLatin1Char('.'));
    if (parts.size() < 2) {
        return version;
    }
    return parts.at(0) + QLatin1Char('.') + parts.mid(1).join(QString());
}

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}
