#include "formats/mpeg2/clean_cut.h"

#include "fileio/file64.h"

namespace {

constexpr quint64 kHeadBytes = 256 * 1024;
constexpr quint64 kWindow = 1024 * 1024;
constexpr int kSequenceExtension = 0xB5;

const unsigned char* bytesOf(const QByteArray& data) {
    return reinterpret_cast<const unsigned char*>(data.constData());
}

// The sequence header at `at` with its extensions: up to the next other start code.
QByteArray sequenceHeaderBlock(const unsigned char* data, size_t size, size_t at) {
    for (size_t from = at + 4; from + 3 < size;) {
        const std::optional<size_t> code = findStartCode(data, size, from, -1);
        if (!code) {
            break;
        }
        if (data[*code + 3] != kSequenceExtension) {
            return QByteArray(reinterpret_cast<const char*>(data + at),
                              static_cast<qsizetype>(*code - at));
        }
        from = *code + 4;
    }
    return {};
}

// The first start code in data[from..size) and its code, or nothing.
std::optional<std::pair<size_t, int>> firstStartCode(const unsigned char* data, size_t size,
                                                     size_t from) {
    const std::optional<size_t> at = findStartCode(data, size, from, -1);
    if (!at) {
        return std::nullopt;
    }
    return std::pair{*at, static_cast<int>(data[*at + 3])};
}

bool startsPictureGroup(int code) {
    return code == 0xB3 || code == 0xB8;
}

// Program-specific information: a PAT or PMT section, as far as one packet holds it.
// Byte offsets count from the table id; every read is checked against the section's
// length, and against the packet's end where the section goes on in the next packet.
namespace psi {
constexpr int kTableId = 0;
constexpr int kSectionLength = 1;          // 12 bits, bytes 1 and 2
constexpr int kTableHeader = 8;            // PAT: the program loop starts here
constexpr int kCrcBytes = 4;               // closes every section
constexpr int kPatEntryBytes = 4;          // program number (2), PID (2)
constexpr int kPmtProgramInfoLength = 10;  // 12 bits, bytes 10 and 11
constexpr int kPmtLoop = 12;               // descriptors, then the stream loop
constexpr int kPmtEntryHeader = 5;         // stream type (1), PID (2), descriptor length (2)
constexpr int kPatId = 0x00;
constexpr int kPmtId = 0x02;
}  // namespace psi

class PsiSection {
public:
    // The section after the pointer field of a packet that starts one; empty otherwise.
    PsiSection(const unsigned char* packet, const TsPacketInfo& info) {
        const int at = info.payloadAt;
        if (!info.payloadStart || !info.hasPayload || at >= static_cast<int>(kTsPacket)) {
            return;
        }
        const int table = at + 1 + packet[at];
        m_data = packet + table;
        m_length = static_cast<int>(kTsPacket) - table;  // what the packet holds of it
        const std::optional<int> declared = twelveBits(psi::kSectionLength);
        m_length = declared ? std::min(*declared + 3, m_length) : 0;
    }

    // The byte at `at`, when the section holds it.
    std::optional<int> byte(int at) const {
        return at >= 0 && at < m_length ? std::optional<int>(m_data[at]) : std::nullopt;
    }
    // A 12-bit length or a 13-bit PID over the two bytes at `at`.
    std::optional<int> twelveBits(int at) const { return field(at, 0x0F); }
    std::optional<int> pid(int at) const { return field(at, 0x1F); }
    std::optional<int> sixteenBits(int at) const { return field(at, 0xFF); }
    // Where the CRC starts: entries end before it.
    int entriesEnd() const { return m_length - psi::kCrcBytes; }

private:
    std::optional<int> field(int at, int highMask) const {
        const std::optional<int> high = byte(at);
        const std::optional<int> low = byte(at + 1);
        if (!high || !low) {
            return std::nullopt;
        }
        return ((*high & highMask) << 8) | *low;
    }

