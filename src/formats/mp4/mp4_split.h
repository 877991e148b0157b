#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

#include "formats/mp4/mp4_movie.h"

class File64;

// The pieces of an EMH split of an MPEG-4 source, each a whole MPEG-4 file: the
// source's ftyp, a moov that lists the samples whose data lies wholly in the piece's
// share of the source, an mdat header, and then that share unchanged. Stripped of
// their headers, the pieces joined in order are the source byte for byte.
class Mp4Splitter {
public:
    // Nothing, with why, when the source is not a complete MPEG-4 file whose samples
    // its tables place (a cut-off mdat, no moov, fragments).
    static std::optional<Mp4Splitter> open(File64& files, int handle, quint64 length,
                                           QString* problem);

    // The header of the piece that holds the source's bytes [start, start + bytes).
    // Its video starts at a key frame: earlier samples of the share are not listed
    // (and, after an HEVC CRA picture, the leading pictures that need the piece before).
    QByteArray pieceHeader(quint64 start, quint64 bytes);

    // Where the next clean cut at or after `from` lies: the first byte of a video key
    // frame (of an audio sample, in a source without video). Nothing before the end.
    std::optional<quint64> nextCut(quint64 from) const;

private:
    // A track's samples, expanded once: where each lies and when it plays.
    struct Sample {
        quint64 offset = 0;
        quint64 time = 0;  // decode time, in the track's timescale
        quint32 size = 0;
        quint32 duration = 0;
        qint32 compositionOffset = 0;
        quint32 chunk = 0;
        quint32 index = 0;  // in the source track
        bool sync = false;
        bool leading = false;  // an HEVC RASL picture
    };
    struct TrackSamples {
        std::vector<Sample> samples;               // in decode order
        bool ordered = true;                       // their offsets only grow
        std::vector<std::vector<quint32>> groups;  // each sample's group, per grouping
    };

    Mp4Splitter(File64& files, int handle, Mp4Movie movie);
    bool expand(QString* problem);
    void markLeadingPictures(TrackSamples& expanded);
    std::vector<const Sample*> samplesWithin(size_t track, quint64 start, quint64 end) const;
    int anchorTrack() const;

    File64& m_files;
    int m_handle;
    quint64 m_length = 0;
    Mp4Movie m_movie;
    std::vector<TrackSamples> m_tracks;
};
