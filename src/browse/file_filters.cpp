#include "browse/file_filters.h"

#include "core/registry.h"

QList<FileFilter> defaultFileFilters() {
    return {{QStringLiteral("Mpeg"), QStringLiteral("*.mpg,*.mpeg,*.mpe")},
            {QStringLiteral("Mp3"), QStringLiteral("*.mp3")},
            {QStringLiteral("All Files"), QStringLiteral("*.*")}};
}

void ResetFileFilter() {
    Registry::DeleteKey(Registry::FilterKey);
    Registry::DeleteKey(Registry::FilterInfoKey);
    const QList<FileFilter> filters = defaultFileFilters();
    for (qsizetype i = 0; i < filters.size(); ++i) {
        const QString number = QString::number(i + 1);
        Registry::SaveStringValue(Registry::FilterKey, number, filters.at(i).patterns);
        Registry::SaveStringValue(Registry::FilterInfoKey, number, filters.at(i).description);
    }
    Registry::saveSetting(QStringLiteral("fCheck"), QStringLiteral("fPass"));
    Registry::saveSetting(QStringLiteral("NoOfFilter"), QString::number(filters.size()));
}
