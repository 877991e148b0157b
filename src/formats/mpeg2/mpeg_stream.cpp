#include "formats/mpeg2/mpeg_stream.h"

#include <cstring>

namespace {

constexpr unsigned char kSync = 0x47;

bool isStartCode(const unsigned char* at) {
    return at[0] == 0 && at[1] == 0 && at[2] == 1;
}

QString damageAt(quint64 offset, const char* what) {
    return QStringLiteral("damaged program stream at byte %1: %2")
        .arg(offset)
        .arg(QLatin1String(what));
}

}  // namespace

// xxxx b32..b30 1 | b29..b22 | b21..b15 1 | b14..b7 | b6..b0 1
quint64 readPtsField(const unsigned char* at) {
    return (quint64{at[0] & 0x0Eu} << 29) | (quint64{at[1]} << 22) |
           (quint64{at[2] & 0xFEu} << 14) | (quint64{at[3]} << 7) | (quint64{at[4]} >> 1);
}

void writePtsField(unsigned char* at, quint64 value) {
    at[0] = static_cast<unsigned char>((at[0] & 0xF1u) | ((value >> 29) & 0x0Eu));
    at[1] = static_cast<unsigned char>(value >> 22);
    at[2] = static_cast<unsigned char>((at[2] & 0x01u) | ((value >> 14) & 0xFEu));
    at[3] = static_cast<unsigned char>(value >> 7);
    at[4] = static_cast<unsigned char>((at[4] & 0x01u) | ((value << 1) & 0xFEu));
}

// 01 b32..b30 1 b29 b28 | b27..b20 | b19..b15 1 b14 b13 | b12..b5 | b4..b0 1 e8 e7 | ...
quint64 readScr2Base(const unsigned char* at) {
    return (quint64{at[0] & 0x38u} << 27) | (quint64{at[0] & 0x03u} << 28) |
           (quint64{at[1]} << 20) | (quint64{at[2] & 0xF8u} << 12) |
           (quint64{at[2] & 0x03u} << 13) | (quint64{at[3]} << 5) | (quint64{at[4]} >> 3);
}

void writeScr2Base(unsigned char* at, quint64 v) {
    at[0] = static_cast<unsigned char>((at[0] & 0xC4u) | ((v >> 27) & 0x38u) | ((v >> 28) & 0x03u));
    at[1] = static_cast<unsigned char>(v >> 20);
    at[2] = static_cast<unsigned char>((at[2] & 0x04u) | ((v >> 12) & 0xF8u) | ((v >> 13) & 0x03u));
    at[3] = static_cast<unsigned char>(v >> 5);
    at[4] = static_cast<unsigned char>((at[4] & 0x07u) | ((v << 3) & 0xF8u));
}

// b32..b25 | b24..b17 | b16..b9 | b8..b1 | b0 reserved(6) e8 | e7..e0
quint64 readPcrBase(const unsigned char* at) {
    return (quint64{at[0]} << 25) | (quint64{at[1]} << 17) | (quint64{at[2]} << 9) |
           (quint64{at[3]} << 1) | (quint64{at[4]} >> 7);
}

void writePcrBase(unsigned char* at, quint64 v) {
    at[0] = static_cast<unsigned char>(v >> 25);
    at[1] = static_cast<unsigned char>(v >> 17);
    at[2] = static_cast<unsigned char>(v >> 9);
    at[3] = static_cast<unsigned char>(v >> 1);
    at[4] = static_cast<unsigned char>((at[4] & 0x7Fu) | ((v << 7) & 0x80u));
}

quint64 shiftedTimestamp(quint64 value, qint64 delta) {
    const auto wrap = static_cast<qint64>(kTimestampWrap);
    return static_cast<quint64>(((static_cast<qint64>(value) + delta) % wrap + wrap) % wrap);
}

qint64 timestampDistance(quint64 later, quint64 earlier) {
    const auto wrap = static_cast<qint64>(kTimestampWrap);
    qint64 distance = (static_cast<qint64>(later) - static_cast<qint64>(earlier)) % wrap;
    if (distance > wrap / 2) {
        distance -= wrap;
    } else if (distance < -wrap / 2) {
        distance += wrap;
    }
    return distance;
}

// MPEG-2 PES headers carry flags and a header length; MPEG-1 ones stuffing, an
// optional buffer size and the timestamps in a row.
LayoutResult readPesLayout(const unsigned char* data, size_t size, PesLayout* layout) {
    if (size < 6) {
        return LayoutResult::CutOff;
    }
    if (!isStartCode(data) || !hasPesHeader(data[3])) {
        return LayoutResult::NotPes;
    }
    layout->streamId = data[3];
    const quint64 length = (quint64{data[4]} << 8) | data[5];
    if (size < 7) {
        return LayoutResult::CutOff;
    }
    size_t at = 6;
    if ((data[6] >> 6) == 2) {
        if (size < 9) {
            return LayoutResult::CutOff;
        }
        layout->mpeg2 = true;
        const int flags = data[7] >> 6;
        layout->ptsAt = (flags & 2) != 0 ? 9 : -1;
        layout->dtsAt = flags == 3 ? 14 : -1;
        at = 9 + data[8];
        if (flags == 1 || (flags >= 2 && data[8] < (flags == 3 ? 10 : 5))) {
            return LayoutResult::NotPes;
        }
    } else {
        for (int stuffing = 0; at < size && data[at] == 0xFF; ++at) {
            if (++stuffing > 16) {
                return LayoutResult::NotPes;
            }
        }
        if (at >= size) {
            return LayoutResult::CutOff;
        }
        if ((data[at] >> 6) == 1) {
            at += 2;
            if (at >= size) {
                return LayoutResult::CutOff;
            }
        }
        const int marker = data[at] >> 4;
        if (marker == 2 || marker == 3) {
            layout->ptsAt = static_cast<int>(at);
            layout->dtsAt = marker == 3 ? static_cast<int>(at) + 5 : -1;
            at += marker == 3 ? 10 : 5;
        } else if (data[at] == 0x0F) {
            at += 1;
        } else {
            return LayoutResult::NotPes;
        }
    }
    // A transport stream's video PES may leave its length open (0).
    const bool open = length == 0 && layout->mpeg2;
    if (!open && at - 6 > length) {
        return LayoutResult::NotPes;  // a header longer than its packet
    }
    if (at > size) {
        return LayoutResult::CutOff;
    }
    layout->headerSize = at;
    layout->payloadSize = open ? 0 : length - (at - 6);
    return LayoutResult::Complete;
}

