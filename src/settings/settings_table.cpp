#include "settings/settings_table.h"

#include <QFileInfo>

#include <cmath>

namespace {

QStringList list(std::initializer_list<const char*> items) {
    QStringList result;
    for (const char* item : items) {
        result.append(QLatin1String(item));
    }
    return result;
}

const QStringList kOnOff = list({"On", "Off"});

SettingRow words(SettingId id, const char* name, QStringList vocabulary, const char* defaultValue) {
    return {id,
            QLatin1String(name),
            SettingKind::Words,
            std::move(vocabulary),
            QLatin1String(defaultValue),
            0,
            0,
            {}};
}

SettingRow number(SettingId id, const char* name, quint64 minimum, quint64 maximum,
                  const char* defaultValue, QStringList onlyWithSize) {
    return {id,      QLatin1String(name),         SettingKind::Number,
            {},      QLatin1String(defaultValue), minimum,
            maximum, std::move(onlyWithSize)};
}

SettingRow kind(SettingId id, const char* name, SettingKind settingKind,
                const char* defaultValue = "") {
    return {id, QLatin1String(name), settingKind, {}, QLatin1String(defaultValue), 0, 0, {}};
}

// Preset words first, then the custom modes; see splitPresetWords / splitModeWords.
constexpr qsizetype kPresetCount = 4;

QList<SettingRow> buildTable() {
    using Id = SettingId;
    // Word lists follow the order of the enums in option_types.h.
    return {
        words(Id::ContextMenu, "CmPack", kOnOff, "Off"),
        words(Id::Magnet, "Magnet", kOnOff, "On"),
        kind(Id::PackListX, "PkLstXpos", SettingKind::Position),
        kind(Id::PackListY, "PkLstYpos", SettingKind::Position),
        kind(Id::MainX, "MainXpos", SettingKind::Position),
        kind(Id::MainY, "MainYpos", SettingKind::Position),
        // The sides the pack list was snapped to: 1 top, 2 bottom, 4 left, 8 right.
        number(Id::PackListDocked, "PkLstDocked", 0, 15, "0", {}),
        words(Id::Rate, "tRate", list({"slow", "normal", "fast", "ufast"}), "normal"),
        words(Id::SplitSize, "sSize",
              list({"small", "low", "high", "zip", "customfs", "customffs", "customlfs",
                    "customnof", "custompfs"}),
              "high"),
        number(Id::CustomBytes, "cSize", 1, 1048576000, "1440000",
               list({"customfs", "customffs", "customlfs"})),
        number(Id::CustomPieces, "cNof", 2, 99999, "2", list({"customnof"})),
        number(Id::CustomPercent, "cPfs", 1, 99, "50", list({"custompfs"})),
        words(Id::Destination, "sDir", list({"sfile", "wfile", "custom"}), "sfile"),
        words(Id::UnpackType, "UnpkTyp", list({"RAW", "EMH"}), "RAW"),
        words(Id::JoinBatch, "JBat", list({"JbatNo", "Jbat", "JbatInfo"}), "JbatNo"),
        words(Id::DeleteAction, "Delact", list({"No", "Prompt", "NoPrompt"}), "No"),
        words(Id::SaveTo, "SaveTo", list({"LastSaved", "Custom"}), "LastSaved"),
        words(Id::Startup, "StartupOpt", list({"LastUsed", "Custom"}), "LastUsed"),
        words(Id::Overwrite, "Owrite", list({"Prompt", "No", "NoPrompt"}), "Prompt"),
        words(Id::Zip, "MZip", kOnOff, "Off"),
        words(Id::MpegCheck, "MCC", kOnOff, "On"),
        words(Id::Checksums, "WrChk", kOnOff, "Off"),     // write NAME.sha256 beside the results
        words(Id::SeamlessJoin, "MSeam", kOnOff, "Off"),  // MPEG parts as one continuous stream
        words(Id::CleanCuts, "EmhCut", kOnOff, "Off"),    // EMH pieces cut at picture groups
        kind(Id::FiltersReady, "fCheck", SettingKind::Marker, "fPass"),
        kind(Id::FilterCount, "NoOfFilter", SettingKind::Count, "3"),
        kind(Id::UnpackCustomDir, "UnpackCustomDir", SettingKind::Directory),
        kind(Id::SaveCustomDir, "SaveCustomDir", SettingKind::Directory),
        kind(Id::LastSavedDir, "LastSavedDir", SettingKind::Directory),
        kind(Id::StartupCustomDir, "StartupCustomDir", SettingKind::Directory),
        kind(Id::LastUsedDir, "LastUsedDir", SettingKind::Directory),
        kind(Id::PackListDir, "PkLstDir", SettingKind::Directory),  // where lists were last used
        kind(Id::ShowTips, "ShowTod", SettingKind::Flag, "1"),
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
    static const QList<SettingRow> table = [] {
        QList<SettingRow> rows = buildTable();
        for (qsizetype i = 0; i < rows.size(); ++i) {
            Q_ASSERT(static_cast<qsizetype>(rows.at(i).id) == i);  // rows in enum order
        }
        return rows;
    }();
    return table;
}

const SettingRow& settingRow(SettingId id) {
    return settingsTable().at(static_cast<qsizetype>(id));
}

std::optional<SettingId> settingIdOf(const QString& name) {
    for (const SettingRow& row : settingsTable()) {
        if (row.name.compare(name, Qt::CaseInsensitive) == 0) {
            return row.id;
        }
    }
    return std::nullopt;
}

QString settingWord(SettingId id, int index) {
    return settingRow(id).words.value(index);
}

int settingWordIndex(SettingId id, const QString& word) {
    return static_cast<int>(settingRow(id).words.indexOf(word));
}

int defaultWordIndex(SettingId id) {
    return settingWordIndex(id, settingRow(id).defaultValue);
}

QStringList splitPresetWords() {
    return settingRow(SettingId::SplitSize).words.mid(0, kPresetCount);
}

QStringList splitModeWords() {
    return settingRow(SettingId::SplitSize).words.mid(kPresetCount);
}

QString flagText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

bool isFlagOn(const QString& text) {
    return text != flagText(false);
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
            return isWholeNumberIn(text, 1, kMaxFileFilters);
        case SettingKind::Flag:
            return text == flagText(false) || text == flagText(true);
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
        switch (row.id) {
            case SettingId::PackListX:
                return positionText(context.packList.x());
            case SettingId::PackListY:
                return positionText(context.packList.y());
            case SettingId::MainX:
                return positionText(context.main.x());
            default:
                return positionText(context.main.y());
        }
    }
    return row.defaultValue;
}
