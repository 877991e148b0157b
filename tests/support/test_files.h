#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <initializer_list>

// Throwaway files for tests.

// A case that writes gigabytes or tens of thousands of files runs only in its own CTest
// entry (label "slow", on tmpfs when there is room), which sets ZARVO_SLOW.
#define ZARVO_SLOW_CASE()                                     \
    do {                                                      \
        if (qEnvironmentVariableIsEmpty("ZARVO_SLOW")) {      \
            QSKIP("a slow case: its own test entry runs it"); \
        }                                                     \
    } while (false)

// Plain ASCII texts as a list (argument lists, names).
QStringList texts(std::initializer_list<const char*> items);

// Writes `bytes` to `path` (creating folders) and returns the path.
QString writeFile(const QString& path, const QByteArray& bytes);

// An empty folder at `path`: whatever stood there is removed first. Returns the path.
QString freshFolder(const QString& path);

// A file of `size` bytes whose content depends on `seed` and the position.
QString writePatternFile(const QString& path, quint64 size, int seed);

QByteArray readFile(const QString& path);

// A sparse file of `size` bytes with a few marker bytes; false when the disk refuses.
bool writeSparseFile(const QString& path, quint64 size);

// Runs a shell command; true when it exits 0.
bool runShell(const QString& command);

// Runs the event loop until `done` holds or `ms` pass; whether it holds.
bool waitUntil(const std::function<bool()>& done, int ms = 60000);

// chattr +i / -i: a file nobody, root included, can write or delete.
bool setImmutable(const QString& path, bool on);

// An MPEG-1 program stream of `seconds` made by ffmpeg; false when ffmpeg is missing.
bool makeMpegClip(const QString& path, const QString& size = QStringLiteral("352x240"),
                  int rate = 25, int seconds = 2);

// Bytes with a sequence header at `offset`: 00 00 01 B3 then `fields`, in `length` bytes
// of filler that holds no start code.
QByteArray mpegBytes(qsizetype length, qsizetype offset, const QByteArray& fields);

// Points the user's settings, data and home folders into `folder` and formats numbers
// as in en_US, so a test neither reads nor changes the real user's files.
void useThrowawayUserFolders(const QString& folder);

// The program named by an environment variable that CTest sets ("ZARVO_CLI",
// "ZARVO_APP"); a test run without it stops at once and says which variable to set.
QString programFromEnvironment(const char* variable);
QString cliProgram();
QString appProgram();

// Compares the settings store with what a first start in `folder` leaves there, written
// out as literals; `x` and `y` are the pack list position ("" for any number). Returns
// "" when all agree, else the first difference.
QString firstStartMismatch(const QString& folder, const QString& x, const QString& y);

// A value of the user's settings file as another reader sees it, and a write of one.
QString storedValue(const QString& name, const QString& fallback = QString());
QString storedValueIn(const QString& key, const QString& name);
void storeValue(const QString& name, const QString& text);

// What a run of zarvo-cli (the program named by $ZARVO_CLI) ended with.
struct CliResult {
    int status = -1;
    QString errorOutput;
};

// Runs zarvo-cli with `arguments`, without a terminal, in `folder` when given.
CliResult runCliProgram(const QStringList& arguments, const QString& folder = QString());