std::optional<size_t> ProgramStreamReader::readUnit(unsigned char* data, size_t size,
                                                    PsUnit* unit) {
    if (size < 4) {
        return 0;
    }
    if (!isStartCode(data)) {
        m_damage = damageAt(m_position, "no start code where a packet should begin");
        return std::nullopt;
    }
    const int code = data[3];
    if (code == 0xBA) {
        unit->kind = PsUnit::Pack;
        unit->timestampAt = 4;
        if (size < 5) {
            return 0;
        }
        if ((data[4] >> 6) == 1) {
            unit->mpeg2 = true;
            if (size < 14) {
                return 0;
            }
            unit->headerSize = 14 + (data[13] & 7u);
        } else if ((data[4] >> 4) == 2) {
            unit->headerSize = 12;
        } else {
            m_damage = damageAt(m_position, "a pack header of neither MPEG-1 nor MPEG-2");
            return std::nullopt;
        }
        return size < unit->headerSize ? 0 : unit->headerSize;
    }
    if (code == 0xB9) {
        unit->kind = PsUnit::EndCode;
        unit->headerSize = 4;
        return 4;
    }
    if (code < 0xBB) {
        m_damage = damageAt(m_position, "a start code that begins no packet");
        return std::nullopt;
    }
    if (size < 6) {
        return 0;
    }
    unit->streamId = code;
    const quint64 length = (quint64{data[4]} << 8) | data[5];
    if (code == 0xBB) {
        unit->kind = PsUnit::SystemHeader;
        unit->headerSize = 6 + length;  // read whole: it is small and describes the streams
        return size < unit->headerSize ? 0 : unit->headerSize;
    }
    if (!hasPesHeader(code)) {
        unit->kind = PsUnit::OtherPacket;
        unit->headerSize = 6;
        unit->payloadSize = length;
        return 6;
    }
    PesLayout layout;
    switch (readPesLayout(data, size, &layout)) {
        case LayoutResult::CutOff:
            return 0;
        case LayoutResult::NotPes:
            m_damage = damageAt(m_position, "a PES header that does not fit its packet");
            return std::nullopt;
        case LayoutResult::Complete:
            break;
    }
    unit->kind = PsUnit::Pes;
    unit->mpeg2 = layout.mpeg2;
    unit->timestampAt = layout.ptsAt;
    unit->dtsAt = layout.dtsAt;
    unit->headerSize = layout.headerSize;
    unit->payloadSize = layout.payloadSize;
    return unit->headerSize;
}

std::optional<TsPacketInfo> readTsPacket(const unsigned char* packet) {
    if (packet[0] != kSync) {
        return std::nullopt;
    }
    TsPacketInfo info;
    info.pid = ((packet[1] & 0x1F) << 8) | packet[2];
    info.payloadStart = (packet[1] & 0x40) != 0;
    const int control = (packet[3] >> 4) & 3;
    info.hasPayload = (control & 1) != 0;
    info.continuity = packet[3] & 0x0F;
    info.payloadAt = 4;
    if ((control & 2) != 0) {
        const int adaptation = packet[4];
        info.payloadAt = 5 + adaptation;
        if (adaptation >= 7 && (packet[5] & 0x10) != 0) {
            info.pcrAt = 6;
        }
    }
    if (info.payloadAt > static_cast<int>(kTsPacket)) {
        info.payloadAt = kTsPacket;  // an adaptation field past the packet: no payload
        info.hasPayload = false;
    }
    return info;
}

std::optional<size_t> findStartCode(const unsigned char* data, size_t size, size_t from, int code) {
    for (size_t at = from; at + 3 < size; ++at) {
        const auto* hit = static_cast<const unsigned char*>(std::memchr(data + at, 1, size - at));
        if (hit == nullptr) {
            return std::nullopt;
        }
        at = static_cast<size_t>(hit - data);
        if (at >= from + 2 && data[at - 1] == 0 && data[at - 2] == 0 && at + 1 < size &&
            (code < 0 || data[at + 1] == code)) {
            return at - 2;
        }
    }
    return std::nullopt;
}

std::optional<size_t> findPictureGroup(const unsigned char* data, size_t size, size_t from) {
    const std::optional<size_t> sequence = findStartCode(data, size, from, 0xB3);
    const std::optional<size_t> gop = findStartCode(data, size, from, 0xB8);
    if (sequence && (!gop || *sequence < *gop)) {
        return sequence;
    }
    return gop;
}
