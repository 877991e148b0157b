#include "desktop/job_controller.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>

#include "fileio/checksum_verify.h"
#include "options/options_model.h"
#include "unpack/stamping_texts.h"

namespace {

// About 30 reports a second keep the bar smooth without flooding the window's queue.
constexpr qint64 kProgressIntervalMs = 33;

}  // namespace

JobController::JobController(OptionsModel& options, JobHost& messages, QObject* parent)
    : QObject(parent),
      m_options(options),
      m_messages(messages),
      m_files(this),
      m_pack(m_files, *this),
      m_unpack(m_files, *this) {
    m_pack.onZipStatus = [this](const QString& path) {
        callOnWindowThread([this, path] { Q_EMIT zipStatusChanged(path); });
    };
    m_unpack.onZipStatus = m_pack.onZipStatus;
    m_pack.onJobDone = [this] { callOnWindowThread([this] { finish(JobOutcome::Success); }); };
    m_unpack.onJobDone = m_pack.onJobDone;
    m_unpack.onWhereFileChosen = [this] {
        callOnWindowThread(
            [this] { m_options.choose(SettingId::Destination, UnpackDestination::WhereFile); });
    };
}

JobController::~JobController() {
    shutDown();
}

bool JobController::onWindowThread() const {
    return QThread::currentThread() == thread();
}

// The worker hands each call over under a standard mutex and waits on a standard future,
// so that the hand-over is visible to the thread checker; Qt's queue only wakes the
// window's thread.
void JobController::callOnWindowThread(const std::function<void()>& step) {
    if (onWindowThread()) {
        step();
        return;
    }
    std::promise<void> done;
    {
        const std::lock_guard lock(m_handOver);
        m_pendingCall = {&step, &done};
    }
    QMetaObject::invokeMethod(this, &JobController::runPendingCall, Qt::QueuedConnection);
    done.get_future().wait();
}

void JobController::runPendingCall() {
    PendingCall call;
    {
        const std::lock_guard lock(m_handOver);
        call = std::exchange(m_pendingCall, {});
    }
    if (call.step != nullptr) {
        (*call.step)();
        call.done->set_value();
    }
}

MessageAnswer JobController::message(MessageIcon icon, const QString& text,
                                     MessageButtons buttons) {
    MessageAnswer answer = cancelAnswer(buttons);
    callOnWindowThread([&] {
        if (m_sinceStart.isValid() && m_sinceStart.elapsed() >= kLongJobMs) {
            Q_EMIT longJobSpoke(text);
        }
        if (!m_unseen) {
            answer = m_messages.message(icon, text, buttons);
        }
    });
    return answer;
}

// Only the newest report waits for the window; the ones before it are of no more use.
void JobController::progress(const ProgressReport& report) {
    if (onWindowThread()) {
        if (!m_cancelRequested) {
            Q_EMIT progressed(report);
        }
        return;
    }
    const bool last = report.done >= report.total;
    if (!last && m_sinceProgress.isValid() && m_sinceProgress.elapsed() < kProgressIntervalMs) {
        return;
    }
    m_sinceProgress.start();
    bool wake = false;
    {
        const std::lock_guard lock(m_handOver);
        wake = !m_pendingReport.has_value();
        m_pendingReport = report;
    }
    if (wake) {
        QMetaObject::invokeMethod(this, &JobController::showPendingReport, Qt::QueuedConnection);
    }
}

void JobController::showPendingReport() {
    std::optional<ProgressReport> report;
    {
        const std::lock_guard lock(m_handOver);
        report = std::exchange(m_pendingReport, std::nullopt);
    }
    if (report && !m_cancelRequested) {
        Q_EMIT progressed(*report);
    }
}

bool JobController::mayStart() const {
    return !busy() && m_armed;
}

// Refused before it began: the window never turned busy.
void JobController::refuse() {
    m_armed = false;
    m_cancelArmed = false;
}

bool JobController::begin(JobKind kind) {
    if (!mayStart()) {
        return false;
    }
    m_kind = kind;
    m_unseen = false;
    m_sinceStart.start();
    m_cancelRequested = false;
    Q_EMIT started(kind);
    return true;
}

void JobController::run(std::function<JobOutcome()> job, std::function<void()> afterwards) {
    m_afterWorker = std::move(afterwards);
    m_workerRunning = true;
    if (m_runInline) {
        m_workerOutcome = job();
        workerEnded();
        return;
    }
    m_sinceProgress.invalidate();
    m_workerDone = false;
    m_worker = std::thread([this, job = std::move(job)] {
        m_workerOutcome = job();
        m_workerDone = true;
        QMetaObject::invokeMethod(this, &JobController::workerEnded, Qt::QueuedConnection);
    });
}

