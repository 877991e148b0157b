#include "formats/mpeg2/seamless_join.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr qint64 kDefaultFrameTicks = 3600;  // one frame at 25 per second, 90 kHz clock

// 90 kHz ticks per frame for the frame rate codes of a sequence header.
double frameTicksForRateCode(int code) {
    static constexpr double ticks[] = {0, 3753.75, 3750, 3600, 3003, 3000, 1800, 1501.5, 1500};
    return code >= 1 && code <= 8 ? ticks[code] : 0;
}

// The first decode time (or presentation time, where a PES has no DTS) of the first
// video stream, and of the first stream of any kind, among the PES headers visited.
struct AnchorSearch {
    PartAnchor video;
    PartAnchor any;

    void consider(const unsigned char* at, int ptsAt, int dtsAt, int id, int stream) {
        if (ptsAt < 0) {
            return;
        }
        const PartAnchor anchor{true, stream, readPtsField(at + (dtsAt >= 0 ? dtsAt : ptsAt))};
        if (!any.found) {
            any = anchor;
        }
        if (!video.found && isVideoStreamId(id)) {
            video = anchor;
        }
    }
    void unit(const PsUnit& unit) {
        if (unit.kind == PsUnit::Pes) {
            consider(unit.at, unit.timestampAt, unit.dtsAt, unit.streamId, unit.streamId);
        }
    }
    void payload(const unsigned char*, size_t, quint64, int) {}
    // One transport stream packet; false when it is not one (the stream is damaged).
    bool packet(const unsigned char* packet) {
        const std::optional<TsPacketInfo> info = readTsPacket(packet);
        if (!info) {
            return false;
        }
        PesLayout pes;
        if (info->payloadStart && info->hasPayload &&
            readPesLayout(packet + info->payloadAt,
                          kTsPacket - static_cast<size_t>(info->payloadAt),
                          &pes) == LayoutResult::Complete) {
            consider(packet + info->payloadAt, pes.ptsAt, pes.dtsAt, pes.streamId, info->pid);
        }
        return true;
    }
};

}  // namespace

PartAnchor findPartAnchor(MpegStreamKind kind, const PartReader& read) {
    if (kind != MpegStreamKind::Program && kind != MpegStreamKind::Transport) {
        return {};
    }
    constexpr size_t kWindow = 256 * 1024;
    const std::unique_ptr<unsigned char[]> kept(
        new unsigned char[kWindow + SeamlessJoin::kHoldLimit]);
    unsigned char* const buffer = kept.get();
    AnchorSearch search;
    ProgramStreamReader reader;
    size_t held = 0;
    bool damaged = false;
    while (!search.video.found && !damaged) {
        const size_t got = read(buffer + held, kWindow);
        const size_t size = held + got;
        size_t consumed = 0;
        if (kind == MpegStreamKind::Program) {
            consumed = reader.parse(buffer, size, search);
            damaged = !reader.damage().isEmpty();
        } else {
            for (; consumed + kTsPacket <= size && !search.video.found; consumed += kTsPacket) {
                if (!search.packet(buffer + consumed)) {
                    damaged = true;
                    break;
                }
            }
        }
        held = size - consumed;
        if (got == 0 || held > SeamlessJoin::kHoldLimit) {
            break;
        }
        std::memmove(buffer, buffer + consumed, held);
    }
    return search.video.found ? search.video : search.any;
}

void SeamlessJoin::beginPart(bool last, const PartAnchor& anchor) {
    ++m_part;
    m_lastPart = last;
    // A part moves so that its anchor comes one frame after the previous part's last;
    // one without a timestamp to line it up by keeps the previous part's shift.
    if (m_part > 0 && anchor.found && m_anchorSeen) {
        m_offset = timestampDistance(shiftedTimestamp(m_lastAnchor, lastFrameEnd()), anchor.value);
    }
    m_anchorStream = anchor.found ? anchor.stream : -1;
    m_startWindow = 0xFFFFFFFF;
    m_reader = ProgramStreamReader();
    m_partPosition = 0;
    m_damage.clear();
    for (Continuity& pid : m_continuity) {
        pid.settled = false;
    }
}

SeamlessJoin::Step SeamlessJoin::process(unsigned char* data, size_t size, bool endOfPart) {
    m_endCodes.clear();
    Step step{size, size};
    switch (m_kind) {
        case MpegStreamKind::Program:
            step = processProgram(data, size, endOfPart);
            break;
        case MpegStreamKind::Transport:
            step = processTransport(data, size, endOfPart);
            break;
        case MpegStreamKind::Elementary:
            step = processElementary(data, size, endOfPart);
            break;
        case MpegStreamKind::None:
            break;
    }
    m_partPosition += step.consumed;
    return step;
}

