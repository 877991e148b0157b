#include "core/options_model.h"

#include "core/registry.h"
#include "core/settings_table.h"

namespace {

// The order in which start-up applies the options.
const char* const kRestoreOrder[] = {"CmPack", "Magnet", "tRate",      "sDir",   "UnpkTyp", "JBat",
                                     "Delact", "SaveTo", "StartupOpt", "Owrite", "MZip",    "MCC"};

}  // namespace

OptionsModel::OptionsModel(QObject* parent) : QObject(parent) {
    for (const char* name : kRestoreOrder) {
        const SettingRow& row = settingRow(QLatin1String(name));
        m_values.insert(row.name, row.defaultValue);
    }
    applyPreset(m_split, QStringLiteral("high"), false);
}

QString OptionsModel::value(const QString& name) const {
    return m_values.value(settingRow(name).name);
}

void OptionsModel::choose(const QString& name, const QString& word) {
    const SettingRow& row = settingRow(name);
    const QString used = isValidSetting(row, word) ? word : row.defaultValue;
    m_values.insert(row.name, used);
    Registry::saveSetting(row.name, used);
    Q_EMIT changed(row.name);
}

void OptionsModel::setOn(const QString& name, bool on) {
    choose(name, on ? QStringLiteral("On") : QStringLiteral("Off"));
}

void OptionsModel::choosePreset(const QString& word) {
    applyPreset(m_split, word);
    Q_EMIT changed(QStringLiteral("sSize"));
}

void OptionsModel::restoreFromStore() {
    for (const char* name : kRestoreOrder) {
        choose(QLatin1String(name), Registry::setting(QLatin1String(name)));
        if (QLatin1String(name) == QLatin1String("tRate")) {
            restoreSplitRule(m_split);  // the size comes right after the rate
            Q_EMIT changed(QStringLiteral("sSize"));
        }
    }
}
