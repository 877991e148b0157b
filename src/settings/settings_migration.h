#pragma once

#include <QList>

#include <functional>

class SettingsStore;

// The settings file's format, kept as "Version" under the settings root; a file
// without one is version 0. A program that finds an older file brings it up to its own
// format one step at a time, inside one write.
struct SettingsMigration {
    int version;  // the format the step leaves behind
    std::function<void(SettingsStore&)> apply;
};

// The steps of this program, in order; the last one's version is the current format.
const QList<SettingsMigration>& settingsMigrations();

// Runs the steps above the file's version and stores the new version. A file written by
// a newer program is left as it is. Returns the version the file is at.
int migrateSettings(SettingsStore& store,
                    const QList<SettingsMigration>& steps = settingsMigrations());
