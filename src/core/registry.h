#pragma once

#include <QString>
#include <QtGlobal>

// The per-user settings store: named text values under key paths such as
// "Software\Tarvik\Zarvo", kept in one INI file (one group per key path). Key and
// value names match without regard to letter case. Every write reaches the disk at
// once by atomic replace. The parsed file is kept while the file on disk is unchanged.
// A value that cannot be read gives the caller's default; damaged lines are dropped and
// the original kept as a backup; a file that cannot be read at all is left alone.
namespace Registry {

inline const QString SettingsRoot = QStringLiteral("Software\\Tarvik\\Zarvo");
inline const QString FilterKey = QStringLiteral("Software\\Tarvik\\Zarvo\\Filter");
inline const QString FilterInfoKey = QStringLiteral("Software\\Tarvik\\Zarvo\\FilterInfo");

// $XDG_CONFIG_HOME/TarvikZarvo/registry.ini, or the file set by setStorePath.
QString storePath();
void setStorePath(const QString& path);  // tests and the CLI's --settings

QString GetStringValue(const QString& keyPath, const QString& valueName,
                       const QString& defaultValue = QString());
void SaveStringValue(const QString& keyPath, const QString& valueName, const QString& text);
// Deletes a key with its values; a key that still has subkeys, or none, is left alone.
void DeleteKey(const QString& keyPath);

// Writes made while a Batch lives reach the disk together when the last one ends
// (start-up's normalisation writes many values of a possibly large file).
class Batch {
public:
    Batch();
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
};

// Once per run: why the settings file could not be read, or "".
QString takeWarning();
// Once per run: why a change could not be written to the settings file, or "".
QString takeWriteFailure();

// Shorthands for the settings root.
QString setting(const QString& valueName, const QString& defaultValue = QString());
void saveSetting(const QString& valueName, const QString& text);

}  // namespace Registry
