#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstddef>
#include <optional>

// The vocabulary of every stored setting: its name, the texts it may hold, its
// default, and when start-up writes it back. Start-up, menus, preferences and the
// terminal program all read the settings through this one table; no other file spells
// a setting's name or word.

// One entry per stored setting, in the order start-up applies them.
enum class SettingId {
    ContextMenu,
    Magnet,
    PackListX,
    PackListY,
    MainX,
    MainY,
    PackListDocked,
    Rate,
    SplitSize,
    CustomBytes,
    CustomPieces,
    CustomPercent,
    Destination,
    UnpackType,
    JoinBatch,
    DeleteAction,
    SaveTo,
    Startup,
    Overwrite,
    Zip,
    MpegCheck,
    Checksums,
    SeamlessJoin,
    CleanCuts,
    FiltersReady,
    FilterCount,
    UnpackCustomDir,
    SaveCustomDir,
    LastSavedDir,
    StartupCustomDir,
    LastUsedDir,
    PackListDir,
    ShowTips,
};
// The most file types the settings may hold: a larger count is a damaged store.
constexpr quint64 kMaxFileFilters = 1000;

constexpr size_t settingCount() {
    return static_cast<size_t>(SettingId::ShowTips) + 1;
}

enum class SettingKind {
    Words,      // one of `words`, compared exactly; On/Off settings are words too
    Number,     // a whole number from `minimum` to `maximum`
    Position,   // any number (a window edge in twips); the default comes from the screen
    Directory,  // an existing directory; the default is the browser's folder
    Marker,     // anything but its one word resets the file-type filters
    Count,      // the number of file-type filters, checked by the filters themselves
    Flag,       // "0" or "1"; never written back at start-up
};

struct SettingRow {
    SettingId id;
    QString name;
    SettingKind kind;
    QStringList words;
    QString defaultValue;
    quint64 minimum = 0;
    quint64 maximum = 0;
    QStringList onlyWithSize;  // written back only while the split size is one of these
};

const QList<SettingRow>& settingsTable();
const SettingRow& settingRow(SettingId id);
// The setting stored under `name` (matched without regard to case), if there is one.
std::optional<SettingId> settingIdOf(const QString& name);

// The word at `index` of a words setting ("" outside the list), and the index of
// `word` (-1 when it is not one of the setting's words).
QString settingWord(SettingId id, int index);
int settingWordIndex(SettingId id, const QString& word);
// The index of the setting's default word.
int defaultWordIndex(SettingId id);

// The On/Off settings: index 0 is "On".
constexpr int kOnIndex = 0;
constexpr int kOffIndex = 1;

// The words of the split size that name a preset, and those of the custom modes in
// the order CustomSize, FirstPiece, LastPiece, Pieces, Percentage.
QStringList splitPresetWords();
QStringList splitModeWords();

// The texts of the tip window's flag.
QString flagText(bool on);
bool isFlagOn(const QString& text);

// What start-up needs to know that the store cannot say.
struct SettingsContext {
    QString currentDir;  // the browser's folder
    QPointF packList;    // the windows' first places, in twips
    QPointF main;
};

// True when `text` is inside the row's vocabulary (directories: an existing folder).
bool isValidSetting(const SettingRow& row, const QString& text);

// The value in force for `row` when the store holds `stored`.
QString effectiveSetting(const SettingRow& row, const QString& stored,
                         const SettingsContext& context);