// From the last timestamped decode time to the end of the last picture.
qint64 SeamlessJoin::lastFrameEnd() const {
    const double frame = m_frameDuration > 0 ? m_frameDuration
                         : m_frameTicks > 0  ? static_cast<double>(m_frameTicks)
                                             : static_cast<double>(kDefaultFrameTicks);
    return static_cast<qint64>(std::llround(frame * static_cast<double>(m_picturesAfter + 1)));
}

// Picture start codes (00 00 01 00) and the first sequence header's frame rate, read
// across payload pieces through a window of the last four bytes.
void SeamlessJoin::scanAnchorPayload(const unsigned char* data, size_t size) {
    // The rate code is the fourth byte after the header's start code, read as
    // soon as it is there: maybe in a later piece of payload, which m_rateCodeIn counts
    // to (1 = the next piece's first byte).
    if (m_rateCodeIn > 0 && m_rateCodeIn <= size) {
        m_frameDuration = frameTicksForRateCode(data[m_rateCodeIn - 1] & 0x0F);
        m_rateCodeIn = 0;
    } else if (m_rateCodeIn > 0) {
        m_rateCodeIn -= size;
    }
    const auto take = [this, data, size](size_t at) {
        m_startWindow = (m_startWindow << 8) | data[at];
        if (m_startWindow == 0x00000100) {
            if (m_timestampedPicturePending) {
                m_timestampedPicturePending = false;
            } else {
                ++m_picturesAfter;
            }
        } else if (m_startWindow == 0x000001B3 && m_frameDuration == 0 && m_rateCodeIn == 0) {
            if (at + 4 < size) {
                m_frameDuration = frameTicksForRateCode(data[at + 4] & 0x0F);
            } else {
                m_rateCodeIn = at + 5 - size;
            }
        }
    };
    size_t at = 0;
    for (; at < size && at < 4; ++at) {
        take(at);
    }
    while (at < size) {
        const auto* one = static_cast<const unsigned char*>(std::memchr(data + at, 1, size - at));
        if (one == nullptr) {
            break;
        }
        const size_t hit = static_cast<size_t>(one - data);
        // The window needs the three bytes before the 01 and the code after it.
        for (at = std::max(at, hit - 3); at <= hit + 1 && at < size; ++at) {
            take(at);
        }
    }
    // The window holds the last four bytes, also those the search skipped (a shorter
    // piece went through it byte by byte above).
    for (size_t from = size >= 4 ? size - 4 : size; from < size; ++from) {
        m_startWindow = (m_startWindow << 8) | data[from];
    }
}

void SeamlessJoin::noteAnchor(quint64 decodeTime) {
    if (m_anchorSeen) {
        const qint64 step = timestampDistance(decodeTime, m_lastAnchor);
        if (step > 0 && (m_frameTicks == 0 || step < m_frameTicks)) {
            m_frameTicks = step;
        }
        if (step <= 0) {
            return;  // an earlier frame decoded later: the latest stays
        }
    }
    m_lastAnchor = decodeTime;
    m_anchorSeen = true;
    m_picturesAfter = 0;
    m_timestampedPicturePending = true;
}

void SeamlessJoin::shiftPes(unsigned char* at, int ptsAt, int dtsAt, int stream) {
    for (const int field : {ptsAt, dtsAt}) {
        if (field >= 0) {
            writePtsField(at + field, shiftedTimestamp(readPtsField(at + field), m_offset));
        }
    }
    if (ptsAt >= 0 && stream == m_anchorStream) {
        noteAnchor(readPtsField(at + (dtsAt >= 0 ? dtsAt : ptsAt)));
    }
}

size_t SeamlessJoin::dropEndCodes(unsigned char* data, size_t size, size_t codeSize) {
    size_t kept = m_endCodes.empty() ? size : m_endCodes.front();
    for (size_t i = 0; i < m_endCodes.size(); ++i) {
        const size_t from = m_endCodes[i] + codeSize;
        const size_t to = i + 1 < m_endCodes.size() ? m_endCodes[i + 1] : size;
        std::memmove(data + kept, data + from, to - from);
        kept += to - from;
    }
    return kept;
}

