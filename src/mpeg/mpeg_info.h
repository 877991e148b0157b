#pragma once

#include <QString>

#include <optional>

class File64;

// What the MPEG information panel and its summary box show of a file.
struct MpegInfo {
    QString path;
    QString sizeText;  // "352x240 (pxls)"
    QString rateText;  // "25 fps"
    QString width, height, rate;

    // The "More Info..." box; duration and frames describe the file in the preview.
    QString summaryText(const QString& durationText, const QString& framesText) const;
};

// Inspects `path`; nothing when it has no sequence header or cannot be read.
std::optional<MpegInfo> ShowMpegInfo(const QString& path, File64& files);

// Seconds as "hh:mm:ss:ff" with sixtieths of a second: 83.5 gives "00:01:23:30".
QString durationText(double seconds);

// The same from a seconds text formatted "#.###" (".5", "83.5", "60.").
QString durationTextFromSeconds(const QString& secondsText);

// Seconds formatted "#.###": at most three decimals, no leading zero, a trailing "."
// for a whole number.
QString secondsText(double seconds);
