#include "formats/format_probe.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "platform/native_path.h"
#include "platform/whole_file.h"

namespace {

constexpr unsigned char kTsSyncByte = 0x47;

bool beginsWithStartCode(const unsigned char* at) {
    return at[0] == 0 && at[1] == 0 && at[2] == 1;
}

// The boxes a movie file may start with.
constexpr std::array<const char*, 6> kLeadingBoxes = {"ftyp", "moov", "wide",
                                                      "mdat", "free", "skip"};

}  // namespace

MpegStreamKind detectStreamKind(const char* data, size_t size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    if (size >= 2 * kTsPacket + 1 && bytes[0] == kTsSyncByte && bytes[kTsPacket] == kTsSyncByte &&
        bytes[2 * kTsPacket] == kTsSyncByte) {
        return MpegStreamKind::Transport;
    }
    if (size >= 4 && beginsWithStartCode(bytes)) {
        if (bytes[3] == 0xBA) {
            return MpegStreamKind::Program;
        }
        if (bytes[3] == 0xB3) {
            return MpegStreamKind::Elementary;
        }
    }
    return MpegStreamKind::None;
}

QString streamKindText(MpegStreamKind kind) {
    switch (kind) {
        case MpegStreamKind::Program:
            return QStringLiteral("an MPEG program stream");
        case MpegStreamKind::Elementary:
            return QStringLiteral("an MPEG video elementary stream");
        case MpegStreamKind::Transport:
            return QStringLiteral("an MPEG transport stream");
        case MpegStreamKind::None:
            break;
    }
    return QStringLiteral("not an MPEG stream");
}

bool looksLikeMp4(const char* head, quint64 size) {
    if (size < 8) {
        return false;
    }
    const char* type = head + 4;  // after the box's 32-bit size
    return std::any_of(kLeadingBoxes.begin(), kLeadingBoxes.end(),
                       [type](const char* box) { return std::memcmp(type, box, 4) == 0; });
}

bool isMpeg4File(const QString& path) {
    const int fd = openExistingRegularFile(nativePath(path));
    if (fd < 0) {
        return false;
    }
    char head[16] = {};
    ssize_t got = 0;
    do {
        got = ::read(fd, head, sizeof head);
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    return got > 0 && looksLikeMp4(head, static_cast<quint64>(got));
}
