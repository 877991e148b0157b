#pragma once

#include <QString>
#include <QStringList>

#include "core/job_outcome.h"

class File64;
class JobHost;

// What writing an archive came to: Success, Failed with a readable `error`, or
// Cancelled (the archive is not made).
struct ZipResult {
    JobOutcome outcome = JobOutcome::Success;
    QString error;
};

// Writes one zip archive with libzip. Each added file becomes one entry named by its
// base name; files over 4 GiB are stored as ZIP64. The files are read through `files`,
// and the bytes read go to the host as progress.
class CGZipFiles {
public:
    CGZipFiles(File64& files, JobHost* host, const CancelRequest* cancel);

    void setZipFileName(const QString& name) { m_zipFileName = name; }
    // Off: an archive already at the name is replaced; on: the entries are added to it.
    void setUpdatingZip(bool on) { m_updatingZip = on; }

    // False when the file is already in the list (names compare in any letter case).
    bool AddFile(const QString& sFileName);

    // Writes the archive; on a cancel the partial archive is discarded.
    ZipResult MakeZipFile();

private:
    File64& m_files;
    JobHost* m_host;
    const CancelRequest* m_cancel;
    QStringList m_names;
    QString m_zipFileName;
    bool m_updatingZip = false;
};