    const unsigned char* m_data = nullptr;
    int m_length = 0;
};

// The PID of the first program's map in a PAT (program number 0 is the network's).
std::optional<int> firstProgramMapPid(const PsiSection& pat) {
    if (pat.byte(psi::kTableId) != psi::kPatId) {
        return std::nullopt;
    }
    for (int entry = psi::kTableHeader; entry + psi::kPatEntryBytes <= pat.entriesEnd();
         entry += psi::kPatEntryBytes) {
        const std::optional<int> program = pat.sixteenBits(entry);
        if (program && *program != 0) {
            return pat.pid(entry + 2);
        }
    }
    return std::nullopt;
}

// The PID of the first MPEG-1 or MPEG-2 video stream a PMT lists.
std::optional<int> firstVideoPid(const PsiSection& pmt) {
    const std::optional<int> programInfo = pmt.twelveBits(psi::kPmtProgramInfoLength);
    if (pmt.byte(psi::kTableId) != psi::kPmtId || !programInfo) {
        return std::nullopt;
    }
    for (int entry = psi::kPmtLoop + *programInfo;
         entry + psi::kPmtEntryHeader <= pmt.entriesEnd();) {
        const std::optional<int> type = pmt.byte(entry);
        const std::optional<int> descriptors = pmt.twelveBits(entry + 3);
        if (!type || !descriptors) {
            break;
        }
        if (*type == 0x01 || *type == 0x02) {
            return pmt.pid(entry + 1);
        }
        entry += psi::kPmtEntryHeader + *descriptors;
    }
    return std::nullopt;
}

}  // namespace

std::optional<CleanCutFinder> CleanCutFinder::open(File64& files, int handle, quint64 length) {
    CleanCutFinder finder(files, handle, length);
    if (!finder.readStreamHeaders()) {
        return std::nullopt;
    }
    return finder;
}

QByteArray CleanCutFinder::readAt(quint64 offset, quint64 bytes) {
    if (offset >= m_length) {
        return {};
    }
    // The copy reads on from where it stands, so the look leaves the position as it was.
    const std::optional<quint64> here = m_files.position(m_handle);
    if (!here) {
        return {};
    }
    QByteArray data(static_cast<qsizetype>(std::min(bytes, m_length - offset)), '\0');
    int error = 0;
    quint64 got = 0;
    if (m_files.seekTo(m_handle, offset)) {
        got = m_files.GetBytes(m_handle, data.data(), static_cast<quint64>(data.size()), &error);
    }
    if (!m_files.seekTo(m_handle, *here)) {
        return {};
    }
    data.truncate(static_cast<qsizetype>(got));
    return data;
}

bool CleanCutFinder::readStreamHeaders() {
    QByteArray head = readAt(0, kHeadBytes);
    unsigned char* data = reinterpret_cast<unsigned char*>(head.data());
    const auto size = static_cast<size_t>(head.size());
    m_kind = detectStreamKind(head.constData(), size);
    switch (m_kind) {
        case MpegStreamKind::Elementary:
            m_sequenceHeader = sequenceHeaderBlock(data, size, 0);
            return !m_sequenceHeader.isEmpty();
        case MpegStreamKind::Program: {
            struct Headers {
                CleanCutFinder& finder;
                const unsigned char* start;
                size_t prefixEnd = 0;
                bool pastPrefix = false;
                void unit(const PsUnit& unit) {
                    const bool prefixUnit = unit.kind == PsUnit::Pack
                                                ? unit.offset == 0
                                                : unit.kind == PsUnit::SystemHeader;
                    if (prefixUnit && !pastPrefix) {
                        prefixEnd = static_cast<size_t>(unit.offset + unit.headerSize);
                    } else {
                        pastPrefix = true;
                    }
                    if (unit.kind == PsUnit::Pes && finder.m_videoStream < 0 &&
                        isVideoStreamId(unit.streamId)) {
                        finder.m_videoStream = unit.streamId;
                    }
                }
                void payload(const unsigned char* data, size_t size, quint64, int stream) {
                    if (stream != finder.m_videoStream || !finder.m_sequenceHeader.isEmpty()) {
                        return;
                    }
                    if (const std::optional<size_t> at = findStartCode(data, size, 0, 0xB3)) {
                        finder.m_sequenceHeader = sequenceHeaderBlock(data, size, *at);
                    }
                }
            } headers{*this, data};
            ProgramStreamReader reader;
            reader.parse(data, size, headers);
            m_prefix = head.left(static_cast<qsizetype>(headers.prefixEnd));
            return m_videoStream >= 0 && !m_prefix.isEmpty();
        }
        case MpegStreamKind::Transport:
            return readTransportTables(head);
        case MpegStreamKind::None:
            break;
    }
    return false;
}

