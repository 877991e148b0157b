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
    };
    QList<Line> lines;
    QString error;  // the checksum file itself could not be read

    int count(Verdict verdict) const;
    bool allGood() const;
    // "NAME: OK" per file, then "N OK, N FAILED, N MISSING".
    QString text() const;
};

// Checks every file `manifest` lists (names relative to its folder) in one read each,
// reporting progress to `host` by the bytes read; stops when `cancel` is requested.
ChecksumReport verifyChecksums(const QString& manifest, JobHost& host, const CancelRequest& cancel);
