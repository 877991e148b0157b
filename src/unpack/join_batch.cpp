#include "unpack/join_batch.h"

#include "core/text_helpers.h"
#include "fileio/sha256.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"

namespace {

// The command processor refuses longer lines.
constexpr qsizetype kMaxBatchLine = 8191;

// A name in double quotes for the command processor: only "%" still expands there.
QString quoted(const QString& text) {
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('%'), QStringLiteral("%%")) +
           QLatin1Char('"');
}

// Text that "@echo" shows as it stands: the command processor's special characters
// are taken literally.
QString echoed(const QString& text) {
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('%')) {
            out += QStringLiteral("%%");
            continue;
        }
        if (QStringLiteral("^&|<>").contains(c)) {
            out += QLatin1Char('^');
        }
        out += c;
    }
    return out;
}

// A name no batch line can hold safely, even quoted.
bool unsafeForBatch(const QString& name) {
    return name.contains(QLatin1Char('"')) || name.contains(QLatin1Char('\n')) ||
           name.contains(QLatin1Char('\r'));
}

// A shell word that stands for exactly `text`.
QString shellQuoted(QString text) {
    text.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// A file beside the script as a shell word that no command takes for an option
// ("-rf.mpg"): the script runs in its own folder, so a name is all it needs.
QString shellPath(const QString& name) {
    return shellQuoted(QStringLiteral("./") + namePart(name));
}

QString shellEcho(const QStringList& texts) {
    QStringList words;
    for (const QString& text : texts) {
        words.append(shellQuoted(text));
    }
    return QStringLiteral("printf '%s\\n' ") + words.join(QLatin1Char(' '));
}

// The "-" row is as long as the longest stamping text.
qsizetype dashCount(const QStringList& stampingLines) {
    qsizetype longest = 0;
    for (const QString& line : stampingLines) {
        longest = std::max(longest, line.size());
    }
    return std::max<qsizetype>(0, longest - 6);
}

QString stampingText(const QString& batchLine) {
    return batchLine == QLatin1String("@echo.") ? QString() : batchLine.mid(6);
}

QString echoedStamping(const QString& batchLine) {
    return batchLine == QLatin1String("@echo.")
               ? batchLine
               : QStringLiteral("@echo ") + echoed(stampingText(batchLine));
}

bool writeFile(const QString& path, const QString& text, QString* error, mode_t mode = 0) {
    // Names keep their own bytes, also where they are not valid UTF-8.
    return replaceWholeFile(path, nativePath(text), error, mode);
}

}  // namespace

QString joinResultName(const QString& sourceName, bool zipped) {
    const qsizetype dot = sourceName.lastIndexOf(QLatin1Char('.'));
    const QString extension =
        zipped ? QStringLiteral("zip") : (dot < 0 ? sourceName : sourceName.mid(dot + 1));
    return sourceName + QStringLiteral("-JOIN.") + extension;
}

void JoinBatchBuilder::pieceReported(const QString& piecePath) {
    if (m_mode == JoinBatchMode::None) {
        return;
    }
    m_pieces.append({m_mode == JoinBatchMode::Names ? namePart(piecePath) : piecePath, 0, {}});
}

void JoinBatchBuilder::pieceHeader(quint64 headerBytes) {
    if (!m_pieces.isEmpty()) {
        m_pieces.last().headerBytes = headerBytes;
    }
}

void JoinBatchBuilder::pieceDigest(const QByteArray& hexDigest) {
    if (!m_pieces.isEmpty()) {
        m_pieces.last().digest = hexDigest;
    }
}

void JoinBatchBuilder::clear() {
    m_pieces.clear();
    m_sourceDigest.clear();
    m_mpeg4Pieces = false;
}

