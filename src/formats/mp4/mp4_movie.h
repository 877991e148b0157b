#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <initializer_list>
#include <optional>
#include <vector>

#include "formats/mp4/mp4_box.h"

class File64;

// The movie of an MP4 or QuickTime file as a join or split needs it: its tracks, their
// timing, their sample description, and their sample tables as the file holds them
// (run-length where the file is), read from the file's moov.

// Times in ticks of a timescale. A damaged table may hold any number: these keep the
// arithmetic within ±2^62 ticks instead of overflowing.
constexpr qint64 kMaxTicks = qint64{1} << 62;
// `value` ticks of `from` a second as ticks of `to`, rounded to the nearest.
qint64 rescaleTicks(qint64 value, quint32 from, quint32 to);
// Whether `value` ticks of `from` are a whole number of ticks of `to` (false for `from` 0).
bool rescalesExactly(qint64 value, quint32 from, quint32 to);

// The most samples a track may list: enough for a day of 1,000 frames a second; more is
// damage, not a movie. Our reader refuses more, so nothing we write holds more.
constexpr quint64 kMaxTrackSamples = quint64{1} << 27;
// The sum of `values`, kept within the bound.
qint64 addTicks(std::initializer_list<qint64> values);

// `count` samples that share `value` (a duration, a composition offset, a group).
struct SampleRun {
    quint32 count = 0;
    qint64 value = 0;
};

struct ChunkRun {
    quint32 firstChunk = 0;  // 1-based, as stsc counts
    quint32 samplesPerChunk = 0;
    quint32 descriptionIndex = 0;
};

// Sample groups of one grouping type: its descriptions (the sgpd box as it stands) and
// which description each sample has (sbgp's runs; 0 is none).
struct SampleGroup {
    quint32 type = 0;
    bool hasParameter = false;
    quint32 parameter = 0;
    QByteArray descriptions;
    std::vector<SampleRun> runs;
};

struct SampleTables {
    quint64 sampleCount = 0;
    quint32 constantSize = 0;           // stsz's size when every sample has it
    std::vector<quint32> sizes;         // else each sample's size
    std::vector<SampleRun> durations;   // stts
    std::vector<SampleRun> offsets;     // ctts; empty when the track has none
    bool signedOffsets = false;         // ctts version 1
    bool allSync = true;                // no stss: every sample is a sync sample
    std::vector<quint32> syncSamples;   // stss: 1-based sample numbers
    QByteArray dependencies;            // sdtp: a byte per sample; empty when none
    std::vector<ChunkRun> chunkRuns;    // stsc
    std::vector<quint64> chunkOffsets;  // stco or co64
    std::vector<SampleGroup> groups;

    quint32 sizeOf(quint64 sample) const {
        return constantSize != 0 ? constantSize : sizes[static_cast<size_t>(sample)];
    }
};

// One entry of a track's edit list: a stretch of the presentation, in the movie's
// timescale, showing the media from `mediaTime` on (-1: nothing, an empty edit).
struct Edit {
    quint64 segmentDuration = 0;
    qint64 mediaTime = 0;
    quint32 rate = 0x00010000;
};

struct Mp4Track {
    quint32 id = 0;
    quint32 handler = 0;  // 'vide', 'soun', 'tmcd', ...
    quint32 timescale = 0;
    quint64 mediaDuration = 0;
    std::vector<Edit> edits;
    bool hasEdits = false;
    QByteArray sampleEntry;  // the one sample description, whole: codec and configuration
    quint32 codec = 0;       // its type: 'avc1', 'hvc1', 'mp4a', 'tmcd', ...
    quint16 width = 0;       // a visual entry's picture size
    quint16 height = 0;
    quint32 sampleRate = 0;  // an audio entry's rate and channels
    quint16 channels = 0;
    QByteArray matrix;    // tkhd's transformation (rotation)
    QByteArray language;  // mdhd's packed language
    SampleTables tables;
    Box box;  // the trak, in the moov's bytes
};

struct Mp4Movie {
    QByteArray ftyp;  // the file type box as it stands (may be empty in old QuickTime)
    QByteArray moov;  // the movie box as it stands
    quint32 timescale = 0;
    quint64 duration = 0;
    std::vector<Mp4Track> tracks;
    bool fragmented = false;  // movie fragments (moof) carry the samples
    // Why the samples cannot be joined or sliced by their tables alone ("" when they
    // can); it names the box that stands in the way.
    QString unsupported;
};

// The movie's boxes read from an open file: nothing, with the reason, when it is not a
// complete MPEG-4 file (no moov, or a box that runs past the end).
std::optional<Mp4Movie> readMovie(File64& files, int handle, quint64 length, QString* problem);

// The movie of a moov box (and the ftyp before it).
std::optional<Mp4Movie> parseMovie(const QByteArray& ftyp, const QByteArray& moov,
                                   QString* problem);

// Where each sample of a track lies and how it plays, in file order of the tables.
struct Mp4Sample {
    quint64 offset = 0;
    quint32 size = 0;
    quint32 duration = 0;
    qint64 compositionOffset = 0;
    bool sync = true;
    quint32 chunk = 0;  // 0-based
    bool firstInChunk = false;
};

// Walks a track's samples one by one, without expanding its tables.
class SampleWalker {
public:
    explicit SampleWalker(const SampleTables& tables);
    bool atEnd() const { return m_sample >= m_tables.sampleCount; }
    quint64 index() const { return m_sample; }
    // The current sample; call only while !atEnd().
    Mp4Sample current() const;
    void advance();

private:
    void skipEmptyRuns();

    const SampleTables& m_tables;
    quint64 m_sample = 0;
    // Where the current sample stands in each table's runs.
    size_t m_durationRun = 0;
    quint32 m_durationLeft = 0;
    size_t m_offsetRun = 0;
    quint32 m_offsetLeft = 0;
    size_t m_syncAt = 0;
    quint32 m_chunk = 0;
    size_t m_chunkRun = 0;
    quint32 m_inChunk = 0;  // samples of the current chunk before this one
    quint64 m_offset = 0;
};
