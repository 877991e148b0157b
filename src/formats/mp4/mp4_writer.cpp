#include "formats/mp4/mp4_writer.h"

#include <algorithm>

void appendSampleRun(std::vector<SampleRun>& runs, qint64 value, quint32 count) {
    if (count == 0) {
        return;
    }
    if (!runs.empty() && runs.back().value == value) {
        runs.back().count += count;
    } else {
        runs.push_back({count, value});
    }
}

void OutTrack::addSample(const Mp4Sample& sample, int part, char dependency, bool hasDependency,
                         const std::vector<quint32>& groups, quint64 chunkKey) {
    const quint64 before = sampleCount++;
    if (before == 0) {
        firstSize = sample.size;
    } else if (sizes.empty() && sample.size != firstSize) {
        sizes.reserve(static_cast<size_t>(std::max(expectedSamples, sampleCount)));
        sizes.assign(static_cast<size_t>(before), firstSize);
    }
    if (!sizes.empty()) {
        sizes.push_back(sample.size);
    }
    appendSampleRun(durations, sample.duration);
    appendSampleRun(offsets, sample.compositionOffset);
    anyOffsets = anyOffsets || sample.compositionOffset != 0;
    if (!sample.sync && allSync) {
        allSync = false;
        syncSamples.reserve(static_cast<size_t>(std::max(expectedSyncs, before)));
        for (quint64 n = 1; n <= before; ++n) {
            syncSamples.push_back(static_cast<quint32>(n));
        }
    } else if (sample.sync && !allSync) {
        syncSamples.push_back(static_cast<quint32>(sampleCount));
    }
    if (hasDependency && !anyDependencies) {
        dependencies.fill('\0', static_cast<qsizetype>(before));
        anyDependencies = true;
    }
    if (anyDependencies) {
        dependencies.append(dependency);
    }
    for (size_t g = 0; g < groups.size() && g < groupRuns.size(); ++g) {
        appendSampleRun(groupRuns[g], groups[g]);
    }
    if (chunkKey != m_lastChunkKey || chunks.empty()) {
        chunks.push_back({sample.offset, part, 0});
        m_lastChunkKey = chunkKey;
    }
    ++chunks.back().samples;
    mediaDuration += sample.duration;
}

quint64 OutTrack::bytesOf(quint64 sample, quint32 count) const {
    if (sizes.empty()) {
        return quint64{firstSize} * count;
    }
    quint64 bytes = 0;
    for (quint64 i = sample; i < sample + count; ++i) {
        bytes += sizes[static_cast<size_t>(i)];
    }
    return bytes;
}

