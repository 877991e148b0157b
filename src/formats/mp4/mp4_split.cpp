#include "formats/mp4/mp4_split.h"

#include <algorithm>
#include <cmath>

#include "fileio/file64.h"
#include "formats/mp4/mp4_writer.h"

namespace {

// Enough for ten hours of 60 frames a second with their sound; more is no camera's.
constexpr quint64 kMaxSplitSamples = 8 * 1024 * 1024;

constexpr int kHevcRaslN = 8;
constexpr int kHevcRaslR = 9;
constexpr int kHevcCra = 21;
constexpr int kHevcFirstNonPicture = 32;

bool isHevc(quint32 codec) {
    return codec == fourcc("hvc1") || codec == fourcc("hev1");
}

// The media time at which a track's first edit starts showing its media.
qint64 shownFrom(const Mp4Track& track) {
    for (const Edit& edit : track.edits) {
        if (edit.mediaTime >= 0) {
            return edit.mediaTime;
        }
    }
    return 0;
}

quint64 toMovie(qint64 value, quint32 from, quint32 to) {
    return value <= 0 || from == 0
               ? 0
               : static_cast<quint64>(std::llround(static_cast<long double>(value) * to / from));
}

}  // namespace

Mp4Splitter::Mp4Splitter(File64& files, int handle, Mp4Movie movie)
    : m_files(files), m_handle(handle), m_movie(std::move(movie)) {}

std::optional<Mp4Splitter> Mp4Splitter::open(File64& files, int handle, quint64 length,
                                             QString* problem) {
    const quint64 here = files.position(handle).value_or(0);
    std::optional<Mp4Movie> movie = readMovie(files, handle, length, problem);
    std::optional<Mp4Splitter> splitter;
    if (movie && !movie->unsupported.isEmpty()) {
        *problem = movie->unsupported;
    } else if (movie) {
        splitter.emplace(Mp4Splitter(files, handle, std::move(*movie)));
        splitter->m_length = length;
        if (!splitter->expand(problem)) {
            splitter.reset();
        }
    }
    if (splitter && !files.seekTo(handle, here)) {
        *problem = QStringLiteral("it cannot be read");
        splitter.reset();
    }
    return splitter;
}

bool Mp4Splitter::expand(QString* problem) {
    quint64 total = 0;
    for (const Mp4Track& track : m_movie.tracks) {
        total += track.tables.sampleCount;
    }
    if (total > kMaxSplitSamples) {
        *problem = QStringLiteral("it has more samples than a split can list");
        return false;
    }
    for (const Mp4Track& track : m_movie.tracks) {
        TrackSamples expanded;
        expanded.samples.reserve(static_cast<size_t>(track.tables.sampleCount));
        quint64 time = 0;
        for (SampleWalker walker(track.tables); !walker.atEnd(); walker.advance()) {
            const Mp4Sample sample = walker.current();
            if (sample.offset > m_length || sample.size > m_length - sample.offset) {
                *problem = QStringLiteral(
                    "its samples lie past the end of the file (a cut-off "
                    "'mdat')");
                return false;
            }
            if (!expanded.samples.empty() && sample.offset < expanded.samples.back().offset) {
                expanded.ordered = false;
            }
            expanded.samples.push_back({sample.offset, time, sample.size, sample.duration,
                                        static_cast<qint32>(sample.compositionOffset), sample.chunk,
                                        static_cast<quint32>(walker.index()), sample.sync, false});
            time += sample.duration;
        }
        if (isHevc(track.codec)) {
            markLeadingPictures(expanded);
        }
        for (const SampleGroup& group : track.tables.groups) {
            std::vector<quint32> indices;
            for (const SampleRun& run : group.runs) {
                indices.insert(
                    indices.end(),
                    std::min<quint64>(run.count, track.tables.sampleCount - indices.size()),
                    static_cast<quint32>(run.value));
            }
            indices.resize(static_cast<size_t>(track.tables.sampleCount), 0);
            expanded.groups.push_back(std::move(indices));
        }
        m_tracks.push_back(std::move(expanded));
    }
    return true;
}

// After a CRA picture come the RASL pictures that refer to the picture group before
// it: a piece that starts at the CRA cannot decode them.
void Mp4Splitter::markLeadingPictures(TrackSamples& expanded) {
    const auto firstPictureType = [this](const Sample& sample) {
        // Each NAL unit: a 4-byte length, then its header; parameter sets and SEI first.
        for (quint64 at = sample.offset; at + 6 <= sample.offset + sample.size;) {
            unsigned char head[6] = {};
            if (!m_files.seekTo(m_handle, at) ||
                m_files.GetBytes(m_handle, reinterpret_cast<char*>(head), sizeof head) != 6) {
                return -1;
            }
            const quint64 length = (quint64(head[0]) << 24) | (quint64(head[1]) << 16) |
                                   (quint64(head[2]) << 8) | head[3];
            const int type = (head[4] >> 1) & 0x3F;
            if (type < kHevcFirstNonPicture) {
                return type;
            }
            at += 4 + length;
        }
        return -1;
    };
    std::vector<Sample>& samples = expanded.samples;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (!samples[i].sync || firstPictureType(samples[i]) != kHevcCra) {
            continue;
        }
        for (size_t next = i + 1; next < samples.size() && !samples[next].sync; ++next) {
            const int type = firstPictureType(samples[next]);
            if (type != kHevcRaslN && type != kHevcRaslR) {
                break;
            }
            samples[next].leading = true;
        }
    }
}

