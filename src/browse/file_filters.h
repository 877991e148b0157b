#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class JobHost;

// One user-defined file type: "Mpeg" with "*.mpg,*.mpeg,*.mpe".
struct FileFilter {
    QString description;
    QString patterns;  // separated by ","

    // "Mpeg (*.mpg,*.mpeg,*.mpe)"; " ()" marks an empty slot.
    QString displayForm() const;
    bool isEmptySlot() const { return description.isEmpty() && patterns.isEmpty(); }
};

inline const QString kPatternPlaceholder = QStringLiteral("*.FileType1,*.FileType2");
inline const QString kFilterTamperMessage = QStringLiteral(
    "Your custom FileType information is tampered or deleted. Default FileType is replaced.");

QList<FileFilter> defaultFileFilters();

// Deletes both filter keys and writes the three default pairs, "fPass" and the count.
void ResetFileFilter();

// The stored count; "0" or "" is tampering: the message, the defaults, and 3.
int checkedFilterCount(JobHost& host);

// The stored filters 1..count, empty slots skipped; the count of those shown is written
// back when `writeCount`.
QList<FileFilter> loadFileFilters(JobHost& host, bool writeCount = true);

// The stored filter number `number` (1-based) as file-list patterns, "," turned into ";".
QString filterPatternForBox(int number);

// The file-list patterns of a pattern text ("*.mpg;*.mpeg" or "*.mpg,*.mpeg").
QStringList patternList(const QString& patterns);

// True when `fileName` matches one of `patterns` without regard to case; "*.*"
// matches every name, with or without a dot.
bool matchesFilePattern(const QString& fileName, const QStringList& patterns);

// "Mpeg (*.mpg,*.mpeg,*.mpe)|*.mpg;*.mpeg;*.mpe|..." and the same in Qt's syntax, where
// each entry shows its patterns once: "Mpeg (*.mpg *.mpeg *.mpe);;...".
QString saveDialogTypeList(JobHost& host);
QString qtFileDialogFilter(const QString& typeList);

// What a file dialog returns: the path ("" when cancelled) and the type chosen in it.
struct FileChoice {
    QString path;
    QString type;
};

// A name typed into a save dialog without an extension gets the first extension of the
// chosen type ("joined" with "Mpeg (*.mpg *.mpeg)" gives "joined.mpg"); a name with an
// extension, or a type without one ("All Files (*)"), leaves the path as it is.
QString withTypeExtension(const QString& path, const QString& qtType);

// Writes `filters` as the new set (the filter dialog's save on close).
void saveFileFilters(const QList<FileFilter>& filters);
