#include "formats/mp4/mp4_traits.h"

#include <QCryptographicHash>

#include <cmath>

#include "fileio/file64.h"

namespace {

QString kindName(quint32 handler) {
    switch (handler) {
        case fourcc("vide"):
            return QStringLiteral("video");
        case fourcc("soun"):
            return QStringLiteral("audio");
        case fourcc("tmcd"):
            return QStringLiteral("timecode");
        case fourcc("text"):
        case fourcc("sbtl"):
        case fourcc("subt"):
            return QStringLiteral("subtitles");
        case fourcc("meta"):
            return QStringLiteral("metadata");
        default:
            return fourccText(handler);
    }
}

// The first box of `type` anywhere below the sample description's fields.
QByteArray descendant(const QByteArray& bytes, quint64 from, quint64 to, quint32 type,
                      int depth = 0) {
    const BoxList list = boxesIn(bytes, from, to);
    for (const Box& box : list.boxes) {
        if (box.type == type) {
            return bytes.mid(static_cast<qsizetype>(box.payloadOffset()),
                             static_cast<qsizetype>(box.payloadSize()));
        }
    }
    if (depth < 2) {
        for (const Box& box : list.boxes) {
            // QuickTime keeps the audio configuration in a 'wave' box.
            if (box.type == fourcc("wave")) {
                QByteArray found =
                    descendant(bytes, box.payloadOffset(), box.end(), type, depth + 1);
                if (!found.isEmpty()) {
                    return found;
                }
            }
        }
    }
    return {};
}

// Where a sample description's child boxes start: after its fixed fields, which for
// QuickTime sound descriptions of version 1 and 2 are longer.
quint64 childrenStart(const Mp4Track& track) {
    if (track.handler == fourcc("vide")) {
        return 8 + 78;
    }
    if (track.handler == fourcc("soun")) {
        ByteReader reader(track.sampleEntry);
        reader.skip(16);
        const quint16 version = reader.u16();
        return version == 1 ? 8 + 28 + 16 : version == 2 ? 8 + 28 + 36 : 8 + 28;
    }
    return 8 + 8;
}

QByteArray child(const Mp4Track& track, quint32 type) {
    return descendant(track.sampleEntry, childrenStart(track),
                      static_cast<quint64>(track.sampleEntry.size()), type);
}

// The decoder configuration of an MPEG-4 audio description: the object type and the
// decoder-specific bytes (the AudioSpecificConfig), without the bit rates around them.
QByteArray audioConfiguration(const QByteArray& esds) {
    ByteReader reader(esds);
    reader.skip(4);
    QByteArray configuration;
    while (!reader.failed() && reader.left() > 0) {
        const quint8 tag = reader.u8();
        quint32 length = 0;
        for (int i = 0; i < 4; ++i) {
            const quint8 byte = reader.u8();
            length = (length << 7) | (byte & 0x7F);
            if ((byte & 0x80) == 0) {
                break;
            }
        }
        if (tag == 0x03) {  // ES descriptor: id, flags and what they announce
            reader.skip(2);
            const quint8 flags = reader.u8();
            reader.skip((flags & 0x80) != 0 ? 2 : 0);
            reader.skip((flags & 0x40) != 0 ? reader.u8() : 0);
            reader.skip((flags & 0x20) != 0 ? 2 : 0);
        } else if (tag == 0x04) {  // decoder configuration: object type, then rates
            configuration.append(static_cast<char>(reader.u8()));
            reader.skip(12);
        } else if (tag == 0x05) {
            configuration.append(reader.bytes(length));
        } else {
            reader.skip(length);
        }
    }
    return configuration;
}

QString channelsText(quint16 channels) {
    switch (channels) {
        case 1:
            return QStringLiteral("mono");
        case 2:
            return QStringLiteral("stereo");
        case 6:
            return QStringLiteral("5.1");
        default:
            return QStringLiteral("%1 channels").arg(channels);
    }
}

QString rateText(quint32 rate) {
    return rate % 1000 == 0 ? QStringLiteral("%1 kHz").arg(rate / 1000)
                            : QStringLiteral("%1 kHz").arg(rate / 1000.0, 0, 'f', 1);
}

// The turn of a track's matrix in whole degrees.
int rotationOf(const QByteArray& matrix) {
    ByteReader reader(matrix);
    const double a = reader.s32() / 65536.0;
    const double b = reader.s32() / 65536.0;
    if (reader.failed()) {
        return 0;
    }
    const int degrees = static_cast<int>(std::lround(std::atan2(b, a) * 180.0 / M_PI));
    return (degrees + 360) % 360;
}

QString fingerprint(const QByteArray& bytes) {
    return QString::fromLatin1(
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(8));
}

void addTrackTraits(PartTraits& traits, const Mp4Track& track) {
    const QString kind = kindName(track.handler);
    traits.append({kind + QLatin1Char(' ') + codecName(track.codec),
                   QByteArray::number(track.handler) + ':' + QByteArray::number(track.codec)});
    if (track.handler == fourcc("vide")) {
        const QString size = QStringLiteral("%1x%2").arg(track.width).arg(track.height);
        traits.append({size, size.toUtf8()});
        for (const quint32 type :
             {fourcc("avcC"), fourcc("hvcC"), fourcc("av1C"), fourcc("vpcC"), fourcc("esds")}) {
            const QByteArray bytes = child(track, type);
            if (!bytes.isEmpty()) {
                traits.append(
                    {codecName(track.codec) + QStringLiteral(" settings ") + fingerprint(bytes),
                     bytes});
            }
        }
        const int rotation = rotationOf(track.matrix);
        traits.append({rotation == 0 ? QStringLiteral("not rotated")
                                     : QStringLiteral("rotated %1\u00b0").arg(rotation),
                       QByteArray::number(rotation)});
        const QByteArray colour = child(track, fourcc("colr"));
        const QByteArray aspect = child(track, fourcc("pasp"));
        traits.append({QStringLiteral("colour ") +
                           (colour.isEmpty() ? QStringLiteral("unset") : fingerprint(colour)),
                       colour});
        traits.append({QStringLiteral("pixel aspect ") +
                           (aspect.isEmpty() ? QStringLiteral("unset") : fingerprint(aspect)),
                       aspect});
    } else if (track.handler == fourcc("soun")) {
        const QString audio = codecName(track.codec) + QStringLiteral(", ") +
                              rateText(track.sampleRate) + QStringLiteral(", ") +
                              channelsText(track.channels);
        traits.append({audio, audio.toUtf8()});
        const QByteArray esds = child(track, fourcc("esds"));
        if (!esds.isEmpty()) {
            const QByteArray configuration = audioConfiguration(esds);
            traits.append(
                {codecName(track.codec) + QStringLiteral(" settings ") + fingerprint(configuration),
                 configuration});
        }
    }
}

}  // namespace

