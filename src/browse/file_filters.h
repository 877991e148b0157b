#pragma once

#include <QList>
#include <QString>

// One user-defined file type: "Mpeg" with "*.mpg,*.mpeg,*.mpe".
struct FileFilter {
    QString description;
    QString patterns;  // separated by ","
};

QList<FileFilter> defaultFileFilters();

// Deletes both filter keys and writes the three default pairs, "fPass" and the count.
void ResetFileFilter();
