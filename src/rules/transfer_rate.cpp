#include "rules/transfer_rate.h"

#include "settings/settings_table.h"

namespace {

quint64 powerOfTen(int digits) {
    quint64 value = 1;
    for (int i = 0; i < digits; ++i) {
        value *= 10;
    }
    return value;
}

}  // namespace

TransferRate TransferRate::of(Speed speed) {
    switch (speed) {
        case Speed::Slow:
            return {10000, 4};
        case Speed::Fast:
            return {1000000, 6};
        case Speed::UltraFast:
            return {5000000, 7};
        case Speed::Normal:
            break;
    }
    return {100000, 5};
}

TransferRate TransferRate::fromWord(const QString& word) {
    return isWord(word) ? of(static_cast<Speed>(settingWordIndex(SettingId::Rate, word)))
                        : of(Speed::Normal);
}

bool TransferRate::isWord(const QString& word) {
    return settingWordIndex(SettingId::Rate, word) >= 0;
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
