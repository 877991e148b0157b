#include "formats/mpeg_info.h"

#include <cmath>

#include <unistd.h>

#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "formats/format_probe.h"
#include "formats/mp4/mp4_movie.h"
#include "formats/mpeg2/mpeg_header.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"
#include "plugins/ffmpeg/media_module.h"

QString MpegInfo::summaryText(const QString& duration, const QString& frameCount) const {
    const QString lineBreak = QStringLiteral("\r\n");
    QString text = QStringLiteral("Filename: ") + path + lineBreak + QStringLiteral("Duration: ") +
                   (mpeg4 ? durationText(seconds) : duration) + QStringLiteral(" secs") +
                   lineBreak + QStringLiteral("Total Frames: ") + (mpeg4 ? frames : frameCount) +
                   QStringLiteral(" frames") + lineBreak + QStringLiteral("Video Rate: ") + rate +
                   QStringLiteral(" fps") + lineBreak + QStringLiteral("Video Size: ") + width +
                   QLatin1Char('x') + height + QStringLiteral(" (pixels)");
    if (mpeg4) {
        text += lineBreak + QStringLiteral("File Size: ") + ::sizeText(bytes) +
                QStringLiteral(" bytes");
        for (const QString& line : codecLines) {
            text += lineBreak + line;
        }
    }
    return text;
}

QString plainRateText(double rate) {
    QString text = QString::number(std::round(rate * 1000.0) / 1000.0, 'f', 3);
    while (text.endsWith(QLatin1Char('0'))) {
        text.chop(1);
    }
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    return text;
}

namespace {

QString audioLine(const MediaStream& stream) {
    QString line = stream.codec;
    if (stream.sampleRate > 0) {
        line += QStringLiteral(", ") + plainRateText(stream.sampleRate / 1000.0) +
                QStringLiteral(" kHz");
    }
    if (!stream.channels.isEmpty()) {
        line += QStringLiteral(", ") + stream.channels;
    }
    return line;
}

// What FFmpeg's MP4/MOV reader finds: the first video's size and rate, and every
// stream's codec.
std::optional<MpegInfo> describeMpeg4(const QString& path, int fd) {
    MediaModule* module = mediaModule();
    QString problem;
    const std::optional<MediaDescription> description =
        module != nullptr ? module->describe(fd, &problem) : std::nullopt;
    if (!description) {
        return std::nullopt;
    }
    MpegInfo info;
    info.path = path;
    info.mpeg4 = true;
    info.seconds = description->duration;
    info.bytes = GetFileLen(path);
    bool pictureKnown = false;
    for (const MediaStream& stream : description->streams) {
        if (stream.kind == MediaStream::Kind::Video) {
            QString line = QStringLiteral("Video: ") + stream.codec;
            if (stream.rotation != 0) {
                line += QStringLiteral(", rotated %1\u00b0").arg(stream.rotation);
            }
            info.codecLines.append(line);
            if (!pictureKnown) {
                pictureKnown = true;
                info.width = QString::number(stream.width);
                info.height = QString::number(stream.height);
                info.rate = plainRateText(stream.frameRate);
                info.frames = QString::number(stream.frames);
            }
        } else if (stream.kind == MediaStream::Kind::Audio) {
            info.codecLines.append(QStringLiteral("Audio: ") + audioLine(stream));
        } else {
            info.codecLines.append(QStringLiteral("Other: ") + stream.codec);
        }
    }
    if (!pictureKnown) {
        info.width = info.height = info.rate = QStringLiteral("0");
        info.frames = QStringLiteral("0");
    }
    info.sizeText = info.width + QLatin1Char('x') + info.height + QStringLiteral(" (pxls)");
    info.rateText = info.rate + QStringLiteral(" fps");
    return info;
}

}  // namespace

std::optional<MpegInfo> ShowMpegInfo(const QString& path, File64& files) {
    // Looking never makes a file, and a FIFO is never waited on.
    const int fd = openExistingRegularFile(nativePath(path));
    if (fd < 0) {
        return std::nullopt;
    }
    char head[16] = {};
    const ssize_t got = ::read(fd, head, sizeof head);
    if (got > 0 && looksLikeMp4(head, static_cast<quint64>(got))) {
        std::optional<MpegInfo> info = describeMpeg4(path, fd);
        ::close(fd);
        return info;
    }
    ::close(fd);
    const std::optional<SequenceHeader> header = readSequenceHeader(files, path);
    if (!header) {
        return std::nullopt;
    }
    MpegInfo info;
    info.path = path;
    info.width = QString::number(header->width);
    info.height = QString::number(header->height);
    info.rate = header->rateText();
    info.sizeText = info.width + QLatin1Char('x') + info.height + QStringLiteral(" (pxls)");
    info.rateText = info.rate + QStringLiteral(" fps");
    return info;
}

QString secondsText(double seconds) {
    QString text = QString::number(std::round(seconds * 1000.0) / 1000.0, 'f', 3);
    while (text.endsWith(QLatin1Char('0'))) {
        text.chop(1);
    }
    if (text.startsWith(QStringLiteral("0."))) {
        text.remove(0, 1);
    }
    return text;
}

QString durationTextFromSeconds(const QString& secondsText) {
    const qsizetype dot = secondsText.indexOf(QLatin1Char('.'));
    const QString whole = dot < 0 ? secondsText : secondsText.left(dot);
    const QString fraction = dot < 0 ? QString() : secondsText.mid(dot + 1);
    const qint64 w = whole.toLongLong();
    const auto twoDigits = [](qint64 value) {
        return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
    };
    const qint64 sixtieths = std::llround((QStringLiteral("0.") + fraction).toDouble() * 60.0);
    const qint64 secs = w % 60;
    const qint64 minutes = ((w - secs) / 60) % 60;
    const qint64 hours = (w - w % 3600) / 3600;
    return twoDigits(hours) + QLatin1Char(':') + twoDigits(minutes) + QLatin1Char(':') +
           twoDigits(secs) + QLatin1Char(':') + twoDigits(sixtieths);
}

QString durationText(double seconds) {
    return durationTextFromSeconds(secondsText(seconds));
}
