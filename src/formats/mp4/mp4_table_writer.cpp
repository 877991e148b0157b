#include "formats/mp4/mp4_table_writer.h"

#include <algorithm>

namespace {

void writeRuns(BoxWriter& writer, quint32 type, quint8 version,
               const std::vector<SampleRun>& runs) {
    writer.beginFull(type, version, 0);
    writer.u32(static_cast<quint32>(runs.size()));
    for (const SampleRun& run : runs) {
        writer.u32(run.count);
        writer.u32(static_cast<quint32>(run.value));
    }
    writer.end();
}

bool startsChunkRun(const std::vector<OutChunk>& chunks, size_t c) {
    return c == 0 || chunks[c].samples != chunks[c - 1].samples;
}

}  // namespace

void writeStsd(BoxWriter& writer, const QByteArray& sampleEntry) {
    writer.beginFull(fourcc("stsd"), 0, 0);
    writer.u32(1);
    writer.bytes(sampleEntry);
    writer.end();
}

void writeStts(BoxWriter& writer, const std::vector<SampleRun>& durations) {
    writeRuns(writer, fourcc("stts"), 0, durations);
}

void writeCtts(BoxWriter& writer, const std::vector<SampleRun>& offsets) {
    const bool negative = std::any_of(offsets.begin(), offsets.end(),
                                      [](const SampleRun& run) { return run.value < 0; });
    writeRuns(writer, fourcc("ctts"), negative ? 1 : 0, offsets);
}

void writeStss(BoxWriter& writer, const std::vector<quint32>& syncSamples) {
    writer.beginFull(fourcc("stss"), 0, 0);
    writer.u32(static_cast<quint32>(syncSamples.size()));
    for (const quint32 sample : syncSamples) {
        writer.u32(sample);
    }
    writer.end();
}

void writeSdtp(BoxWriter& writer, const QByteArray& dependencies) {
    writer.beginFull(fourcc("sdtp"), 0, 0);
    writer.bytes(dependencies);
    writer.end();
}

void writeStsc(BoxWriter& writer, const std::vector<OutChunk>& chunks) {
    writer.beginFull(fourcc("stsc"), 0, 0);
    quint32 runs = 0;
    for (size_t c = 0; c < chunks.size(); ++c) {
        runs += startsChunkRun(chunks, c) ? 1 : 0;
    }
    writer.u32(runs);
    for (size_t c = 0; c < chunks.size(); ++c) {
        if (startsChunkRun(chunks, c)) {
            writer.u32(static_cast<quint32>(c + 1));
            writer.u32(chunks[c].samples);
            writer.u32(1);
        }
    }
    writer.end();
}

void writeStsz(BoxWriter& writer, quint64 sampleCount, quint32 firstSize,
               const std::vector<quint32>& sizes) {
    // A constant size of 0 would mean "sizes follow"; such samples are listed instead.
    const bool constant = sampleCount > 0 && sizes.empty() && firstSize != 0;
    writer.beginFull(fourcc("stsz"), 0, 0);
    writer.u32(constant ? firstSize : 0);
    writer.u32(static_cast<quint32>(sampleCount));
    for (quint64 i = 0; !constant && i < sampleCount; ++i) {
        writer.u32(sizes.empty() ? firstSize : sizes[static_cast<size_t>(i)]);
    }
    writer.end();
}

void writeChunkOffsets(BoxWriter& writer, const std::vector<OutChunk>& chunks,
                       const ChunkPlacement& placed, quint64 dataStart, bool wide) {
    writer.beginFull(wide ? fourcc("co64") : fourcc("stco"), 0, 0);
    writer.u32(static_cast<quint32>(chunks.size()));
    for (const OutChunk& chunk : chunks) {
        const quint64 offset = dataStart + placed(chunk);
        wide ? writer.u64(offset) : writer.u32(static_cast<quint32>(offset));
    }
    writer.end();
}

void writeSampleGroup(BoxWriter& writer, const SampleGroup& group,
                      const std::vector<SampleRun>& runs) {
    if (!group.descriptions.isEmpty()) {
        writer.bytes(group.descriptions);
    }
    // Without a mapping the descriptions' default applies: none is made up.
    const bool mapped =
        std::any_of(runs.begin(), runs.end(), [](const SampleRun& run) { return run.value != 0; });
    if (!mapped) {
        return;
    }
    writer.beginFull(fourcc("sbgp"), group.hasParameter ? 1 : 0, 0);
    writer.u32(group.type);
    if (group.hasParameter) {
        writer.u32(group.parameter);
    }
    writer.u32(static_cast<quint32>(runs.size()));
    for (const SampleRun& run : runs) {
        writer.u32(run.count);
        writer.u32(static_cast<quint32>(run.value));
    }
    writer.end();
}

void writeEdts(BoxWriter& writer, const std::vector<Edit>& edits) {
    const bool wide = std::any_of(edits.begin(), edits.end(), [](const Edit& edit) {
        return edit.segmentDuration > 0xFFFFFFFFu || edit.mediaTime > 0x7FFFFFFF;
    });
    writer.begin(fourcc("edts"));
    writer.beginFull(fourcc("elst"), wide ? 1 : 0, 0);
    writer.u32(static_cast<quint32>(edits.size()));
    for (const Edit& edit : edits) {
        if (wide) {
            writer.u64(edit.segmentDuration);
            writer.u64(static_cast<quint64>(edit.mediaTime));
        } else {
            writer.u32(static_cast<quint32>(edit.segmentDuration));
            writer.u32(static_cast<quint32>(edit.mediaTime));
        }
        writer.u32(edit.rate);
    }
    writer.end();
    writer.end();
}
