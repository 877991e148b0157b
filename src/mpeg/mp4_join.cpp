#include "mpeg/mp4_join.h"

#include <algorithm>

namespace {

// Chunks of one part closer than this are copied as one range, the bytes between them
// too (another track's samples, an unused header): fewer, longer kernel copies.
constexpr quint64 kMergeGap = 64 * 1024;

constexpr quint32 kSound = fourcc("soun");
constexpr quint32 kTimecode = fourcc("tmcd");

void appendRun(std::vector<SampleRun>& runs, qint64 value, quint32 count = 1) {
    if (count == 0) {
        return;
    }
    if (!runs.empty() && runs.back().value == value) {
        runs.back().count += count;
    } else {
        runs.push_back({count, value});
    }
}

// The group a part's sample belongs to, walked along with the samples.
class GroupWalker {
public:
    explicit GroupWalker(const SampleGroup* group) : m_group(group) {}
    quint32 next() {
        if (m_group == nullptr) {
            return 0;
        }
        while (m_run < m_group->runs.size() && m_used == m_group->runs[m_run].count) {
            ++m_run;
            m_used = 0;
        }
        if (m_run >= m_group->runs.size()) {
            return 0;
        }
        ++m_used;
        return static_cast<quint32>(m_group->runs[m_run].value);
    }

private:
    const SampleGroup* m_group;
    size_t m_run = 0;
    quint32 m_used = 0;
};

// A chunk of the output: where its first sample lies in its part.
struct OutChunk {
    int part = 0;
    quint64 source = 0;
    quint32 samples = 0;
};

// One output track, built sample by sample from the parts' tracks.
struct OutTrack {
    const Mp4Track* first = nullptr;
    quint32 timescale = 0;
    std::vector<quint32> sizes;
    std::vector<SampleRun> durations;
    std::vector<SampleRun> offsets;
    bool anyOffsets = false;
    bool allSync = true;
    std::vector<quint32> syncSamples;
    QByteArray dependencies;
    bool anyDependencies = false;
    std::vector<OutChunk> chunks;
    std::vector<std::vector<SampleRun>> groupRuns;  // per group type of the first part
    quint64 mediaDuration = 0;
    std::vector<Edit> edits;
    quint64 presentation = 0;  // in the movie's timescale
};

quint64 mediaToMovie(quint64 value, quint32 mediaScale, quint32 movieScale) {
    return mediaScale == 0 ? 0
                           : static_cast<quint64>(
                                 static_cast<long double>(value) * movieScale / mediaScale + 0.5L);
}

// How long a part's track plays, in the output movie's timescale: its edits' stretches
// that show media, or its whole media without edits.
quint64 presentationOf(const Mp4Track& track, quint32 partScale, quint32 movieScale) {
    quint64 shown = 0;
    for (const Edit& edit : track.edits) {
        if (edit.mediaTime >= 0) {
            shown += mediaToMovie(edit.segmentDuration, partScale, movieScale);
        }
    }
    return track.hasEdits ? shown : mediaToMovie(track.mediaDuration, track.timescale, movieScale);
}

// The media time a later part's first edit starts its track at (an audio encoder's
// priming); 0 without edits.
qint64 firstShownMediaTime(const Mp4Track& track) {
    for (const Edit& edit : track.edits) {
        if (edit.mediaTime >= 0) {
            return edit.mediaTime;
        }
    }
    return 0;
}

class Planner {
public:
    Planner(const std::vector<Mp4Movie>& parts, const std::vector<quint64>& lengths)
        : m_parts(parts), m_lengths(lengths) {}

