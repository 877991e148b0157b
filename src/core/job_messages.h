#pragma once

#include <QString>

class JobHost;

// Texts that several jobs show, written once.

inline const QString kPackingAbortedByUser = QStringLiteral("Packing aborted by user");
inline const QString kUnpackingAbortedByUser = QStringLiteral("Unpacking aborted by user");
inline const QString kPackingAborted = QStringLiteral(" Packing aborted!");
inline const QString kUnpackingAborted = QStringLiteral(" Unpacking aborted!");

// "'PATH' was not found!"
QString notFoundText(const QString& path);

// No handle is left for `path` (EMFILE, ENFILE): `verb` is "pack" or "unpack".
bool isTooManyFiles(int error);
QString tooManyFilesText(const QString& verb, const QString& path);

// The line after a cancel that says what stays on the disk: an unfinished output or
// piece, or (`whole`) a finished result whose next step was cancelled.
QString keptFileLine(const QString& path, quint64 bytes, bool whole = false);
// `text`, then `line` on a line of its own when there is one.
QString withLine(const QString& text, const QString& line);

// "Error reading 'PATH': REASON." and "Error writing 'PATH': REASON."
QString readErrorText(const QString& path, const QString& reason);
QString writeErrorText(const QString& path, const QString& reason);

// Asks "Cannot overwrite 'PATH'. Disk full/write-protected or file is in use." with
// Retry and Cancel; true when the user answers Retry.
bool askRetryOverwrite(JobHost& host, const QString& path);
