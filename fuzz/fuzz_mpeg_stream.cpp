// The program stream reader and the transport stream packet reader: the units visited
// are the same whatever the chunk sizes, and no read goes past the bytes given.
#include <QList>

#include <algorithm>
#include <vector>

#include "formats/mpeg2/mpeg_stream.h"
#include "fuzz_support.h"

namespace {

struct Seen {
    int kind;
    quint64 offset;
    size_t headerSize;
    int streamId;
    int timestampAt;
    int dtsAt;
    bool operator==(const Seen&) const = default;
};

struct Recorder {
    std::vector<Seen> units;
    quint64 payloadBytes = 0;
    void unit(const PsUnit& unit) {
        FUZZ_CHECK(unit.headerSize > 0);
        FUZZ_CHECK(unit.timestampAt < static_cast<int>(unit.headerSize));
        FUZZ_CHECK(unit.dtsAt < static_cast<int>(unit.headerSize));
        units.push_back(
            {unit.kind, unit.offset, unit.headerSize, unit.streamId, unit.timestampAt, unit.dtsAt});
    }
    void payload(const unsigned char*, size_t size, quint64, int) { payloadBytes += size; }
};

// Parses `bytes` fed `chunk` bytes at a time, keeping what the reader leaves, as a copy
// step does. The reader gets exactly the bytes it may look at.
Recorder parseInChunks(const QByteArray& bytes, size_t chunk, QString* damage) {
    Recorder recorder;
    ProgramStreamReader reader;
    std::vector<unsigned char> kept;
    for (qsizetype at = 0; at < bytes.size();) {
        const auto step = std::min<size_t>(chunk, static_cast<size_t>(bytes.size() - at));
        kept.insert(kept.end(), bytes.constData() + at, bytes.constData() + at + step);
        at += static_cast<qsizetype>(step);
        std::vector<unsigned char> exact(kept);  // sized to the byte, for the sanitizer
        const size_t done = reader.parse(exact.data(), exact.size(), recorder);
        FUZZ_CHECK(done <= exact.size());
        kept.erase(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(done));
        if (!reader.damage().isEmpty()) {
            break;
        }
    }
    *damage = reader.damage();
    return recorder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const size_t small = 1 + (size > 0 ? data[0] % 61 : 0);
    QString wholeDamage;
    QString chunkedDamage;
    const Recorder whole = parseInChunks(bytes, std::max<size_t>(size, 1), &wholeDamage);
    const Recorder chunked = parseInChunks(bytes, small, &chunkedDamage);
    FUZZ_CHECK(whole.units == chunked.units);
    FUZZ_CHECK(wholeDamage == chunkedDamage);
    for (size_t at = 0; at + kTsPacket <= size; at += kTsPacket) {
        std::vector<unsigned char> packet(data + at, data + at + kTsPacket);
        if (const std::optional<TsPacketInfo> info = readTsPacket(packet.data())) {
            FUZZ_CHECK(info->payloadAt >= 4 && info->payloadAt <= static_cast<int>(kTsPacket));
            FUZZ_CHECK(info->pcrAt < 0 || info->pcrAt + 6 <= info->payloadAt);
            PesLayout pes;
            const size_t room = kTsPacket - static_cast<size_t>(info->payloadAt);
            std::vector<unsigned char> payload(packet.begin() + info->payloadAt, packet.end());
            if (readPesLayout(payload.data(), room, &pes) == LayoutResult::Complete) {
                FUZZ_CHECK(pes.headerSize <= room);
                FUZZ_CHECK(pes.ptsAt < 0 || static_cast<size_t>(pes.ptsAt) + 5 <= pes.headerSize);
                FUZZ_CHECK(pes.dtsAt < 0 || static_cast<size_t>(pes.dtsAt) + 5 <= pes.headerSize);
            }
        }
    }
    detectStreamKind(bytes.constData(), size);
    return 0;
}
