#pragma once

#include "formats/mp4/mp4_join.h"
#include "fuzz_support.h"

// A join plan's head read back: the first part's ftyp, then the new moov, which must
// parse, with as many tracks as the parts.
inline Mp4Movie joinedMovie(const Mp4JoinPlan& plan, const Mp4Movie& first) {
    const std::optional<Box> moov = firstBox(boxesIn(plan.head), fourcc("moov"));
    FUZZ_CHECK(moov.has_value());
    QString problem;
    const std::optional<Mp4Movie> joined = parseMovie(
        first.ftyp,
        plan.head.mid(static_cast<qsizetype>(moov->offset), static_cast<qsizetype>(moov->size)),
        &problem);
    FUZZ_CHECK(joined.has_value());
    FUZZ_CHECK(joined->tracks.size() == first.tracks.size());
    return *joined;
}
