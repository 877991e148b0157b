#pragma once

#include <QString>
#include <QtGlobal>

// The nearest existing folder of `path` (itself when it is one), "/" at worst.
QString nearestExistingFolder(const QString& path);

// Bytes the user can still write on the volume that would hold `path` (blocks
// reserved for root do not count); 0 when the volume cannot be asked.
quint64 freeBytesFor(const QString& path);

// A stable name for the volume that would hold `path` (its device).
QString volumeOf(const QString& path);
