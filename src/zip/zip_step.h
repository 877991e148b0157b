#pragma once

#include <QString>
#include <QStringList>

#include "core/job_outcome.h"
#include "fileio/trash.h"

class File64;
class JobHost;

// The zip step that packing runs on its result and unpacking on each source: one
// file into one archive beside it.

// The archive a file is zipped into: its extension replaced by "zip", or ".zip" added
// when its name has none.
QString zipArchivePath(const QString& path);

// True when `path`'s extension is "zip" in any letter case.
bool hasZipExtension(const QString& path);

// Refuses (with its message) a file that is already an archive, or whose archive would
// replace one of the job's `sources`: writing it would destroy that file.
// `jobFiles` words the second message ("packed", "unpacked").
bool refuseZip(const QString& file, const QStringList& sources, const QString& jobFiles,
               JobHost& host);

// Zips `file` into `archive`. The archive is written under a hidden name of its own
// beside it (a stale one that an interrupted run left is removed first) and takes the
// archive's name only when it is whole; an old archive there goes to the trash then
// (Retry/Cancel when it cannot be moved; Cancel ends the job). Reports the result.
// Success: the archive is there. Failed: the zip failed, its message was shown.
// Cancelled: `cancel` was requested while zipping; nothing was shown.
JobOutcome zipFile(const QString& file, const QString& archive, File64& files, JobHost& host,
                   const CancelRequest& cancel, ReplacedFiles& replaced);

// The hidden name an archive is written under until it is whole.
QString partialArchivePath(const QString& archive);