    std::optional<Mp4JoinPlan> plan(QString* whyNot) {
        for (const Mp4Movie& part : m_parts) {
            if (!part.unsupported.isEmpty()) {
                *whyNot = part.unsupported;
                return std::nullopt;
            }
        }
        const Mp4Movie& first = m_parts.front();
        m_tracks.resize(first.tracks.size());
        for (size_t t = 0; t < first.tracks.size(); ++t) {
            if (!buildTrack(t, whyNot)) {
                return std::nullopt;
            }
        }
        if (!placeRanges(whyNot)) {
            return std::nullopt;
        }
        return write();
    }

private:
    bool buildTrack(size_t t, QString* whyNot) {
        OutTrack& out = m_tracks[t];
        out.first = &m_parts.front().tracks[t];
        out.timescale = out.first->timescale;
        out.edits = out.first->edits;
        for (const SampleGroup& group : out.first->tables.groups) {
            (void)group;
            out.groupRuns.emplace_back();
        }
        for (size_t p = 0; p < m_parts.size(); ++p) {
            const Mp4Track& track = m_parts[p].tracks[t];
            if (track.timescale == 0 ||
                (track.timescale != out.timescale && !rescalesExactly(track, out.timescale))) {
                *whyNot = QStringLiteral("a timescale cannot be rescaled exactly ('mdhd')");
                return false;
            }
            if (!groupsMatch(*out.first, track)) {
                *whyNot = QStringLiteral("the parts' sample groups differ ('sgpd')");
                return false;
            }
            if (p > 0 && out.first->handler == kTimecode) {
                stretchTimecode(out, track);
                continue;
            }
            addSamples(out, static_cast<int>(p), track, m_parts[p].timescale,
                       p + 1 == m_parts.size());
        }
        // The first part's edits stretch over the later parts.
        const quint32 movieScale = m_parts.front().timescale;
        quint64 later = 0;
        for (size_t p = 1; p < m_parts.size(); ++p) {
            later += presentationOf(m_parts[p].tracks[t], m_parts[p].timescale, movieScale);
        }
        for (auto edit = out.edits.rbegin(); edit != out.edits.rend(); ++edit) {
            if (edit->mediaTime >= 0) {
                edit->segmentDuration += later;
                break;
            }
        }
        out.presentation = 0;
        for (const Edit& edit : out.edits) {
            out.presentation += edit.segmentDuration;
        }
        if (out.edits.empty()) {
            out.presentation = mediaToMovie(out.mediaDuration, out.timescale, movieScale);
        }
        return true;
    }

    static bool rescalesExactly(const Mp4Track& track, quint32 timescale) {
        const auto exact = [&](qint64 value) {
            return (value * static_cast<qint64>(timescale)) % track.timescale == 0;
        };
        for (const SampleRun& run : track.tables.durations) {
            if (!exact(run.value)) {
                return false;
            }
        }
        for (const SampleRun& run : track.tables.offsets) {
            if (!exact(run.value)) {
                return false;
            }
        }
        return exact(firstShownMediaTime(track));
    }

    static bool groupsMatch(const Mp4Track& first, const Mp4Track& track) {
        for (const SampleGroup& group : track.tables.groups) {
            const auto same = std::find_if(first.tables.groups.begin(), first.tables.groups.end(),
                                           [&](const SampleGroup& mine) {
                                               return mine.type == group.type &&
                                                      mine.descriptions == group.descriptions &&
                                                      mine.hasParameter == group.hasParameter &&
                                                      mine.parameter == group.parameter;
                                           });
            if (same == first.tables.groups.end()) {
                return false;
            }
        }
        return true;
    }

    static qint64 rescaled(qint64 value, const Mp4Track& track, quint32 timescale) {
        return value * static_cast<qint64>(timescale) / static_cast<qint64>(track.timescale);
    }

    // The timecode keeps the first part's sample; it lasts as long as all parts do.
    static void stretchTimecode(OutTrack& out, const Mp4Track& track) {
        const qint64 added =
            rescaled(static_cast<qint64>(track.mediaDuration), track, out.timescale);
        if (!out.durations.empty()) {
            SampleRun& last = out.durations.back();
            if (last.count > 1) {
                --last.count;
                out.durations.push_back({1, last.value + added});
            } else {
                last.value += added;
            }
        }
        out.mediaDuration += static_cast<quint64>(added);
    }

