#include "unpack/join_batch.h"

#include "core/native_path.h"
#include "core/text_helpers.h"
#include "core/whole_file.h"

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

// A piece as a shell word that no command takes for an option ("-rf.mpg").
QString shellPath(const QString& name) {
    return shellQuoted(name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("./") + name);
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
    m_pieces.append({m_mode == JoinBatchMode::Names ? namePart(piecePath) : piecePath, 0});
}

void JoinBatchBuilder::pieceHeader(quint64 headerBytes) {
    if (!m_pieces.isEmpty()) {
        m_pieces.last().headerBytes = headerBytes;
    }
}

void JoinBatchBuilder::clear() {
    m_pieces.clear();
    m_manifestName.clear();
    m_sourceDigest.clear();
}

QString JoinBatchBuilder::batchText(const QString& resultName,
                                    const QStringList& stampingLines) const {
    QStringList lines = {QStringLiteral("@echo off")};
    for (const QString& line : stampingLines) {
        lines.append(echoedStamping(line));
    }
    lines.append(QStringLiteral("@echo ") + QString(dashCount(stampingLines), QLatin1Char('-')));
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

QString JoinBatchBuilder::shellText(const QString& resultName,
                                    const QStringList& stampingLines) const {
    QStringList lines = {QStringLiteral("#!/bin/sh"),
                         QStringLiteral("# Rejoins the pieces; run it in the folder that holds "
                                        "them.")};
    for (const QString& line : stampingLines) {
        lines.append(QStringLiteral("printf '%s\\n' ") + shellQuoted(stampingText(line)));
    }
    lines.append(QStringLiteral("printf '%s\\n' ") +
                 shellQuoted(QString(dashCount(stampingLines), QLatin1Char('-'))));
    const QString failed = QStringLiteral("printf '%s\\n' ") +
                           shellQuoted(resultName + QStringLiteral(" NOT successfully created.")) +
                           QStringLiteral("; exit 1; }");
    // A missing piece is named as sha256sum names a damaged one.
    for (const Piece& piece : m_pieces) {
        lines.append(QStringLiteral("[ -e ") + shellPath(piece.name) +
                     QStringLiteral(" ] || { printf '%s\\n' ") +
                     shellQuoted(piece.name + QStringLiteral(": MISSING")) +
                     QStringLiteral(" 'Some required file(s) not found.'; ") + failed);
    }
    const QString checker = QStringLiteral("command -v sha256sum >/dev/null 2>&1");
    if (!m_manifestName.isEmpty()) {
        // sha256sum names each damaged piece; the source itself need not be here.
        lines.append(QStringLiteral("if ") + checker + QStringLiteral(" && [ -e ") +
                     shellPath(m_manifestName) + QStringLiteral(" ]; then"));
        lines.append(QStringLiteral("  sha256sum --quiet --ignore-missing -c ") +
                     shellPath(m_manifestName) +
                     QStringLiteral(" || { printf '%s\\n' 'A piece is damaged.'; ") + failed);
        lines.append(QStringLiteral("fi"));
    }
    // A piece that carries a copy of the source's header gives back only its own data.
    QStringList parts;
    for (const Piece& piece : m_pieces) {
        parts.append(piece.headerBytes == 0
                         ? QStringLiteral("cat ") + shellPath(piece.name)
                         : QStringLiteral("tail -c +%1 ").arg(piece.headerBytes + 1) +
                               shellPath(piece.name));
    }
    lines.append(QStringLiteral("{ ") + parts.join(QStringLiteral(" && ")) +
                 QStringLiteral("; } > ") + shellPath(resultName) + QStringLiteral(" || { ") +
                 failed);
    if (!m_sourceDigest.isEmpty()) {
        lines.append(QStringLiteral("if ") + checker + QStringLiteral(" && [ \"$(sha256sum < ") +
                     shellPath(resultName) + QStringLiteral(" | cut -c1-64)\" != ") +
                     QString::fromLatin1(m_sourceDigest) + QStringLiteral(" ]; then"));
        lines.append(QStringLiteral("  printf '%s\\n' ") +
                     shellQuoted(resultName + QStringLiteral(" does not match its checksum.")) +
                     QStringLiteral("; exit 1"));
        lines.append(QStringLiteral("fi"));
    }
    lines.append(QStringLiteral("printf '%s\\n' ") +
                 shellQuoted(resultName + QStringLiteral(" successfully created.")));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool JoinBatchBuilder::sourceFinished(const QString& folder, const QString& sourceName, bool zipped,
                                      const QStringList& stampingLines, QString* error,
                                      QString* warning) {
    if (m_mode == JoinBatchMode::None) {
        clear();
        return true;
    }
    const QString resultName = joinResultName(sourceName, zipped);
    const QString base = joinPath(folder, sourceName + QStringLiteral("-JOIN"));
    const QString shellFile = base + QStringLiteral(".sh");
    const QString batchFile = base + QStringLiteral(".bat");
    *warning = batchRefusal(batchFile, resultName);
    const bool written = (!warning->isEmpty() ||
                          writeFile(batchFile, batchText(resultName, stampingLines), error)) &&
                         writeFile(shellFile, shellText(resultName, stampingLines), error, 0755);
    clear();
    return written;
}
