// The seamless join's rewriter: the output does not depend on the chunk sizes, and
// outside timestamp fields, transport-stream continuity counters and the end codes that
// go between parts, every byte is the input's.
#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/mpeg2/seamless_join.h"
#include "fuzz_support.h"

namespace {

// Up to three parts, cut where the input's first two bytes say.
QList<QByteArray> partsOf(const QByteArray& bytes) {
    if (bytes.size() < 3) {
        return {bytes};
    }
    const auto at = [&bytes](int i) {
        return static_cast<qsizetype>(static_cast<unsigned char>(bytes.at(i))) *
               (bytes.size() - 2) / 256;
    };
    const QByteArray body = bytes.mid(2);
    const qsizetype first = std::min(at(0), at(1));
    const qsizetype second = std::max(at(0), at(1));
    QList<QByteArray> parts{body.left(first), body.mid(first, second - first), body.mid(second)};
    parts.removeIf([](const QByteArray& part) { return part.isEmpty(); });
    return parts;
}

// The join as the copy step runs it, `chunk` bytes at a time.
QByteArray joined(MpegStreamKind kind, const QList<QByteArray>& parts, size_t chunk) {
    SeamlessJoin join(kind);
    QByteArray out;
    std::vector<unsigned char> buffer;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray& part = parts.at(i);
        qsizetype taken = 0;
        const PartAnchor anchor = findPartAnchor(kind, [&](unsigned char* data, size_t size) {
            const auto step = std::min<size_t>(size, static_cast<size_t>(part.size() - taken));
            std::memcpy(data, part.constData() + taken, step);
            taken += static_cast<qsizetype>(step);
            return step;
        });
        join.beginPart(i + 1 == parts.size(), anchor);
        size_t held = 0;
        for (qsizetype at = 0; at < part.size();) {
            const auto step = std::min<size_t>(chunk, static_cast<size_t>(part.size() - at));
            buffer.resize(held + step);
            std::memcpy(buffer.data() + held, part.constData() + at, step);
            at += static_cast<qsizetype>(step);
            const SeamlessJoin::Step result =
                join.process(buffer.data(), buffer.size(), at == part.size());
            FUZZ_CHECK(result.ready <= result.consumed && result.consumed <= buffer.size());
            out.append(reinterpret_cast<const char*>(buffer.data()),
                       static_cast<qsizetype>(result.ready));
            held = buffer.size() - result.consumed;
            FUZZ_CHECK(held <= SeamlessJoin::kHoldLimit);
            std::memmove(buffer.data(), buffer.data() + result.consumed, held);
        }
        FUZZ_CHECK(held == 0);
    }
    return out;
}

// Where a transport stream's packets may change: PCR, PES timestamps and the
// continuity counter; nothing past a packet without its sync byte.
void maskTransport(QByteArray& bytes) {
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    for (size_t at = 0; at + kTsPacket <= static_cast<size_t>(bytes.size()); at += kTsPacket) {
        const std::optional<TsPacketInfo> info = readTsPacket(data + at);
        if (!info) {
            return;
        }
        data[at + 3] &= 0xF0;
        if (info->pcrAt >= 0) {
            std::memset(data + at + info->pcrAt, 0, 6);
        }
        PesLayout pes;
        if (info->payloadStart && info->hasPayload &&
            readPesLayout(data + at + info->payloadAt,
                          kTsPacket - static_cast<size_t>(info->payloadAt),
                          &pes) == LayoutResult::Complete) {
            for (const int field : {pes.ptsAt, pes.dtsAt}) {
                if (field >= 0) {
                    std::memset(data + at + info->payloadAt + field, 0, 5);
                }
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> parts = partsOf(bytes);
    MpegStreamKind kind =
        detectStreamKind(parts.first().constData(), static_cast<size_t>(parts.first().size()));
    if (kind == MpegStreamKind::None) {
        kind = MpegStreamKind::Transport;  // the rewriter meets damage at once
    }
    const size_t small = 1 + (size > 2 ? data[2] % 97 : 0);
    const QByteArray inSteps = joined(kind, parts, small);
    const QByteArray atOnce = joined(kind, parts, 1024 * 1024);
    FUZZ_CHECK(inSteps == atOnce);
    if (kind == MpegStreamKind::Transport) {
        QByteArray input = parts.join();
        QByteArray output = atOnce;
        FUZZ_CHECK(input.size() == output.size());
        // Each part is masked on its own: a part's damage ends only its own rewriting.
        qsizetype at = 0;
        for (const QByteArray& part : parts) {
            QByteArray in = part;
            QByteArray out = output.mid(at, part.size());
            maskTransport(in);
            maskTransport(out);
            FUZZ_CHECK(in == out);
            at += part.size();
        }
    } else {
        FUZZ_CHECK(atOnce.size() <= bytes.size());
    }
    return 0;
}
