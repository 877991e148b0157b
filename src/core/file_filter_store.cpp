#include "core/file_filter_store.h"

#include "core/job_host.h"
#include "core/registry.h"
#include "core/settings_table.h"
#include "core/text_helpers.h"

FileFilter storedFilter(int number) {
    const QString name = QString::number(number);
    return {Registry::GetStringValue(Registry::FilterInfoKey, name),
            Registry::GetStringValue(Registry::FilterKey, name)};
}

QString withSemicolons(const QString& patterns) {
    return patterns.contains(QLatin1Char(','))
               ? replaceall(patterns, QStringLiteral(","), QStringLiteral(";"))
               : patterns;
}

QString FileFilter::displayForm() const {
    return description + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

QList<FileFilter> defaultFileFilters() {
    return {{QStringLiteral("Mpeg"), QStringLiteral("*.mpg,*.mpeg,*.mpe")},
            {QStringLiteral("Mp3"), QStringLiteral("*.mp3")},
            {QStringLiteral("All Files"), QStringLiteral("*.*")}};
}

void ResetFileFilter() {
    saveFileFilters(defaultFileFilters());
    storeSetting(SettingId::FiltersReady, settingRow(SettingId::FiltersReady).defaultValue);
}

void saveFileFilters(const QList<FileFilter>& filters) {
    storeSetting(SettingId::FilterCount, QString::number(filters.size()));
    Registry::DeleteKey(Registry::FilterKey);
    Registry::DeleteKey(Registry::FilterInfoKey);
    for (qsizetype i = 0; i < filters.size(); ++i) {
        Registry::SaveStringValue(Registry::FilterKey, QString::number(i + 1),
                                  filters.at(i).patterns);
    }
    for (qsizetype i = 0; i < filters.size(); ++i) {
        Registry::SaveStringValue(Registry::FilterInfoKey, QString::number(i + 1),
                                  filters.at(i).description);
    }
}

int checkedFilterCount(JobHost& host) {
    const QString stored = storedSetting(SettingId::FilterCount);
    // "0", "" and anything but a count of at most kMaxFileFilters is tampering.
    if (!isValidSetting(settingRow(SettingId::FilterCount), stored)) {
        host.message(MessageIcon::Warning, kFilterTamperMessage);
        ResetFileFilter();
        return 3;
    }
    return stored.trimmed().toInt();
}

QList<FileFilter> loadFileFilters(JobHost& host, bool writeCount) {
    const int count = checkedFilterCount(host);
    QList<FileFilter> filters;
    for (int number = 1; number <= count; ++number) {
        const FileFilter filter = storedFilter(number);
        if (!filter.isEmptySlot()) {
            filters.append(filter);
        }
    }
    if (writeCount) {
        storeSetting(SettingId::FilterCount, QString::number(filters.size()));
    }
    return filters;
}

QString filterPatternForBox(int number) {
    return withSemicolons(Registry::GetStringValue(Registry::FilterKey, QString::number(number)));
}
