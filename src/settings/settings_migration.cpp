#include "settings/settings_migration.h"

#include "settings/settings_store.h"

namespace {

const QString kVersionName = QStringLiteral("Version");

}  // namespace

const QList<SettingsMigration>& settingsMigrations() {
    static const QList<SettingsMigration> steps{
        // Version 1 names the format that files without a version already have.
        {1, [](SettingsStore&) {}},
    };
    return steps;
}

int migrateSettings(SettingsStore& store, const QList<SettingsMigration>& steps) {
    bool known = false;
    const int stored = store.setting(kVersionName).trimmed().toInt(&known);
    int version = known && stored > 0 ? stored : 0;
    const SettingsStore::Batch batch(store);
    for (const SettingsMigration& step : steps) {
        if (step.version > version) {
            step.apply(store);
            version = step.version;
        }
    }
    if (!known || version != stored) {
        store.saveSetting(kVersionName, QString::number(version));
    }
    return version;
}
