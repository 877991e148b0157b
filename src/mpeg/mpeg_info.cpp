#include "mpeg/mpeg_info.h"

#include <cmath>

#include "mpeg/mpeg_header.h"

QString MpegInfo::summaryText(const QString& duration, const QString& frames) const {
    const QString lineBreak = QStringLiteral("\r\n");
    return QStringLiteral("Filename: ") + path + lineBreak + QStringLiteral("Duration: ") +
           duration + QStringLiteral(" secs") + lineBreak + QStringLiteral("Total Frames: ") +
           frames + QStringLiteral(" frames") + lineBreak + QStringLiteral("Video Rate: ") + rate +
           QStringLiteral(" fps") + lineBreak + QStringLiteral("Video Size: ") + width +
           QLatin1Char('x') + height + QStringLiteral(" (pixels)");
}

std::optional<MpegInfo> ShowMpegInfo(const QString& path, File64& files) {
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
