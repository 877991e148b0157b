#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/types.h>

// Writes `data` as the whole new content of `path`: a temporary file in the same folder,
// renamed over the name. A link or other non-regular file planted at the name is
// replaced, never followed, and a failed write leaves the old file as it was.
// `mode` 0 gives the usual permissions (0666 less the umask). False with the system's
// reason in `error` when the file cannot be written.
bool replaceWholeFile(const QString& path, const QByteArray& data, QString* error, mode_t mode = 0);

// Makes `folder` and any folders above it that are missing; false with the system's
// reason and the folder that could not be made.
bool makeFolders(const QString& folder, QString* failedFolder, QString* reason);

// What stands at `path` without following a link: missing, a regular file, a link,
// a directory, a device, or some other kind of file (FIFO, socket).
enum class PathKind { Missing, Regular, Link, Directory, Device, Other };
PathKind pathKind(const QString& path);

// Opens an existing regular file read-only by the name's own bytes. A FIFO, device or
// folder is refused at once, never waited on or read for ever: -1 with errno then.
int openExistingRegularFile(const QByteArray& name);
// `fd` (opened with O_NONBLOCK) when it is a regular file, made blocking; otherwise it is
// closed and -1 returned with errno.
int regularFileOnly(int fd);

// The whole content of a small regular file; nothing, with the reason, when it cannot
// be read or holds more than `maxBytes`.
std::optional<QByteArray> readSmallFile(const QString& path, quint64 maxBytes, QString* error);
