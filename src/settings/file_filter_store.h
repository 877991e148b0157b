#pragma once

#include <QList>
#include <QString>

class JobHost;
class SettingsStore;

// The user's file types as the settings store keeps them: a count, and numbered
// patterns and descriptions under their own keys. The options model calls these, and
// announces what they change.

// One user-defined file type: "Mpeg" with "*.mpg,*.mpeg,*.mpe".
struct FileFilter {
    QString description;
    QString patterns;  // separated by ","

    // "Mpeg (*.mpg,*.mpeg,*.mpe)"; " ()" marks an empty slot.
    QString displayForm() const;
    bool isEmptySlot() const { return description.isEmpty() && patterns.isEmpty(); }
};

inline const QString kFilterTamperMessage = QStringLiteral(
    "Your custom FileType information is tampered or deleted. Default FileType is replaced.");

QList<FileFilter> defaultFileFilters();

// Deletes both filter keys and writes the three default pairs, the marker and the count.
void ResetFileFilter(SettingsStore& store);

// The stored count; "0", "" or anything but a count up to kMaxFileFilters is tampering:
// the message, the defaults, and 3.
int checkedFilterCount(SettingsStore& store, JobHost& host);

// The stored filters 1..count, empty slots skipped; the count of those shown is written
// back when `writeCount`.
QList<FileFilter> loadFileFilters(SettingsStore& store, JobHost& host, bool writeCount);

// Writes `filters` as the new set (the filter dialog's save on close).
void saveFileFilters(SettingsStore& store, const QList<FileFilter>& filters);

// The stored filter number `number` (1-based), and a pattern text with "," turned into ";".
FileFilter storedFilter(SettingsStore& store, int number);
QString withSemicolons(const QString& patterns);
