#include "browse/file_filters.h"

#include <QRegularExpression>

#include "core/job_host.h"
#include "core/text_helpers.h"
#include "options/options_model.h"

QStringList patternList(const QString& patterns) {
    QStringList list;
    for (const QString& pattern :
         QString(patterns).replace(QLatin1Char(','), QLatin1Char(';')).split(QLatin1Char(';'))) {
        if (!pattern.trimmed().isEmpty()) {
            list.append(pattern.trimmed());
        }
    }
    return list;
}

bool matchesFilePattern(const QString& fileName, const QStringList& patterns) {
    for (const QString& pattern : patterns) {
        if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) {
            return true;
        }
        const QRegularExpression wildcard(
            QRegularExpression::wildcardToRegularExpression(
                pattern, QRegularExpression::UnanchoredWildcardConversion),
            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpression anchored(
            QLatin1String("\\A(?:") + wildcard.pattern() + QLatin1String(")\\z"),
            QRegularExpression::CaseInsensitiveOption);
        // A pattern that makes no expression ("[a") can only match itself.
        if (anchored.isValid() ? anchored.match(fileName).hasMatch()
                               : fileName.compare(pattern, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

QString saveDialogTypeList(OptionsModel& options, JobHost& host) {
    QStringList parts;
    const int count = options.fileFilterCount(host);
    for (int number = 1; number <= count; ++number) {
        const FileFilter filter = options.fileFilter(number);
        if (!filter.isEmptySlot()) {
            parts << filter.displayForm() << withSemicolons(filter.patterns);
        }
    }
    return parts.join(QLatin1Char('|'));
}

QString qtFileDialogFilter(const QString& typeList) {
    const QStringList parts = typeList.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Qt reads the patterns from the last parentheses of an entry, blank-separated;
        // "*.*" there would need a dot in the name.
        QStringList patterns = parts.at(i + 1).split(QLatin1Char(';'));
        patterns.replaceInStrings(QRegularExpression(QStringLiteral("^\\*\\.\\*$")),
                                  QStringLiteral("*"));
        // The entry's own "(*.mpg,*.mpeg)" gives way to Qt's list, so it is shown once.
        QString description = parts.at(i);
        const qsizetype open = description.lastIndexOf(QStringLiteral(" ("));
        if (open > 0 && description.endsWith(QLatin1Char(')'))) {
            description.truncate(open);
        }
        filters.append(description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

QString withTypeExtension(const QString& path, const QString& qtType) {
    const QString name = namePart(path);
    if (name.isEmpty() || name.indexOf(QLatin1Char('.'), 1) > 0) {
        return path;  // a leading dot marks a hidden name, not an extension
    }
    const qsizetype open = qtType.lastIndexOf(QLatin1Char('('));
    const qsizetype close = qtType.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open) {
        return path;
    }
    static const QRegularExpression plainExtension(QStringLiteral("^\\*\\.([^*?\\[\\]]+)$"));
    for (const QString& pattern :
         qtType.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = plainExtension.match(pattern);
        if (match.hasMatch()) {
            return path + QLatin1Char('.') + match.captured(1);
        }
    }
    return path;
}