// The first PAT, then the PMT it points to; the pieces start with copies of their packets.
bool CleanCutFinder::readTransportTables(const QByteArray& head) {
    const auto* data = reinterpret_cast<const unsigned char*>(head.constData());
    const auto size = static_cast<size_t>(head.size());
    std::optional<int> pmtPid;
    QByteArray pat;
    QByteArray pmt;
    for (size_t at = 0; at + kTsPacket <= size && pmt.isEmpty(); at += kTsPacket) {
        const std::optional<TsPacketInfo> info = readTsPacket(data + at);
        if (!info) {
            continue;
        }
        const PsiSection section(data + at, *info);
        const QByteArray packet = head.mid(static_cast<qsizetype>(at), kTsPacket);
        if (info->pid == 0 && !pmtPid) {
            pmtPid = firstProgramMapPid(section);
            pat = pmtPid ? packet : QByteArray();
        } else if (pmtPid && info->pid == *pmtPid) {
            if (const std::optional<int> video = firstVideoPid(section)) {
                m_videoPid = *video;
                pmt = packet;
            }
        }
    }
    m_prefix = pat + pmt;
    return m_videoPid >= 0 && !pmt.isEmpty();
}

std::optional<CleanCut> CleanCutFinder::cutAt(quint64 offset, const QByteArray& pesHeader,
                                              quint64 skipped, bool addSequenceHeader,
                                              bool keepTimestamps) const {
    QByteArray pes = pesHeader;
    const quint64 length = (quint64{static_cast<unsigned char>(pes.at(4))} << 8) |
                           static_cast<unsigned char>(pes.at(5));
    if (skipped + pes.size() - 6 > length) {
        return std::nullopt;
    }
    const quint64 payload = length - (pes.size() - 6) - skipped;
    if (!keepTimestamps) {
        // The PES's timestamp belongs to a picture before the cut: the piece's first
        // packet goes without one, and the player takes the time from the next.
        const bool mpeg2 = (static_cast<unsigned char>(pes.at(6)) >> 6) == 2;
        pes = pes.left(6) + (mpeg2 ? QByteArray("\x80\x00\x00", 3) : QByteArray("\x0F", 1));
    }
    const QByteArray sequence = addSequenceHeader ? m_sequenceHeader : QByteArray();
    const quint64 kept = payload + static_cast<quint64>(pes.size() - 6 + sequence.size());
    if (kept > 0xFFFF) {
        return std::nullopt;
    }
    pes[4] = static_cast<char>(kept >> 8);
    pes[5] = static_cast<char>(kept & 0xFF);
    return CleanCut{offset, m_prefix + pes + sequence};
}

std::optional<CleanCut> CleanCutFinder::next(quint64 from) {
    switch (m_kind) {
        case MpegStreamKind::Program:
            return nextInProgram(from);
        case MpegStreamKind::Transport:
            return nextInTransport(from);
        case MpegStreamKind::Elementary:
            return nextInElementary(from);
        case MpegStreamKind::None:
            break;
    }
    return std::nullopt;
}

// Windows overlap by three bytes, so that no start code falls between two of them.
std::optional<CleanCut> CleanCutFinder::nextInElementary(quint64 from) {
    for (quint64 at = from; at < m_length; at += kWindow - 3) {
        const QByteArray window = readAt(at, kWindow);
        const std::optional<size_t> group =
            findPictureGroup(bytesOf(window), static_cast<size_t>(window.size()));
        if (group) {
            const bool sequence = window.at(static_cast<qsizetype>(*group) + 3) == '\xB3';
            return CleanCut{at + *group, sequence ? QByteArray() : m_sequenceHeader};
        }
        if (static_cast<quint64>(window.size()) < kWindow) {
            break;
        }
    }
    return std::nullopt;
}

// The video PES that starts a picture group at the start of its payload.
std::optional<CleanCut> CleanCutFinder::nextInTransport(quint64 from) {
    const quint64 first = (from + kTsPacket - 1) / kTsPacket * kTsPacket;
    const quint64 windowBytes = kWindow / kTsPacket * kTsPacket;
    for (quint64 at = first; at < m_length; at += windowBytes) {
        const QByteArray window = readAt(at, windowBytes);
        const unsigned char* data = bytesOf(window);
        for (size_t packet = 0; packet + kTsPacket <= static_cast<size_t>(window.size());
             packet += kTsPacket) {
            const std::optional<TsPacketInfo> info = readTsPacket(data + packet);
            if (!info || info->pid != m_videoPid || !info->payloadStart || !info->hasPayload) {
                continue;
            }
            const unsigned char* payload = data + packet + info->payloadAt;
            const size_t room = kTsPacket - static_cast<size_t>(info->payloadAt);
            PesLayout pes;
            if (readPesLayout(payload, room, &pes) != LayoutResult::Complete) {
                continue;
            }
            const auto code = firstStartCode(payload, room, pes.headerSize);
            if (code && startsPictureGroup(code->second)) {
                return CleanCut{at + packet, m_prefix};
            }
        }
        if (static_cast<quint64>(window.size()) < windowBytes) {
            break;
        }
    }
    return std::nullopt;
}

