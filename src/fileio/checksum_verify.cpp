#include "fileio/checksum_verify.h"

#include <QFile>
#include <QFileInfo>

#include "core/job_host.h"
#include "core/native_path.h"
#include "core/progress_feedback.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "fileio/sha256.h"

namespace {

struct Entry {
    QByteArray digest;
    QString name;
    QString path;                // where the name points from the checksum file's folder
    quint64 headerBytes = 0;     // in front of a piece's share of its source
    bool rebuiltSource = false;  // the source of the pieces listed before it
};

struct Listing {
    QList<Entry> entries;
    int unreadableLines = 0;
};

// The lines sha256sum writes, with what the comments before them say.
Listing listingOf(const QByteArray& text, const QString& folder) {
    Listing listing;
    Entry next;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty()) {
            continue;
        }
        if (trimmed.startsWith('#')) {
            next.headerBytes = headerBytesOf(trimmed).value_or(next.headerBytes);
            next.rebuiltSource = next.rebuiltSource || trimmed == rebuiltSourceComment().trimmed();
            continue;
        }
        const std::optional<ChecksumEntry> entry = parseChecksumLine(line);
        if (!entry) {
            ++listing.unreadableLines;
            continue;
        }
        next.digest = entry->hexDigest;
        next.name = fromNativePath(entry->name);
        next.path =
            next.name.startsWith(QLatin1Char('/')) ? next.name : joinPath(folder, next.name);
        listing.entries.append(next);
        next = Entry();
    }
    return listing;
}

// A name as sha256sum -c shows it: one that needs escaping starts with a backslash.
QString shownName(const QString& name) {
    const QByteArray bytes = nativePath(name);
    return needsChecksumEscape(bytes)
               ? QLatin1Char('\\') + fromNativePath(escapedChecksumName(bytes))
               : name;
}

}  // namespace

int ChecksumReport::count(Verdict verdict) const {
    int found = 0;
    for (const Line& line : lines) {
        found += line.verdict == verdict ? 1 : 0;
    }
    return found;
}

bool ChecksumReport::allGood() const {
    return error.isEmpty() && unreadableLines == 0 && !lines.isEmpty() &&
           count(Verdict::Ok) == lines.size();
}

QString ChecksumReport::text() const {
    QString text;
    for (const Line& line : lines) {
        text +=
            shownName(line.name) +
            (line.verdict == Verdict::Ok       ? QStringLiteral(": OK")
             : line.verdict == Verdict::Failed ? QStringLiteral(": FAILED")
                                               : QStringLiteral(": MISSING")) +
            (line.rebuilt ? QStringLiteral(" (rebuilt from its pieces)\n") : QStringLiteral("\n"));
    }
    text += QStringLiteral("%1 OK, %2 FAILED, %3 MISSING")
                .arg(count(Verdict::Ok))
                .arg(count(Verdict::Failed))
                .arg(count(Verdict::Missing));
    if (unreadableLines > 0) {
        text += unreadableLines == 1
                    ? QStringLiteral("\n1 line is not a checksum line")
                    : QStringLiteral("\n%1 lines are not checksum lines").arg(unreadableLines);
    }
    return text;
}

ChecksumReport verifyChecksums(const QString& manifest, JobHost& host,
                               const CancelRequest& cancel) {
    ChecksumReport report;
    QFile file(manifest);
    if (!file.open(QIODevice::ReadOnly)) {
        report.error = QStringLiteral("Cannot read '") + manifest + QStringLiteral("': ") +
                       file.errorString() + QLatin1Char('.');
        return report;
    }
    const Listing listing = listingOf(file.readAll(), QFileInfo(manifest).path());
    const QList<Entry>& entries = listing.entries;
    report.unreadableLines = listing.unreadableLines;
    if (entries.isEmpty()) {
        report.error =
            QStringLiteral("'") + manifest + QStringLiteral("' holds no checksum lines.");
        return report;
    }
    quint64 total = 0;
    quint64 listed = 0;  // a missing source is read again from its pieces
    for (const Entry& entry : entries) {
        const quint64 size = GetFileLen(entry.path);
        total += size == 0 && entry.rebuiltSource ? listed : size;
        listed += size;
    }
    ProgressFeedback feedback;
    feedback.start();
    quint64 done = 0;
    const DigestProgress progress = [&](quint64 bytes) {
        done += bytes;
        host.progress(feedback.report(done, total));
        return !cancel.requested;
    };
    const auto verdict = [](const QByteArray& digest, const QByteArray& expected) {
        return digest == expected ? ChecksumReport::Verdict::Ok : ChecksumReport::Verdict::Failed;
    };
    for (qsizetype i = 0; i < entries.size() && !cancel.requested; ++i) {
        const Entry& entry = entries.at(i);
        const QString& path = entry.path;
        if (isRegularFile(path)) {
            const QByteArray digest = fileSha256(path, progress);
            if (!cancel.requested) {
                report.lines.append({entry.name, verdict(digest, entry.digest)});
            }
            continue;
        }
        bool rebuilt = entry.rebuiltSource && i > 0;
        Sha256 source;
        for (qsizetype piece = 0; rebuilt && piece < i; ++piece) {
            rebuilt =
                addFileTo(source, entries.at(piece).path, entries.at(piece).headerBytes, progress);
        }
        if (cancel.requested) {
            break;
        }
        report.lines.append(
            {entry.name,
             rebuilt ? verdict(source.hexDigest(), entry.digest) : ChecksumReport::Verdict::Missing,
             rebuilt});
    }
    return report;
}
