#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

#include <functional>

#include "core/job_host.h"

// Percentage done, rounded half to even.
int progressPercent(quint64 done, quint64 total);

// The time-remaining text for `elapsedSeconds` into a job that is `percent` done.
// The estimate is kept as the job has always shown it: twice the linear projection.
QString timeRemainingText(double elapsedSeconds, int percent);

// Turns the job's byte counters into what the progress display shows. The time text
// changes only at even percentages; the clock is monotonic, so midnight means nothing.
class ProgressFeedback {
public:
    // Milliseconds since the job started; by default a monotonic clock started by start().
    using Clock = std::function<qint64()>;
    explicit ProgressFeedback(Clock elapsedMs = {}) : m_elapsedMs(std::move(elapsedMs)) {}

    void start();
    const ProgressReport& report(quint64 done, quint64 total);

private:
    static constexpr qint64 kRefreshMs = 250;
    QElapsedTimer m_clock;
    Clock m_elapsedMs;
    ProgressReport m_report;
    qint64 m_timeTextAt = -1;
};
