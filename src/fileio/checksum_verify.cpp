#include "fileio/checksum_verify.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

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
};

// The lines sha256sum writes ("HEX  NAME", or "HEX *NAME" for binary mode).
QList<Entry> entriesOf(const QByteArray& text) {
    static const QRegularExpression pattern(QStringLiteral("^([0-9a-fA-F]{64}) [ *](.+)$"));
    QList<Entry> entries;
    for (const QByteArray& line : text.split('\n')) {
        const QRegularExpressionMatch match = pattern.match(fromNativePath(line.trimmed()));
        if (match.hasMatch()) {
            entries.append({match.captured(1).toLower().toLatin1(), match.captured(2)});
        }
    }
    return entries;
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
    return error.isEmpty() && !lines.isEmpty() && count(Verdict::Ok) == lines.size();
}

QString ChecksumReport::text() const {
    QString text;
    for (const Line& line : lines) {
        text += line.name + (line.verdict == Verdict::Ok       ? QStringLiteral(": OK\n")
                             : line.verdict == Verdict::Failed ? QStringLiteral(": FAILED\n")
                                                               : QStringLiteral(": MISSING\n"));
    }
    return text + QStringLiteral("%1 OK, %2 FAILED, %3 MISSING")
                      .arg(count(Verdict::Ok))
                      .arg(count(Verdict::Failed))
                      .arg(count(Verdict::Missing));
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
    const QString folder = QFileInfo(manifest).path();
    const QList<Entry> entries = entriesOf(file.readAll());
    quint64 total = 0;
    for (const Entry& entry : entries) {
        total += GetFileLen(joinPath(folder, entry.name));
    }
    ProgressFeedback feedback;
    feedback.start();
    quint64 done = 0;
    for (const Entry& entry : entries) {
        const QString path = joinPath(folder, entry.name);
        if (!isRegularFile(path)) {
            report.lines.append({entry.name, ChecksumReport::Verdict::Missing});
            continue;
        }
        const QByteArray digest = fileSha256(path, [&](quint64 bytes) {
            done += bytes;
            host.progress(feedback.report(done, total));
            return !cancel.requested;
        });
        if (cancel.requested) {
            break;
        }
        report.lines.append({entry.name, digest == entry.digest ? ChecksumReport::Verdict::Ok
                                                                : ChecksumReport::Verdict::Failed});
    }
    return report;
}
