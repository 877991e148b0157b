#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>

// Which format a file is in, told from its first bytes: an MPEG-4 or QuickTime movie,
// or an MPEG-1/2 program, transport or video elementary stream. Both kinds of format
// code, and the jobs that choose between them, ask here.

enum class MpegStreamKind { None, Program, Elementary, Transport };

constexpr size_t kTsPacket = 188;

// The kind of stream that starts with these bytes (the first few hundred of a file).
MpegStreamKind detectStreamKind(const char* data, size_t size);
QString streamKindText(MpegStreamKind kind);

// True when these first bytes of a file are an MPEG-4 or QuickTime box.
bool looksLikeMp4(const char* head, quint64 size);

// The same, read from the file (never created, never waited on when it is a FIFO).
bool isMpeg4File(const QString& path);
