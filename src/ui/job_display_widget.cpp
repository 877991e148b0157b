#include "ui/job_display_widget.h"

#include <QLabel>
#include <QPushButton>

#include "core/text_helpers.h"
#include "ui/text_width_widget.h"

namespace {

constexpr int kTwipsPerPixel = 15;

QPushButton* jobButton(QWidget* client, const QString& name, const QString& text, const QRect& at) {
    auto* button = new QPushButton(text, client);
    button->setObjectName(name);
    button->setGeometry(at);
    return button;
}

QLabel* namedLabel(QWidget* client, const QString& name, const QRect& at) {
    auto* label = new QLabel(client);
    label->setObjectName(name);
    label->setGeometry(at);
    return label;
}

}  // namespace

JobDisplay::JobDisplay(QWidget* client, JobController& jobs)
    : QObject(client),
      m_client(client),
      m_packButton(jobButton(client, QStringLiteral("PackImg"), QStringLiteral("&Pack"),
                             {272, 86, 122, 48})),
      m_packCancel(jobButton(client, QStringLiteral("PackCANCELImg"), QStringLiteral("Cancel Pack"),
                             {272, 86, 122, 48})),
      m_unpackButton(jobButton(client, QStringLiteral("UnpackImg"), QStringLiteral("&Unpack"),
                               {402, 86, 122, 48})),
      m_unpackCancel(jobButton(client, QStringLiteral("UnPackCANCELImg"),
                               QStringLiteral("Cancel Unpack"), {402, 86, 122, 48})),
      m_busyIcon(namedLabel(client, QStringLiteral("BusyIconImg"), {272, 142, 120, 18})),
      m_zipStatus(namedLabel(client, QStringLiteral("ZipProcess_Lbl"), {272, 164, 252, 18})),
      m_percent(namedLabel(client, QStringLiteral("percentdone_lbl"), {8, 278, 56, 18})),
      m_timeRemaining(namedLabel(client, QStringLiteral("TimeRemainingLbl"), {322, 278, 204, 18})) {
    m_packCancel->hide();
    m_unpackCancel->hide();
    m_busyIcon->setText(QStringLiteral("Busy..."));
    m_busyIcon->hide();
    m_zipStatus->hide();
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_timeRemaining->hide();
    connect(m_packButton, &QPushButton::clicked, this, &JobDisplay::packRequested);
    connect(m_unpackButton, &QPushButton::clicked, this, &JobDisplay::unpackRequested);
    for (QPushButton* cancel : {m_packCancel, m_unpackCancel}) {
        connect(cancel, &QPushButton::pressed, &jobs, &JobController::armCancel);
        connect(cancel, &QPushButton::clicked, &jobs, &JobController::cancel);
    }
    connect(&jobs, &JobController::started, this, &JobDisplay::showBusy);
    connect(&jobs, &JobController::progressed, this, &JobDisplay::showProgress);
    connect(&jobs, &JobController::zipStatusChanged, this, &JobDisplay::showZipStatus);
    connect(&jobs, &JobController::finished, this,
            [this](JobKind, JobOutcome outcome) { showIdle(outcome); });
}

// The other job's button shows disabled; this job's button gives way to its cancel.
void JobDisplay::showBusy(JobKind kind) {
    const bool packing = kind == JobKind::Pack;
    if (kind == JobKind::Verify) {
        m_unpackCancel->setText(QStringLiteral("Cancel Verify"));
    }
    m_busyIcon->show();
    (packing ? m_unpackButton : m_packButton)->setEnabled(false);
    (packing ? m_packButton : m_unpackButton)->hide();
    (packing ? m_packCancel : m_unpackCancel)->show();
    m_progress.setParent(m_client);
    const int top = (m_client->height() * kTwipsPerPixel - 420) / kTwipsPerPixel;
    m_progress.Create(70, top, 246, 15, true);
    m_progress.SetBackColor(Qt::black);
    m_progress.SetBarColor(QColor(200, 200, 200));
    m_percent->setText(QStringLiteral("0%"));
    m_percent->show();
    m_timeRemaining->show();
}

void JobDisplay::showIdle(JobOutcome outcome) {
    m_progress.DestroyProgBar();
    m_percent->clear();
    m_timeRemaining->clear();
    if (outcome == JobOutcome::Cancelled) {
        m_percent->hide();
    }
    m_busyIcon->hide();
    for (QPushButton* button : {m_packButton, m_unpackButton}) {
        button->setVisible(true);
        button->setEnabled(true);
    }
    m_packCancel->hide();
    m_unpackCancel->hide();
    m_unpackCancel->setText(QStringLiteral("Cancel Unpack"));
    m_timeRemaining->hide();
}

// Setting the bar runs pending events: this is where a cancel click arrives.
void JobDisplay::showProgress(const ProgressReport& report) {
    m_progress.SetProgBarPos(report.percent);
    if (m_percent->text() != report.percentText) {
        m_percent->setText(report.percentText);
        m_percent->repaint();
    }
    if (m_timeRemaining->text() != report.timeRemainingText) {
        m_timeRemaining->setText(report.timeRemainingText);
    }
}

void JobDisplay::showZipStatus(const QString& path) {
    const QString shown = fitPathToWidth(path, 4200, twipsOf(m_zipStatus));
    m_zipStatus->setText(QStringLiteral("Zipping '") + shown + QLatin1Char('\''));
    m_zipStatus->setVisible(!path.isEmpty());
}
