#pragma once

#include <QString>
#include <QtGlobal>

#include "settings/option_types.h"

// Bytes per copy step and the number of trailing decimal digits of a length that
// are copied as one final step.
struct TransferRate {
    quint32 readAhead = 100000;
    int trancate = 5;

    static TransferRate of(Speed speed);
    // A rate's settings word; any other word is Normal.
    static TransferRate fromWord(const QString& word);
    static bool isWord(const QString& word);

    // The largest single step a job at this rate reads, for its one buffer.
    quint64 largestStep() const;
};

// The plan for copying `size` bytes: full chunks of `readAhead` and one remainder.
struct ChunkPlan {
    quint64 fullChunks = 0;
    quint64 remainder = 0;
};
ChunkPlan planChunks(quint64 size, const TransferRate& rate);
