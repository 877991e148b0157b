#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <functional>
#include <optional>

// What FFmpeg's libraries read of MPEG-4 files (MP4, MOV, M4V, M4A, 3GP), and the
// packet-by-packet join for what the fast join does not take. The libraries live in a
// module of their own, loaded on first use, so that no job pays for them at start-up.

struct MediaStream {
    enum class Kind { Video, Audio, Other } kind = Kind::Other;
    QString codec;  // "H.264 High", "AAC LC"
    int width = 0;  // video
    int height = 0;
    double frameRate = 0;  // frames a second, 0 when unknown
    qint64 frames = 0;     // 0 when the file does not say
    int sampleRate = 0;    // audio
    QString channels;      // "stereo", "mono", "5.1(side)"
    int rotation = 0;      // degrees clockwise a player turns the picture
};

struct MediaDescription {
    double duration = 0;  // seconds
    QList<MediaStream> streams;
};

// Reads the part for a join: bytes done so far; returns false to stop.
using RemuxProgress = std::function<bool(quint64 bytesRead)>;

// The parts of a join, each opened only when the join reaches it, so that a join of
// thousands of parts holds one of them open at a time.
struct RemuxParts {
    size_t count = 0;
    // The descriptor of part `index`, open for reading; -1 when it cannot be opened
    // (the caller has said why).
    std::function<int(size_t index)> open;
    // The join is done with a descriptor that `open` gave.
    std::function<void(int fd)> close;
};

class MediaModule {
public:
    virtual ~MediaModule() = default;

    // Describes the MPEG-4 file open at `fd` (read from its start, through the file
    // descriptor only: no name is ever read as a protocol). Nothing, with why, when the
    // MP4/MOV reader cannot read it; FFmpeg's own reason, when it gave one, follows in
    // brackets. FFmpeg's log never reaches the terminal.
    virtual std::optional<MediaDescription> describe(int fd, QString* problem) = 0;

    enum class RemuxResult { Done, Failed, Stopped };
    // Joins `parts` into the empty file open at `output`, packet by packet, each part's
    // timestamps following the part before; `container` is "mp4" or "mov". Each part
    // is read through its descriptor only, and handed back before the next is asked
    // for. The index comes at the end. A failure's `problem` is as describe's.
    virtual RemuxResult remux(const RemuxParts& parts, int output, const char* container,
                              const RemuxProgress& progress, QString* problem) = 0;
};

// The module, loaded once; nullptr with why when it cannot be loaded.
MediaModule* mediaModule(QString* problem = nullptr);
