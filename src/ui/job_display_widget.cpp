#include "ui/job_display_widget.h"

#include "core/units.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVariantAnimation>

#include "core/text_helpers.h"
#include "ui/skin_widget.h"
#include "ui/text_width_widget.h"

namespace {

const QRect kPackAt(406, 80, 56, 56);
const QRect kUnpackAt(468, 80, 56, 56);

RoundImageButton* roundButton(QWidget* client, const char* name, const char* picture,
                              const char* text, const QRect& at) {
    auto* button = new RoundImageButton(QLatin1String(name), QLatin1String(picture),
                                        QLatin1String(text), client);
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
      m_jobs(jobs),
      m_progress(new QProgressBar(client)),
      m_pressedGlow(makePictureLabel(client, QStringLiteral("PackDownFullViewImg"),
                                     QStringLiteral("PackDownFullView"), {396, 70, 76, 76})),
      m_packButton(roundButton(client, "PackImg", "Pack", "&Pack", kPackAt)),
      m_packCancel(roundButton(client, "PackCANCELImg", "PackCANCEL", "Cancel Pack", kPackAt)),
      m_unpackButton(roundButton(client, "UnpackImg", "Unpack", "&Unpack", kUnpackAt)),
      m_unpackCancel(
          roundButton(client, "UnPackCANCELImg", "UnpackCANCEL", "Cancel Unpack", kUnpackAt)),
      m_busyIcon(makePictureLabel(client, QStringLiteral("BusyIconImg"), QStringLiteral("BusyIcon"),
                                  {386, 219, 18, 18})),
      m_zipStatus(namedLabel(client, QStringLiteral("ZipProcess_Lbl"), {276, 240, 248, 18})),
      m_zipPicture(makePictureLabel(client, QStringLiteral("ZipAnimIco"), QStringLiteral("ZipAnim"),
                                    {256, 240, 18, 18})),
      m_zipPulse(new QVariantAnimation(this)),
      m_percent(namedLabel(client, QStringLiteral("percentdone_lbl"), {30, 279, 38, 18})),
      m_timeRemaining(namedLabel(client, QStringLiteral("TimeRemainingLbl"), {322, 279, 196, 18})) {
    m_progress->setObjectName(QStringLiteral("TempProg"));
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(false);
    m_progress->setStyleSheet(
        QStringLiteral("QProgressBar { background: black; border: none; }"
                       "QProgressBar::chunk { background: #c8c8c8; }"));
    m_progress->hide();
    m_pressedGlow->hide();
    m_packCancel->hide();
    m_unpackCancel->hide();
    m_busyIcon->setToolTip(QStringLiteral("Busy"));
    m_busyIcon->hide();
    m_zipStatus->hide();
    // The zip picture breathes while the zip library works, the job's only sign of life.
    auto* fade = new QGraphicsOpacityEffect(m_zipPicture);
    m_zipPicture->setGraphicsEffect(fade);
    m_zipPicture->hide();
    m_zipPulse->setKeyValues({{0.0, 1.0}, {0.5, 0.25}, {1.0, 1.0}});
    m_zipPulse->setDuration(1200);
    m_zipPulse->setLoopCount(-1);
    connect(m_zipPulse, &QVariantAnimation::valueChanged, fade,
            [fade](const QVariant& value) { fade->setOpacity(value.toDouble()); });
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_timeRemaining->hide();
    armRoundButtons();
    connect(m_packButton, &QPushButton::clicked, this, &JobDisplay::packRequested);
    connect(m_unpackButton, &QPushButton::clicked, this, &JobDisplay::unpackRequested);
    for (QPushButton* cancel : {m_packCancel, m_unpackCancel}) {
        connect(cancel, &QPushButton::clicked, &jobs, &JobController::cancel);
    }
    connect(&jobs, &JobController::started, this, &JobDisplay::showBusy);
    connect(&jobs, &JobController::progressed, this, &JobDisplay::showProgress);
    connect(&jobs, &JobController::zipStatusChanged, this, &JobDisplay::showZipStatus);
    connect(&jobs, &JobController::finished, this,
            [this](JobKind, JobOutcome outcome) { showIdle(outcome); });
}

// A left press arms one start (or the cancel) and shows the pressed face; the pack
// buttons also light up around. The cancel acts during a zip step too.
void JobDisplay::armRoundButtons() {
    const auto glow = [this](bool on) { m_pressedGlow->setVisible(on); };
    for (RoundImageButton* start : {m_packButton, m_unpackButton}) {
        start->mayPress = [this] { return !m_jobs.armed(); };
        start->onPress = [this] { m_jobs.arm(); };
        start->pointerFor = [this](bool overFace) {
            if (m_jobs.busy()) {
                return Qt::WaitCursor;
            }
            return overFace ? Qt::PointingHandCursor : Qt::ArrowCursor;
        };
    }
    m_packButton->onPress = [this, glow] {
        m_jobs.arm();
        glow(true);
    };
    m_packButton->onRelease = [glow] { glow(false); };
    m_packCancel->onPress = [this, glow] {
        m_jobs.armCancel();
        glow(true);
    };
    m_packCancel->onRelease = [glow] { glow(false); };
    m_unpackCancel->onPress = [this] { m_jobs.armCancel(); };
    for (RoundImageButton* cancel : {m_packCancel, m_unpackCancel}) {
        cancel->pointerFor = [](bool) { return Qt::PointingHandCursor; };
    }
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
    const int top = (m_client->height() * kTwipsPerPixel - 420) / kTwipsPerPixel;
    m_progress->setGeometry(70, top, 246, 15);
    m_progress->setValue(0);
    m_progress->show();
    m_progress->raise();
    m_percent->setText(QStringLiteral("0%"));
    m_percent->show();
    m_timeRemaining->show();
}

void JobDisplay::showIdle(JobOutcome outcome) {
    m_progress->hide();
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

void JobDisplay::showProgress(const ProgressReport& report) {
    m_progress->setValue(report.percent);
    if (m_percent->text() != report.percentText) {
        m_percent->setText(report.percentText);
        m_percent->repaint();
    }
    if (m_timeRemaining->text() != report.timeRemainingText) {
        m_timeRemaining->setText(report.timeRemainingText);
    }
}

void JobDisplay::showZipStatus(const QString& path) {
    // The path gives way in its middle so that the whole line fits the label.
    const TextWidthFn width = twipsOf(m_zipStatus);
    const int room =
        std::min(4200, m_zipStatus->width() * kTwipsPerPixel - width(QStringLiteral("Zipping ''")));
    m_zipStatus->setText(QStringLiteral("Zipping '") + fitPathToWidth(path, room, width) +
                         QLatin1Char('\''));
    m_zipStatus->setVisible(!path.isEmpty());
    m_zipPicture->setVisible(!path.isEmpty());
    if (path.isEmpty()) {
        m_zipPulse->stop();
    } else {
        m_zipPulse->start();
    }
}
