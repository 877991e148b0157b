#include "formats/mp4/mp4_split.h"

#include <algorithm>
#include <cmath>

#include "fileio/file64.h"
#include "formats/mp4/mp4_writer.h"

namespace {

// Each sample costs the split 8 bytes and two bits; this is about 200 MiB of them,
// far more than a day of 60 frames a second with its sound.
constexpr quint64 kMaxSplitSamples = quint64{24} * 1024 * 1024;
// A cursor is saved every this many samples: a piece's first sample is never more
// than this many steps of the tables away.
constexpr quint64 kCursorStep = 4096;

// The part of a sample read for its picture type: parameter sets and SEI (HDR metadata
// among them) come before the picture, but never this many bytes or units of them.
constexpr quint64 kPictureScanBytes = 64 * 1024;
constexpr quint64 kPictureScanRead = 4096;
constexpr int kPictureScanUnits = 64;
constexpr quint64 kPictureScanReport = 1024;  // samples between progress reports

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
    return value <= 0 || from == 0 ? 0 : static_cast<quint64>(rescaleTicks(value, from, to));
}

}  // namespace

Mp4Splitter::Mp4Splitter(File64& files, int handle, Mp4Movie movie)
    : m_files(files), m_handle(handle), m_movie(std::move(movie)) {}

std::optional<Mp4Splitter> Mp4Splitter::open(File64& files, int handle, quint64 length,
                                             QString* problem,
                                             const PictureScanProgress& progress) {
    const quint64 here = files.position(handle).value_or(0);
    std::optional<Mp4Movie> movie = readMovie(files, handle, length, problem);
    std::optional<Mp4Splitter> splitter;
    if (movie && !movie->unsupported.isEmpty()) {
        *problem = movie->unsupported;
    } else if (movie) {
        splitter.emplace(Mp4Splitter(files, handle, std::move(*movie)));
        splitter->m_length = length;
        if (!splitter->expand(problem, progress)) {
            splitter.reset();
        }
    }
    if (splitter && !files.seekTo(handle, here)) {
        *problem = QStringLiteral("it cannot be read");
        splitter.reset();
    }
    return splitter;
}

bool Mp4Splitter::expand(QString* problem, const PictureScanProgress& progress) {
    quint64 total = 0;
    for (const Mp4Track& track : m_movie.tracks) {
        total += track.tables.sampleCount;
    }
    if (total > kMaxSplitSamples) {
        *problem = QStringLiteral("it has more samples than a split can list");
        return false;
    }
    m_tracks.resize(m_movie.tracks.size());
    for (size_t t = 0; t < m_movie.tracks.size(); ++t) {
        const SampleTables& tables = m_movie.tracks[t].tables;
        TrackSamples& kept = m_tracks[t];
        kept.offsets.reserve(static_cast<size_t>(tables.sampleCount));
        kept.sync.reserve(static_cast<size_t>(tables.sampleCount));
        Cursor cursor{SampleWalker(tables), 0};
        for (; !cursor.walker.atEnd(); cursor.walker.advance()) {
            if (cursor.walker.index() % kCursorStep == 0) {
                kept.cursors.push_back(cursor);
            }
            const Mp4Sample sample = cursor.walker.current();
            if (sample.offset > m_length || sample.size > m_length - sample.offset) {
                *problem = QStringLiteral(
                    "its samples lie past the end of the file (a cut-off "
                    "'mdat')");
                return false;
            }
            if (!kept.offsets.empty() && sample.offset < kept.offsets.back()) {
                kept.ordered = false;
            }
            kept.offsets.push_back(sample.offset);
            kept.sync.push_back(sample.sync);
            cursor.time += sample.duration;
        }
        kept.leading.assign(kept.offsets.size(), false);
        if (isHevc(m_movie.tracks[t].codec) && !markLeadingPictures(t, progress)) {
            *problem = QStringLiteral("its pictures were not all looked at");
            return false;
        }
        for (const SampleGroup& group : tables.groups) {
            std::vector<quint64> starts;
            quint64 at = 0;
            for (const SampleRun& run : group.runs) {
                starts.push_back(at);
                at += run.count;
            }
            kept.groupStarts.push_back(std::move(starts));
        }
    }
    return true;
}

