#include "preview/module_multimedia.h"

#include "core/units.h"

#include <QSize>

#include <cmath>
#include <optional>

namespace {

constexpr qsizetype kOpenLimit = 255;
constexpr qsizetype kCommandLimit = 128;
constexpr qsizetype kAnswerLimit = 127;  // a 128-character buffer ends in a NUL
const QString kSuccess = QStringLiteral("Success");

// A command built into a fixed buffer keeps what fits.
QString cut(const QString& command, qsizetype limit) {
    return command.left(limit - 1);
}

// A path as one word of a command: quoted, with its quotes and backslashes escaped.
QString quotedPath(QString path) {
    path.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    path.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + path + QLatin1Char('"');
}

}  // namespace

double answerValue(const QString& answer) {
    QString digits;
    bool dot = false;
    for (const QChar c : answer) {
        if (c.isSpace()) {
            continue;
        }
        const bool sign = (c == QLatin1Char('-') || c == QLatin1Char('+')) && digits.isEmpty();
        if (sign || c.isDigit()) {
            digits += c;
        } else if (c == QLatin1Char('.') && !dot) {
            dot = true;
            digits += c;
        } else {
            break;
        }
    }
    bool ok = false;
    const double value = digits.toDouble(&ok);
    return ok ? value : 0.0;
}

qint64 answerNumber(const QString& answer) {
    return roundHalfEven(answerValue(answer));
}

QString ModuleMultimedia::act(const QString& command) {
    QString answer;
    const int error = m_mci.sendString(command, &answer);
    return error == 0 ? kSuccess : m_mci.errorString(error).left(kAnswerLimit);
}

std::optional<QString> ModuleMultimedia::ask(const QString& command) {
    QString answer;
    if (m_mci.sendString(command, &answer) != 0) {
        return std::nullopt;
    }
    answer = answer.left(kAnswerLimit);
    const qsizetype nul = answer.indexOf(QChar(0));
    return nul < 0 ? answer : answer.left(nul);
}

qint64 ModuleMultimedia::number(const QString& command) {
    const std::optional<QString> answer = ask(command);
    return answer ? answerNumber(*answer) : -1;
}

QString ModuleMultimedia::MciOpen(quint64 window, const QString& alias, const QString& filePath,
                                  const QString& deviceType) {
    // Quoted rather than shortened: a Linux path has no 8.3 form.
    return act(cut(QStringLiteral("open ") + quotedPath(filePath) + QStringLiteral(" type ") +
                       deviceType + QStringLiteral(" Alias ") + alias + QStringLiteral(" parent ") +
                       QString::number(window) + QStringLiteral(" Style ") +
                       QString::number(0x40000000),
                   kOpenLimit));
}

QString ModuleMultimedia::MciPlay(const QString& alias, QString from, QString to) {
    if (from.isEmpty()) {
        from = QStringLiteral("0");
    }
    if (to.isEmpty()) {
        to = QString::number(MciLengthFrames(alias));
    }
    return act(cut(QStringLiteral("play ") + alias + QStringLiteral(" from ") + from +
                       QStringLiteral(" to ") + to,
                   kCommandLimit));
}

QString ModuleMultimedia::MciClose(const QString& alias) {
    return act(QStringLiteral("Close ") + alias);
}

QString ModuleMultimedia::MciPause(const QString& alias) {
    return act(QStringLiteral("Pause ") + alias);
}

QString ModuleMultimedia::MciStop(const QString& alias) {
    return act(QStringLiteral("Stop ") + alias);
}

QString ModuleMultimedia::MciResume(const QString& alias) {
    return act(QStringLiteral("Resume ") + alias);
}

QString ModuleMultimedia::MciSeekPlay(const QString& alias, qint64 frame) {
    QString result =
        act(QStringLiteral("seek ") + alias + QStringLiteral(" to ") + QString::number(frame));
    act(QStringLiteral("Play ") + alias);
    return result;
}

QString ModuleMultimedia::MciPutWindow(quint64 window, const QString& alias, const QString& left,
                                       const QString& top, const QString& width,
                                       const QString& height) {
    QString w = width;
    QString h = height;
    if ((answerNumber(w) == 0 || answerNumber(h) == 0) && windowSize) {
        const QSize outer = windowSize(window);
        w = QString::number(outer.width());
        h = QString::number(outer.height());
    }
    return act(QStringLiteral("put ") + alias + QStringLiteral(" window at ") + left +
               QLatin1Char(' ') + top + QLatin1Char(' ') + w + QLatin1Char(' ') + h);
}

