#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

#include "formats/format_finding.h"

class File64;

// Just enough MPEG video to matter: the first sequence header (00 00 01 B3) gives
// picture size and frame rate, and marks how much of the file's front an `EMH` piece
// carries so that it plays by itself.

constexpr quint64 kMpegSearchBlock = 32768;
constexpr quint64 kMpegHeaderTail = 5600;  // bytes kept past the start code's offset

// The offset of the first sequence header start code in the open file, read from its
// start in blocks; nothing when the file has none (or cannot be read).
std::optional<quint64> findSequenceHeader(File64& files, int handle, quint64 size);

struct SequenceHeader {
    int width = 0;
    int height = 0;
    int rateCode = 0;

    // Decodes the 4 bytes that follow the start code.
    static SequenceHeader decode(const QByteArray& fourBytes);
    // A picture of some size at one of the frame rates the standard allows (codes 1-8).
    bool isValid() const;
    QString rateText() const;
    QString key() const;  // "352,240,25"
};

// "23.976" ... "60" for codes 1 to 8; any other code stands for itself.
QString frameRateText(int code);

// Reads the sequence header of `path` through `files`; nothing when the file has none
// or cannot be read. Closes what it opened.
std::optional<SequenceHeader> readSequenceHeader(File64& files, const QString& path,
                                                 quint64* offset = nullptr);

// The header an `EMH` split puts in front of its pieces: the source's first
// min(S + 5,600, length) bytes, read with one scan. No bytes when the source has no
// sequence header (HeaderNotFound) or cannot be read (Unreadable).
struct MpegHeaderRead {
    std::optional<QByteArray> bytes;
    FormatFinding finding;
};
MpegHeaderRead readMpegHeader(const QString& sourcePath, File64& files);
