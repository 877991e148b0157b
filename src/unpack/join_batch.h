#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <QtGlobal>
#include "core/option_types.h"

// Whether a join batch file is written beside the pieces, and how it names them.

// Collects the pieces of one source and writes the batch file that rejoins them,
// with its POSIX shell twin: SOURCE-JOIN.bat (CR LF) and SOURCE-JOIN.sh (LF, 0755).
class JoinBatchBuilder {
public:
    explicit JoinBatchBuilder(JoinBatchMode mode) : m_mode(mode) {}

    JoinBatchMode mode() const { return m_mode; }

    // A piece about to be written (its full path).
    void pieceReported(const QString& piecePath);
    // The header bytes put in front of the last reported piece (an `EMH` split).
    void pieceHeader(quint64 headerBytes);

    // The texts of the two files for `sourceName` and the result extension.
    QString batchText(const QString& resultName, const QStringList& stampingLines) const;
    QString shellText(const QString& resultName, const QStringList& stampingLines) const;

    // Why the batch file cannot be written safely (a name with a line break or a
    // quotation mark), or "".
    QString batchRefusal(const QString& batchName, const QString& resultName) const;

    // Writes both files into `folder` and forgets the pieces. False with `error` set
    // when a file cannot be written; `warning` says why only the shell twin was written.
    bool sourceFinished(const QString& folder, const QString& sourceName, bool zipped,
                        const QStringList& stampingLines, QString* error, QString* warning);
    void clear();
    // The source's checksum file beside the pieces (its name there), and the digest of the
    // whole source ("" when the pieces hold only part of it): the shell twin checks the
    // pieces before joining and the result after.
    void setChecksums(const QString& manifestName, const QByteArray& sourceDigest) {
        m_manifestName = manifestName;
        m_sourceDigest = sourceDigest;
    }

private:
    struct Piece {
        QString name;  // as listed: file name or full path
        quint64 headerBytes = 0;
    };

    QStringList copyLines(const QString& resultName) const;

    JoinBatchMode m_mode;
    QList<Piece> m_pieces;
    QString m_manifestName;
    QByteArray m_sourceDigest;
};

// "name-JOIN.ext" for a source name; `zipped` makes the extension "zip".
QString joinResultName(const QString& sourceName, bool zipped);
