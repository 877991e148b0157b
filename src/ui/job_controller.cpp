#include "ui/job_controller.h"

#include <QCoreApplication>
#include <QThread>

#include "core/options_model.h"
#include "fileio/checksum_verify.h"
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

void JobController::callOnWindowThread(const std::function<void()>& step) {
    if (onWindowThread()) {
        step();
    } else {
        QMetaObject::invokeMethod(this, step, Qt::BlockingQueuedConnection);
    }
}

MessageAnswer JobController::message(MessageIcon icon, const QString& text,
                                     MessageButtons buttons) {
    MessageAnswer answer = cancelAnswer(buttons);
    callOnWindowThread([&] {
        if (!m_unseen) {
            answer = m_messages.message(icon, text, buttons);
        }
    });
    return answer;
}

void JobController::progress(const ProgressReport& report) {
    if (onWindowThread()) {
        Q_EMIT progressed(report);
        return;
    }
    const bool last = report.done >= report.total;
    if (!last && m_sinceProgress.isValid() && m_sinceProgress.elapsed() < kProgressIntervalMs) {
        return;
    }
    m_sinceProgress.start();
    QMetaObject::invokeMethod(
        this, [this, report] { Q_EMIT progressed(report); }, Qt::QueuedConnection);
}

bool JobController::begin(JobKind kind) {
    if (busy() || !m_armed) {
        return false;
    }
    m_kind = kind;
    m_unseen = false;
    Q_EMIT started(kind);
    return true;
}

void JobController::run(std::function<JobOutcome()> job, std::function<void()> afterwards) {
    m_afterWorker = std::move(afterwards);
    if (m_runInline) {
        m_workerOutcome = job();
        workerEnded();
        return;
    }
    m_sinceProgress.invalidate();
    m_worker = QThread::create([this, job = std::move(job)] { m_workerOutcome = job(); });
    m_worker->setObjectName(QStringLiteral("zarvo-job"));
    connect(m_worker, &QThread::finished, this, &JobController::workerEnded);
    m_worker->start();
}

// On the window's thread, once the job's thread has returned.
void JobController::workerEnded() {
    if (m_worker != nullptr) {
        m_worker->wait();
        delete m_worker;
        m_worker = nullptr;
    }
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
    if (!begin(JobKind::Unpack)) {
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
    run([this, entries, options,
         rule = m_options.splitRule()]() mutable { return m_unpack.run(entries, options, rule); },
        [this] {
            if (m_unpack.customDirectoryRequested()) {
                Q_EMIT customDirectoryRequested();
            }
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
    m_pack.cancel();
    m_unpack.cancel();
    m_verifyCancel.request();
}

void JobController::shutDown() {
    if (m_worker == nullptr) {
        return;
    }
    stopForQuit(true);
    disconnect(m_worker, nullptr, this, nullptr);
    disconnect(this, nullptr, nullptr, nullptr);
    // The worker may be waiting for a question's answer: deliver it while waiting.
    while (!m_worker->wait(10)) {
        QCoreApplication::sendPostedEvents(this);
    }
    delete m_worker;
    m_worker = nullptr;
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
