#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

class File64;

// SHA-256 of data fed in pieces, through OpenSSL's EVP interface (which uses the
// processor's SHA instructions where it has them).
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const char* data, quint64 size);
    // The digest as 64 lower-case hex digits, or empty when the library failed on the
    // way; the sum starts again afterwards.
    QByteArray hexDigest();

private:
    void restart();

    struct Context;
    std::unique_ptr<Context> m_context;
    bool m_failed = false;
};

// Why a job stops when a digest could not be computed.
QString checksumFailureText(const QString& name);

// Told the size of each block read (0 after a read the user interrupted); returning
// false stops the reading.
using DigestProgress = std::function<bool(quint64 bytes)>;
// Takes the bytes of a file as they are read.
using ByteSink = std::function<void(const char* data, quint64 size)>;

// Reads the regular file `path` whole, by the name's own bytes, in 1 MiB steps. False
// when it is not a regular file (a FIFO or device is never waited on), cannot be read,
// or `progress` stopped it.
bool readRegularFile(File64& files, const QString& path, const ByteSink& consume,
                     const DigestProgress& progress = {});
// The digest of a whole regular file; empty when it cannot be read or was stopped.
QByteArray fileSha256(const QString& path, const DigestProgress& progress = {});

// The checksum file written beside a job's output or pieces: NAME.sha256.
QString checksumFilePath(const QString& base);

// One line of a checksum file as sha256sum writes it: "HEX  NAME"; a name that holds a
// backslash, a line break or a carriage return is escaped (the backslash doubled, the
// others written as backslash and n or r) and the line starts with a backslash.
QByteArray checksumLine(const QByteArray& hexDigest, const QString& name);

// A file name as sha256sum shows it in a line of its own: escaped where it needs to be
// (check needsChecksumEscape() to mark the line).
bool needsChecksumEscape(const QByteArray& name);
QByteArray escapedChecksumName(const QByteArray& name);

// What one line of a checksum file names: the lowercase digest and the file name's bytes.
struct ChecksumEntry {
    QByteArray hexDigest;
    QByteArray name;
};
// Reads the lines sha256sum writes: "HEX  NAME", "HEX *NAME" (binary mode) and
// "SHA256 (NAME) = HEX" (--tag), escaped or not, with or without a carriage return;
// nothing for any other line.
std::optional<ChecksumEntry> parseChecksumLine(QByteArray line);

// Comment lines (sha256sum skips them) that let a check rebuild a split's source from
// its pieces: the header bytes in front of the next piece's share of the source, the
// mark before the source's own line, and the source's line itself as a comment
// ("# source: HEX  NAME") where the source is not in the checksum file's folder, so
// that sha256sum -c passes there.
QByteArray pieceHeaderComment(quint64 headerBytes);
QByteArray rebuiltSourceComment();
QByteArray sourceComment(const QByteArray& hexDigest, const QString& name);
std::optional<quint64> headerBytesOf(const QByteArray& commentLine);
std::optional<ChecksumEntry> sourceOf(const QByteArray& commentLine);