// A pack start: its start code, a pack header of either kind, and a start code after it.
std::optional<quint64> CleanCutFinder::nextPackStart(quint64 from) {
    for (quint64 at = from; at < m_length; at += kWindow - 32) {
        const QByteArray window = readAt(at, kWindow);
        const unsigned char* data = bytesOf(window);
        const auto size = static_cast<size_t>(window.size());
        for (size_t pack = 0;;) {
            const std::optional<size_t> hit = findStartCode(data, size, pack, 0xBA);
            if (!hit || *hit + 14 > size) {
                break;
            }
            const bool mpeg2 = (data[*hit + 4] >> 6) == 1;
            const size_t header = mpeg2 ? 14 + (data[*hit + 13] & 7u) : 12;
            if ((mpeg2 || (data[*hit + 4] >> 4) == 2) && *hit + header + 3 < size &&
                data[*hit + header] == 0 && data[*hit + header + 1] == 0 &&
                data[*hit + header + 2] == 1) {
                return at + *hit;
            }
            pack = *hit + 4;
        }
        if (size < kWindow) {
            break;
        }
    }
    return std::nullopt;
}

// A picture group start inside the payload of a video PES that no earlier picture
// starts in (so that the PES's timestamp is the group's first picture's). The piece
// starts at the group; its header is the stream's first pack and system header and a
// copy of that PES's header whose length counts only the bytes from the group on.
std::optional<CleanCut> CleanCutFinder::nextInProgram(quint64 from) {
    // From a pack far enough back that the PES holding `from` is read whole.
    constexpr quint64 kLargestPes = 6 + 0xFFFF;
    std::optional<quint64> pack = nextPackStart(from > kLargestPes ? from - kLargestPes : 0);
    while (pack && *pack < m_length) {
        QByteArray window = readAt(*pack, kWindow);
        struct Search {
            CleanCutFinder& finder;
            quint64 base;
            quint64 from;
            quint64 lastPack = 0;
            QByteArray pesHeader;
            quint64 payloadStart = 0;
            bool pictureSeen = false;
            std::optional<CleanCut> found;
            void unit(const PsUnit& unit) {
                if (unit.kind == PsUnit::Pack) {
                    lastPack = base + unit.offset;
                } else if (unit.kind == PsUnit::Pes && unit.streamId == finder.m_videoStream) {
                    pesHeader = QByteArray(reinterpret_cast<const char*>(unit.at),
                                           static_cast<qsizetype>(unit.headerSize));
                    payloadStart = base + unit.offset + unit.headerSize;
                    pictureSeen = false;
                }
            }
            void payload(const unsigned char* data, size_t size, quint64 offset, int stream) {
                if (found || stream != finder.m_videoStream || pesHeader.isEmpty()) {
                    return;
                }
                for (size_t at = 0;;) {
                    const auto code = firstStartCode(data, size, at);
                    if (!code) {
                        return;
                    }
                    const quint64 where = base + offset + code->first;
                    if (startsPictureGroup(code->second) && where >= from) {
                        found = finder.cutAt(where, pesHeader, where - payloadStart,
                                             code->second == 0xB8, !pictureSeen);
                        return;
                    }
                    pictureSeen = pictureSeen || code->second == 0x00;
                    at = code->first + 4;
                }
            }
        } search{*this, *pack, from, 0, {}, 0, false, {}};
        ProgramStreamReader reader;
        reader.parse(reinterpret_cast<unsigned char*>(window.data()),
                     static_cast<size_t>(window.size()), search);
        if (search.found) {
            return search.found;
        }
        if (static_cast<quint64>(window.size()) < kWindow) {
            break;
        }
        // Again from the last pack whose packets the window may have cut off.
        pack = search.lastPack > *pack ? std::optional<quint64>(search.lastPack)
                                       : nextPackStart(*pack + kWindow / 2);
    }
    return std::nullopt;
}
