#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// Small text and path services shared by every job and dialog. Positions are
// 1-based; 0 means "not found". Comparisons are exact and case-sensitive.

// `searchString` with every occurrence of `findString` replaced by `replaceString`.
QString replaceall(QString searchString, const QString& findString, const QString& replaceString);

// Takes the item before the first `parser` off the front of `startStrg` and returns it.
// When `parser` does not occur, the whole text is the item and `startStrg` becomes empty.
QString StripItem(QString& startStrg, QChar parser);

// Measures the rendered width of a text, in twips. The windows pass one that uses
// their label font; tests pass their own.
using TextWidthFn = std::function<int(const QString&)>;

// Fits `path` into `maxLength` twips: unchanged when it fits, else a front part, ".../"
// and the last path element, or, when that element alone is too wide, a front part
// followed by "...". A path without a "/" that does not fit gives `unfitting`.
QString fitPathToWidth(const QString& path, int maxLength, const TextWidthFn& width,
                       const QString& unfitting = QString());

// A stored folder made fit for a folder list: without a trailing "/", the root as "/"
// (also when it was stored as the empty text).
QString withoutTrailingSlashes(const QString& path);

// Directory + "/" + name, never doubling the separator (the root stays "/").
QString joinPath(const QString& directory, const QString& name);

// The folder part of a path up to and including its last "/" ("" without one).
QString folderPart(const QString& path);

// The part of a path after its last "/".
QString namePart(const QString& path);

// A byte count as the messages show it ("#,###" in the user's locale; 0 gives "").
QString sizeText(quint64 bytes);

// A version "major.minor.revision" as the caption shows it: major, ".", then minor and
// revision with no separator ("0.1.0" gives "0.10", "2.0.5" gives "2.05").
QString captionVersion(const QString& version);

// The errno text of the platform.
QString errorText(int error);

// The text of the generic report of an unexpected failure.
QString unexpectedErrorText(int number, const QString& description);
