// The MPEG-4 box reader and the join's planner: any bytes give a movie whose tables
// agree, or a reason; a plan's head reads back as a movie with the parts' samples.
#include "fileio/file64.h"
#include "formats/mp4/mp4_join.h"
#include "formats/mp4/mp4_movie.h"
#include "formats/mp4/mp4_split.h"
#include "formats/mp4/mp4_traits.h"
#include "fuzz_mp4_support.h"

namespace {

// Walks every sample of every track: the walk ends where the tables say.
void walkAll(const Mp4Movie& movie) {
    for (const Mp4Track& track : movie.tracks) {
        if (track.tables.sampleCount > 200000) {
            continue;  // a valid table of that size takes long to fuzz
        }
        quint64 count = 0;
        for (SampleWalker walker(track.tables); !walker.atEnd(); walker.advance()) {
            const Mp4Sample sample = walker.current();
            FUZZ_CHECK(sample.chunk < track.tables.chunkOffsets.size());
            ++count;
        }
        FUZZ_CHECK(count == track.tables.sampleCount);
    }
}

}  // namespace

// The pieces of an EMH split: each head reads back as a movie that lists no sample past
// its share, and cuts lie ahead of where they were asked from.
void splitInThree(File64& files, const QString& path, quint64 size) {
    const File64::OpenResult opened = files.OpenFile(path, File64::OpenMode::ReadOnly);
    FUZZ_CHECK(opened.ok());
    QString problem;
    std::optional<Mp4Splitter> splitter = Mp4Splitter::open(files, opened.handle, size, &problem);
    if (splitter) {
        for (quint64 start = 0; start < size; start += size / 3 + 1) {
            const quint64 bytes = std::min<quint64>(size / 3 + 1, size - start);
            if (const std::optional<quint64> cut = splitter->nextCut(start)) {
                FUZZ_CHECK(*cut >= start && *cut < size);
            }
            const QByteArray head = splitter->pieceHeader(start, bytes);
            const std::optional<Box> moov = firstBox(boxesIn(head), fourcc("moov"));
            FUZZ_CHECK(moov.has_value());
            QString again;
            const std::optional<Mp4Movie> piece = parseMovie(
                {},
                head.mid(static_cast<qsizetype>(moov->offset), static_cast<qsizetype>(moov->size)),
                &again);
            FUZZ_CHECK(piece.has_value());
            const quint64 body = static_cast<quint64>(head.size());
            for (const Mp4Track& track : piece->tracks) {
                for (SampleWalker walker(track.tables); !walker.atEnd(); walker.advance()) {
                    const Mp4Sample sample = walker.current();
                    FUZZ_CHECK(sample.offset >= body &&
                               sample.offset + sample.size <= body + bytes);
                }
            }
        }
    }
    files.CloseFile(opened.handle);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile("movie.mp4", data, size);
    SilentHost host;
    File64 files(&host);
    const File64::OpenResult opened = files.OpenFile(path, File64::OpenMode::ReadOnly);
    FUZZ_CHECK(opened.ok());
    QString problem;
    const std::optional<Mp4Movie> movie = readMovie(files, opened.handle, size, &problem);
    files.CloseFile(opened.handle);
    FUZZ_CHECK(movie.has_value() || !problem.isEmpty());
    if (!movie) {
        return 0;
    }
    walkAll(*movie);
    mp4Traits(*movie);
    splitInThree(files, path, size);
    QString whyNot;
    const std::vector<Mp4Movie> parts{*movie, *movie};
    const std::vector<quint64> lengths{size, size};
    const std::optional<Mp4JoinPlan> plan = planMp4Join(parts, lengths, &whyNot);
    if (!plan) {
        FUZZ_CHECK(!whyNot.isEmpty());
        return 0;
    }
    quint64 dataBytes = 0;
    for (const Mp4JoinPlan::Range& range : plan->ranges) {
        FUZZ_CHECK(range.offset + range.length <= size);
        dataBytes += range.length;
    }
    FUZZ_CHECK(plan->outputSize == static_cast<quint64>(plan->head.size()) + dataBytes);
    const Mp4Movie joined = joinedMovie(*plan, *movie);
    for (size_t t = 0; t < movie->tracks.size(); ++t) {
        FUZZ_CHECK(joined.tracks[t].tables.sampleCount <= 2 * movie->tracks[t].tables.sampleCount);
    }
    walkAll(joined);
    return 0;
}
