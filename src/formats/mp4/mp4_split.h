#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

#include "formats/mp4/mp4_movie.h"

class File64;

// Told how many of a source's pictures were looked at, of how many; false stops.
using PictureScanProgress = std::function<bool(quint64 done, quint64 total)>;

// The pieces of an EMH split of an MPEG-4 source, each a whole MPEG-4 file: the
// source's ftyp, a moov that lists the samples whose data lies wholly in the piece's
// share of the source, an mdat header, and then that share unchanged. Stripped of
// their headers, the pieces joined in order are the source byte for byte.
class Mp4Splitter {
public:
    // Nothing, with why, when the source is not a complete MPEG-4 file whose samples
    // its tables place (a cut-off mdat, no moov, fragments), or when `progress` asked
    // to stop while its pictures were looked at.
    static std::optional<Mp4Splitter> open(File64& files, int handle, quint64 length,
                                           QString* problem,
                                           const PictureScanProgress& progress = {});

    // The header of the piece that holds the source's bytes [start, start + bytes).
    // Its video starts at a key frame: earlier samples of the share are not listed
    // (and, after an HEVC CRA picture, the leading pictures that need the piece before).
    QByteArray pieceHeader(quint64 start, quint64 bytes);

    // Where the next clean cut at or after `from` lies: the first byte of a video key
    // frame (of an audio sample, in a source without video). Nothing before the end.
    std::optional<quint64> nextCut(quint64 from) const;

    // Its saved cursors walk the movie's own tables: moved, never copied.
    Mp4Splitter(Mp4Splitter&&) = default;
    Mp4Splitter(const Mp4Splitter&) = delete;
    Mp4Splitter& operator=(const Mp4Splitter&) = delete;
    Mp4Splitter& operator=(Mp4Splitter&&) = delete;
    ~Mp4Splitter() = default;

private:
    // One sample as a piece lists it, read off the tables when it is needed.
    struct Sample {
        quint64 offset = 0;
        quint64 time = 0;  // decode time, in the track's timescale
        quint32 size = 0;
        quint32 duration = 0;
        qint64 compositionOffset = 0;
        quint32 chunk = 0;
        quint64 index = 0;  // in the source track
        bool sync = false;
        bool leading = false;  // an HEVC RASL picture
    };
    // A walk over a track's tables that knows each sample's decode time.
    struct Cursor {
        SampleWalker walker;
        quint64 time = 0;
    };
    // What is kept of each sample of a track: a day's recording has millions, so only
    // where it lies and two flags; the rest is read off the tables, from the cursor
    // saved every kCursorStep samples.
    struct TrackSamples {
        std::vector<quint64> offsets;  // in decode order
        std::vector<bool> sync;
        std::vector<bool> leading;
        bool ordered = true;  // the offsets only grow
        std::vector<Cursor> cursors;
        std::vector<std::vector<quint64>> groupStarts;  // per grouping: each run's first sample
    };

    Mp4Splitter(File64& files, int handle, Mp4Movie movie);
    bool expand(QString* problem, const PictureScanProgress& progress);
    bool markLeadingPictures(size_t track, const PictureScanProgress& progress);
    int firstPictureType(quint64 offset, quint32 size);
    Cursor cursorAt(size_t track, quint64 index) const;
    Sample sampleAt(size_t track, const Cursor& cursor) const;
    quint32 groupOf(size_t track, size_t grouping, quint64 index) const;
    // Calls `each` for the samples whose bytes lie wholly in [start, end), in decode order.
    template <typename Each>
    void forEachWithin(size_t track, quint64 start, quint64 end, Each each) const;
    int anchorTrack() const;

    File64& m_files;
    int m_handle;
    quint64 m_length = 0;
    Mp4Movie m_movie;
    std::vector<TrackSamples> m_tracks;
};
