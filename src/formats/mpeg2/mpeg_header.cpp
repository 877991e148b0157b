#include "formats/mpeg2/mpeg_header.h"

#include <algorithm>
#include <array>
#include <vector>

#include <QFileInfo>

#include "fileio/file64.h"
#include "platform/native_path.h"

namespace {

constexpr std::array<char, 4> kStartCode = {'\x00', '\x00', '\x01', '\xB3'};

// Reads `count` bytes at the handle's position; empty when the file holds fewer.
QByteArray readExactly(File64& files, int handle, quint64 count) {
    QByteArray bytes(static_cast<qsizetype>(count), Qt::Uninitialized);
    if (files.GetBytes(handle, bytes.data(), count) != count) {
        return QByteArray();
    }
    return bytes;
}

bool isReadableFile(const QString& path) {
    return isReadableRegularFile(path);
}

}  // namespace

std::optional<quint64> findSequenceHeader(File64& files, int handle, quint64 size) {
    // The last three bytes of a block go in front of the next, so that a start code
    // across a block boundary is found at its true offset.
    std::vector<char> window(kMpegSearchBlock + 3);
    quint64 carried = 0;
    for (quint64 blockStart = 0; blockStart < size; blockStart += kMpegSearchBlock) {
        const quint64 length = std::min(kMpegSearchBlock, size - blockStart);
        const quint64 got = files.GetBytes(handle, window.data() + carried, length);
        const quint64 filled = carried + got;
        const auto end = window.begin() + static_cast<std::ptrdiff_t>(filled);
        const auto hit = std::search(window.begin(), end, kStartCode.begin(), kStartCode.end());
        if (hit != end) {
            return blockStart - carried + static_cast<quint64>(hit - window.begin());
        }
        if (got < length) {
            return std::nullopt;
        }
        carried = std::min<quint64>(3, filled);
        std::copy(end - static_cast<std::ptrdiff_t>(carried), end, window.begin());
    }
    return std::nullopt;
}

SequenceHeader SequenceHeader::decode(const QByteArray& fourBytes) {
    const auto byte = [&](int i) { return static_cast<quint8>(fourBytes.at(i)); };
    SequenceHeader header;
    header.width = (byte(0) << 4) | (byte(1) >> 4);
    header.height = ((byte(1) & 0x0F) << 8) | byte(2);
    header.rateCode = byte(3) & 0x0F;
    return header;
}

bool SequenceHeader::isValid() const {
    return width > 0 && height > 0 && rateCode >= 1 && rateCode <= 8;
}

QString SequenceHeader::rateText() const {
    return frameRateText(rateCode);
}

QString SequenceHeader::key() const {
    return QString::number(width) + QLatin1Char(',') + QString::number(height) + QLatin1Char(',') +
           rateText();
}

QString frameRateText(int code) {
    static const std::array<const char*, 9> rates = {"",   "23.976", "24",    "25", "29.97",
                                                     "30", "50",     "59.94", "60"};
    if (code >= 1 && code <= 8) {
        return QLatin1String(rates.at(static_cast<size_t>(code)));
    }
    return QString::number(code);
}

std::optional<SequenceHeader> readSequenceHeader(File64& files, const QString& path,
                                                 quint64* offset) {
    if (!isReadableFile(path)) {
        return std::nullopt;  // an open would create a missing file
    }
    const quint64 size = GetFileLen(path);
    const int handle = files.OpenFile(path, File64::OpenMode::ReadOnly).handle;
    if (handle == -1) {
        return std::nullopt;
    }
    const std::optional<quint64> start = findSequenceHeader(files, handle, size);
    QByteArray fields;
    if (start) {
        files.seekTo(handle, *start + 4);
        fields = readExactly(files, handle, 4);
    }
    files.CloseFile(handle);
    if (fields.isEmpty()) {
        return std::nullopt;
    }
    const SequenceHeader header = SequenceHeader::decode(fields);
    if (!header.isValid()) {
        return std::nullopt;  // no picture, or a frame rate the standard forbids
    }
    if (offset != nullptr) {
        *offset = *start;
    }
    return header;
}

MpegHeaderRead readMpegHeader(const QString& sourcePath, File64& files) {
    const auto unreadable = [&sourcePath] {
        return MpegHeaderRead{std::nullopt, {FormatFinding::Kind::Unreadable, sourcePath, {}}};
    };
    if (!isReadableFile(sourcePath)) {
        return unreadable();
    }
    const quint64 size = GetFileLen(sourcePath);
    const int handle = files.OpenFile(sourcePath, File64::OpenMode::ReadOnly).handle;
    if (handle == -1) {
        return unreadable();
    }
    const std::optional<quint64> start = findSequenceHeader(files, handle, size);
    if (!start) {
        files.CloseFile(handle);
        return {std::nullopt, {FormatFinding::Kind::HeaderNotFound, sourcePath, {}}};
    }
    // A short source gives a short header: never bytes the source does not hold.
    const quint64 length = std::min(*start + kMpegHeaderTail, size);
    files.seekTo(handle, 0);
    QByteArray bytes = readExactly(files, handle, length);
    files.CloseFile(handle);
    if (bytes.isEmpty()) {
        return unreadable();  // the source could not be read back
    }
    return {std::move(bytes), {FormatFinding::Kind::Valid, sourcePath, {}}};
}
