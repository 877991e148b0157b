#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What a part of a join must share with the first part, and how to say how two parts
// differ: "clip2.mp4: 1280x720; clip1.mp4: 1920x1080".

struct PartTrait {
    QString shown;   // "1920x1080", "H.264", "AAC, 48 kHz, stereo"
    QByteArray key;  // what is compared (the configuration bytes, where they matter)
    bool operator==(const PartTrait& other) const { return key == other.key; }
};
using PartTraits = QList<PartTrait>;

// The one line that names the first part differing from the first part, and how: the
// first trait in which they differ, each part's value after its file name. "" when all
// parts agree.
QString differenceLine(const QStringList& paths, const QList<PartTraits>& traits);

// Every part's traits start with its kind ("MPEG-1/2", "MPEG-4"), so that parts of
// two kinds are told apart by that alone.
PartTrait partKind(const QString& kind);

// An MPEG-1/2 video's traits: its kind, and "352x288 25 fps".
PartTraits mpegVideoTraits(int width, int height, const QString& rate);
