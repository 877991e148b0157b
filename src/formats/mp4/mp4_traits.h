#pragma once

#include <optional>

#include "formats/mp4/mp4_movie.h"
#include "formats/part_traits.h"

// What MPEG-4 parts must share to be joined into one movie: the track layout (count and
// kinds in order), each track's codec and picture size, its configuration (avcC, hvcC,
// the audio's decoder configuration, sample rate and channels), rotation, colour and
// pixel aspect. Bit rates and other notes that differ from file to file do not count.
PartTraits mp4Traits(const Mp4Movie& movie);

// "H.264", "HEVC", "AAC", ... for a sample description's type.
QString codecName(quint32 codec);

// An MPEG-4 file's traits, read from its boxes through `files`; nothing, with why, when
// it is not a complete MPEG-4 file.
std::optional<PartTraits> mpeg4Traits(File64& files, const QString& path,
                                      QString* problem = nullptr);
// One text for all of them, as the compatibility check keeps it.
QString traitsKey(const PartTraits& traits);
