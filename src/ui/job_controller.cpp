#include "ui/job_controller.h"

#include "core/options_model.h"
#include "fileio/checksum_verify.h"
#include "unpack/stamping_texts.h"

JobController::JobController(OptionsModel& options, JobHost& messages, QObject* parent)
    : QObject(parent),
      m_options(options),
      m_messages(messages),
      m_files(this),
      m_pack(m_files, *this),
      m_unpack(m_files, *this) {
    m_pack.onZipStatus = [this](const QString& path) { Q_EMIT zipStatusChanged(path); };
    m_unpack.onZipStatus = m_pack.onZipStatus;
    m_pack.onJobDone = [this] { finish(JobOutcome::Success); };
    m_unpack.onJobDone = m_pack.onJobDone;
    m_unpack.onWhereFileChosen = [this] {
        m_options.choose(SettingId::Destination, UnpackDestination::WhereFile);
    };
}

MessageAnswer JobController::message(MessageIcon icon, const QString& text,
                                     MessageButtons buttons) {
    return m_messages.message(icon, text, buttons);
}

// The window's progress display runs pending events, where a cancel click arrives.
void JobController::progress(const ProgressReport& report) {
    Q_EMIT progressed(report);
}

bool JobController::begin(JobKind kind) {
    if (busy() || !m_armed) {
        return false;
    }
    m_kind = kind;
    Q_EMIT started(kind);
    return true;
}

void JobController::finish(JobOutcome outcome) {
    if (!busy()) {
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
    finish(m_pack.run(inputs, output, options));
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
    SplitRule rule = m_options.splitRule();
    const JobOutcome outcome = m_unpack.run(entries, options, rule);
    finish(outcome);
    if (m_unpack.customDirectoryRequested()) {
        Q_EMIT customDirectoryRequested();
    }
}

void JobController::cancel() {
    if (!m_cancelArmed || !busy()) {
        return;
    }
    if (m_kind == JobKind::Pack) {
        m_pack.cancel();
    } else if (m_kind == JobKind::Unpack) {
        m_unpack.cancel();
    } else {
        m_verifyCancel.requested = true;
    }
}

void JobController::startVerify(const QString& manifest) {
    if (!begin(JobKind::Verify)) {
        return;
    }
    m_verifyCancel = {};
    const ChecksumReport report = verifyChecksums(manifest, *this, m_verifyCancel);
    if (m_verifyCancel.requested) {
        message(MessageIcon::Information, QStringLiteral("Verifying aborted by user"),
                MessageButtons::Ok);
        finish(JobOutcome::Cancelled);
        return;
    }
    finish(report.allGood() ? JobOutcome::Success : JobOutcome::Failed);
    if (!report.error.isEmpty()) {
        message(MessageIcon::Error, report.error, MessageButtons::Ok);
    } else {
        message(report.allGood() ? MessageIcon::Information : MessageIcon::Error, report.text(),
                MessageButtons::Ok);
    }
}

void JobController::outputChosen(const QString& confirmed) {
    m_confirmedOutput = confirmed;
    m_pack.PreviouslySaved = false;
}

void JobController::reloadStampingTexts() {
    m_stampingLines = LoadCopyrightDataFromFile(*this).batchLines;
}