SeamlessJoin::Step SeamlessJoin::processProgram(unsigned char* data, size_t size, bool endOfPart) {
    struct Rewriter {
        SeamlessJoin& join;
        void unit(const PsUnit& unit) {
            switch (unit.kind) {
                case PsUnit::Pack:
                    if (join.m_offset != 0) {
                        unsigned char* scr = unit.at + unit.timestampAt;
                        if (unit.mpeg2) {
                            writeScr2Base(scr, shiftedTimestamp(readScr2Base(scr), join.m_offset));
                        } else {
                            writePtsField(scr, shiftedTimestamp(readPtsField(scr), join.m_offset));
                        }
                    }
                    break;
                case PsUnit::Pes:
                    join.shiftPes(unit.at, unit.timestampAt, unit.dtsAt, unit.streamId);
                    break;
                case PsUnit::EndCode:
                    if (!join.m_lastPart) {
                        join.m_endCodes.push_back(static_cast<size_t>(unit.at - start));
                    }
                    break;
                default:
                    break;
            }
        }
        void payload(const unsigned char* data, size_t size, quint64, int stream) {
            if (stream == join.m_anchorStream && isVideoStreamId(stream)) {
                join.scanAnchorPayload(data, size);
            }
        }
        const unsigned char* start;
    } rewriter{*this, data};
    size_t consumed = m_reader.parse(data, size, rewriter);
    if (m_damage.isEmpty()) {
        m_damage = m_reader.damage();
    }
    if (!m_reader.damage().isEmpty() || endOfPart) {
        consumed = size;  // past damage, and a cut-off tail at the end, bytes pass as they are
    }
    return {dropEndCodes(data, consumed, 4), consumed};
}

void SeamlessJoin::rewriteTsPacket(unsigned char* packet, const TsPacketInfo& info) {
    if (info.pcrAt >= 0 && m_offset != 0) {
        unsigned char* pcr = packet + info.pcrAt;
        writePcrBase(pcr, shiftedTimestamp(readPcrBase(pcr), m_offset));
    }
    if (info.payloadStart && info.hasPayload) {
        PesLayout pes;
        const size_t room = kTsPacket - static_cast<size_t>(info.payloadAt);
        if (readPesLayout(packet + info.payloadAt, room, &pes) == LayoutResult::Complete) {
            shiftPes(packet + info.payloadAt, pes.ptsAt, pes.dtsAt, info.pid);
        }
    }
    // Each program's packets count on from where the previous part left them.
    if (info.pid == 0x1FFF) {
        return;
    }
    Continuity& pid = m_continuity[static_cast<size_t>(info.pid)];
    if (!pid.settled) {
        pid.correction =
            pid.seen ? (pid.last + (info.hasPayload ? 1 : 0) - info.continuity) & 15 : 0;
        pid.settled = true;
    }
    const int counted = (info.continuity + pid.correction) & 15;
    packet[3] = static_cast<unsigned char>((packet[3] & 0xF0) | counted);
    pid.last = counted;
    pid.seen = true;
}

SeamlessJoin::Step SeamlessJoin::processTransport(unsigned char* data, size_t size,
                                                  bool endOfPart) {
    const size_t whole = size - size % kTsPacket;
    for (size_t at = 0; at < whole; at += kTsPacket) {
        const std::optional<TsPacketInfo> info =
            m_damage.isEmpty() ? readTsPacket(data + at) : std::nullopt;
        if (!info) {
            if (m_damage.isEmpty()) {
                m_damage = QStringLiteral(
                               "damaged transport stream at byte %1: no sync byte "
                               "where a packet should begin")
                               .arg(m_partPosition + at);
            }
            break;
        }
        rewriteTsPacket(data + at, *info);
    }
    const size_t consumed = endOfPart ? size : whole;
    return {consumed, consumed};
}

// A video elementary stream has no clock: the sequence end codes between parts go, so
// that a player reads one sequence.
SeamlessJoin::Step SeamlessJoin::processElementary(unsigned char* data, size_t size,
                                                   bool endOfPart) {
    size_t consumed = endOfPart ? size : (size > 3 ? size - 3 : 0);
    if (!m_lastPart) {
        size_t from = 0;
        while (const std::optional<size_t> end = findStartCode(data, size, from, 0xB7)) {
            if (*end + 4 > consumed) {
                consumed = std::min(consumed, *end);
                break;
            }
            m_endCodes.push_back(*end);
            from = *end + 4;
        }
    }
    // A code that starts in the held-back bytes is looked at again next time.
    return {dropEndCodes(data, consumed, 4), consumed};
}
