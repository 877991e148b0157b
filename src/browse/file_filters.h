#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "settings/file_filter_store.h"

class JobHost;
class OptionsModel;

inline const QString kPatternPlaceholder = QStringLiteral("*.FileType1,*.FileType2");

// The file-list patterns of a pattern text ("*.mpg;*.mpeg" or "*.mpg,*.mpeg").
QStringList patternList(const QString& patterns);

// True when `fileName` matches one of `patterns` without regard to case; "*.*"
// matches every name, with or without a dot.
bool matchesFilePattern(const QString& fileName, const QStringList& patterns);

// "Mpeg (*.mpg,*.mpeg,*.mpe)|*.mpg;*.mpeg;*.mpe|..." and the same in Qt's syntax, where
// each entry shows its patterns once: "Mpeg (*.mpg *.mpeg *.mpe);;...".
QString saveDialogTypeList(OptionsModel& options, JobHost& host);
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