std::vector<const Mp4Splitter::Sample*> Mp4Splitter::samplesWithin(size_t track, quint64 start,
                                                                   quint64 end) const {
    const std::vector<Sample>& samples = m_tracks[track].samples;
    std::vector<const Sample*> within;
    auto from = samples.begin();
    if (m_tracks[track].ordered) {
        from =
            std::lower_bound(samples.begin(), samples.end(), start,
                             [](const Sample& sample, quint64 at) { return sample.offset < at; });
    }
    for (auto it = from; it != samples.end(); ++it) {
        if (m_tracks[track].ordered && it->offset >= end) {
            break;
        }
        if (it->offset >= start && it->offset + it->size <= end) {
            within.push_back(&*it);
        }
    }
    return within;
}

// The track a piece's tracks are lined up by: the first video, else the first track.
int Mp4Splitter::anchorTrack() const {
    for (size_t t = 0; t < m_movie.tracks.size(); ++t) {
        if (m_movie.tracks[t].handler == fourcc("vide") && !m_tracks[t].samples.empty()) {
            return static_cast<int>(t);
        }
    }
    return m_movie.tracks.empty() ? -1 : 0;
}

std::optional<quint64> Mp4Splitter::nextCut(quint64 from) const {
    const int anchor = anchorTrack();
    if (anchor < 0) {
        return std::nullopt;
    }
    std::optional<quint64> cut;
    for (const Sample* sample : samplesWithin(static_cast<size_t>(anchor), from, m_length)) {
        if (sample->sync && (!cut || sample->offset < *cut)) {
            cut = sample->offset;
            if (m_tracks[static_cast<size_t>(anchor)].ordered) {
                break;
            }
        }
    }
    return cut;
}

QByteArray Mp4Splitter::pieceHeader(quint64 start, quint64 bytes) {
    const quint64 end = start + bytes;
    const int anchor = anchorTrack();
    std::vector<std::vector<Sample>> listed(m_movie.tracks.size());
    for (size_t t = 0; t < m_movie.tracks.size(); ++t) {
        const std::vector<const Sample*> within = samplesWithin(t, start, end);
        auto first = within.begin();
        if (m_movie.tracks[t].handler == fourcc("vide")) {
            // Pictures before the first key frame need the piece before.
            first = std::find_if(within.begin(), within.end(),
                                 [](const Sample* sample) { return sample->sync; });
        }
        if (first == within.end()) {
            continue;
        }
        listed[t].push_back(**first);
        // So do the leading pictures right after it: the key frame lasts their time, so
        // that the pictures after them keep theirs.
        auto rest = first + 1;
        for (; rest != within.end() && (*rest)->leading; ++rest) {
            listed[t].back().duration += (*rest)->duration;
        }
        for (; rest != within.end(); ++rest) {
            listed[t].push_back(**rest);
        }
    }
    // Every track starts showing where the anchor's first picture does in the source.
    qint64 shownAt = 0;  // in the anchor's timescale
    quint32 anchorScale = 1;
    if (anchor >= 0 && !listed[static_cast<size_t>(anchor)].empty()) {
        const Mp4Track& track = m_movie.tracks[static_cast<size_t>(anchor)];
        const Sample& first = listed[static_cast<size_t>(anchor)].front();
        anchorScale = track.timescale;
        shownAt = std::max<qint64>(0, addTicks({static_cast<qint64>(first.time),
                                                first.compositionOffset, -shownFrom(track)}));
    }
    std::vector<OutTrack> tracks(m_movie.tracks.size());
    for (size_t t = 0; t < m_movie.tracks.size(); ++t) {
        const Mp4Track& track = m_movie.tracks[t];
        OutTrack& out = tracks[t];
        out.first = &track;
        out.timescale = track.timescale;
        out.groupRuns.resize(track.tables.groups.size());
        const bool dependencies = !track.tables.dependencies.isEmpty();
        for (const Sample& each : listed[t]) {
            const Sample* sample = &each;
            Mp4Sample written;
            written.offset = sample->offset;
            written.size = sample->size;
            written.duration = sample->duration;
            written.compositionOffset = sample->compositionOffset;
            written.sync = sample->sync;
            std::vector<quint32> groups;
            for (const std::vector<quint32>& grouping : m_tracks[t].groups) {
                groups.push_back(grouping[sample->index]);
            }
            out.addSample(written, 0,
                          dependencies ? track.tables.dependencies.at(sample->index) : '\0',
                          dependencies, groups, sample->chunk);
        }
        if (listed[t].empty()) {
            continue;  // an empty track: no edit
        }
        const qint64 begin = static_cast<qint64>(listed[t].front().time);
        const qint64 mediaTime = addTicks(
            {rescaleTicks(shownAt, anchorScale, track.timescale), shownFrom(track), -begin});
        // Shown up to the end of the last picture in presentation order.
        qint64 last = 0;
        for (const Sample& sample : listed[t]) {
            last = std::max(last, addTicks({static_cast<qint64>(sample.time), -begin,
                                            sample.compositionOffset, sample.duration}));
        }
        const qint64 shown = addTicks({last, -std::max<qint64>(mediaTime, 0)});
        if (mediaTime < 0) {
            out.edits.push_back(
                {toMovie(-mediaTime, track.timescale, m_movie.timescale), -1, 0x00010000});
        }
        if (shown > 0) {
            out.edits.push_back({toMovie(shown, track.timescale, m_movie.timescale),
                                 std::max<qint64>(mediaTime, 0), 0x00010000});
        }
        for (const Edit& edit : out.edits) {
            out.presentation += edit.segmentDuration;
        }
    }
    return movieHead(m_movie, tracks, bytes,
                     [start](const OutChunk& chunk) { return chunk.source - start; });
}
