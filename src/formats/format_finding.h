#pragma once

#include <QString>

// What a look at a file found. Format code never speaks to the user: it returns one of
// these, and the job's command decides what to tell or ask.
struct FormatFinding {
    enum class Kind {
        Valid,           // nothing to tell
        NotValid,        // `path` is neither an MPEG-1/2 video nor a whole MPEG-4 file
        Mismatched,      // `path` differs from the first part; `difference` says how
        HeaderNotFound,  // `path` has no sequence header to put in front of EMH pieces
        Unreadable,      // `path` could not be read; the large-file class has said why
    };
    Kind kind = Kind::Valid;
    QString path;
    QString difference;  // "b.mpg: 352x288 25 fps; a.mpg: 352x240 25 fps"

    bool valid() const { return kind == Kind::Valid; }
};
