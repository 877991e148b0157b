#pragma once

#include <QString>
#include <QStringList>

#include "core/option_types.h"

class JobHost;

// Moves one file to the freedesktop.org trash; true once it is really there.
bool moveToTrash(const QString& path);

// Sends `paths` to the freedesktop.org trash as one operation. With Prompt, one
// question lists the files first and No keeps them all. A file that cannot be
// trashed stays where it is and is named in one message after the others went;
// nothing is ever deleted outright. Returns the paths that reached the trash.
QStringList DeleteSources(const QStringList& paths, DeleteAction action, JobHost& host);