    void addSamples(OutTrack& out, int part, const Mp4Track& track, quint32 movieScale,
                    bool lastPart) {
        const SampleTables& tables = track.tables;
        const bool sound = track.handler == kSound;
        // A later part's audio starts with the frames its edit skips (priming): they
        // are left out, so that its sound follows on where its picture does.
        const qint64 skip =
            part > 0 && sound ? rescaled(firstShownMediaTime(track), track, out.timescale) : 0;
        std::vector<GroupWalker> groups;
        for (const SampleGroup& group : out.first->tables.groups) {
            const auto own =
                std::find_if(tables.groups.begin(), tables.groups.end(),
                             [&](const SampleGroup& g) { return g.type == group.type; });
            groups.emplace_back(own == tables.groups.end() ? nullptr : &*own);
        }
        qint64 skipped = 0;
        bool skipping = skip > 0;
        quint64 kept = 0;
        quint64 keptDuration = 0;
        quint32 lastChunk = ~0u;
        for (SampleWalker walker(tables); !walker.atEnd(); walker.advance()) {
            const Mp4Sample sample = walker.current();
            const qint64 duration = rescaled(sample.duration, track, out.timescale);
            std::vector<quint32> groupIndex;
            for (GroupWalker& group : groups) {
                groupIndex.push_back(group.next());
            }
            if (skipping && skipped + duration <= skip) {
                skipped += duration;
                continue;
            }
            skipping = false;
            out.sizes.push_back(sample.size);
            appendRun(out.durations, duration);
            appendRun(out.offsets, rescaled(sample.compositionOffset, track, out.timescale));
            out.anyOffsets = out.anyOffsets || sample.compositionOffset != 0;
            if (!sample.sync) {
                out.allSync = false;
            } else {
                out.syncSamples.push_back(static_cast<quint32>(out.sizes.size()));
            }
            const quint64 index = walker.index();
            out.dependencies.append(tables.dependencies.isEmpty()
                                        ? '\0'
                                        : tables.dependencies.at(static_cast<qsizetype>(index)));
            out.anyDependencies = out.anyDependencies || !tables.dependencies.isEmpty();
            for (size_t g = 0; g < groupIndex.size(); ++g) {
                appendRun(out.groupRuns[g], groupIndex[g]);
            }
            if (sample.chunk != lastChunk) {
                out.chunks.push_back({part, sample.offset, 0});
                lastChunk = sample.chunk;
            }
            ++out.chunks.back().samples;
            ++kept;
            keptDuration += static_cast<quint64>(duration);
        }
        // Audio frames are whole: the last one of a part may be longer than its edit
        // shows (encoder padding). Its duration is cut to what the part shows, so that
        // the next part's sound starts with its picture.
        if (sound && !lastPart && kept > 0 && track.hasEdits) {
            const quint64 shown = static_cast<quint64>(
                rescaled(static_cast<qint64>(presentationOf(track, movieScale, track.timescale)),
                         track, out.timescale));
            keptDuration = trimLast(out, keptDuration, shown);
        }
        out.mediaDuration += keptDuration;
    }

    // The kept duration after the last sample lost what lies past `shown`, when that is
    // less than the sample itself.
    static quint64 trimLast(OutTrack& out, quint64 kept, quint64 shown) {
        SampleRun& last = out.durations.back();
        if (shown == 0 || kept <= shown || kept - shown >= static_cast<quint64>(last.value)) {
            return kept;
        }
        const qint64 trimmed = last.value - static_cast<qint64>(kept - shown);
        if (last.count > 1) {
            --last.count;
            out.durations.push_back({1, trimmed});
        } else {
            last.value = trimmed;
        }
        return shown;
    }

