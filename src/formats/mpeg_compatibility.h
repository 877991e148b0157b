#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "formats/format_finding.h"
#include "formats/part_traits.h"

class File64;

// The compatibility check that packing runs on every input: the first file's key is
// kept, later files must match it. MPEG-1/2 files are compared by their first sequence
// header, MPEG-4 files by their tracks.
class MpegCompatibility {
public:
    void reset();
    // NotValid for a file that is neither (the check sets MpegValid false), Mismatched
    // for one that differs from the first file (MpegCompatible false), else Valid.
    FormatFinding CheckMpegCompatibility(const QString& path, File64& files);
    // The line naming the first file that differs from the first, and how.
    QString differenceLine() const;

    QStringList Mcheck_Lst;
    bool MpegCompatible = true;
    bool MpegValid = true;
    // Set by the caller once the user chose to go on in spite of a finding.
    bool MpegIgnoreErrors = false;

private:
    QStringList m_paths;
    QList<PartTraits> m_traits;
};
