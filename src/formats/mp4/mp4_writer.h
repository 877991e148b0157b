#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <vector>

#include "formats/mp4/mp4_movie.h"
#include "formats/mp4/mp4_table_writer.h"

// Writes a movie's index anew: the boxes of a source movie as they stand, with each
// track's tables, times and edits replaced. The seamless join and the pieces of an EMH
// split both describe sample data they copy as bytes this way.

// Appends `count` samples of `value` to run-length tables, merging equal neighbours.
void appendSampleRun(std::vector<SampleRun>& runs, qint64 value, quint32 count = 1);

// One track of the new movie, built sample by sample. What its boxes can say in a
// short form stays short here too: one size while every sample has it, no sync list
// while every sample is one, no dependency bytes while no part has them. A table that
// claims many samples thus costs memory only where its samples really differ.
struct OutTrack {
    const Mp4Track* first = nullptr;  // its boxes and sample description
    quint32 timescale = 0;
    quint64 sampleCount = 0;
    quint64 expectedSamples = 0;  // when known: the lists are made that long at once
    quint64 expectedSyncs = 0;
    quint32 firstSize = 0;
    std::vector<quint32> sizes;  // each sample's size, once one differs from the first
    std::vector<SampleRun> durations;
    std::vector<SampleRun> offsets;
    bool anyOffsets = false;
    bool allSync = true;
    std::vector<quint32> syncSamples;  // 1-based, once one sample is not a sync sample
    QByteArray dependencies;           // a byte per sample, once a part has them
    bool anyDependencies = false;
    std::vector<OutChunk> chunks;
    std::vector<std::vector<SampleRun>> groupRuns;  // per group type of `first`
    quint64 mediaDuration = 0;
    std::vector<Edit> edits;
    quint64 presentation = 0;  // in the movie's timescale

    // One more sample (duration and composition offset in this track's timescale);
    // `chunkKey` starts a new chunk when it changes.
    void addSample(const Mp4Sample& sample, int part, char dependency, bool hasDependency,
                   const std::vector<quint32>& groups, quint64 chunkKey);
    bool constantSize() const { return sizes.empty(); }
    quint32 sizeOf(quint64 sample) const {
        return sizes.empty() ? firstSize : sizes[static_cast<size_t>(sample)];
    }
    // The bytes of `count` samples from `sample` on.
    quint64 bytesOf(quint64 sample, quint32 count) const;

private:
    quint64 m_lastChunkKey = ~quint64(0);
};

// The head of the new file: `source`'s ftyp, the new moov and the header of an mdat
// that holds `dataBytes`. Chunk offsets and the mdat size take 64 bits where they need.
QByteArray movieHead(const Mp4Movie& source, const std::vector<OutTrack>& tracks, quint64 dataBytes,
                     const ChunkPlacement& placed);