QString ModuleMultimedia::MciSetAudio(const QString& alias, const QString& channel,
                                      const QString& state) {
    return act(cut(QStringLiteral("set ") + alias + QStringLiteral(" audio ") + channel +
                       QLatin1Char(' ') + state,
                   kCommandLimit));
}

QString ModuleMultimedia::MciSetVolume(const QString& alias, const QString& channel, int volume) {
    if (volume < 0 || volume > 100) {
        return QStringLiteral("out of volume");
    }
    const QString side = channel.toLower();
    const bool oneSide = side == QLatin1String("left") || side == QLatin1String("right");
    return act(cut(QStringLiteral("setaudio ") + alias +
                       (oneSide ? QLatin1Char(' ') + channel : QString()) +
                       QStringLiteral(" Volume to ") + QString::number(volume * 10),
                   kCommandLimit));
}

QString ModuleMultimedia::MciStatusMode(const QString& alias) {
    return ask(QStringLiteral("status ") + alias + QStringLiteral(" mode"))
        .value_or(QStringLiteral("ERROR"));
}

qint64 ModuleMultimedia::MciLengthFrames(const QString& alias) {
    ask(QStringLiteral("set ") + alias + QStringLiteral(" time format frames"));
    return number(QStringLiteral("status ") + alias + QStringLiteral(" length"));
}

qint64 ModuleMultimedia::MciLengthMs(const QString& alias) {
    ask(QStringLiteral("set ") + alias + QStringLiteral(" time format ms"));
    const qint64 length = number(QStringLiteral("status ") + alias + QStringLiteral(" length"));
    ask(QStringLiteral("set ") + alias + QStringLiteral(" time format frames"));
    return length;
}

qint64 ModuleMultimedia::MciPosition(const QString& alias) {
    return number(QStringLiteral("status ") + alias + QStringLiteral(" position"));
}

qint64 ModuleMultimedia::MciSpeed(const QString& alias) {
    const std::optional<QString> answer =
        ask(cut(QStringLiteral("status ") + alias + QStringLiteral(" speed"), kCommandLimit));
    return answer ? roundHalfEven(answerValue(*answer) / 10.0) : -1;
}

qint64 ModuleMultimedia::MciDestinationSize(const QString& alias, const QString& which) {
    const QString selector = which.toLower();
    if (selector != QLatin1String("cx") && selector != QLatin1String("cy")) {
        return -1;
    }
    const std::optional<QString> answer =
        ask(QStringLiteral("Where ") + alias + QStringLiteral(" destination"));
    if (!answer) {
        return -1;
    }
    const qsizetype s1 = answer->indexOf(QLatin1Char(' '));
    const qsizetype s2 = answer->indexOf(QLatin1Char(' '), s1 + 1);
    const qsizetype s3 = answer->indexOf(QLatin1Char(' '), s2 + 1);
    if (s1 < 0 || s2 < 0 || s3 < 0) {
        return -1;
    }
    return selector == QLatin1String("cx") ? answerNumber(answer->mid(s2 + 1, s3 - s2 - 1))
                                           : answerNumber(answer->mid(s3 + 1));
}

qint64 ModuleMultimedia::MciPercentDone(const QString& alias) {
    const qint64 length = MciLengthFrames(alias);
    const qint64 position = MciPosition(alias);
    if (length == -1 || position == -1) {
        return -1;
    }
    return length == 0
               ? 0
               : roundHalfEven(static_cast<double>(position) * 100.0 / static_cast<double>(length));
}

qint64 ModuleMultimedia::MciFramesPerSecond(const QString& alias) {
    const qint64 ms = MciLengthMs(alias);
    const qint64 frames = MciLengthFrames(alias);
    if (ms == -1 || frames == -1) {
        return -1;
    }
    return ms == 0
               ? 0
               : roundHalfEven(static_cast<double>(frames) / (static_cast<double>(ms) / 1000.0));
}

bool ModuleMultimedia::MciAtEnd(const QString& alias, qint64 length) {
    if (length == 0) {
        length = MciLengthFrames(alias);
    }
    const qint64 position = MciPosition(alias);
    return length != -1 && position != -1 && position >= length;
}
