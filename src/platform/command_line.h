#pragma once

#include <QString>
#include <QStringList>

// The files named on the desktop program's command line.

// The paths of one "|"-separated command line, as the file manager's companion used to
// pass them: the list ends at the first empty item ("a|b||c" names a and b).
QStringList splitCommandLine(const QString& commandLine);

// Every argument names one file. An argument that holds "|" and names no existing file
// is such a "|"-separated list; a file of exactly that name wins, and after "--" every
// argument is a name as it stands. The names come back as full, clean paths.
QStringList commandLineFiles(const QStringList& arguments);
