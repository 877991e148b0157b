#include "unpack/join_batch.h"

#include <QFile>
#include <QSaveFile>

#include "core/text_helpers.h"

namespace {

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A shell word that stands for exactly `text`.
QString shellQuoted(QString text) {
    text.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
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

bool writeFile(const QString& path, const QString& text, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace

JoinBatchMode joinBatchModeFromWord(const QString& word) {
    if (word.compare(QStringLiteral("Jbat"), Qt::CaseSensitive) == 0) {
        return JoinBatchMode::Names;
    }
    return word == QLatin1String("JbatInfo") ? JoinBatchMode::FullPaths : JoinBatchMode::None;
}

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
}

QString JoinBatchBuilder::batchText(const QString& resultName,
                                    const QStringList& stampingLines) const {
    QStringList lines = {QStringLiteral("@echo off")};
    lines += stampingLines;
    lines.append(QStringLiteral("@echo ") + QString(dashCount(stampingLines), QLatin1Char('-')));
    QStringList copyList;
    for (const Piece& piece : m_pieces) {
        lines.append(QStringLiteral("If NOT exist ") + quoted(piece.name) +
                     QStringLiteral(" Goto 0"));
        copyList.append(quoted(piece.name));
    }
    lines.append(QStringLiteral("Copy/b ") + copyList.join(QStringLiteral(" + ")) +
                 QLatin1Char(' ') + quoted(resultName));
    lines += {QStringLiteral("goto 1"),
              QStringLiteral(":0"),
              QStringLiteral("Cls"),
              QStringLiteral("@echo Some required file(s) not found."),
              QStringLiteral("@echo ") + resultName + QStringLiteral(" NOT successfully created."),
              QStringLiteral("Exit"),
              QStringLiteral(":1"),
              QStringLiteral("Cls"),
              QStringLiteral("@echo ") + resultName + QStringLiteral(" successfully created."),
              QStringLiteral("Exit")};
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
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
    for (const Piece& piece : m_pieces) {
        lines.append(QStringLiteral("[ -e ") + shellQuoted(piece.name) +
                     QStringLiteral(" ] || { printf '%s\\n' 'Some required file(s) not found.'; ") +
                     failed);
    }
    // A piece that carries a copy of the source's header gives back only its own data.
    QStringList parts;
    for (const Piece& piece : m_pieces) {
        parts.append(piece.headerBytes == 0
                         ? QStringLiteral("cat ") + shellQuoted(piece.name)
                         : QStringLiteral("tail -c +%1 ").arg(piece.headerBytes + 1) +
                               shellQuoted(piece.name));
    }
    lines.append(QStringLiteral("{ ") + parts.join(QStringLiteral(" && ")) +
                 QStringLiteral("; } > ") + shellQuoted(resultName) + QStringLiteral(" || { ") +
                 failed);
    lines.append(QStringLiteral("printf '%s\\n' ") +
                 shellQuoted(resultName + QStringLiteral(" successfully created.")));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool JoinBatchBuilder::sourceFinished(const QString& folder, const QString& sourceName, bool zipped,
                                      const QStringList& stampingLines, QString* error) {
    if (m_mode == JoinBatchMode::None) {
        clear();
        return true;
    }
    const QString resultName = joinResultName(sourceName, zipped);
    const QString base = joinPath(folder, sourceName + QStringLiteral("-JOIN"));
    const QString shellPath = base + QStringLiteral(".sh");
    const bool written =
        writeFile(base + QStringLiteral(".bat"), batchText(resultName, stampingLines), error) &&
        writeFile(shellPath, shellText(resultName, stampingLines), error);
    if (written) {
        QFile::setPermissions(shellPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                             QFile::ExeOther);
    }
    clear();
    return written;
}
