// The join of two different MPEG-4 files: the input is a 4-byte length, the first file,
// then the second. Parts that match as the join requires give a plan whose head reads
// back, with no more samples than both parts hold; any others give a reason.
#include <QtEndian>

#include "fileio/file64.h"
#include "formats/mp4/mp4_join.h"
#include "formats/mp4/mp4_movie.h"
#include "formats/mp4/mp4_traits.h"
#include "formats/part_traits.h"
#include "fuzz_mp4_support.h"

namespace {

std::optional<Mp4Movie> movieOf(File64& files, const char* name, const uint8_t* data, size_t size) {
    const QString path = scratchFile(name, data, size);
    const File64::OpenResult opened = files.OpenFile(path, File64::OpenMode::ReadOnly);
    FUZZ_CHECK(opened.ok());
    QString problem;
    std::optional<Mp4Movie> movie = readMovie(files, opened.handle, size, &problem);
    files.CloseFile(opened.handle);
    FUZZ_CHECK(movie.has_value() || !problem.isEmpty());
    return movie;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    const size_t first = std::min<size_t>(qFromBigEndian<quint32>(data), size - 4);
    const uint8_t* firstData = data + 4;
    const uint8_t* secondData = firstData + first;
    const size_t second = size - 4 - first;
    SilentHost host;
    File64 files(&host);
    const std::optional<Mp4Movie> a = movieOf(files, "first.mp4", firstData, first);
    const std::optional<Mp4Movie> b = movieOf(files, "second.mp4", secondData, second);
    // The engine joins by tables only parts whose tracks match.
    if (!a || !b || a->tracks.size() != b->tracks.size() ||
        !differenceLine({QStringLiteral("a"), QStringLiteral("b")}, {mp4Traits(*a), mp4Traits(*b)})
             .isEmpty()) {
        return 0;
    }
    const std::vector<Mp4Movie> parts{*a, *b};
    if (!sampleCountRefusal(parts).isEmpty()) {
        return 0;
    }
    QString whyNot;
    const std::optional<Mp4JoinPlan> plan = planMp4Join(parts, {first, second}, &whyNot);
    if (!plan) {
        FUZZ_CHECK(!whyNot.isEmpty());
        return 0;
    }
    const Mp4Movie joined = joinedMovie(*plan, *a);
    for (size_t t = 0; t < a->tracks.size(); ++t) {
        FUZZ_CHECK(joined.tracks[t].tables.sampleCount <=
                   a->tracks[t].tables.sampleCount + b->tracks[t].tables.sampleCount);
    }
    return 0;
}
