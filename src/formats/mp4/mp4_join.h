#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

#include "formats/mp4/mp4_movie.h"

// The seamless join of MPEG-4 parts by their tables: one movie whose tracks are the
// parts' tracks end to end. The sample data is copied as bytes; only the moov is new,
// and it comes first, so the result can be played while it streams.
struct Mp4JoinPlan {
    // Copy `length` bytes of part `part` from `offset`, after the head and the ranges
    // before it.
    struct Range {
        int part = 0;
        quint64 offset = 0;
        quint64 length = 0;
    };
    QByteArray head;  // ftyp, moov and the mdat header
    std::vector<Range> ranges;
    quint64 outputSize = 0;
};

// Why the parts cannot become one movie at all, or "": a track of the result would list
// more samples than an MPEG-4 reader (ours included) accepts.
QString sampleCountRefusal(const std::vector<Mp4Movie>& parts);

// The plan, or nothing with why the tables cannot be merged as they stand (the box in
// the way); the parts are assumed to have the same track layout and descriptions. The
// parts are taken, so that their sample lists go as soon as they are planned: move
// them in where they are not needed after.
std::optional<Mp4JoinPlan> planMp4Join(std::vector<Mp4Movie> parts,
                                       const std::vector<quint64>& lengths, QString* whyNot);
