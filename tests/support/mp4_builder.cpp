#include "support/mp4_builder.h"

#include <algorithm>

namespace {

void zeros(BoxWriter& writer, int count) {
    for (int i = 0; i < count; ++i) {
        writer.u8(0);
    }
}

void matrix(BoxWriter& writer) {
    for (const quint32 value : {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u}) {
        writer.u32(value);
    }
}

void sampleEntry(BoxWriter& writer, const TrackSpec& track) {
    writer.begin(track.codec);
    zeros(writer, 6);
    writer.u16(1);  // data reference
    if (track.handler == fourcc("vide")) {
        zeros(writer, 16);
        writer.u16(320);
        writer.u16(240);
        writer.u32(0x00480000);
        writer.u32(0x00480000);
        zeros(writer, 4);
        writer.u16(1);
        zeros(writer, 32);
        writer.u16(0x18);
        writer.u16(0xFFFF);
    } else {
        zeros(writer, 8);
        writer.u16(2);
        writer.u16(16);
        zeros(writer, 4);
        writer.u32(track.timescale << 16);
    }
    writer.end();
}

void sampleTables(BoxWriter& writer, const TrackSpec& track, quint64 dataStart) {
    const quint64 chunks = track.samples / track.samplesPerChunk;
    writer.begin(fourcc("stbl"));
    writer.beginFull(fourcc("stsd"), 0, 0);
    writer.u32(1);
    sampleEntry(writer, track);
    writer.end();
    writer.beginFull(fourcc("stts"), 0, 0);
    writer.u32(1);
    writer.u32(static_cast<quint32>(track.samples));
    writer.u32(track.sampleDuration);
    writer.end();
    writer.beginFull(fourcc("stsc"), 0, 0);
    writer.u32(1);
    writer.u32(1);
    writer.u32(track.samplesPerChunk);
    writer.u32(1);
    writer.end();
    writer.beginFull(fourcc("stsz"), 0, 0);
    writer.u32(track.sampleSize);
    writer.u32(static_cast<quint32>(track.samples));
    writer.end();
    writer.beginFull(fourcc("stco"), 0, 0);
    writer.u32(static_cast<quint32>(chunks));
    const quint64 chunkBytes = quint64(track.samplesPerChunk) * track.sampleSize;
    for (quint64 c = 0; c < chunks; ++c) {
        writer.u32(static_cast<quint32>(dataStart + track.dataOffset +
                                        (track.chunksOverlap ? 0 : c * chunkBytes)));
    }
    writer.end();
    writer.end();
}

void track(BoxWriter& writer, const TrackSpec& spec, quint32 id, quint32 movieTimescale,
           quint64 dataStart) {
    const quint64 mediaDuration = spec.samples * spec.sampleDuration;
    const auto movieDuration =
        static_cast<quint32>(mediaDuration * movieTimescale / spec.timescale);
    writer.begin(fourcc("trak"));
    writer.beginFull(fourcc("tkhd"), 0, 3);
    zeros(writer, 8);
    writer.u32(id);
    zeros(writer, 4);
    writer.u32(movieDuration);
    zeros(writer, 8);
    zeros(writer, 4);
    writer.u16(spec.handler == fourcc("soun") ? 0x0100 : 0);
    zeros(writer, 2);
    matrix(writer);
    writer.u32(spec.handler == fourcc("vide") ? 320u << 16 : 0);
    writer.u32(spec.handler == fourcc("vide") ? 240u << 16 : 0);
    writer.end();
    writer.begin(fourcc("mdia"));
    writer.beginFull(fourcc("mdhd"), 1, 0);
    zeros(writer, 16);
    writer.u32(spec.timescale);
    writer.u64(mediaDuration);
    writer.u16(0x55C4);  // "und"
    zeros(writer, 2);
    writer.end();
    writer.beginFull(fourcc("hdlr"), 0, 0);
    zeros(writer, 4);
    writer.u32(spec.handler);
    zeros(writer, 13);
    writer.end();
    writer.begin(fourcc("minf"));
    sampleTables(writer, spec, dataStart);
    writer.end();
    writer.end();
    writer.end();
}

QByteArray movie(const std::vector<TrackSpec>& tracks, quint32 movieTimescale, quint64 dataStart) {
    BoxWriter writer;
    writer.begin(fourcc("moov"));
    writer.beginFull(fourcc("mvhd"), 0, 0);
    zeros(writer, 8);
    writer.u32(movieTimescale);
    quint64 longest = 0;
    for (const TrackSpec& spec : tracks) {
        longest =
            std::max(longest, spec.samples * spec.sampleDuration * movieTimescale / spec.timescale);
    }
    writer.u32(static_cast<quint32>(longest));
    writer.u32(0x00010000);
    writer.u16(0x0100);
    zeros(writer, 10);
    matrix(writer);
    zeros(writer, 24);
    writer.u32(static_cast<quint32>(tracks.size() + 1));
    writer.end();
    for (size_t t = 0; t < tracks.size(); ++t) {
        track(writer, tracks[t], static_cast<quint32>(t + 1), movieTimescale, dataStart);
    }
    writer.end();
    return writer.data();
}

}  // namespace

QByteArray mp4File(const std::vector<TrackSpec>& tracks, const QByteArray& data,
                   quint32 movieTimescale) {
    BoxWriter ftyp;
    ftyp.begin(fourcc("ftyp"));
    ftyp.u32(fourcc("isom"));
    ftyp.u32(0x200);
    ftyp.u32(fourcc("isom"));
    ftyp.u32(fourcc("mp41"));
    ftyp.end();
    // The offsets take as many bytes whatever they say: the second moov is as long.
    const auto moovSize = static_cast<quint64>(movie(tracks, movieTimescale, 0).size());
    const quint64 dataStart = static_cast<quint64>(ftyp.size()) + moovSize + 8;
    BoxWriter mdat;
    mdat.begin(fourcc("mdat"));
    mdat.bytes(data);
    mdat.end();
    return ftyp.data() + movie(tracks, movieTimescale, dataStart) + mdat.data();
}

TrackSpec hevcKeyFrames(quint64 samples, quint32 size) {
    TrackSpec track;
    track.codec = fourcc("hvc1");
    track.samples = samples;
    track.sampleSize = size;
    track.chunksOverlap = true;
    return track;
}

QByteArray hevcParameterSetUnits(qsizetype bytes) {
    QByteArray data;
    data.reserve(bytes);
    while (data.size() + 6 <= bytes) {
        data.append("\x00\x00\x00\x02\x40\x01", 6);
    }
    data.resize(bytes, '\0');
    return data;
}

QByteArray claimedOneByteSamples(quint64 samples) {
    TrackSpec track;
    track.samples = samples;
    track.samplesPerChunk = 4096;
    track.chunksOverlap = true;
    return mp4File({track}, QByteArray(4096, 'c'));
}

QByteArray dayAtSixtyFrames() {
    TrackSpec video;
    video.timescale = 60;
    video.sampleDuration = 1;
    video.samples = 5'184'000;
    video.samplesPerChunk = 1000;
    TrackSpec sound;
    sound.handler = fourcc("soun");
    sound.codec = fourcc("mp4a");
    sound.timescale = 48000;
    sound.sampleDuration = 1024;
    sound.samples = 4'050'000;
    sound.samplesPerChunk = 1000;
    sound.dataOffset = video.samples;
    return mp4File({video, sound}, QByteArray(9'234'000, 'd'));
}
