#pragma once

#include <QSize>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

// The media back end as the preview sees it: a command text goes in, an answer text
// and an error code come out.
class MciCommandInterface {
public:
    virtual ~MciCommandInterface() = default;
    // 0 when the command succeeded, else an error code; `answer` gets the reply.
    virtual int sendString(const QString& command, QString* answer) = 0;
    // The back end's description of an error code.
    virtual QString errorString(int error) = 0;
};

// The preview's media commands: each builds its command text, sends it and turns the
// answer into a text ("Success" or the error description) or a number (-1 on error).
// Positions are frame numbers; the alias is the opened file's name for the back end.
class ModuleMultimedia {
public:
    explicit ModuleMultimedia(MciCommandInterface& mci) : m_mci(mci) {}

    // The outer size of a window (for MciPutWindow with a width or height of 0).
    std::function<QSize(quint64 window)> windowSize;

    QString MciOpen(quint64 window, const QString& alias, const QString& filePath,
                    const QString& deviceType);
    QString MciPlay(const QString& alias, QString from, QString to);
    QString MciClose(const QString& alias);
    QString MciPause(const QString& alias);
    QString MciStop(const QString& alias);
    QString MciResume(const QString& alias);
    QString MciSeekPlay(const QString& alias, qint64 frame);
    QString MciPutWindow(quint64 window, const QString& alias, const QString& left,
                         const QString& top, const QString& width, const QString& height);
    QString MciSetAudio(const QString& alias, const QString& channel, const QString& state);
    QString MciSetVolume(const QString& alias, const QString& channel, int volume);

    QString MciStatusMode(const QString& alias);
    qint64 MciLengthFrames(const QString& alias);
    qint64 MciLengthMs(const QString& alias);
    qint64 MciPosition(const QString& alias);
    qint64 MciSpeed(const QString& alias);
    qint64 MciDestinationSize(const QString& alias, const QString& which);
    qint64 MciPercentDone(const QString& alias);
    qint64 MciFramesPerSecond(const QString& alias);
    bool MciAtEnd(const QString& alias, qint64 length = 0);

private:
    QString act(const QString& command);
    // The answer of a query, or nothing when it failed.
    std::optional<QString> ask(const QString& command);
    qint64 number(const QString& command);

    MciCommandInterface& m_mci;
};

// The number a query answer stands for: read as a decimal number (blanks ignored, up
// to the first character that cannot belong to it), rounded half to even.
qint64 answerNumber(const QString& answer);
double answerValue(const QString& answer);
