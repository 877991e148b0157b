#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <array>
#include <cstddef>
#include <functional>
#include <vector>

#include "fileio/chunk_transfer.h"
#include "formats/mpeg2/mpeg_stream.h"

// The timestamp a part of a seamless join is lined up by: the first decode time of its
// first video stream, or, in a part without video (a radio recording), of its first
// stream with a timestamp. `stream` is the PES stream id in a program stream and the
// PID in a transport stream.
struct PartAnchor {
    bool found = false;
    int stream = -1;
    quint64 value = 0;
};

// Reads a part from its start into `data` (at most `size` bytes); 0 at its end.
using PartReader = std::function<size_t(unsigned char* data, size_t size)>;

// Looks for a part's anchor however far in it lies: reads until its first video
// timestamp (or to the end, where it has none).
PartAnchor findPartAnchor(MpegStreamKind kind, const PartReader& read);

// Turns the parts of a join into one continuous MPEG stream while their bytes pass
// through the job's buffer: every later part's SCR, PTS and DTS (PCR and continuity
// counters in a transport stream) move by one amount so that its anchor follows the
// previous part's last frame, and end codes inside the output go (one stays at the very
// end). No other byte changes, and the output does not depend on the chunk sizes.
class SeamlessJoin {
public:
    explicit SeamlessJoin(MpegStreamKind kind) : m_kind(kind) {}

    // Before the first byte of each part; `last` for the final one. The anchor comes
    // from findPartAnchor on the same part.
    void beginPart(bool last, const PartAnchor& anchor);

    // The bytes data[0..ready) are rewritten and may be written; of the given bytes the
    // first `consumed` are done with, the caller keeps the rest for next time.
    using Step = ChunkTransfer::Rewritten;
    // Works on data[0..size), the bytes kept last time first. `endOfPart` when no more
    // bytes of this part follow.
    Step process(unsigned char* data, size_t size, bool endOfPart);

    // The most bytes a call may keep for the next: one unit header of a program stream
    // (a system header may be 64 KiB long).
    static constexpr size_t kHoldLimit = 128 * 1024;

    // Where and why the current part stopped parsing ("" while it did not): its bytes
    // from there on are copied unchanged.
    const QString& damage() const { return m_damage; }

private:
    Step processProgram(unsigned char* data, size_t size, bool endOfPart);
    Step processTransport(unsigned char* data, size_t size, bool endOfPart);
    Step processElementary(unsigned char* data, size_t size, bool endOfPart);
    void shiftPes(unsigned char* at, int ptsAt, int dtsAt, int stream);
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
    qint64 m_offset = 0;
    int m_anchorStream = -1;  // this part's anchor: stream id or PID
    bool m_anchorSeen = false;
    quint64 m_lastAnchor = 0;    // the latest shifted decode time of an anchor stream
    qint64 m_frameTicks = 0;     // its shortest step between two decode times
    double m_frameDuration = 0;  // from the video's sequence header, in ticks
    quint64 m_picturesAfter = 0;
    bool m_timestampedPicturePending = false;
    quint32 m_startWindow = 0xFFFFFFFF;  // the last bytes of anchor payload seen
    size_t m_rateCodeIn = 0;             // a sequence header's rate code is the n-th byte ahead
    ProgramStreamReader m_reader;
    quint64 m_partPosition = 0;      // bytes of the part done with
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
