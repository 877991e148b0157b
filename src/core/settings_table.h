#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The vocabulary of every stored setting: its name, the texts it may hold, its
// default, and when start-up writes it back. Start-up, menus, preferences and the
// terminal program all read the settings through this one table.

enum class SettingKind {
    Words,      // one of `words`, compared exactly
    Number,     // a whole number from `minimum` to `maximum`
    Position,   // any number (a window edge in twips); the default comes from the screen
    Directory,  // an existing directory; the default is the browser's folder
    Marker,     // fCheck: anything but its one word resets the filters
    Count,      // NoOfFilter: checked by the file-type filters themselves
    Flag,       // ShowTod: "0" or anything else; never written back at start-up
};

struct SettingRow {
    QString name;
    SettingKind kind;
    QStringList words;
    QString defaultValue;
    quint64 minimum = 0;
    quint64 maximum = 0;
    QString onlyWithSize;  // cSize/cNof/cPfs: written back only while sSize is one of these
};

const QList<SettingRow>& settingsTable();
const SettingRow& settingRow(const QString& name);

// What start-up needs to know that the store cannot say.
struct SettingsContext {
    QString currentDir;  // the browser's folder
    double packListX = 0;
    double packListY = 0;
};

// True when `text` is inside the row's vocabulary (directories: an existing folder).
bool isValidSetting(const SettingRow& row, const QString& text);

// The value in force for `row` when the store holds `stored`.
QString effectiveSetting(const SettingRow& row, const QString& stored,
                         const SettingsContext& context);

// Reads the stored value of `name` and returns the value in force.
QString currentSetting(const QString& name, const SettingsContext& context = {});

// Start-up's rule: reads every setting, and writes back the value in force (resetting
// the file-type filters when they were never initialised).
void normaliseSettings(const SettingsContext& context);
