#pragma once

#include <QObject>

#include "core/job_host.h"
#include "core/job_outcome.h"
#include "desktop/job_controller.h"
#include "ui/skin_widget.h"

class QLabel;
class QVariantAnimation;
class QProgressBar;
class QPushButton;
class QWidget;

// The job controls of the main window: the pack and unpack buttons, their cancel
// buttons, the busy sign, the zip status and the progress bar with its percentage and
// time. It shows what the job controller signals and forwards the buttons to it.
class JobDisplay : public QObject {
    Q_OBJECT

public:
    JobDisplay(QWidget* client, JobController& jobs);

    QPushButton* packButton() const { return m_packButton; }
    QPushButton* unpackButton() const { return m_unpackButton; }
    QPushButton* packCancelButton() const { return m_packCancel; }
    QPushButton* unpackCancelButton() const { return m_unpackCancel; }
    QLabel* percentLabel() const { return m_percent; }
    QLabel* timeRemainingLabel() const { return m_timeRemaining; }

Q_SIGNALS:
    void packRequested();
    void unpackRequested();

private:
    void showBusy(JobKind kind);
    void showIdle(JobOutcome outcome);
    void showProgress(const ProgressReport& report);
    void showZipStatus(const QString& path);
    void armRoundButtons();

    QWidget* m_client;
    JobController& m_jobs;
    QProgressBar* m_progress;
    QLabel* m_pressedGlow;
    RoundImageButton* m_packButton;
    RoundImageButton* m_packCancel;
    RoundImageButton* m_unpackButton;
    RoundImageButton* m_unpackCancel;
    QLabel* m_busyIcon;
    QLabel* m_zipStatus;
    QLabel* m_zipPicture;
    QVariantAnimation* m_zipPulse;
    QLabel* m_percent;
    QLabel* m_timeRemaining;
};
