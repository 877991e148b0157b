#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

#include "formats/mpeg2/mpeg_stream.h"

class File64;

// A place where an EMH piece can start so that it plays by itself from its first
// byte: a picture group starts there at a packet boundary, and `header` holds the
// stream headers the piece needs in front of the source's bytes from `offset` on.
struct CleanCut {
    quint64 offset = 0;
    QByteArray header;
};

// Finds clean cuts in an open source. It reads the stream's headers from the start
// once, and from each asked position up to the next picture group: never the whole
// file. The read position of the handle is left where it was.
class CleanCutFinder {
public:
    // Nothing when the source is not a program, transport or video elementary stream.
    static std::optional<CleanCutFinder> open(File64& files, int handle, quint64 length);

    MpegStreamKind kind() const { return m_kind; }
    // The first clean cut at or after `from`; nothing before the end of the source.
    std::optional<CleanCut> next(quint64 from);

private:
    CleanCutFinder(File64& files, int handle, quint64 length)
        : m_files(files), m_handle(handle), m_length(length) {}

    QByteArray readAt(quint64 offset, quint64 bytes);
    bool readStreamHeaders();
    bool readTransportTables(const QByteArray& head);
    std::optional<CleanCut> nextInProgram(quint64 from);
    std::optional<CleanCut> nextInTransport(quint64 from);
    std::optional<CleanCut> nextInElementary(quint64 from);
    std::optional<quint64> nextPackStart(quint64 from);
    // The cut at a picture group `skipped` bytes into the payload of the PES whose
    // header is `pesHeader`; nothing when its length field cannot hold the new length.
    std::optional<CleanCut> cutAt(quint64 offset, const QByteArray& pesHeader, quint64 skipped,
                                  bool addSequenceHeader, bool keepTimestamps) const;

    File64& m_files;
    int m_handle;
    quint64 m_length;
    MpegStreamKind m_kind = MpegStreamKind::None;
    QByteArray m_prefix;          // program stream: first pack and system header; TS: PAT, PMT
    QByteArray m_sequenceHeader;  // the first sequence header with its extensions
    int m_videoPid = -1;          // transport stream
    int m_videoStream = -1;       // program stream
};
