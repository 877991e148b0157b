#pragma once

#include <QObject>
#include <QStringList>

#include "core/job_host.h"
#include "core/job_outcome.h"
#include "fileio/file64.h"
#include "pack/pack_command.h"
#include "unpack/unpack_command.h"

class OptionsModel;

enum class JobKind { None, Pack, Unpack, Verify };

// Runs the desktop program's jobs: it owns the File64 of every job, the pack and
// unpack commands and the busy state, and takes the job options from the options
// model. The main window starts and cancels through it and shows what it signals.
class JobController : public QObject, private JobHost {
    Q_OBJECT

public:
    // `messages` shows what the jobs tell and ask the user.
    JobController(OptionsModel& options, JobHost& messages, QObject* parent = nullptr);

    // A press of a job button or menu entry arms one start; a start without one (a
    // shortcut that repeats while a job runs) does nothing.
    void arm() { m_armed = true; }
    bool armed() const { return m_armed; }
    // The pointer went back to the window: a press that did not click starts nothing.
    void disarm() { m_armed = false; }
    // Whether the jobs zip their results ("&Zip Compression").
    void startPack(const QStringList& inputs, const QString& output);
    void startUnpack(const QStringList& entries, const QString& outputName);
    // Checks the files a checksum file lists and shows what it found.
    void startVerify(const QString& manifest);

    // The cancel button: pressing arms it, releasing asks the running job to stop after
    // its chunk. The zip step cannot be interrupted and ignores it.
    void armCancel() { m_cancelArmed = true; }
    void cancel();

    bool busy() const { return m_kind != JobKind::None; }
    JobKind kind() const { return m_kind; }
    // The files of the jobs, and of the MPEG information panel between jobs.
    File64& files() { return m_files; }
    // What the jobs' dialogs tell and ask through: the user, with progress to the window.
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

private:
    MessageAnswer message(MessageIcon icon, const QString& text, MessageButtons buttons) override;
    void progress(const ProgressReport& report) override;

    bool begin(JobKind kind);
    void finish(JobOutcome outcome);

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
    CancelRequest m_verifyCancel;
};
