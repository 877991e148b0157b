#pragma once

#include <QString>
#include <QStringList>

class JobHost;

// The user's lines that every join batch file echoes first, kept in "cstmp.ctd" in the
// user's data folder.

inline const QString kDefaultStampingLine =
    QStringLiteral("Files unpacked by Tarvik Zarvo Pro (r).");
constexpr int kStampingCapacity = 640;

QString stampingFilePath();

struct StampingTexts {
    QStringList batchLines;  // "@echo text" or "@echo." per line of the file
    QString editorText;      // the lines from the first non-empty one on, CR LF between
};

// Reads the file, creating it with the default line when it is missing. A failure
// shows the unexpected-error report and keeps the lines read so far.
StampingTexts LoadCopyrightDataFromFile(JobHost& host);

// The batch line of one stamping text.
QString stampingBatchLine(const QString& line);

// "Note: Copyright text can hold another 12 characters." for an editor text length.
QString stampingRemainingNote(int textLength);

// Writes the editor text followed by one CR LF; false (with a report) on failure.
bool saveCopyrightText(const QString& text, JobHost& host);
