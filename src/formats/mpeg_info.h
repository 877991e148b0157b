#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class File64;

// What the MPEG information panel and its summary box show of a file.
struct MpegInfo {
    QString path;
    QString sizeText;  // "352x240 (pxls)"
    QString rateText;  // "25 fps"
    QString width, height, rate;
    // An MPEG-4 file also knows its own length and codecs.
    bool mpeg4 = false;
    double seconds = 0;
    QString frames;
    quint64 bytes = 0;
    QStringList codecLines;  // "Video: H.264 High", "Audio: AAC LC, 48 kHz, stereo"

    // The "More Info..." box; for an MPEG-1/2 file, duration and frames describe the
    // file in the preview.
    QString summaryText(const QString& durationText, const QString& framesText) const;
};

// Inspects `path`: an MPEG-4 file by its container, any other by its first sequence
// header. Nothing when it is neither or cannot be read.
std::optional<MpegInfo> ShowMpegInfo(const QString& path, File64& files);

// A frame rate as plain text: "29.97", "25", "23.976".
QString plainRateText(double rate);

// Seconds as "hh:mm:ss:ff" with sixtieths of a second: 83.5 gives "00:01:23:30".
QString durationText(double seconds);

// The same from a seconds text formatted "#.###" (".5", "83.5", "60.").
QString durationTextFromSeconds(const QString& secondsText);

// Seconds formatted "#.###": at most three decimals, no leading zero, a trailing "."
// for a whole number.
QString secondsText(double seconds);
