#include "formats/mpeg_compatibility.h"

#include <optional>

#include "formats/format_probe.h"
#include "formats/mp4/mp4_traits.h"
#include "formats/mpeg2/mpeg_header.h"

void MpegCompatibility::reset() {
    m_paths.clear();
    m_traits.clear();
    Mcheck_Lst.clear();
    MpegCompatible = true;
    MpegValid = true;
    MpegIgnoreErrors = false;
}

// An MPEG-4 part is known by its container; any other by its first sequence header.
FormatFinding MpegCompatibility::CheckMpegCompatibility(const QString& path, File64& files) {
    std::optional<PartTraits> traits;
    QString key;
    if (isMpeg4File(path)) {
        traits = mpeg4Traits(files, path);
        key = traits ? traitsKey(*traits) : QString();
    } else if (const std::optional<SequenceHeader> header = readSequenceHeader(files, path)) {
        traits = mpegVideoTraits(header->width, header->height, header->rateText());
        key = header->key();
    }
    if (!traits) {
        MpegValid = false;
        return {FormatFinding::Kind::NotValid, path, {}};
    }
    m_paths.append(path);
    m_traits.append(*traits);
    if (Mcheck_Lst.isEmpty()) {
        Mcheck_Lst.append(key);
    } else if (Mcheck_Lst.first() != key) {
        MpegCompatible = false;
        return {FormatFinding::Kind::Mismatched, path, differenceLine()};
    }
    return {FormatFinding::Kind::Valid, path, {}};
}

QString MpegCompatibility::differenceLine() const {
    return ::differenceLine(m_paths, m_traits);
}
