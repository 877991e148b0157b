#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// What FFmpeg's tools say of a media file, for tests that check joins and splits the
// way a player would see them.

// What ffprobe prints for `what` (its options before the file), trimmed.
QString probe(const QString& file, const QStringList& what);
// The first value ffprobe prints for each of `entries` ("format=format_name:stream=duration"),
// by field name, from one call; `what` comes before them (a stream choice, an interval).
QMap<QString, QString> probeFields(const QString& file, const QString& entries,
                                   const QStringList& what = {});
// The file's duration in seconds, or a stream's ("v:0", "a:0").
double probedDuration(const QString& file, const QString& stream = QString());
// Where the last packet of a stream ends, in seconds.
double streamEnd(const QString& file, const QString& stream);
// The lines a full decode prints at level "error".
QString decodeErrors(const QString& file);
// The MD5 of the picture shown `seconds` after the file's start (a seek: for streams
// whose key frames are all whole pictures).
QByteArray pictureAt(const QString& file, double seconds);
// The MD5 of every picture of the first video, decoded from the start.
QList<QByteArray> decodedFrames(const QString& file);
// Runs ffmpeg with `arguments` (quietly, overwriting); true when it exits 0.
bool ffmpeg(const QString& arguments);