QString codecName(quint32 codec) {
    switch (codec) {
        case fourcc("avc1"):
        case fourcc("avc3"):
            return QStringLiteral("H.264");
        case fourcc("hvc1"):
        case fourcc("hev1"):
            return QStringLiteral("HEVC");
        case fourcc("av01"):
            return QStringLiteral("AV1");
        case fourcc("vp09"):
            return QStringLiteral("VP9");
        case fourcc("mp4v"):
            return QStringLiteral("MPEG-4 video");
        case fourcc("mp4a"):
            return QStringLiteral("AAC");
        case fourcc("ac-3"):
            return QStringLiteral("AC-3");
        case fourcc("ec-3"):
            return QStringLiteral("E-AC-3");
        case fourcc("Opus"):
            return QStringLiteral("Opus");
        case fourcc("fLaC"):
            return QStringLiteral("FLAC");
        case fourcc("tmcd"):
            return QStringLiteral("timecode");
        default:
            return fourccText(codec);
    }
}

PartTraits mp4Traits(const Mp4Movie& movie) {
    QStringList kinds;
    for (const Mp4Track& track : movie.tracks) {
        kinds.append(kindName(track.handler));
    }
    const QString layout = kinds.join(QStringLiteral(", "));
    PartTraits traits{partKind(QStringLiteral("MPEG-4")), {layout, layout.toUtf8()}};
    for (const Mp4Track& track : movie.tracks) {
        addTrackTraits(traits, track);
    }
    return traits;
}

std::optional<PartTraits> mpeg4Traits(File64& files, const QString& path, QString* problem) {
    QString why;
    const File64::OpenResult opened = files.OpenFile(path, File64::OpenMode::ReadOnly);
    if (!opened.ok()) {
        return std::nullopt;
    }
    const std::optional<Mp4Movie> movie = readMovie(files, opened.handle, GetFileLen(path), &why);
    files.CloseFile(opened.handle);
    if (problem != nullptr) {
        *problem = why;
    }
    return movie ? std::optional<PartTraits>(mp4Traits(*movie)) : std::nullopt;
}

QString traitsKey(const PartTraits& traits) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const PartTrait& trait : traits) {
        hash.addData(QByteArray::number(trait.key.size()) + ':' + trait.key);
    }
    return QString::fromLatin1(hash.result().toHex());
}