namespace {

QByteArray rawBox(const QByteArray& bytes, const Box& box) {
    return bytes.mid(static_cast<qsizetype>(box.offset), static_cast<qsizetype>(box.size));
}

enum class TimesLayout { Movie, Track, Media };

// mvhd, tkhd and mdhd with a new duration: version 1 (64-bit times) where it needs it.

void writeTimesHeader(BoxWriter& writer, const QByteArray& bytes, const Box& box, quint64 duration,
                      TimesLayout layout) {
    ByteReader reader(bytes.constData() + box.payloadOffset(), box.payloadSize());
    const quint32 versionFlags = reader.u32();
    const bool wideIn = (versionFlags >> 24) == 1;
    const quint64 created = wideIn ? reader.u64() : reader.u32();
    const quint64 modified = wideIn ? reader.u64() : reader.u32();
    const quint32 middle = reader.u32();  // timescale, or the track id
    const quint32 reserved = layout == TimesLayout::Track ? reader.u32() : 0;
    if (wideIn) {
        reader.u64();
    } else {
        reader.u32();
    }
    const QByteArray rest = reader.bytes(reader.left());
    const bool wideOut = wideIn || duration > 0xFFFFFFFFu;
    writer.beginFull(box.type, wideOut ? 1 : 0, versionFlags & 0xFFFFFF);
    const auto time = [&](quint64 value) {
        wideOut ? writer.u64(value) : writer.u32(static_cast<quint32>(value));
    };
    time(created);
    time(modified);
    writer.u32(middle);
    if (layout == TimesLayout::Track) {
        writer.u32(reserved);
    }
    time(duration);
    writer.bytes(rest);
    writer.end();
}

void writeTables(BoxWriter& writer, const OutTrack& out, const ChunkPlacement& placed,
                 quint64 dataStart, bool wide) {
    writer.begin(fourcc("stbl"));
    writeStsd(writer, out.first->sampleEntry);
    writeStts(writer, out.durations);
    if (out.anyOffsets) {
        writeCtts(writer, out.offsets);
    }
    if (!out.allSync) {
        writeStss(writer, out.syncSamples);
    }
    if (out.anyDependencies) {
        writeSdtp(writer, out.dependencies);
    }
    writeStsc(writer, out.chunks);
    writeStsz(writer, out.sampleCount, out.firstSize, out.sizes);
    writeChunkOffsets(writer, out.chunks, placed, dataStart, wide);
    for (size_t g = 0; g < out.first->tables.groups.size(); ++g) {
        writeSampleGroup(writer, out.first->tables.groups[g], out.groupRuns[g]);
    }
    writer.end();
}

void writeMedia(BoxWriter& writer, const QByteArray& bytes, const Box& mdia, const OutTrack& out,
                const ChunkPlacement& placed, quint64 dataStart, bool wide) {
    writer.begin(fourcc("mdia"));
    for (const Box& box : boxesIn(bytes, mdia.payloadOffset(), mdia.end()).boxes) {
        if (box.type == fourcc("mdhd")) {
            writeTimesHeader(writer, bytes, box, out.mediaDuration, TimesLayout::Media);
        } else if (box.type == fourcc("minf")) {
            writer.begin(fourcc("minf"));
            for (const Box& inner : boxesIn(bytes, box.payloadOffset(), box.end()).boxes) {
                if (inner.type == fourcc("stbl")) {
                    writeTables(writer, out, placed, dataStart, wide);
                } else {
                    writer.bytes(rawBox(bytes, inner));
                }
            }
            writer.end();
        } else {
            writer.bytes(rawBox(bytes, box));
        }
    }
    writer.end();
}

void writeTrack(BoxWriter& writer, const QByteArray& bytes, const Box& trak, const OutTrack& out,
                const ChunkPlacement& placed, quint64 dataStart, bool wide) {
    writer.begin(fourcc("trak"));
    // The track's edits follow its header: written where it has any, old ones or not.
    for (const Box& box : boxesIn(bytes, trak.payloadOffset(), trak.end()).boxes) {
        if (box.type == fourcc("tkhd")) {
            writeTimesHeader(writer, bytes, box, out.presentation, TimesLayout::Track);
            if (!out.edits.empty()) {
                writeEdts(writer, out.edits);
            }
        } else if (box.type == fourcc("edts")) {
            continue;
        } else if (box.type == fourcc("mdia")) {
            writeMedia(writer, bytes, box, out, placed, dataStart, wide);
        } else {
            writer.bytes(rawBox(bytes, box));
        }
    }
    writer.end();
}

void writeMovieBox(BoxWriter& writer, const Mp4Movie& movie, const std::vector<OutTrack>& tracks,
                   const ChunkPlacement& placed, quint64 dataStart, bool wide) {
    const QByteArray& source = movie.moov;
    const std::optional<Box> moov =
        readBoxHeader(source.constData(), static_cast<quint64>(source.size()), 0,
                      static_cast<quint64>(source.size()));
    writer.begin(fourcc("moov"));
    size_t track = 0;
    quint64 longest = 0;
    for (const OutTrack& out : tracks) {
        longest = std::max(longest, out.presentation);
    }
    for (const Box& box : boxesIn(source, moov->payloadOffset(), moov->end()).boxes) {
        if (box.type == fourcc("mvhd")) {
            writeTimesHeader(writer, source, box, longest, TimesLayout::Movie);
        } else if (box.type == fourcc("trak")) {
            writeTrack(writer, source, box, tracks[track++], placed, dataStart, wide);
        } else {
            writer.bytes(rawBox(source, box));
        }
    }
    writer.end();
}

}  // namespace

QByteArray movieHead(const Mp4Movie& source, const std::vector<OutTrack>& tracks, quint64 dataBytes,
                     const ChunkPlacement& placed) {
    const quint64 mdatHeader = dataBytes + 8 > 0xFFFFFFFFu ? 16 : 8;
    // The offsets do not change the moov's size, their width does: a measuring pass
    // tells whether they need 64 bits, and how much the head takes, before it is made.
    const auto headSize = [&](bool wide) {
        BoxWriter measure = BoxWriter::measuring();
        writeMovieBox(measure, source, tracks, placed, 0, wide);
        return static_cast<quint64>(source.ftyp.size() + measure.size()) + mdatHeader;
    };
    bool wide = false;
    quint64 dataStart = headSize(wide);
    if (dataStart + dataBytes > 0xFFFFFFFFu) {
        wide = true;
        dataStart = headSize(wide);
    }
    BoxWriter head(source.ftyp);
    head.reserve(static_cast<qsizetype>(dataStart));
    writeMovieBox(head, source, tracks, placed, dataStart, wide);
    if (mdatHeader == 16) {
        head.u32(1);
        head.u32(fourcc("mdat"));
        head.u64(dataBytes + 16);
    } else {
        head.u32(static_cast<quint32>(dataBytes + 8));
        head.u32(fourcc("mdat"));
    }
    return head.data();
}
