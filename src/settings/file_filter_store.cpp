#include "settings/file_filter_store.h"

#include "core/job_host.h"
#include "core/text_helpers.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"

namespace {

QString storedSetting(SettingsStore& store, SettingId id) {
    return store.setting(settingRow(id).name);
}

void storeSetting(SettingsStore& store, SettingId id, const QString& text) {
    store.saveSetting(settingRow(id).name, text);
}

}  // namespace

FileFilter storedFilter(SettingsStore& store, int number) {
    const QString name = QString::number(number);
    return {store.value(SettingsStore::FilterInfoKey, name),
            store.value(SettingsStore::FilterKey, name)};
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

void ResetFileFilter(SettingsStore& store) {
    saveFileFilters(store, defaultFileFilters());
    storeSetting(store, SettingId::FiltersReady, settingRow(SettingId::FiltersReady).defaultValue);
}

void saveFileFilters(SettingsStore& store, const QList<FileFilter>& filters) {
    const SettingsStore::Batch batch(store);  // one write for the whole set
    storeSetting(store, SettingId::FilterCount, QString::number(filters.size()));
    store.deleteKey(SettingsStore::FilterKey);
    store.deleteKey(SettingsStore::FilterInfoKey);
    for (qsizetype i = 0; i < filters.size(); ++i) {
        store.setValue(SettingsStore::FilterKey, QString::number(i + 1), filters.at(i).patterns);
    }
    for (qsizetype i = 0; i < filters.size(); ++i) {
        store.setValue(SettingsStore::FilterInfoKey, QString::number(i + 1),
                       filters.at(i).description);
    }
}

int checkedFilterCount(SettingsStore& store, JobHost& host) {
    const QString stored = storedSetting(store, SettingId::FilterCount);
    // "0", "" and anything but a count of at most kMaxFileFilters is tampering.
    if (!isValidSetting(settingRow(SettingId::FilterCount), stored)) {
        host.message(MessageIcon::Warning, kFilterTamperMessage);
        ResetFileFilter(store);
        return 3;
    }
    return stored.trimmed().toInt();
}

QList<FileFilter> loadFileFilters(SettingsStore& store, JobHost& host, bool writeCount) {
    const int count = checkedFilterCount(store, host);
    QList<FileFilter> filters;
    for (int number = 1; number <= count; ++number) {
        const FileFilter filter = storedFilter(store, number);
        if (!filter.isEmptySlot()) {
            filters.append(filter);
        }
    }
    if (writeCount) {
        storeSetting(store, SettingId::FilterCount, QString::number(filters.size()));
    }
    return filters;
}
