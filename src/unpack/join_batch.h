#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <QtGlobal>

#include <functional>

#include "settings/option_types.h"

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
    // The last reported piece's checksum (a checksummed job): the shell twin checks each
    // piece against its own before joining.
    void pieceDigest(const QByteArray& hexDigest);

    // The texts of the two files for `sourceName` and the result extension.
    QString batchText(const QString& resultName, const QStringList& stampingLines) const;
    QString shellText(const QString& resultName, const QStringList& stampingLines) const;

    // Why the batch file cannot be written safely (a name with a line break or a
    // quotation mark), or "".
    QString batchRefusal(const QString& batchName, const QString& resultName) const;

    // Writes both files into `folder` and forgets the pieces. `beforeWriting` is asked
    // before each file is written and may stop the writing (false, `error` stays empty).
    // False with `error` set when a file cannot be written; `warning` says why only the
    // shell twin was written.
    bool sourceFinished(const QString& folder, const QString& sourceName, bool zipped,
                        const QStringList& stampingLines, QString* error, QString* warning,
                        const std::function<bool(const QString& path)>& beforeWriting = {});
    void clear();
    // The digest of the whole source ("" when the pieces hold only part of it): the shell
    // twin checks the joined result against it.
    void setSourceDigest(const QByteArray& sourceDigest) { m_sourceDigest = sourceDigest; }
    // The pieces are MPEG-4 files with an index of their own: the batch file, which
    // joins them whole, says that its result plays only the first piece.
    void setMpeg4Pieces(bool mpeg4) { m_mpeg4Pieces = mpeg4; }

private:
    struct Piece {
        QString name;  // as listed: file name or full path
        quint64 headerBytes = 0;
        QByteArray digest;
    };

    QStringList copyLines(const QString& resultName) const;
    QStringList pieceCheckLines(const QString& fail) const;

    JoinBatchMode m_mode;
    QList<Piece> m_pieces;
    QByteArray m_sourceDigest;
    bool m_mpeg4Pieces = false;
};

// "name-JOIN.ext" for a source name; `zipped` makes the extension "zip".
QString joinResultName(const QString& sourceName, bool zipped);