// On the window's thread, once the job has returned.
void JobController::workerEnded() {
    if (!m_workerRunning) {
        return;  // shut down meanwhile
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_workerRunning = false;
    m_sinceStart.invalidate();
    showPendingReport();
    finish(m_workerOutcome);
    if (const std::function<void()> afterwards = std::exchange(m_afterWorker, {})) {
        afterwards();
    }
    Q_EMIT stopped();
}

void JobController::finish(JobOutcome outcome) {
    if (m_kind == JobKind::None) {
        return;  // a successful job finishes before its result, and once more after it
    }
    const JobKind kind = m_kind;
    m_kind = JobKind::None;
    m_armed = false;
    m_cancelArmed = false;
    Q_EMIT finished(kind, outcome);
}

void JobController::startPack(const QStringList& inputs, const QString& output) {
    if (!mayStart()) {
        return;
    }
    if (!m_pack.hasEnoughInputs(inputs)) {
        refuse();
        return;
    }
    if (!begin(JobKind::Pack)) {
        return;
    }
    PackOptions options;
    options.mpegCheck = m_options.mpegCheck();
    options.overwrite = m_options.overwritePolicy();
    options.zip = m_options.zip();
    options.deleteSources = m_options.deleteAction();
    options.rate = m_options.rate();
    options.checksum = m_options.checksums();
    options.seamless = m_options.seamlessJoin();
    options.confirmedOutput = m_confirmedOutput;
    run([this, inputs, output, options] { return m_pack.run(inputs, output, options); });
}

void JobController::startUnpack(const QStringList& entries, const QString& outputName) {
    if (!mayStart()) {
        return;
    }
    UnpackOptions options;
    options.type = m_options.unpackType();
    options.destination = m_options.destination();
    options.outputName = outputName;
    options.customDir = m_options.folder(SettingId::UnpackCustomDir);
    options.zip = m_options.zip();
    options.deleteSources = m_options.deleteAction();
    options.rate = m_options.rate();
    options.batch = m_options.batchMode();
    options.checksum = m_options.checksums();
    options.cleanCuts = m_options.cleanCuts();
    options.stampingLines = m_stampingLines;
    if (!m_unpack.settleBeforeStart(entries, options)) {
        refuse();
        if (m_unpack.customDirectoryRequested()) {
            Q_EMIT customDirectoryRequested();
        }
        return;
    }
    if (!begin(JobKind::Unpack)) {
        return;
    }
    // The destination question was settled above: the job asks it no more.
    run([this, entries, options, rule = m_options.splitRule()]() mutable {
        return m_unpack.run(entries, options, rule);
    });
}

void JobController::cancel() {
    if (m_cancelArmed && busy()) {
        requestCancel();
    }
}

void JobController::stopForQuit(bool unseen) {
    if (busy()) {
        m_unseen = unseen;
        requestCancel();
    }
}

void JobController::requestCancel() {
    m_cancelRequested = true;
    m_pack.cancel();
    m_unpack.cancel();
    m_verifyCancel.request();
}

void JobController::shutDown() {
    if (!m_worker.joinable()) {
        return;
    }
    stopForQuit(true);
    disconnect(this, nullptr, nullptr, nullptr);
    // The worker may be waiting for a call to the window's thread: run it while waiting.
    while (!m_workerDone) {
        QCoreApplication::sendPostedEvents(this);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_worker.join();
    m_workerRunning = false;
}

void JobController::startVerify(const QString& manifest) {
    if (!begin(JobKind::Verify)) {
        return;
    }
    m_verifyCancel.reset();
    run([this, manifest] { return verify(manifest); });
}

// On the worker: the window goes idle before the report shows, as after a pack.
JobOutcome JobController::verify(const QString& manifest) {
    const ChecksumReport report = verifyChecksums(manifest, *this, m_verifyCancel);
    if (m_verifyCancel.requested()) {
        message(MessageIcon::Information, QStringLiteral("Verifying aborted by user"),
                MessageButtons::Ok);
        return JobOutcome::Cancelled;
    }
    const JobOutcome outcome = report.allGood() ? JobOutcome::Success : JobOutcome::Failed;
    callOnWindowThread([this, outcome] { finish(outcome); });
    if (!report.error.isEmpty()) {
        message(MessageIcon::Error, report.error, MessageButtons::Ok);
    } else {
        message(report.allGood() ? MessageIcon::Information : MessageIcon::Error, report.text(),
                MessageButtons::Ok);
    }
    return outcome;
}

void JobController::outputChosen(const QString& confirmed) {
    m_confirmedOutput = confirmed;
    m_pack.PreviouslySaved = false;
}

void JobController::reloadStampingTexts() {
    m_stampingLines = LoadCopyrightDataFromFile(*this).batchLines;
}