QString JoinBatchBuilder::batchText(const QString& resultName,
                                    const QStringList& stampingLines) const {
    QStringList lines = {QStringLiteral("@echo off")};
    for (const QString& line : stampingLines) {
        lines.append(echoedStamping(line));
    }
    lines.append(QStringLiteral("@echo ") + QString(dashCount(stampingLines), QLatin1Char('-')));
    if (m_mpeg4Pieces) {
        const QString script =
            echoed(resultName.left(resultName.lastIndexOf(QStringLiteral("-JOIN.")))) +
            QStringLiteral("-JOIN.sh");
        lines.append(
            QStringLiteral("@echo Each piece starts with an MPEG-4 index of its own: the "
                           "joined file plays only the first piece."));
        lines.append(QStringLiteral("@echo ") + script +
                     QStringLiteral(" rebuilds the exact source from these pieces."));
    }
    for (const Piece& piece : m_pieces) {
        lines.append(QStringLiteral("If NOT exist ") + quoted(piece.name) +
                     QStringLiteral(" Goto 0"));
    }
    lines += copyLines(resultName);
    lines +=
        {QStringLiteral("goto 1"),
         QStringLiteral(":0"),
         QStringLiteral("Cls"),
         QStringLiteral("@echo Some required file(s) not found."),
         QStringLiteral("@echo ") + echoed(resultName) +
             QStringLiteral(" NOT successfully created."),
         QStringLiteral("Exit"),
         QStringLiteral(":1"),
         QStringLiteral("Cls"),
         QStringLiteral("@echo ") + echoed(resultName) + QStringLiteral(" successfully created."),
         QStringLiteral("Exit")};
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

// One "Copy/b" joins all pieces; when that line would be too long for the command
// processor, later steps append to the result ("Copy/b result + more result").
QStringList JoinBatchBuilder::copyLines(const QString& resultName) const {
    const QString target = QLatin1Char(' ') + quoted(resultName);
    const QString appendStep = QStringLiteral("Copy/b ") + quoted(resultName);
    QStringList lines;
    QString current = QStringLiteral("Copy/b ");
    for (const Piece& piece : m_pieces) {
        const QString source = quoted(piece.name);
        if (current.size() == 7) {
            current += source;
        } else if (current.size() + 3 + source.size() + target.size() > kMaxBatchLine) {
            lines.append(current + target);
            current = appendStep + QStringLiteral(" + ") + source;
        } else {
            current += QStringLiteral(" + ") + source;
        }
    }
    lines.append(current + target);
    return lines;
}

QString JoinBatchBuilder::batchRefusal(const QString& batchName, const QString& resultName) const {
    QStringList names{resultName};
    for (const Piece& piece : m_pieces) {
        names.append(piece.name);
    }
    for (const QString& name : std::as_const(names)) {
        if (unsafeForBatch(name)) {
            return QLatin1Char('\'') + batchName + QStringLiteral("' was not written: '") + name +
                   QStringLiteral(
                       "' holds a line break or a quotation mark, which a batch file "
                       "cannot name. Rejoin the pieces with the '-JOIN.sh' beside "
                       "them.");
        }
    }
    return QString();
}

// Each piece against its own checksum, where sha256sum is there to check it.
QStringList JoinBatchBuilder::pieceCheckLines(const QString& fail) const {
    QStringList lines;
    for (const Piece& piece : m_pieces) {
        if (!piece.digest.isEmpty()) {
            lines.append(QString::fromUtf8(
                checksumLine(piece.digest, QStringLiteral("./") + namePart(piece.name))
                    .chopped(1)));
        }
    }
    if (lines.isEmpty()) {
        return {};
    }
    return QStringList{QStringLiteral("if command -v sha256sum >/dev/null 2>&1; then"),
                       QStringLiteral("  sha256sum --quiet -c <<'ZARVO_PIECES' || ") + fail +
                           QLatin1Char(' ') + shellQuoted(QStringLiteral("A piece is damaged."))} +
           lines + QStringList{QStringLiteral("ZARVO_PIECES"), QStringLiteral("fi")};
}

// The shell twin runs in its own folder. It writes the result to a new temporary file
// there and links it to the result's name only when the join succeeded: a name planted
// by someone else is never written through, and an existing result is never replaced.
QString JoinBatchBuilder::shellText(const QString& resultName,
                                    const QStringList& stampingLines) const {
    QStringList lines = {QStringLiteral("#!/bin/sh"),
                         QStringLiteral("# Rejoins the pieces beside this script into ") +
                             resultName.simplified() + QLatin1Char('.'),
                         QStringLiteral("cd -- \"$(dirname -- \"$0\")\" || exit 1")};
    for (const QString& line : stampingLines) {
        lines.append(shellEcho({stampingText(line)}));
    }
    lines.append(shellEcho({QString(dashCount(stampingLines), QLatin1Char('-'))}));
    lines.append(QStringLiteral("fail() { printf '%s\\n' \"$@\" ") +
                 shellQuoted(resultName + QStringLiteral(" NOT successfully created.")) +
                 QStringLiteral("; exit 1; }"));
    const QString fail = QStringLiteral("fail");
    // A missing piece is named as sha256sum names a damaged one.
    for (const Piece& piece : m_pieces) {
        lines.append(QStringLiteral("[ -e ") + shellPath(piece.name) + QStringLiteral(" ] || ") +
                     fail + QLatin1Char(' ') +
                     shellQuoted(namePart(piece.name) + QStringLiteral(": MISSING")) +
                     QStringLiteral(" 'Some required file(s) not found.'"));
    }
    const QString result = shellPath(resultName);
    const QString exists = fail + QLatin1Char(' ') +
                           shellQuoted(QLatin1Char('\'') + resultName +
                                       QStringLiteral("' already exists: it is left as it is."));
    lines.append(QStringLiteral("if [ -e ") + result + QStringLiteral(" ] || [ -L ") + result +
                 QStringLiteral(" ]; then ") + exists + QStringLiteral("; fi"));
    lines += pieceCheckLines(fail);
    const QString stem = resultName.left(resultName.lastIndexOf(QStringLiteral("-JOIN.")) + 5);
    lines.append(QStringLiteral("joined=$(mktemp ") + shellPath(stem + QStringLiteral(".XXXXXX")) +
                 QStringLiteral(") || ") + fail + QLatin1Char(' ') +
                 shellQuoted(QStringLiteral("No temporary file can be made here.")));
    lines.append(QStringLiteral("trap 'rm -f \"$joined\"' EXIT"));
    lines.append(QStringLiteral("trap 'exit 1' HUP INT TERM"));
    // A piece that carries a copy of the source's header gives back only its own data.
    QStringList parts;
    for (const Piece& piece : m_pieces) {
        parts.append(piece.headerBytes == 0
                         ? QStringLiteral("cat ") + shellPath(piece.name)
                         : QStringLiteral("tail -c +%1 ").arg(piece.headerBytes + 1) +
                               shellPath(piece.name));
    }
    lines.append(QStringLiteral("{ ") + parts.join(QStringLiteral(" && ")) +
                 QStringLiteral("; } > \"$joined\" || ") + fail);
    if (!m_sourceDigest.isEmpty()) {
        lines.append(QStringLiteral("if command -v sha256sum >/dev/null 2>&1 && "
                                    "[ \"$(sha256sum < \"$joined\" | cut -c1-64)\" != ") +
                     QString::fromLatin1(m_sourceDigest) + QStringLiteral(" ]; then"));
        lines.append(QStringLiteral("  ") + fail + QLatin1Char(' ') +
                     shellQuoted(resultName + QStringLiteral(" does not match its checksum.")));
        lines.append(QStringLiteral("fi"));
    }
    // mktemp made the file for its owner alone; the result gets a new file's mode.
    lines.append(QStringLiteral("chmod \"$(umask -S),a-x\" \"$joined\" || ") + fail);
    // ln refuses a name that exists, with no gap between the look and the write; where the
    // file system has no links (FAT), mv takes the result's name once it is still free.
    lines.append(QStringLiteral("ln \"$joined\" ") + result +
                 QStringLiteral(" 2>/dev/null || "
                                "{ [ ! -e ") +
                 result + QStringLiteral(" ] && [ ! -L ") + result +
                 QStringLiteral(" ] && mv \"$joined\" ") + result + QStringLiteral("; } || ") +
                 exists);
    lines.append(shellEcho({resultName + QStringLiteral(" successfully created.")}));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool JoinBatchBuilder::sourceFinished(const QString& folder, const QString& sourceName, bool zipped,
                                      const QStringList& stampingLines, QString* error,
                                      QString* warning,
                                      const std::function<bool(const QString&)>& beforeWriting) {
    if (m_mode == JoinBatchMode::None) {
        clear();
        return true;
    }
    const QString resultName = joinResultName(sourceName, zipped);
    const QString base = joinPath(folder, sourceName + QStringLiteral("-JOIN"));
    const QString shellFile = base + QStringLiteral(".sh");
    const QString batchFile = base + QStringLiteral(".bat");
    *warning = batchRefusal(batchFile, resultName);
    const auto mayWrite = [&beforeWriting](const QString& path) {
        return !beforeWriting || beforeWriting(path);
    };
    const bool written = (!warning->isEmpty() ||
                          (mayWrite(batchFile) &&
                           writeFile(batchFile, batchText(resultName, stampingLines), error))) &&
                         mayWrite(shellFile) &&
                         writeFile(shellFile, shellText(resultName, stampingLines), error, 0755);
    clear();
    return written;
}
