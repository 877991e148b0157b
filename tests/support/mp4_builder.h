#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <vector>

#include "formats/mp4/mp4_box.h"

// Small MPEG-4 files written in memory: tables that claim what a test wants, over
// sample data the test lays out, for files no encoder would make.
struct TrackSpec {
    quint32 handler = fourcc("vide");
    quint32 codec = fourcc("avc1");
    quint32 timescale = 30000;
    quint32 sampleDuration = 1001;
    quint64 samples = 1;
    quint32 sampleSize = 1;  // every sample's
    quint32 samplesPerChunk = 1;
    // Every chunk starts at the mdat's first byte (a table that points many samples at
    // the same bytes), else the chunks follow each other.
    bool chunksOverlap = false;
    quint64 dataOffset = 0;  // where the track's first chunk lies in the mdat's payload
};

// ftyp, moov and an mdat holding `data`, whose tracks all start at `data`'s first byte
// plus their `dataOffset`.
QByteArray mp4File(const std::vector<TrackSpec>& tracks, const QByteArray& data,
                   quint32 movieTimescale = 1000);

// HEVC key frames of `size` bytes, all over the same bytes at the mdat's start.
TrackSpec hevcKeyFrames(quint64 samples, quint32 size);

// HEVC units of 6 bytes whose type (32) is a parameter set: a picture is never found.
QByteArray hevcParameterSetUnits(qsizetype bytes);

// A movie whose one track claims `samples` samples of one byte, 4,096 to a chunk, every
// chunk over the same 4 KB.
QByteArray claimedOneByteSamples(quint64 samples);

// A day at 60 frames a second with its 48 kHz sound: 9,234,000 one-byte samples.
QByteArray dayAtSixtyFrames();