// The type of a sample's first picture unit: each unit is a 4-byte length, then its
// header; -1 when none is found within the scan's bounds.
int Mp4Splitter::firstPictureType(quint64 offset, quint32 size) {
    const quint64 limit = std::min<quint64>(size, kPictureScanBytes);
    QByteArray window;
    quint64 windowStart = 0;  // in the sample
    quint64 at = 0;
    for (int unit = 0; unit < kPictureScanUnits && at + 6 <= limit; ++unit) {
        if (at + 6 > windowStart + static_cast<quint64>(window.size())) {
            windowStart = at;
            window.resize(static_cast<qsizetype>(std::min(kPictureScanRead, limit - at)));
            const auto wanted = static_cast<quint64>(window.size());
            if (!m_files.seekTo(m_handle, offset + at) ||
                m_files.GetBytes(m_handle, window.data(), wanted) != wanted) {
                return -1;
            }
        }
        const auto* head = reinterpret_cast<const unsigned char*>(window.constData()) +
                           static_cast<qsizetype>(at - windowStart);
        const quint64 length =
            (quint64(head[0]) << 24) | (quint64(head[1]) << 16) | (quint64(head[2]) << 8) | head[3];
        const int type = (head[4] >> 1) & 0x3F;
        if (type < kHevcFirstNonPicture) {
            return type;
        }
        at += 4 + length;
    }
    return -1;
}

// After a CRA picture come the RASL pictures that refer to the picture group before
// it: a piece that starts at the CRA cannot decode them. False when told to stop.
bool Mp4Splitter::markLeadingPictures(size_t track, const PictureScanProgress& progress) {
    TrackSamples& kept = m_tracks[track];
    const SampleTables& tables = m_movie.tracks[track].tables;
    const quint64 count = kept.offsets.size();
    for (quint64 i = 0; i < count; ++i) {
        if (progress && i % kPictureScanReport == 0 && !progress(i, count)) {
            return false;
        }
        if (!kept.sync[i] || firstPictureType(kept.offsets[i], tables.sizeOf(i)) != kHevcCra) {
            continue;
        }
        for (quint64 next = i + 1; next < count && !kept.sync[next]; ++next) {
            const int type = firstPictureType(kept.offsets[next], tables.sizeOf(next));
            if (type != kHevcRaslN && type != kHevcRaslR) {
                break;
            }
            kept.leading[next] = true;
        }
    }
    return true;
}

Mp4Splitter::Cursor Mp4Splitter::cursorAt(size_t track, quint64 index) const {
    const TrackSamples& kept = m_tracks[track];
    Cursor cursor = kept.cursors[static_cast<size_t>(index / kCursorStep)];
    while (cursor.walker.index() < index) {
        cursor.time += cursor.walker.current().duration;
        cursor.walker.advance();
    }
    return cursor;
}

Mp4Splitter::Sample Mp4Splitter::sampleAt(size_t track, const Cursor& cursor) const {
    const Mp4Sample sample = cursor.walker.current();
    const quint64 index = cursor.walker.index();
    return {sample.offset,
            cursor.time,
            sample.size,
            sample.duration,
            sample.compositionOffset,
            sample.chunk,
            index,
            sample.sync,
            m_tracks[track].leading[static_cast<size_t>(index)]};
}

quint32 Mp4Splitter::groupOf(size_t track, size_t grouping, quint64 index) const {
    const std::vector<quint64>& starts = m_tracks[track].groupStarts[grouping];
    const auto after = std::upper_bound(starts.begin(), starts.end(), index);
    if (after == starts.begin()) {
        return 0;
    }
    const auto run = static_cast<size_t>(after - starts.begin() - 1);
    const SampleRun& found = m_movie.tracks[track].tables.groups[grouping].runs[run];
    return index - starts[run] < found.count ? static_cast<quint32>(found.value) : 0;
}

template <typename Each>
void Mp4Splitter::forEachWithin(size_t track, quint64 start, quint64 end, Each each) const {
    const TrackSamples& kept = m_tracks[track];
    quint64 first = 0;
    if (kept.ordered) {
        first =
            static_cast<quint64>(std::lower_bound(kept.offsets.begin(), kept.offsets.end(), start) -
                                 kept.offsets.begin());
    }
    if (first >= kept.offsets.size()) {
        return;
    }
    const SampleTables& tables = m_movie.tracks[track].tables;
    for (Cursor cursor = cursorAt(track, first); !cursor.walker.atEnd();
         cursor.time += cursor.walker.current().duration, cursor.walker.advance()) {
        const quint64 i = cursor.walker.index();
        const quint64 offset = kept.offsets[static_cast<size_t>(i)];
        if (kept.ordered && offset >= end) {
            break;
        }
        if (offset >= start && offset + tables.sizeOf(i) <= end) {
            each(sampleAt(track, cursor));
        }
    }
}

