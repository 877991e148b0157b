#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "core/job_outcome.h"

class JobHost;

// What checking a checksum file found, file by file.
struct ChecksumReport {
    enum class Verdict { Ok, Failed, Missing };
    struct Line {
        QString name;  // as the checksum file names it
        Verdict verdict;
        bool rebuilt = false;  // a split's missing source, checked from its pieces
    };
    QList<Line> lines;
    QString error;            // the checksum file itself could not be read, or lists nothing
    int unreadableLines = 0;  // neither checksum lines nor comments: not all good then

    int count(Verdict verdict) const;
    bool allGood() const;
    // "NAME: OK" per file ("NAME: OK (rebuilt from its pieces)"), then
    // "N OK, N FAILED, N MISSING", and how many lines were not checksum lines. A name
    // that holds a backslash or line break is shown escaped, as sha256sum -c shows it.
    QString text() const;
};

// Checks every file `manifest` lists (names relative to its folder) in one read each,
// reporting progress to `host` by the bytes read; stops when `cancel` is requested. A
// split's source that is not there is checked from its pieces, without the headers the
// checksum file's comments count.
ChecksumReport verifyChecksums(const QString& manifest, JobHost& host, const CancelRequest& cancel);
