#include "fileio/checksum_verify.h"

#include "core/job_host.h"
#include "core/progress_feedback.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "fileio/sha256.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"

namespace {

// The largest checksum file read: 32,767 pieces take about 3 MB of lines.
constexpr quint64 kMaxManifest = 64 * 1024 * 1024;

struct Entry {
    QByteArray digest;
    QString name;
    QString path;                // where the name points from the checksum file's folder
    quint64 headerBytes = 0;     // in front of a piece's share of its source
    bool rebuiltSource = false;  // the source of the pieces listed since the last source
};

struct Listing {
    QList<Entry> entries;
    int unreadableLines = 0;
};

Entry entryOf(const ChecksumEntry& line, const QString& folder) {
    Entry entry;
    entry.digest = line.hexDigest;
    entry.name = fromNativePath(line.name);
    entry.path =
        entry.name.startsWith(QLatin1Char('/')) ? entry.name : joinPath(folder, entry.name);
    return entry;
}

// The lines sha256sum writes, with what the comments before them say; a source named
// in a comment line is an entry of its own.
Listing listingOf(const QByteArray& text, const QString& folder) {
    Listing listing;
    quint64 headerBytes = 0;
    bool sourceNext = false;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty()) {
            continue;
        }
        std::optional<ChecksumEntry> checksum;
        if (trimmed.startsWith('#')) {
            headerBytes = headerBytesOf(trimmed).value_or(headerBytes);
            sourceNext = sourceNext || trimmed == rebuiltSourceComment().trimmed();
            checksum = sourceOf(line);
            if (!checksum) {
                continue;
            }
            sourceNext = true;
        } else {
            checksum = parseChecksumLine(line);
        }
        if (!checksum) {
            ++listing.unreadableLines;
            continue;
        }
        Entry entry = entryOf(*checksum, folder);
        entry.headerBytes = headerBytes;
        entry.rebuiltSource = sourceNext;
        listing.entries.append(entry);
        headerBytes = 0;
        sourceNext = false;
    }
    return listing;
}

// A name as sha256sum -c shows it: one that needs escaping starts with a backslash. A
// NUL (no file name holds one, but a damaged line may) is shown as "\0".
QString shownName(const QString& name) {
    const QByteArray bytes = nativePath(name);
    if (!needsChecksumEscape(bytes) && !bytes.contains('\0')) {
        return name;
    }
    return QLatin1Char('\\') +
           fromNativePath(escapedChecksumName(bytes).replace(QByteArray(1, '\0'), "\\0"));
}

// No file system holds such a name: looking it up would find a shorter one.
bool isPossibleName(const QString& path) {
    return !path.contains(QChar(u'\0'));
}

ChecksumReport::Verdict verdictOf(const QByteArray& digest, const QByteArray& expected) {
    return !digest.isEmpty() && digest == expected ? ChecksumReport::Verdict::Ok
                                                   : ChecksumReport::Verdict::Failed;
}

// Reads every listed file once. A split's source that is not there is summed from its
// pieces on the way: the entries since the previous source, each without its header.
class Checker {
public:
    Checker(const QList<Entry>& entries, JobHost& host, const CancelRequest& cancel)
        : m_entries(entries), m_host(host), m_cancel(cancel) {}

    void run(ChecksumReport& report) {
        planRebuilds();
        m_feedback.start();
        for (qsizetype i = 0; i < m_entries.size() && !m_cancel.requested(); ++i) {
            const Entry& entry = m_entries.at(i);
            const ChecksumReport::Line line =
                entry.rebuiltSource ? checkSource(entry) : checkFile(entry, m_rebuilding.at(i));
            if (!m_cancel.requested()) {
                report.lines.append(line);
            }
        }
    }

private:
    // Which entries feed a rebuilt source, and how many bytes will be read in all.
    void planRebuilds() {
        m_rebuilding.fill(false, m_entries.size());
        qsizetype groupStart = 0;
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            const Entry& entry = m_entries.at(i);
            const bool present = isPossibleName(entry.path) && isRegularFile(entry.path);
            m_total += present ? GetFileLen(entry.path) : 0;
            if (!entry.rebuiltSource) {
                continue;
            }
            for (qsizetype piece = groupStart; piece < i && !present; ++piece) {
                m_rebuilding[piece] = true;
            }
            groupStart = i + 1;
        }
    }

    bool progress(quint64 bytes) {
        m_done += bytes;
        m_host.progress(m_feedback.report(m_done, m_total));
        return !m_cancel.requested();
    }

    // Sums `path` whole; with `rebuilding`, also its bytes after `headerBytes` into the
    // source being rebuilt. Empty when it cannot be read.
    QByteArray digestOf(const QString& path, bool rebuilding, quint64 headerBytes) {
        Sha256 sum;
        quint64 seen = 0;
        const auto consume = [&](const char* data, quint64 size) {
            sum.add(data, size);
            if (rebuilding && seen + size > headerBytes) {
                const quint64 skip = seen < headerBytes ? headerBytes - seen : 0;
                m_source.add(data + skip, size - skip);
            }
            seen += size;
        };
        const bool read = isPossibleName(path) &&
                          readRegularFile(m_files, path, consume,
                                          [this](quint64 bytes) { return progress(bytes); });
        m_sourceComplete = m_sourceComplete && (read || !rebuilding);
        return read ? sum.hexDigest() : QByteArray();
    }

    ChecksumReport::Line checkFile(const Entry& entry, bool rebuilding) {
        m_piecesSinceSource += 1;
        if (!isPossibleName(entry.path) || !pathExists(entry.path)) {
            m_sourceComplete = m_sourceComplete && !rebuilding;
            return {entry.name, ChecksumReport::Verdict::Missing};
        }
        return {entry.name,
                verdictOf(digestOf(entry.path, rebuilding, entry.headerBytes), entry.digest)};
    }

    ChecksumReport::Line checkSource(const Entry& entry) {
        ChecksumReport::Line line{entry.name, ChecksumReport::Verdict::Missing};
        if (isPossibleName(entry.path) && isRegularFile(entry.path)) {
            line.verdict = verdictOf(digestOf(entry.path, false, 0), entry.digest);
        } else if (m_piecesSinceSource > 0 && m_sourceComplete) {
            line.verdict = verdictOf(m_source.hexDigest(), entry.digest);
            line.rebuilt = true;
        }
        m_source.hexDigest();  // the next source starts from nothing
        m_sourceComplete = true;
        m_piecesSinceSource = 0;
        return line;
    }

    const QList<Entry>& m_entries;
    JobHost& m_host;
    const CancelRequest& m_cancel;
    File64 m_files;            // quiet: a file that cannot be read is a verdict, not a message
    QList<bool> m_rebuilding;  // per entry: it feeds the missing source after it
    ProgressFeedback m_feedback;
    quint64 m_total = 0;
    quint64 m_done = 0;
    Sha256 m_source;  // the source being rebuilt from its pieces
    bool m_sourceComplete = true;
    int m_piecesSinceSource = 0;
};

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
    QString problem;
    const std::optional<QByteArray> text = readSmallFile(manifest, kMaxManifest, &problem);
    if (!text) {
        report.error = QStringLiteral("Cannot read '") + manifest + QStringLiteral("': ") +
                       problem + QLatin1Char('.');
        return report;
    }
    const Listing listing = listingOf(*text, folderPart(manifest));
    report.unreadableLines = listing.unreadableLines;
    if (listing.entries.isEmpty()) {
        report.error =
            QStringLiteral("'") + manifest + QStringLiteral("' holds no checksum lines.");
        return report;
    }
    Checker(listing.entries, host, cancel).run(report);
    return report;
}
