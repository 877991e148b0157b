#pragma once

#include <QString>

class JobHost;

// True when both paths name one existing file (same device and inode), whatever
// spelling (links, "./", "//") names it.
bool sameFile(const QString& a, const QString& b);

// True when the path exists and is a hidden file (its name starts with ".").
bool isHiddenFile(const QString& path);

// True for a regular file the user may not write: one without a write permission bit
// for anyone, or one the user's own rights do not let them write. Such a file is never
// deleted or replaced by a job, though the folder it is in would allow it.
bool isWriteProtected(const QString& path);

// Why `path` cannot be a job's source, as the end of a sentence ("it is a folder"), or
// "" for a regular file that can be read. A file of 0 bytes is the caller's matter.
QString sourceProblem(const QString& path);

// Asks "'…' already exists. Do you want to replace it?" when `path` exists (a folder
// aside); true when nothing stands there or the user answers Yes.
bool mayReplace(const QString& path, JobHost& host);
