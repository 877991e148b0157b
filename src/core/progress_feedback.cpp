#include "core/progress_feedback.h"

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
    m_report = ProgressReport();
    m_report.percent = -1;
    m_timeTextAt = -1;
}

const ProgressReport& ProgressFeedback::report(quint64 done, quint64 total) {
    m_report.done = done;
    m_report.total = total;
    const int percent = progressPercent(done, total);
    const bool percentChanged = percent != m_report.percent;
    if (percentChanged) {
        m_report.percent = percent;
        m_report.percentText = QString::number(percent) + QLatin1Char('%');
    }
    // Within one percentage the estimate moves with the clock only; a few updates a
    // second are all a reader can follow, and small chunks call this very often.
    const qint64 now = m_elapsedMs ? m_elapsedMs() : m_clock.isValid() ? m_clock.elapsed() : 0;
    const bool stale = percentChanged || now - m_timeTextAt >= kRefreshMs;
    if (percent % 2 == 0 && stale) {
        m_report.timeRemainingText = timeRemainingText(static_cast<double>(now) / 1000.0, percent);
        m_timeTextAt = now;
    }
    return m_report;
}
