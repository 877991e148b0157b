#pragma once

#include <QString>
#include <QStringList>

#include "settings/option_types.h"

class JobHost;

// Moves one file to the freedesktop.org trash; true once it is really there.
bool moveToTrash(const QString& path);

// The files a job replaced: sent to the trash, or deleted where the trash could not take
// them (another file system without a trash folder, a read-only trash).
struct ReplacedFiles {
    int trashed = 0;
    int deleted = 0;
    // The sentence the job's final message ends with; "" when nothing was replaced.
    QString text() const;
};

// Moves an existing regular file at `path` out of a job's way, into the trash (or, where
// the trash cannot take it, deletes it) and counts it. True when no regular file stands
// there any more; a link or other non-file is left for the job's own writing to replace.
// A write-protected file is left where it is, and the answer is false.
bool setAsideReplaced(const QString& path, ReplacedFiles& replaced);

// Sends `paths` to the freedesktop.org trash as one operation. With Prompt, one
// question lists the files first and No keeps them all. A file that cannot be
// trashed stays where it is and is named in one message after the others went;
// nothing is ever deleted outright. Returns the paths that reached the trash.
QStringList deleteSources(const QStringList& paths, DeleteAction action, JobHost& host);

// Makes what a job wrote durable before anything is removed because of it: the data of
// each file and the folders that name them reach the disk. "" when they did, else why not.
QString makeDurable(const QStringList& paths);