    // The byte ranges each part's chunks take, merged; every chunk then knows where its
    // bytes land after the head.
    bool placeRanges(QString* whyNot) {
        for (size_t p = 0; p < m_parts.size(); ++p) {
            std::vector<std::pair<quint64, quint64>> extents;  // start, end
            for (OutTrack& out : m_tracks) {
                quint64 sample = 0;
                for (const OutChunk& chunk : out.chunks) {
                    quint64 bytes = 0;
                    for (quint32 i = 0; i < chunk.samples; ++i) {
                        bytes += out.sizes[static_cast<size_t>(sample + i)];
                    }
                    sample += chunk.samples;
                    if (chunk.part != static_cast<int>(p)) {
                        continue;
                    }
                    if (chunk.source > m_lengths[p] || bytes > m_lengths[p] - chunk.source) {
                        *whyNot = QStringLiteral(
                            "its samples lie past the end of the file (a "
                            "cut-off 'mdat')");
                        return false;
                    }
                    extents.emplace_back(chunk.source, chunk.source + bytes);
                }
            }
            std::sort(extents.begin(), extents.end());
            for (const auto& [start, end] : extents) {
                Mp4JoinPlan::Range* last =
                    m_ranges.empty() || m_ranges.back().part != static_cast<int>(p)
                        ? nullptr
                        : &m_ranges.back();
                if (last != nullptr && start <= last->offset + last->length + kMergeGap) {
                    last->length = std::max(last->offset + last->length, end) - last->offset;
                } else {
                    m_ranges.push_back({static_cast<int>(p), start, end - start});
                }
            }
        }
        quint64 at = 0;
        for (const Mp4JoinPlan::Range& range : m_ranges) {
            m_rangeStarts.push_back(at);
            at += range.length;
        }
        m_dataBytes = at;
        return true;
    }

    // Where a chunk's first byte lands, counted from the first byte after the head.
    quint64 placed(const OutChunk& chunk) const {
        for (size_t r = 0; r < m_ranges.size(); ++r) {
            const Mp4JoinPlan::Range& range = m_ranges[r];
            if (range.part == chunk.part && chunk.source >= range.offset &&
                chunk.source < range.offset + range.length) {
                return m_rangeStarts[r] + (chunk.source - range.offset);
            }
        }
        return 0;
    }

    Mp4JoinPlan write() {
        const quint64 mdatHeader = m_dataBytes + 8 > 0xFFFFFFFFu ? 16 : 8;
        // The offsets do not change the moov's size, their width does: a first pass
        // tells whether they need 64 bits.
        bool wide = false;
        QByteArray moov = movieBox(0, wide);
        quint64 dataStart =
            static_cast<quint64>(m_parts.front().ftyp.size() + moov.size()) + mdatHeader;
        if (dataStart + m_dataBytes > 0xFFFFFFFFu) {
            wide = true;
            moov = movieBox(0, wide);
            dataStart =
                static_cast<quint64>(m_parts.front().ftyp.size() + moov.size()) + mdatHeader;
        }
        moov = movieBox(dataStart, wide);
        BoxWriter mdat;
        if (mdatHeader == 16) {
            mdat.u32(1);
            mdat.u32(fourcc("mdat"));
            mdat.u64(m_dataBytes + 16);
        } else {
            mdat.u32(static_cast<quint32>(m_dataBytes + 8));
            mdat.u32(fourcc("mdat"));
        }
        Mp4JoinPlan plan;
        plan.head = m_parts.front().ftyp + moov + mdat.data();
        plan.ranges = m_ranges;
        plan.outputSize = static_cast<quint64>(plan.head.size()) + m_dataBytes;
        return plan;
    }

