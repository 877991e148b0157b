#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "formats/format_probe.h"

// The packet structure of MPEG streams, read in passing: program streams (MPEG-1 and
// MPEG-2 pack headers, system headers, PES packets with their PTS and DTS, end codes),
// video elementary streams (start codes) and transport streams (188-byte packets, PCR,
// continuity counters, PES starts, PAT and PMT). The readers work on the bytes a job
// already holds in its buffer, a chunk at a time, and never read a field that lies past
// the bytes they were given.

constexpr quint64 kTimestampWrap = quint64{1} << 33;  // 90 kHz clocks count modulo 2^33

// The 33-bit values in their fields. `at` points at the field's first byte.
quint64 readPtsField(const unsigned char* at);  // PTS, DTS, MPEG-1 SCR: 5 bytes
void writePtsField(unsigned char* at, quint64 value);
quint64 readScr2Base(const unsigned char* at);  // MPEG-2 SCR base: 6 bytes
void writeScr2Base(unsigned char* at, quint64 value);
quint64 readPcrBase(const unsigned char* at);  // transport stream PCR base: 6 bytes
void writePcrBase(unsigned char* at, quint64 value);
// `value` moved by `delta` ticks on the 33-bit clock.
quint64 shiftedTimestamp(quint64 value, qint64 delta);
// `later` - `earlier` on the 33-bit clock, as a signed distance.
qint64 timestampDistance(quint64 later, quint64 earlier);

// The stream ids of PES packets that carry video and MPEG audio.
inline bool isVideoStreamId(int id) {
    return id >= 0xE0 && id <= 0xEF;
}
// Private stream 1, audio and video PES packets carry the optional header with PTS/DTS.
inline bool hasPesHeader(int id) {
    return id == 0xBD || (id >= 0xC0 && id <= 0xEF);
}

// One structure of a program stream, as the reader met it. Offsets count from the
// start of the stream; pointers point into the caller's bytes and live for the call.
struct PsUnit {
    enum Kind { Pack, SystemHeader, Pes, OtherPacket, EndCode } kind = Pack;
    quint64 offset = 0;
    unsigned char* at = nullptr;
    size_t headerSize = 0;  // the unit's bytes before any payload
    int streamId = 0;
    bool mpeg2 = false;
    int timestampAt = -1;     // pack: SCR field; PES: PTS field (from `at`)
    int dtsAt = -1;           // PES: DTS field
    quint64 payloadSize = 0;  // PES: bytes after the header (they may lie past the chunk)
};

// Walks the units of a program stream chunk by chunk. `parse` visits every unit whose
// header lies wholly in `data` and returns how many bytes it is done with: the caller
// keeps the rest (a header cut off by the end of the chunk) and passes it first next
// time. A payload may end past the chunk; its rest is skipped in the next call.
class ProgramStreamReader {
public:
    template <typename Visit>
    size_t parse(unsigned char* data, size_t size, Visit&& visit);

    quint64 position() const { return m_position; }
    // Set when the bytes stopped looking like a program stream, with where and why.
    const QString& damage() const { return m_damage; }

    // Payload bytes of the current PES still to come, and the stream they belong to.
    quint64 payloadLeft() const { return m_payloadLeft; }
    int payloadStream() const { return m_payloadStream; }

private:
    // The unit starting at data[0..size): its size when complete, 0 when cut off,
    // nothing when the bytes are not a unit.
    std::optional<size_t> readUnit(unsigned char* data, size_t size, PsUnit* unit);

    quint64 m_position = 0;
    quint64 m_payloadLeft = 0;
    int m_payloadStream = 0;
    QString m_damage;
};

template <typename Visit>
size_t ProgramStreamReader::parse(unsigned char* data, size_t size, Visit&& visit) {
    size_t done = 0;
    while (done < size && m_damage.isEmpty()) {
        if (m_payloadLeft > 0) {
            const size_t skip = static_cast<size_t>(std::min<quint64>(m_payloadLeft, size - done));
            visit.payload(data + done, skip, m_position, m_payloadStream);
            m_payloadLeft -= skip;
            m_position += skip;
            done += skip;
            continue;
        }
        PsUnit unit;
        const std::optional<size_t> length = readUnit(data + done, size - done, &unit);
        if (!length) {
            break;  // damaged: the reason is kept
        }
        if (*length == 0) {
            break;  // cut off: the caller keeps the rest
        }
        unit.offset = m_position;
        unit.at = data + done;
        visit.unit(unit);
        m_position += unit.headerSize;
        done += unit.headerSize;
        m_payloadLeft = unit.payloadSize;
        m_payloadStream = unit.streamId;
    }
    return done;
}

// One transport stream packet's layout.
struct TsPacketInfo {
    int pid = 0;
    bool payloadStart = false;
    bool hasPayload = false;
    int continuity = 0;
    int pcrAt = -1;             // the PCR field, from the packet's start
    int payloadAt = kTsPacket;  // the first payload byte
};

// Reads one 188-byte packet; nothing when it does not start with the sync byte.
std::optional<TsPacketInfo> readTsPacket(const unsigned char* packet);

// The header of a PES packet that starts at `data`: its stream, where its PTS and DTS
// fields are (from `data`), its size and the payload bytes its length field announces.
struct PesLayout {
    int streamId = 0;
    int ptsAt = -1;
    int dtsAt = -1;
    size_t headerSize = 0;
    quint64 payloadSize = 0;
    bool mpeg2 = false;
};
enum class LayoutResult { Complete, CutOff, NotPes };
LayoutResult readPesLayout(const unsigned char* data, size_t size, PesLayout* layout);

// The offset of the next start code 00 00 01 `code` (any code for -1) in
// data[from..size), or nothing.
std::optional<size_t> findStartCode(const unsigned char* data, size_t size, size_t from, int code);
// The first picture group start in data: a sequence header (B3) or a GOP header (B8).
std::optional<size_t> findPictureGroup(const unsigned char* data, size_t size, size_t from = 0);
