#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

// Paths as the file system holds them: bytes, mostly UTF-8. A name that is not valid
// UTF-8 keeps each stray byte as the code point U+DC80..U+DCFF in its QString, so it
// comes back byte for byte and such a file is read and written like any other.
QByteArray nativePath(const QString& path);
QString fromNativePath(const QByteArray& bytes);

// A file URL that carries the path's own bytes, and the path back from one (drags and
// drops: a name that is not valid UTF-8 survives the trip).
QUrl fileUrlOf(const QString& path);
QString pathOfFileUrl(const QUrl& url);

// `name` as a person can read it: each stray byte shown as U+FFFD.
QString readableName(const QString& name);

// `path` made absolute against the working folder and cleaned, by text alone (Qt's own
// would pass the name through a lossy conversion).
QString absolutePathOf(const QString& path);

// The names in `folder` (files and folders, hidden ones too, without "." and "..").
QStringList entryNames(const QString& folder);

// File-system questions asked with the path's own bytes (links followed).
bool pathExists(const QString& path);
bool isDirectory(const QString& path);
bool isRegularFile(const QString& path);
bool isReadableRegularFile(const QString& path);
