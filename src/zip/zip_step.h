#pragma once

#include <QString>
#include <QStringList>

#include "core/job_outcome.h"

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

// Zips `file` into `archive`, replacing an old archive (Retry/Cancel when that fails;
// Cancel ends the job). Reports the result; a failed zip is no failure of the job.
// Returns Success, with `zipped` telling whether the archive was written.
JobOutcome zipFile(const QString& file, const QString& archive, File64& files, JobHost& host,
                   bool* zipped);
