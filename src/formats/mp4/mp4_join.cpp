#include "formats/mp4/mp4_join.h"

#include <QLocale>

#include <algorithm>

#include "formats/mp4/mp4_writer.h"

namespace {

// Chunks of one part closer than this are copied as one range, the bytes between them
// too (another track's samples, an unused header): fewer, longer kernel copies.
constexpr quint64 kMergeGap = 64 * 1024;

constexpr quint32 kSound = fourcc("soun");
constexpr quint32 kTimecode = fourcc("tmcd");

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

// A count of ticks as the signed arithmetic takes it, within its bound.
qint64 ticks(quint64 value) {
    return static_cast<qint64>(std::min<quint64>(value, kMaxTicks));
}

quint64 mediaToMovie(quint64 value, quint32 mediaScale, quint32 movieScale) {
    return static_cast<quint64>(
        std::max<qint64>(0, rescaleTicks(ticks(value), mediaScale, movieScale)));
}

// How long a part's track plays, in the output movie's timescale: its edits' stretches
// that show media, or its whole media without edits.
quint64 presentationOf(const Mp4Track& track, quint32 partScale, quint32 movieScale) {
    quint64 shown = 0;
    for (const Edit& edit : track.edits) {
        if (edit.mediaTime >= 0) {
            shown = std::min<quint64>(
                shown + mediaToMovie(edit.segmentDuration, partScale, movieScale), kMaxTicks);
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

// How long a track shows nothing before its media (its empty edits), in `movieScale`.
quint64 delayOf(const Mp4Track& track, quint32 partScale, quint32 movieScale) {
    quint64 delay = 0;
    for (const Edit& edit : track.edits) {
        if (edit.mediaTime >= 0) {
            break;
        }
        delay = std::min<quint64>(delay + mediaToMovie(edit.segmentDuration, partScale, movieScale),
                                  kMaxTicks);
    }
    return delay;
}

class Planner {
public:
    Planner(std::vector<Mp4Movie> parts, const std::vector<quint64>& lengths)
        : m_parts(std::move(parts)), m_lengths(lengths) {}

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
            for (Mp4Movie& part : m_parts) {
                releaseSampleLists(part.tracks[t].tables);
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
        reserveLists(out, t);
        for (const SampleGroup& group : out.first->tables.groups) {
            (void)group;
            out.groupRuns.emplace_back();
        }
        const quint32 movieScale = m_parts.front().timescale;
        quint64 partStart = 0;  // where the current part starts on the movie's timeline
        for (size_t p = 0; p < m_parts.size(); ++p) {
            const Mp4Track& track = m_parts[p].tracks[t];
            if (track.timescale == 0 ||
                (track.timescale != out.timescale && !rescalesTrackExactly(track, out.timescale))) {
                *whyNot = QStringLiteral("a timescale cannot be rescaled exactly ('mdhd')");
                return false;
            }
            if (!groupsMatch(*out.first, track)) {
                *whyNot = QStringLiteral("the parts' sample groups differ ('sgpd')");
                return false;
            }
            if (p > 0 && out.first->handler == kTimecode) {
                stretchTimecode(out, track);
            } else {
                addSamples(out, static_cast<int>(p), track,
                           mediaToMovie(partStart, movieScale, out.timescale),
                           m_parts[p].timescale);
            }
            if (p + 1 < m_parts.size()) {
                partStart = static_cast<quint64>(
                    addTicks({static_cast<qint64>(partStart),
                              static_cast<qint64>(mediaToMovie(
                                  m_parts[p].duration, m_parts[p].timescale, movieScale))}));
            }
        }
        // The first part's edits stretch to where the last part's track ends.
        const Mp4Track& last = m_parts.back().tracks[t];
        const qint64 later =
            m_parts.size() > 1
                ? addTicks(
                      {ticks(partStart), ticks(delayOf(last, m_parts.back().timescale, movieScale)),
                       ticks(presentationOf(last, m_parts.back().timescale, movieScale)),
                       -ticks(presentationOf(*out.first, m_parts.front().timescale, movieScale)),
                       -ticks(delayOf(*out.first, m_parts.front().timescale, movieScale))})
                : 0;
        // The last edit that shows media lasts for what the later parts add.
        const auto shown = std::find_if(out.edits.rbegin(), out.edits.rend(),
                                        [](const Edit& edit) { return edit.mediaTime >= 0; });
        if (shown != out.edits.rend()) {
            shown->segmentDuration = static_cast<quint64>(std::max<qint64>(
                0,
                addTicks({static_cast<qint64>(std::min<quint64>(shown->segmentDuration, kMaxTicks)),
                          later})));
        }
        out.presentation = 0;
        for (const Edit& edit : out.edits) {
            out.presentation = std::min<quint64>(
                out.presentation + std::min<quint64>(edit.segmentDuration, kMaxTicks), kMaxTicks);
        }
        if (out.edits.empty()) {
            out.presentation = mediaToMovie(out.mediaDuration, out.timescale, movieScale);
        }
        return true;
    }

    // A part's per-sample lists, done with once its track is planned: a long
    // recording's take megabytes, which the new movie's head needs next.
    static void releaseSampleLists(SampleTables& tables) {
        std::vector<quint32>().swap(tables.sizes);
        std::vector<SampleRun>().swap(tables.durations);
        std::vector<SampleRun>().swap(tables.offsets);
        std::vector<quint32>().swap(tables.syncSamples);
        tables.dependencies = QByteArray();
        std::vector<ChunkRun>().swap(tables.chunkRuns);
        std::vector<quint64>().swap(tables.chunkOffsets);
    }

    // The new lists are made as long as the parts' together at once: a long recording's
    // lists would otherwise grow by doubling, up to twice what they hold.
    void reserveLists(OutTrack& out, size_t t) const {
        size_t durations = 0;
        size_t offsets = 0;
        size_t chunks = 0;
        size_t syncs = 0;
        for (const Mp4Movie& part : m_parts) {
            const SampleTables& tables = part.tracks[t].tables;
            out.expectedSamples += tables.sampleCount;
            // A part's first sound sample may be split off its run to meet the part.
            durations += tables.durations.size() + 1;
            offsets += std::max<size_t>(tables.offsets.size(), 1);
            chunks += tables.chunkOffsets.size();
            syncs += tables.allSync ? static_cast<size_t>(tables.sampleCount)
                                    : tables.syncSamples.size();
        }
        out.durations.reserve(durations);
        out.offsets.reserve(offsets);
        out.chunks.reserve(chunks);
        out.expectedSyncs = syncs;
    }

    // Every duration, offset and start of the track, in `timescale`, without rounding;
    // each duration still fits the 32 bits a sample's duration has.
    static bool rescalesTrackExactly(const Mp4Track& track, quint32 timescale) {
        const auto exact = [&](qint64 value) {
            return rescalesExactly(value, track.timescale, timescale);
        };
        for (const SampleRun& run : track.tables.durations) {
            if (!exact(run.value) ||
                rescaleTicks(run.value, track.timescale, timescale) > qint64{0xFFFFFFFF}) {
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
        return rescaleTicks(value, track.timescale, timescale);
    }

    // The timecode keeps the first part's sample; it lasts as long as all parts do.
    static void stretchTimecode(OutTrack& out, const Mp4Track& track) {
        const qint64 added =
            rescaled(static_cast<qint64>(track.mediaDuration), track, out.timescale);
        if (!out.durations.empty()) {
            SampleRun& last = out.durations.back();
            if (last.count > 1) {
                --last.count;
                out.durations.push_back({1, addTicks({last.value, added})});
            } else {
                last.value = addTicks({last.value, added});
            }
        }
        out.mediaDuration += static_cast<quint64>(added);
    }

    // A part's samples. Where they start on the track follows from where the part starts
    // (`partStart`, in the track's timescale): the last sample of the part before is made
    // longer or shorter to meet it, so that every track of every part starts with its
    // part, whatever the encoder's priming, padding or delays.
    void addSamples(OutTrack& out, int part, const Mp4Track& track, quint64 partStart,
                    quint32 partMovieScale) {
        const SampleTables& tables = track.tables;
        // A later part's audio starts with the frames its edit skips (priming): they
        // are left out.
        const qint64 skip = part > 0 && track.handler == kSound
                                ? rescaled(firstShownMediaTime(track), track, out.timescale)
                                : 0;
        std::vector<GroupWalker> groups;
        for (const SampleGroup& group : out.first->tables.groups) {
            const auto own =
                std::find_if(tables.groups.begin(), tables.groups.end(),
                             [&](const SampleGroup& g) { return g.type == group.type; });
            groups.emplace_back(own == tables.groups.end() ? nullptr : &*own);
        }
        // Pictures line up by their composition offsets: the part's decode times follow
        // on from the part before, and a constant added to its offsets shows its first
        // picture where the part starts (its edit may skip more or less of its first
        // picture's delay, and pictures it left out may have taken decode time).
        const quint32 firstScale = m_parts.front().timescale;
        const qint64 compositionShift =
            part > 0 && track.handler != kSound
                ? addTicks({ticks(partStart),
                            rescaled(firstShownMediaTime(*out.first), *out.first, out.timescale),
                            -rescaled(firstShownMediaTime(track), track, out.timescale),
                            ticks(mediaToMovie(delayOf(track, partMovieScale, partMovieScale),
                                               partMovieScale, out.timescale)),
                            -ticks(mediaToMovie(delayOf(*out.first, firstScale, firstScale),
                                                firstScale, out.timescale)),
                            -ticks(out.mediaDuration)})
                : 0;
        qint64 skipped = 0;
        bool firstKept = true;
        for (SampleWalker walker(tables); !walker.atEnd(); walker.advance()) {
            Mp4Sample sample = walker.current();
            sample.duration = static_cast<quint32>(rescaled(sample.duration, track, out.timescale));
            sample.compositionOffset = addTicks(
                {rescaled(sample.compositionOffset, track, out.timescale), compositionShift});
            std::vector<quint32> groupIndex;
            groupIndex.reserve(groups.size());
            for (GroupWalker& group : groups) {
                groupIndex.push_back(group.next());
            }
            if (firstKept && skipped + sample.duration <= skip) {
                skipped += sample.duration;
                continue;
            }
            if (firstKept && part > 0 && track.handler == kSound) {
                meetPartStart(out, partStart, track, partMovieScale, skipped);
            }
            firstKept = false;
            const bool hasDependency = !tables.dependencies.isEmpty();
            out.addSample(sample, part,
                          hasDependency
                              ? tables.dependencies.at(static_cast<qsizetype>(walker.index()))
                              : '\0',
                          hasDependency, groupIndex, (quint64(part) << 32) | sample.chunk);
        }
    }

    // Makes the sound so far end where this part's first kept sample should start: at
    // the part's start, plus the part's own delay of the track, minus what is left of its
    // skip after whole frames went; as the first part's edits show them.
    void meetPartStart(OutTrack& out, quint64 partStart, const Mp4Track& track,
                       quint32 partMovieScale, qint64 removed) const {
        if (out.durations.empty()) {
            return;
        }
        const Mp4Track& first = *out.first;
        const quint32 firstScale = m_parts.front().timescale;
        const qint64 own = addTicks(
            {static_cast<qint64>(mediaToMovie(delayOf(track, partMovieScale, partMovieScale),
                                              partMovieScale, out.timescale)),
             removed, -rescaled(firstShownMediaTime(track), track, out.timescale)});
        const qint64 firstOwn =
            addTicks({static_cast<qint64>(mediaToMovie(delayOf(first, firstScale, firstScale),
                                                       firstScale, out.timescale)),
                      -rescaled(firstShownMediaTime(first), first, out.timescale)});
        const qint64 wanted = addTicks({static_cast<qint64>(partStart), own, -firstOwn});
        const qint64 change = addTicks({wanted, -static_cast<qint64>(out.mediaDuration)});
        SampleRun& last = out.durations.back();
        const qint64 changed = addTicks({last.value, change});
        if (change == 0 || changed <= 0 || wanted < 0) {
            return;
        }
        if (last.count > 1) {
            --last.count;
            out.durations.push_back({1, changed});
        } else {
            last.value = changed;
        }
        out.mediaDuration = static_cast<quint64>(wanted);
    }

    // The byte ranges each part's chunks take, merged; every chunk then knows where its
    // bytes land after the head. Each track's chunks come part after part, so one
    // cursor a track walks them all once.
    bool placeRanges(QString* whyNot) {
        std::vector<size_t> nextChunk(m_tracks.size(), 0);
        std::vector<quint64> nextSample(m_tracks.size(), 0);
        for (size_t p = 0; p < m_parts.size(); ++p) {
            std::vector<std::pair<quint64, quint64>> extents;  // start, end
            extents.reserve(chunksOfPart(p, nextChunk));
            for (size_t t = 0; t < m_tracks.size(); ++t) {
                const OutTrack& out = m_tracks[t];
                for (; nextChunk[t] < out.chunks.size() &&
                       out.chunks[nextChunk[t]].part == static_cast<int>(p);
                     ++nextChunk[t]) {
                    const OutChunk& chunk = out.chunks[nextChunk[t]];
                    const quint64 bytes = out.bytesOf(nextSample[t], chunk.samples);
                    nextSample[t] += chunk.samples;
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

    // How many chunks part `p` has, from each track's `nextChunk` on.
    size_t chunksOfPart(size_t p, const std::vector<size_t>& nextChunk) const {
        size_t count = 0;
        for (size_t t = 0; t < m_tracks.size(); ++t) {
            const std::vector<OutChunk>& chunks = m_tracks[t].chunks;
            for (size_t c = nextChunk[t];
                 c < chunks.size() && chunks[c].part == static_cast<int>(p); ++c) {
                ++count;
            }
        }
        return count;
    }

    // Where a chunk's first byte lands, counted from the first byte after the head.
    // The ranges are in order of part and offset, so the chunk's is found by halving.
    quint64 placed(const OutChunk& chunk) const {
        const auto after = std::upper_bound(
            m_ranges.begin(), m_ranges.end(), chunk,
            [](const OutChunk& c, const Mp4JoinPlan::Range& range) {
                return c.part < range.part || (c.part == range.part && c.source < range.offset);
            });
        if (after == m_ranges.begin()) {
            return 0;
        }
        const auto r = static_cast<size_t>(after - m_ranges.begin() - 1);
        const Mp4JoinPlan::Range& range = m_ranges[r];
        const bool inside = range.part == chunk.part && chunk.source - range.offset < range.length;
        return inside ? m_rangeStarts[r] + (chunk.source - range.offset) : 0;
    }

    Mp4JoinPlan write() const {
        Mp4JoinPlan plan;
        plan.head = movieHead(m_parts.front(), m_tracks, m_dataBytes,
                              [this](const OutChunk& chunk) { return placed(chunk); });
        plan.ranges = m_ranges;
        plan.outputSize = static_cast<quint64>(plan.head.size()) + m_dataBytes;
        return plan;
    }

    std::vector<Mp4Movie> m_parts;
    const std::vector<quint64>& m_lengths;
    std::vector<OutTrack> m_tracks;
    std::vector<Mp4JoinPlan::Range> m_ranges;
    std::vector<quint64> m_rangeStarts;
    quint64 m_dataBytes = 0;
};

}  // namespace

QString sampleCountRefusal(const std::vector<Mp4Movie>& parts) {
    if (parts.empty()) {
        return {};
    }
    for (size_t t = 0; t < parts.front().tracks.size(); ++t) {
        // A timecode track keeps its first sample, however many parts follow.
        const bool timecode = parts.front().tracks[t].handler == kTimecode;
        quint64 total = 0;
        for (size_t p = 0; p < parts.size() && (p == 0 || !timecode); ++p) {
            total += t < parts[p].tracks.size() ? parts[p].tracks[t].tables.sampleCount : 0;
        }
        if (total > kMaxTrackSamples) {
            const QLocale english(QLocale::English);
            return QStringLiteral(
                       "its track %1 would list %2 samples, more than the %3 an "
                       "MPEG-4 file may list")
                .arg(QString::number(t + 1), english.toString(total),
                     english.toString(kMaxTrackSamples));
        }
    }
    return {};
}

std::optional<Mp4JoinPlan> planMp4Join(std::vector<Mp4Movie> parts,
                                       const std::vector<quint64>& lengths, QString* whyNot) {
    if (parts.empty() || parts.size() != lengths.size()) {
        *whyNot = QStringLiteral("there is nothing to join");
        return std::nullopt;
    }
    return Planner(std::move(parts), lengths).plan(whyNot);
}
