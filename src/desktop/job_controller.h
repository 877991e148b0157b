#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "core/job_host.h"
#include "core/job_outcome.h"
#include "fileio/file64.h"
#include "pack/pack_command.h"
#include "unpack/unpack_command.h"

class OptionsModel;

enum class JobKind { None, Pack, Unpack, Verify };

// Runs the desktop program's jobs on a worker thread: it owns the File64 of every job,
// the pack and unpack commands and the busy state, and takes a snapshot of the job
// options from the options model when a job starts. What a job tells or asks reaches
// the window's thread, which never waits for the worker; progress arrives queued.
class JobController : public QObject, private JobHost {
    Q_OBJECT

public:
    // `messages` shows what the jobs tell and ask the user, on the window's thread.
    JobController(OptionsModel& options, JobHost& messages, QObject* parent = nullptr);
    ~JobController() override;
    // Stops a running job and waits for it, answering its questions unseen: for the
    // program's teardown only, as the window's thread blocks meanwhile.
    void shutDown();

    // Tests may run a job on the calling thread: start returns when the job is over and
    // every progress report arrives.
    void setRunInline(bool runInline) { m_runInline = runInline; }

    // A press of a job button or menu entry arms one start; a start without one (a
    // shortcut that repeats while a job runs) does nothing.
    void arm() { m_armed = true; }
    bool armed() const { return m_armed; }
    // The pointer went back to the window: a press that did not click starts nothing.
    void disarm() { m_armed = false; }
    void startPack(const QStringList& inputs, const QString& output);
    void startUnpack(const QStringList& entries, const QString& outputName);
    // Checks the files a checksum file lists and shows what it found.
    void startVerify(const QString& manifest);

    // The cancel button: pressing arms it, releasing asks the running job to stop after
    // its chunk.
    void armCancel() { m_cancelArmed = true; }
    void cancel();
    // A quit during a job: cancels it without an armed press. `unseen` (the session's
    // end) answers every later question of the job with its cancel answer, unshown.
    void stopForQuit(bool unseen);

    // Until the worker has really stopped, so that two jobs never overlap.
    bool busy() const { return m_kind != JobKind::None || m_workerRunning; }
    JobKind kind() const { return m_kind; }
    // What the window's dialogs tell and ask through: the user.
    JobHost& host() { return *this; }

    // A new output name: the overwrite rule for the saved file starts again, and
    // `confirmed` names an existing file the user already agreed to replace ("" for none).
    void outputChosen(const QString& confirmed);
    // The copyright stamping texts the batch files carry, read again after a change.
    void reloadStampingTexts();

Q_SIGNALS:
    void started(JobKind kind);
    void progressed(const ProgressReport& report);
    // The zip step started on `path`, or ended (empty path).
    void zipStatusChanged(const QString& path);
    // The job is over (a successful one before its sources go and its result shows).
    void finished(JobKind kind, JobOutcome outcome);
    // The unpack's destination question was answered Yes: no job ran, the user chooses
    // the custom folder.
    void customDirectoryRequested();
    // The job's thread has ended: a new job may start.
    void stopped();
    // A job that has run a while has something to say (its result, a question): the
    // desktop may want to hear of it when the window is out of sight.
    void longJobSpoke(const QString& text);

private:
    MessageAnswer message(MessageIcon icon, const QString& text, MessageButtons buttons) override;
    void progress(const ProgressReport& report) override;

    bool onWindowThread() const;
    // Runs `step` on the window's thread and waits for it (directly when already there).
    void callOnWindowThread(const std::function<void()>& step);
    void runPendingCall();
    void showPendingReport();
    bool mayStart() const;
    void refuse();
    bool begin(JobKind kind);
    void requestCancel();
    // Runs `job` on the worker (or inline); `afterwards` runs on the window's thread
    // once the job's thread has ended.
    void run(std::function<JobOutcome()> job, std::function<void()> afterwards = {});
    void workerEnded();
    void finish(JobOutcome outcome);
    JobOutcome verify(const QString& manifest);

    OptionsModel& m_options;
    JobHost& m_messages;
    File64 m_files;
    PackCommand m_pack;
    UnpackCommand m_unpack;
    QString m_confirmedOutput;
    QStringList m_stampingLines;
    JobKind m_kind = JobKind::None;
    bool m_armed = false;
    bool m_cancelArmed = false;
    bool m_cancelRequested = false;
    QElapsedTimer m_sinceStart;                  // from the start of the job the window saw
    static constexpr qint64 kLongJobMs = 10000;  // the bar stands still from the click on
    bool m_runInline = false;
    CancelRequest m_verifyCancel;
    std::atomic<bool> m_unseen{false};
    std::thread m_worker;
    bool m_workerRunning = false;  // the window's view: from the start until it ended
    std::atomic<bool> m_workerDone{false};
    JobOutcome m_workerOutcome = JobOutcome::Stopped;
    // What the worker hands to the window's thread.
    struct PendingCall {
        const std::function<void()>* step = nullptr;
        std::promise<void>* done = nullptr;
    };
    std::mutex m_handOver;
    PendingCall m_pendingCall;
    std::optional<ProgressReport> m_pendingReport;
    std::function<void()> m_afterWorker;
    QElapsedTimer m_sinceProgress;  // the worker's own: when a report last went out
};
