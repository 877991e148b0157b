#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <cstddef>
#include <vector>

#include "fileio/chunk_transfer.h"
#include "mpeg/mpeg_stream.h"

// Turns the parts of a join into one continuous MPEG stream while their bytes pass
// through the job's buffer: every later part's SCR, PTS and DTS (PCR and continuity
// counters in a transport stream) move so that its first decoded frame follows the
// previous part's last one, and end codes inside the output go (one stays at the very
// end). No other byte changes.
class SeamlessJoin {
public:
    explicit SeamlessJoin(MpegStreamKind kind) : m_kind(kind) {}

    // Before the first byte of each part; `last` for the final one.
    void beginPart(bool last);

    // The bytes data[0..ready) are rewritten and may be written; of the given bytes the
    // first `consumed` are done with, the caller keeps the rest for next time.
    using Step = ChunkTransfer::Rewritten;
    // Works on data[0..size), the bytes kept last time first. `endOfPart` when no more
    // bytes of this part follow.
    Step process(unsigned char* data, size_t size, bool endOfPart);

    // How much a part may be read ahead to find its first timestamp.
    static constexpr size_t kLookahead = 1024 * 1024;

    // Set when a part stopped parsing: its bytes from there on are copied unchanged.
    const QString& damage() const { return m_damage; }

private:
    struct Anchor {
        bool found = false;
        quint64 value = 0;
    };

    Step processProgram(unsigned char* data, size_t size, bool endOfPart);
    Step processTransport(unsigned char* data, size_t size, bool endOfPart);
    Step processElementary(unsigned char* data, size_t size, bool endOfPart);
    // Decides this part's shift from its first anchor timestamp; false to wait for more.
    bool settleOffset(const Anchor& first, bool mayWait);
    void shiftPes(unsigned char* at, int ptsAt, int dtsAt, int streamId);
    void noteAnchor(quint64 decodeTime);
    // Pictures of the anchor video that start after its last timestamped one (a PES
    // timestamps only the first picture that starts in it), and its frame rate.
    void scanAnchorPayload(const unsigned char* data, size_t size);
    qint64 lastFrameEnd() const;
    size_t dropEndCodes(unsigned char* data, size_t size, size_t codeSize);
    void rewriteTsPacket(unsigned char* packet, const TsPacketInfo& info);

    MpegStreamKind m_kind;
    int m_part = -1;
    bool m_lastPart = false;
    bool m_offsetKnown = false;
    qint64 m_offset = 0;
    int m_anchorStream = -1;  // the stream whose decode times line the parts up
    bool m_anchorSeen = false;
    quint64 m_lastAnchor = 0;    // the latest shifted decode time of the anchor stream
    qint64 m_frameTicks = 0;     // its shortest step between two decode times
    double m_frameDuration = 0;  // from the video's sequence header, in ticks
    quint64 m_picturesAfter = 0;
    bool m_timestampedPicturePending = false;
    quint32 m_startWindow = 0xFFFFFFFF;  // the last bytes of anchor payload seen
    ProgramStreamReader m_reader;
    std::vector<size_t> m_endCodes;  // end codes to drop, found in the current step
    struct Continuity {
        bool seen = false;
        bool settled = false;  // this part's correction is known
        int last = 0;
        int correction = 0;
    };
    std::array<Continuity, 8192> m_continuity{};
    QString m_damage;
};
