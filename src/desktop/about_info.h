#pragma once

#include <QList>
#include <QString>

// What the About box says besides the program's name and version.
struct LibraryVersion {
    QString name;
    QString version;
};

// The libraries the program runs on, with the versions loaded at run time.
QList<LibraryVersion> libraryVersions();

inline const QString kProgramDescription = QStringLiteral(
    "Joins files into one and splits files into pieces, made for MPEG video and audio.");
inline const QString kLicenceText = QStringLiteral(
    "Licensed under the GNU General Public License, version 3 or any later version. "
    "It comes with ABSOLUTELY NO WARRANTY.");
