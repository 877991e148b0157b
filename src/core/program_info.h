#pragma once

#include <QString>

// The program's title: window captions, message boxes and the messages that name it.
inline const QString kProgramTitle = QStringLiteral("Tarvik Zarvo Pro");

// A read-only data file shipped with the program (tips, help page): the installed copy
// beside the program (../share/tarvik-zarvo/NAME) when there is one, else the one in
// the source tree the program was built from.
QString dataFilePath(const QString& name);

// The HTML help page the Help menu opens.
QString helpFilePath();