    QByteArray movieBox(quint64 dataStart, bool wide) const {
        const QByteArray& source = m_parts.front().moov;
        const std::optional<Box> moov =
            readBoxHeader(source.constData(), static_cast<quint64>(source.size()), 0,
                          static_cast<quint64>(source.size()));
        BoxWriter writer;
        writer.begin(fourcc("moov"));
        size_t track = 0;
        quint64 longest = 0;
        for (const OutTrack& out : m_tracks) {
            longest = std::max(longest, out.presentation);
        }
        for (const Box& box : boxesIn(source, moov->payloadOffset(), moov->end()).boxes) {
            if (box.type == fourcc("mvhd")) {
                writeTimesHeader(writer, source, box, longest, TimesLayout::Movie);
            } else if (box.type == fourcc("trak")) {
                writeTrack(writer, source, box, m_tracks[track++], dataStart, wide);
            } else {
                writer.bytes(rawBox(source, box));
            }
        }
        writer.end();
        return writer.data();
    }

    static QByteArray rawBox(const QByteArray& bytes, const Box& box) {
        return bytes.mid(static_cast<qsizetype>(box.offset), static_cast<qsizetype>(box.size));
    }

    enum class TimesLayout { Movie, Track, Media };

    // mvhd, tkhd and mdhd with a new duration: version 1 (64-bit times) where it needs it.
    static void writeTimesHeader(BoxWriter& writer, const QByteArray& bytes, const Box& box,
                                 quint64 duration, TimesLayout layout) {
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

    void writeTrack(BoxWriter& writer, const QByteArray& bytes, const Box& trak,
                    const OutTrack& out, quint64 dataStart, bool wide) const {
        writer.begin(fourcc("trak"));
        for (const Box& box : boxesIn(bytes, trak.payloadOffset(), trak.end()).boxes) {
            if (box.type == fourcc("tkhd")) {
                writeTimesHeader(writer, bytes, box, out.presentation, TimesLayout::Track);
            } else if (box.type == fourcc("edts")) {
                writeEdits(writer, out);
            } else if (box.type == fourcc("mdia")) {
                writeMedia(writer, bytes, box, out, dataStart, wide);
            } else {
                writer.bytes(rawBox(bytes, box));
            }
        }
        writer.end();
    }

    static void writeEdits(BoxWriter& writer, const OutTrack& out) {
        bool wide = false;
        for (const Edit& edit : out.edits) {
            wide = wide || edit.segmentDuration > 0xFFFFFFFFu || edit.mediaTime > 0x7FFFFFFF;
        }
        writer.begin(fourcc("edts"));
        writer.beginFull(fourcc("elst"), wide ? 1 : 0, 0);
        writer.u32(static_cast<quint32>(out.edits.size()));
        for (const Edit& edit : out.edits) {
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

    void writeMedia(BoxWriter& writer, const QByteArray& bytes, const Box& mdia,
                    const OutTrack& out, quint64 dataStart, bool wide) const {
        writer.begin(fourcc("mdia"));
        for (const Box& box : boxesIn(bytes, mdia.payloadOffset(), mdia.end()).boxes) {
            if (box.type == fourcc("mdhd")) {
                writeTimesHeader(writer, bytes, box, out.mediaDuration, TimesLayout::Media);
            } else if (box.type == fourcc("minf")) {
                writer.begin(fourcc("minf"));
                for (const Box& inner : boxesIn(bytes, box.payloadOffset(), box.end()).boxes) {
                    if (inner.type == fourcc("stbl")) {
                        writeTables(writer, out, dataStart, wide);
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

    static void writeRuns(BoxWriter& writer, quint32 type, quint8 version,
                          const std::vector<SampleRun>& runs) {
        writer.beginFull(type, version, 0);
        writer.u32(static_cast<quint32>(runs.size()));
        for (const SampleRun& run : runs) {
            writer.u32(run.count);
            writer.u32(static_cast<quint32>(run.value));
        }
        writer.end();
    }

    void writeTables(BoxWriter& writer, const OutTrack& out, quint64 dataStart, bool wide) const {
        writer.begin(fourcc("stbl"));
        writer.beginFull(fourcc("stsd"), 0, 0);
        writer.u32(1);
        writer.bytes(out.first->sampleEntry);
        writer.end();
        writeRuns(writer, fourcc("stts"), 0, out.durations);
        if (out.anyOffsets) {
            bool negative = false;
            for (const SampleRun& run : out.offsets) {
                negative = negative || run.value < 0;
            }
            writeRuns(writer, fourcc("ctts"), negative ? 1 : 0, out.offsets);
        }
        if (!out.allSync) {
            writer.beginFull(fourcc("stss"), 0, 0);
            writer.u32(static_cast<quint32>(out.syncSamples.size()));
            for (const quint32 sample : out.syncSamples) {
                writer.u32(sample);
            }
            writer.end();
        }
        if (out.anyDependencies) {
            writer.beginFull(fourcc("sdtp"), 0, 0);
            writer.bytes(out.dependencies);
            writer.end();
        }
        writer.beginFull(fourcc("stsc"), 0, 0);
        QByteArray entries;
        quint32 runs = 0;
        for (size_t c = 0; c < out.chunks.size(); ++c) {
            if (c == 0 || out.chunks[c].samples != out.chunks[c - 1].samples) {
                BoxWriter entry;
                entry.u32(static_cast<quint32>(c + 1));
                entry.u32(out.chunks[c].samples);
                entry.u32(1);
                entries += entry.data();
                ++runs;
            }
        }
        writer.u32(runs);
        writer.bytes(entries);
        writer.end();
        const bool constant = !out.sizes.empty() &&
                              std::all_of(out.sizes.begin(), out.sizes.end(),
                                          [&](quint32 size) { return size == out.sizes.front(); });
        writer.beginFull(fourcc("stsz"), 0, 0);
        writer.u32(constant ? out.sizes.front() : 0);
        writer.u32(static_cast<quint32>(out.sizes.size()));
        for (size_t i = 0; !constant && i < out.sizes.size(); ++i) {
            writer.u32(out.sizes[i]);
        }
        writer.end();
        writer.beginFull(wide ? fourcc("co64") : fourcc("stco"), 0, 0);
        writer.u32(static_cast<quint32>(out.chunks.size()));
        for (const OutChunk& chunk : out.chunks) {
            const quint64 offset = dataStart + placed(chunk);
            wide ? writer.u64(offset) : writer.u32(static_cast<quint32>(offset));
        }
        writer.end();
        for (size_t g = 0; g < out.first->tables.groups.size(); ++g) {
            const SampleGroup& group = out.first->tables.groups[g];
            if (!group.descriptions.isEmpty()) {
                writer.bytes(group.descriptions);
            }
            // Without a mapping the descriptions' default applies: none is made up.
            const bool mapped = std::any_of(out.groupRuns[g].begin(), out.groupRuns[g].end(),
                                            [](const SampleRun& run) { return run.value != 0; });
            if (!mapped) {
                continue;
            }
            writer.beginFull(fourcc("sbgp"), group.hasParameter ? 1 : 0, 0);
            writer.u32(group.type);
            if (group.hasParameter) {
                writer.u32(group.parameter);
            }
            writer.u32(static_cast<quint32>(out.groupRuns[g].size()));
            for (const SampleRun& run : out.groupRuns[g]) {
                writer.u32(run.count);
                writer.u32(static_cast<quint32>(run.value));
            }
            writer.end();
        }
        writer.end();
    }

    const std::vector<Mp4Movie>& m_parts;
    const std::vector<quint64>& m_lengths;
    std::vector<OutTrack> m_tracks;
    std::vector<Mp4JoinPlan::Range> m_ranges;
    std::vector<quint64> m_rangeStarts;
    quint64 m_dataBytes = 0;
};

}  // namespace

std::optional<Mp4JoinPlan> planMp4Join(const std::vector<Mp4Movie>& parts,
                                       const std::vector<quint64>& lengths, QString* whyNot) {
    if (parts.empty() || parts.size() != lengths.size()) {
        *whyNot = QStringLiteral("there is nothing to join");
        return std::nullopt;
    }
    return Planner(parts, lengths).plan(whyNot);
}
