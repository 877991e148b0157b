#include "pack/transfer_rate.h"

namespace {

quint64 powerOfTen(int digits) {
    quint64 value = 1;
    for (int i = 0; i < digits; ++i) {
        value *= 10;
    }
    return value;
}

}  // namespace

TransferRate TransferRate::fromWord(const QString& word) {
    if (word == QLatin1String("slow")) {
        return {10000, 4};
    }
    if (word == QLatin1String("fast")) {
        return {1000000, 6};
    }
    if (word == QLatin1String("ufast")) {
        return {5000000, 7};
    }
    return {100000, 5};
}

bool TransferRate::isWord(const QString& word) {
    return word == QLatin1String("slow") || word == QLatin1String("normal") ||
           word == QLatin1String("fast") || word == QLatin1String("ufast");
}

quint64 TransferRate::largestStep() const {
    return std::max<quint64>(readAhead, powerOfTen(trancate) - 1);
}

ChunkPlan planChunks(quint64 size, const TransferRate& rate) {
    ChunkPlan plan;
    plan.remainder = size % powerOfTen(rate.trancate);
    plan.fullChunks = (size - plan.remainder) / rate.readAhead;
    return plan;
}
