#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <vector>

#include "formats/mp4/mp4_box.h"
#include "formats/mp4/mp4_movie.h"

// The boxes of a new track's sample table and edits, one function each: every one
// writes its whole box, header, payload and size, so that a box more is a function
// more. A box the track does not need (no composition offsets, every sample a sync
// sample) is left out by the caller.

// A chunk of the new movie: where its first sample lies in the file it comes from.
// A long recording has a million of these: 16 bytes each (how many bytes it holds
// follows from its samples' sizes).
struct OutChunk {
    quint64 source = 0;
    int part = 0;
    quint32 samples = 0;
};

// Where a chunk's first byte lands, counted from the first byte after the head.
using ChunkPlacement = std::function<quint64(const OutChunk&)>;

// stsd with one sample description, as it stands.
void writeStsd(BoxWriter& writer, const QByteArray& sampleEntry);
// stts: each run's count and duration.
void writeStts(BoxWriter& writer, const std::vector<SampleRun>& durations);
// ctts: version 1 (signed offsets) when an offset is negative.
void writeCtts(BoxWriter& writer, const std::vector<SampleRun>& offsets);
// stss: the sync samples' 1-based numbers.
void writeStss(BoxWriter& writer, const std::vector<quint32>& syncSamples);
// sdtp: a byte per sample.
void writeSdtp(BoxWriter& writer, const QByteArray& dependencies);
// stsc: one entry where a chunk's sample count changes.
void writeStsc(BoxWriter& writer, const std::vector<OutChunk>& chunks);
// stsz: one size for all when they share one (but 0, which means "listed"), else each.
void writeStsz(BoxWriter& writer, quint64 sampleCount, quint32 firstSize,
               const std::vector<quint32>& sizes);
// stco, or co64 when `wide`: each chunk's offset in the new file.
void writeChunkOffsets(BoxWriter& writer, const std::vector<OutChunk>& chunks,
                       const ChunkPlacement& placed, quint64 dataStart, bool wide);
// sgpd as the source has it, then sbgp with `runs` when a sample is in a group.
void writeSampleGroup(BoxWriter& writer, const SampleGroup& group,
                      const std::vector<SampleRun>& runs);
// edts with its elst: version 1 (64-bit) when an entry needs it.
void writeEdts(BoxWriter& writer, const std::vector<Edit>& edits);
