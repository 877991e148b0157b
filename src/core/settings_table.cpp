#include "core/settings_table.h"

#include <QFileInfo>

#include <cmath>

#include "browse/file_filters.h"
#include "core/registry.h"

namespace {

const QStringList kOnOff = {QStringLiteral("On"), QStringLiteral("Off")};

SettingRow words(const char* name, QStringList vocabulary, const char* defaultValue) {
    return {QLatin1String(name),
            SettingKind::Words,
            std::move(vocabulary),
            QLatin1String(defaultValue),
            0,
            0,
            QString()};
}

SettingRow number(const char* name, quint64 minimum, quint64 maximum, const char* defaultValue,
                  const char* onlyWithSize) {
    return {QLatin1String(name),
            SettingKind::Number,
            {},
            QLatin1String(defaultValue),
            minimum,
            maximum,
            QLatin1String(onlyWithSize)};
}

SettingRow kind(const char* name, SettingKind settingKind, const char* defaultValue = "") {
    return {QLatin1String(name), settingKind, {}, QLatin1String(defaultValue), 0, 0, QString()};
}

QList<SettingRow> buildTable() {
    const auto list = [](std::initializer_list<const char*> items) {
        QStringList result;
        for (const char* item : items) {
            result.append(QLatin1String(item));
        }
        return result;
    };
    // In the order start-up applies them.
    return {
        words("CmPack", kOnOff, "Off"),
        words("Magnet", kOnOff, "On"),
        kind("PkLstXpos", SettingKind::Position),
        kind("PkLstYpos", SettingKind::Position),
        words("tRate", list({"slow", "normal", "fast", "ufast"}), "normal"),
        words("sSize",
              list({"small", "low", "high", "zip", "customfs", "customffs", "customlfs",
                    "customnof", "custompfs"}),
              "high"),
        number("cSize", 1, 1048576000, "1440000", "customfs customffs customlfs"),
        number("cNof", 2, 99999, "2", "customnof"),
        number("cPfs", 1, 99, "50", "custompfs"),
        words("sDir", list({"sfile", "wfile", "custom"}), "sfile"),
        words("UnpkTyp", list({"RAW", "EMH"}), "RAW"),
        words("JBat", list({"Jbat", "JbatNo", "JbatInfo"}), "JbatNo"),
        words("Delact", list({"No", "Prompt", "NoPrompt"}), "No"),
        words("SaveTo", list({"LastSaved", "Custom"}), "LastSaved"),
        words("StartupOpt", list({"LastUsed", "Custom"}), "LastUsed"),
        words("Owrite", list({"Prompt", "No", "NoPrompt"}), "Prompt"),
        words("MZip", kOnOff, "Off"),
        words("MCC", kOnOff, "On"),
        kind("fCheck", SettingKind::Marker, "fPass"),
        kind("NoOfFilter", SettingKind::Count, "3"),
        kind("UnpackCustomDir", SettingKind::Directory),
        kind("SaveCustomDir", SettingKind::Directory),
        kind("LastSavedDir", SettingKind::Directory),
        kind("StartupCustomDir", SettingKind::Directory),
        kind("LastUsedDir", SettingKind::Directory),
        kind("PkLstDir", SettingKind::Directory),  // where pack list files were last used
        kind("ShowTod", SettingKind::Flag, "1"),
    };
}

constexpr double kMaxPositionTwips = 1e7;

bool isWholeNumberIn(const QString& text, quint64 minimum, quint64 maximum) {
    bool ok = false;
    const quint64 value = text.trimmed().toULongLong(&ok);
    return ok && value >= minimum && value <= maximum;
}

QString positionText(double value) {
    return QString::number(value, 'g', 9);
}

}  // namespace

const QList<SettingRow>& settingsTable() {
    static const QList<SettingRow> table = buildTable();
    return table;
}

const SettingRow& settingRow(const QString& name) {
    for (const SettingRow& row : settingsTable()) {
        if (row.name.compare(name, Qt::CaseInsensitive) == 0) {
            return row;
        }
    }
    qFatal("unknown setting %s", qPrintable(name));
}

bool isValidSetting(const SettingRow& row, const QString& text) {
    switch (row.kind) {
        case SettingKind::Words:
            return row.words.contains(text);
        case SettingKind::Number:
            return isWholeNumberIn(text, row.minimum, row.maximum);
        case SettingKind::Position: {
            // A window edge in twips: "nan", "inf" or 1e12 is no place on any screen.
            bool ok = false;
            const double twips = text.trimmed().toDouble(&ok);
            return ok && std::isfinite(twips) && std::abs(twips) <= kMaxPositionTwips;
        }
        case SettingKind::Directory:
            return !text.isEmpty() && QFileInfo(text).isDir();
        case SettingKind::Marker:
            return text == row.defaultValue;
        case SettingKind::Count:
            return isWholeNumberIn(text, 1, 9999);
        case SettingKind::Flag:
            return text == QLatin1String("0") || text == QLatin1String("1");
    }
    return false;
}

QString effectiveSetting(const SettingRow& row, const QString& stored,
                         const SettingsContext& context) {
    if (isValidSetting(row, stored)) {
        return row.kind == SettingKind::Position ? stored.trimmed() : stored;
    }
    if (row.kind == SettingKind::Directory) {
        return context.currentDir;
    }
    if (row.kind == SettingKind::Position) {
        return positionText(row.name == QLatin1String("PkLstXpos") ? context.packListX
                                                                   : context.packListY);
    }
    return row.defaultValue;
}

QString currentSetting(const QString& name, const SettingsContext& context) {
    const SettingRow& row = settingRow(name);
    return effectiveSetting(row, Registry::setting(row.name), context);
}

void normaliseSettings(const SettingsContext& context) {
    const Registry::Batch batch;  // one write of the file for all the values
    const QString sizeMode = currentSetting(QStringLiteral("sSize"), context);
    for (const SettingRow& row : settingsTable()) {
        if (row.kind == SettingKind::Flag || row.kind == SettingKind::Count) {
            continue;  // the tip window and the filters look after these
        }
        if (!row.onlyWithSize.isEmpty() &&
            !row.onlyWithSize.split(QLatin1Char(' ')).contains(sizeMode)) {
            continue;
        }
        if (row.kind == SettingKind::Marker) {
            if (!isValidSetting(row, Registry::setting(row.name))) {
                ResetFileFilter();
            }
            continue;
        }
        Registry::saveSetting(row.name, currentSetting(row.name, context));
    }
}
