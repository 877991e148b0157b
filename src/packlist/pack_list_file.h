#pragma once

#include <QString>
#include <QStringList>

class JobHost;

// Pack list files (".zpl"): one full path per line, CR LF after every line.

// Writes `paths`; a file that cannot be created or written asks Retry/Cancel.
// True when the whole list was written.
bool savePackList(const QString& fileName, const QStringList& paths, JobHost& host);

// The lines of a pack list file that name a present normal file (lines end at CR,
// CR LF or LF; a line without "/" is skipped). Nothing when it cannot be read.
QStringList readPackList(const QString& fileName);