// The track a piece's tracks are lined up by: the first video, else the first track.
int Mp4Splitter::anchorTrack() const {
    for (size_t t = 0; t < m_movie.tracks.size(); ++t) {
        if (m_movie.tracks[t].handler == fourcc("vide") && !m_tracks[t].offsets.empty()) {
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
    const TrackSamples& kept = m_tracks[static_cast<size_t>(anchor)];
    const SampleTables& tables = m_movie.tracks[static_cast<size_t>(anchor)].tables;
    std::optional<quint64> cut;
    size_t i = 0;
    if (kept.ordered) {
        i = static_cast<size_t>(std::lower_bound(kept.offsets.begin(), kept.offsets.end(), from) -
                                kept.offsets.begin());
    }
    for (; i < kept.offsets.size(); ++i) {
        const quint64 offset = kept.offsets[i];
        const bool within = offset >= from && offset + tables.sizeOf(i) <= m_length;
        if (within && kept.sync[i] && (!cut || offset < *cut)) {
            cut = offset;
            if (kept.ordered) {
                break;
            }
        }
    }
    return cut;
}

QByteArray Mp4Splitter::pieceHeader(quint64 start, quint64 bytes) {
    const quint64 end = start + bytes;
    // Each track's listed samples go straight into its new tables; what the edits
    // need of them is kept on the way.
    struct Listed {
        bool any = false;
        qint64 begin = 0;  // the first listed sample's decode time
        qint64 firstCompositionOffset = 0;
        qint64 last = 0;  // where the last picture ends, from `begin`
    };
    std::vector<OutTrack> tracks(m_movie.tracks.size());
    std::vector<Listed> listed(m_movie.tracks.size());
    for (size_t t = 0; t < m_movie.tracks.size(); ++t) {
        const Mp4Track& track = m_movie.tracks[t];
        OutTrack& out = tracks[t];
        out.first = &track;
        out.timescale = track.timescale;
        out.groupRuns.resize(track.tables.groups.size());
        const bool dependencies = !track.tables.dependencies.isEmpty();
        Listed& shown = listed[t];
        const auto add = [&](const Sample& sample) {
            if (!shown.any) {
                shown = {true, static_cast<qint64>(sample.time), sample.compositionOffset, 0};
            }
            shown.last =
                std::max(shown.last, addTicks({static_cast<qint64>(sample.time), -shown.begin,
                                               sample.compositionOffset, sample.duration}));
            Mp4Sample written;
            written.offset = sample.offset;
            written.size = sample.size;
            written.duration = sample.duration;
            written.compositionOffset = sample.compositionOffset;
            written.sync = sample.sync;
            std::vector<quint32> groups;
            for (size_t g = 0; g < track.tables.groups.size(); ++g) {
                groups.push_back(groupOf(t, g, sample.index));
            }
            out.addSample(written, 0,
                          dependencies
                              ? track.tables.dependencies.at(static_cast<qsizetype>(sample.index))
                              : '\0',
                          dependencies, groups, sample.chunk);
        };
        // Pictures before the first key frame need the piece before. So do the leading
        // pictures right after it: the key frame lasts their time, so that the pictures
        // after them keep theirs.
        const bool video = track.handler == fourcc("vide");
        std::optional<Sample> pending;
        bool absorbing = false;
        forEachWithin(t, start, end, [&](const Sample& sample) {
            if (!pending) {
                if (!video || sample.sync) {
                    pending = sample;
                    absorbing = true;
                }
                return;
            }
            if (absorbing && sample.leading) {
                pending->duration += sample.duration;
                return;
            }
            absorbing = false;
            add(*pending);
            pending = sample;
        });
        if (pending) {
            add(*pending);
        }
    }
    // Every track starts showing where the anchor's first picture does in the source.
    const int anchor = anchorTrack();
    qint64 shownAt = 0;  // in the anchor's timescale
    quint32 anchorScale = 1;
    if (anchor >= 0 && listed[static_cast<size_t>(anchor)].any) {
        const Mp4Track& track = m_movie.tracks[static_cast<size_t>(anchor)];
        const Listed& first = listed[static_cast<size_t>(anchor)];
        anchorScale = track.timescale;
        shownAt = std::max<qint64>(
            0, addTicks({first.begin, first.firstCompositionOffset, -shownFrom(track)}));
    }
    for (size_t t = 0; t < m_movie.tracks.size(); ++t) {
        const Mp4Track& track = m_movie.tracks[t];
        OutTrack& out = tracks[t];
        if (!listed[t].any) {
            continue;  // an empty track: no edit
        }
        const qint64 mediaTime = addTicks({rescaleTicks(shownAt, anchorScale, track.timescale),
                                           shownFrom(track), -listed[t].begin});
        // Shown up to the end of the last picture in presentation order.
        const qint64 shown = addTicks({listed[t].last, -std::max<qint64>(mediaTime, 0)});
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
