#include "pack/progress_feedback.h"

#include <cmath>

int progressPercent(quint64 done, quint64 total) {
    if (total == 0) {
        return 0;
    }
    __extension__ using Wide = unsigned __int128;
    const Wide scaled = static_cast<Wide>(done) * 100U;
    Wide quotient = scaled / total;
    const Wide twiceRemainder = (scaled % total) * 2U;
    if (twiceRemainder > total || (twiceRemainder == total && (quotient & 1U) != 0)) {
        ++quotient;
    }
    return static_cast<int>(quotient);
}

namespace {

QString unitWord(qint64 count, const char* singular, const char* plural) {
    return QLatin1String(count > 1 ? plural : singular);
}

}  // namespace

QString timeRemainingText(double elapsedSeconds, int percent) {
    const double estimate = percent > 0
                                ? 2.0 * elapsedSeconds * 100.0 / percent - 2.0 * elapsedSeconds
                                : 198.0 * elapsedSeconds;
    // Read as a time of day: hours wrap within one day.
    const qint64 seconds = std::llround(std::max(estimate, 0.0)) % 86400;
    const qint64 h = seconds / 3600;
    const qint64 m = seconds / 60 % 60;
    const qint64 s = seconds % 60;
    const QString hours = unitWord(h, " hour ", " hours ");
    const QString minutes = unitWord(m, " minute ", " minutes ");
    const QString secs = unitWord(s, " second ", " seconds ");
    const QString remaining = QStringLiteral("remaining");
    if (h > 0) {
        return QString::number(h) + hours + QString::number(m) + minutes + remaining;
    }
    if (m > 0) {
        return QString::number(m) + minutes + QString::number(s) + secs + remaining;
    }
    return QString::number(s) + secs + remaining;
}

void ProgressFeedback::start() {
    m_clock.start();
    m_timeText.clear();
}

ProgressReport ProgressFeedback::report(quint64 done, quint64 total) {
    ProgressReport result;
    result.done = done;
    result.total = total;
    result.percent = progressPercent(done, total);
    result.percentText = QString::number(result.percent) + QLatin1Char('%');
    if (result.percent % 2 == 0) {
        const double elapsed =
            m_clock.isValid() ? static_cast<double>(m_clock.elapsed()) / 1000.0 : 0.0;
        m_timeText = timeRemainingText(elapsed, result.percent);
    }
    result.timeRemainingText = m_timeText;
    return result;
}
