#include "ui/preview_player_widget.h"

#include "core/units.h"

#include <QApplication>
#include <QGuiApplication>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <cmath>

#include "core/job_host.h"
#include "preview/mpv_command_interface.h"
#include "ui/ms_slider_widget.h"
#include "ui/skin_widget.h"

namespace {

const QString kAlias = QStringLiteral("movie") + QString::number(0);
const QString kSuccess = QStringLiteral("Success");

// Without an X11 display (offscreen tests) there is no window to draw into nor a
// sound device to expect: libmpv then decodes without putting anything out.
MpvCommandInterface::Options backEndOptions() {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        return {};
    }
    return {QStringLiteral("null"), QStringLiteral("null")};
}

}  // namespace

PreviewPlayerWidget::PreviewPlayerWidget(JobHost& host, QWidget* parent)
    : QWidget(parent),
      m_host(host),
      m_mci(std::make_unique<MpvCommandInterface>(backEndOptions())),
      m_media(*m_mci),
      m_frame(new QWidget(this)),
      m_slider(new MSSlider(this)),
      m_miscTimer(new QTimer(this)),
      m_atEndTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("PreviewPlayer"));
    m_frame->setObjectName(QStringLiteral("PreviewVideo_Frame"));
    m_frame->setGeometry(0, 0, 124, 87);  // 1860 x 1300 twips
    m_frame->setAutoFillBackground(true);
    QPalette black = m_frame->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_frame->setPalette(black);
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        m_frame->setAttribute(Qt::WA_NativeWindow);  // libmpv draws into its window
    }
    m_media.windowSize = [this](quint64) { return m_frame->size(); };

    const auto button = [this](const char* name, QStyle::StandardPixmap icon, const char* tip,
                               int x) {
        auto* made = new QToolButton(this);
        made->setObjectName(QLatin1String(name));
        made->setIcon(style()->standardIcon(icon));
        made->setToolTip(QLatin1String(tip));
        made->setGeometry(x, 91, 28, 22);
        made->setEnabled(false);
        return made;
    };
    m_play = button("CmdPlay", QStyle::SP_MediaPlay, "Play", 0);
    m_resume = button("CmdResume", QStyle::SP_MediaPlay, "Resume", 0);
    m_pause = button("CmdPause", QStyle::SP_MediaPause, "Pause", 32);
    m_stop = button("CmdStop", QStyle::SP_MediaStop, "Stop", 64);
    m_soundOn = makeImageButton(this, QStringLiteral("SoundOn_Img"), QStringLiteral("Sound Off"),
                                {96, 91, 28, 22});
    m_soundOff = makeImageButton(this, QStringLiteral("SoundOff_Img"), QStringLiteral("Sound On"),
                                 {96, 91, 28, 22});
    m_close = button("CmdClose", QStyle::SP_DialogCloseButton, "Close", 0);
    m_close->setText(QStringLiteral("&Close"));
    m_close->hide();  // outside the visible outline, as a command only
    m_resume->hide();
    m_soundOff->hide();
    connect(m_play, &QToolButton::clicked, this, &PreviewPlayerWidget::play);
    connect(m_resume, &QToolButton::clicked, this, &PreviewPlayerWidget::resume);
    connect(m_pause, &QToolButton::clicked, this, &PreviewPlayerWidget::pause);
    connect(m_stop, &QToolButton::clicked, this, &PreviewPlayerWidget::stop);
    connect(m_close, &QToolButton::clicked, this, &PreviewPlayerWidget::closeMedia);
    connect(m_soundOn, &QToolButton::clicked, this, &PreviewPlayerWidget::soundOff);
    connect(m_soundOff, &QToolButton::clicked, this, &PreviewPlayerWidget::soundOn);

    m_slider->setObjectName(QStringLiteral("MSSlider"));
    m_slider->setGeometry(0, 117, 124, 16);
    m_slider->setMin(0);
    m_slider->setMax(100);
    m_slider->ColInit();
    m_slider->setEnabled(false);
    connect(m_slider, &MSSlider::MouseDown, this, [this] { m_sliderHeld = true; });
    connect(m_slider, &MSSlider::MouseUp, this, [this] { m_sliderHeld = false; });
    connect(m_slider, &MSSlider::OnClick, this, &PreviewPlayerWidget::seek);
    connect(m_slider, &MSSlider::ValueHasChanged, this,
            [this] { m_fields.playProgress = QString::number(m_slider->Value()); });

    m_miscTimer->setInterval(500);
    m_atEndTimer->setInterval(100);
    connect(m_miscTimer, &QTimer::timeout, this, &PreviewPlayerWidget::progressTick);
    connect(m_atEndTimer, &QTimer::timeout, this, &PreviewPlayerWidget::endTick);
    setFixedSize(124, 134);
}

PreviewPlayerWidget::~PreviewPlayerWidget() = default;

bool PreviewPlayerWidget::soundIsOff() const {
    return !m_soundOff->isHidden();
}

quint64 PreviewPlayerWidget::frameWindow() const {
    // Offscreen there is no window system behind the frame.
    return QGuiApplication::platformName() == QLatin1String("xcb") ? m_frame->winId() : 0;
}

qint64 PreviewPlayerWidget::sliderFrame(int value) const {
    return roundHalfEven(2.0 * m_fields.framesPerSecond.toDouble() * value);
}

void PreviewPlayerWidget::showResult(const QString& result) {
    m_fields.result = QStringLiteral("Result calling Function is : ") + result;
}

void PreviewPlayerWidget::switchPreview(const QString& focusedFile) {
    if (focusedFile.isEmpty()) {
        m_previewOn = !m_previewOn;  // the next focused file loads
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!m_previewOn) {
        load(focusedFile);
        m_previewOn = true;
    } else {
        stop();
        closeMedia();
        if (resetMpegInfo) {
            resetMpegInfo();
        }
        disablePlayer();
        m_previewOn = false;
    }
    QApplication::restoreOverrideCursor();
}

void PreviewPlayerWidget::focusedFileChanged(const QString& path) {
    if (m_previewOn && path != m_fields.fileName) {
        load(path);
    }
}

void PreviewPlayerWidget::disablePlayer() {
    for (QToolButton* control : {m_play, m_resume, m_pause, m_stop, m_close}) {
        control->setEnabled(false);
    }
    m_slider->setValue(0);
    m_slider->setEnabled(false);
}

void PreviewPlayerWidget::showPlayButton() {
    m_play->show();
    m_resume->hide();
}

void PreviewPlayerWidget::load(const QString& path) {
    if (showMpegInfo) {
        showMpegInfo(path);
    }
    closeMedia();
    m_fields.fileName = path;
    if (!open()) {
        if (resetMpegInfo) {
            resetMpegInfo();
        }
        showPlayButton();
        disablePlayer();
        return;
    }
    m_media.MciPutWindow(frameWindow(), kAlias, m_fields.left, m_fields.top, m_fields.width,
                         m_fields.height);
    m_fields.currentCx = QString::number(m_media.MciDestinationSize(kAlias, QStringLiteral("cx")));
    m_fields.currentCy = QString::number(m_media.MciDestinationSize(kAlias, QStringLiteral("cy")));
    showFirstFrame();
    if (soundIsOff()) {
        m_media.MciSetAudio(kAlias, QStringLiteral("all"), QStringLiteral("off"));
    }
    m_play->setEnabled(true);
    m_close->setEnabled(true);
    m_slider->setEnabled(true);
    m_playing = false;
}

QString PreviewPlayerWidget::deviceTypeFor(const QString& path) {
    const QString extension = path.right(4).toLower();
    if (extension == QLatin1String(".avi")) {
        return QStringLiteral("AviVideo");
    }
    // A .vob is an MPEG program stream to the player: no DVD device or card to ask about.
    return QStringLiteral("MPEGVideo");
}

bool PreviewPlayerWidget::open() {
    const QString type = deviceTypeFor(m_fields.fileName);
    const QString result = m_media.MciOpen(frameWindow(), kAlias, m_fields.fileName, type);
    showResult(result);
    m_openFailed = result != kSuccess;
    if (m_openFailed) {
        return false;
    }
    m_fields.actualCx = QString::number(m_media.MciDestinationSize(kAlias, QStringLiteral("cx")));
    m_fields.actualCy = QString::number(m_media.MciDestinationSize(kAlias, QStringLiteral("cy")));
    const qint64 fps = m_media.MciFramesPerSecond(kAlias);
    const qint64 frames = m_media.MciLengthFrames(kAlias);
    m_fields.framesPerSecond = QString::number(fps);
    m_fields.totalFrames = QString::number(frames);
    m_fields.totalTime =
        QString::number(static_cast<double>(m_media.MciLengthMs(kAlias)) / 1000.0, 'g', 15);
    m_fields.currentRate = QString::number(m_media.MciSpeed(kAlias)) + QStringLiteral(" %");
    m_slider->setMax(fps > 0 ? static_cast<qint32>(roundHalfEven(static_cast<double>(frames) /
                                                                 (2.0 * static_cast<double>(fps))))
                             : 0);
    m_miscTimer->start();
    showPlayButton();
    return true;
}

void PreviewPlayerWidget::showFirstFrame() {
    m_media.MciPlay(kAlias, QStringLiteral("1"), QStringLiteral("1"));
    m_media.MciStop(kAlias);
}

void PreviewPlayerWidget::play() {
    const QString result =
        m_media.MciPlay(kAlias, QString::number(sliderFrame(m_slider->Value())), m_fields.to);
    showResult(result);
    if (result != kSuccess) {
        return;
    }
    m_playing = true;
    m_play->hide();
    m_resume->show();
    m_play->setEnabled(false);
    m_resume->setEnabled(false);
    m_stop->setEnabled(true);
    m_pause->setEnabled(true);
    m_atEndTimer->start();
}

void PreviewPlayerWidget::pause() {
    const QString result = m_media.MciPause(kAlias);
    showResult(result);
    if (result != kSuccess) {
        return;
    }
    m_playing = false;
    m_play->hide();
    m_resume->show();
    m_pause->setEnabled(false);
    m_resume->setEnabled(true);
}

void PreviewPlayerWidget::resume() {
    const QString result = m_media.MciResume(kAlias);
    showResult(result);
    if (result != kSuccess) {
        return;
    }
    m_playing = true;
    m_pause->setEnabled(true);
    m_resume->setEnabled(false);
}

void PreviewPlayerWidget::stop() {
    if (m_media.MciStop(kAlias) == kSuccess) {
        m_playing = false;
    }
    showFirstFrame();
    showPlayButton();
    m_play->setEnabled(true);
    for (QToolButton* control : {m_stop, m_pause, m_resume}) {
        control->setEnabled(false);
    }
    m_playing = false;
}

void PreviewPlayerWidget::closeMedia() {
    const QString result = m_media.MciClose(kAlias);
    showResult(result);
    if (result != kSuccess) {
        return;
    }
    m_miscTimer->stop();
    m_atEndTimer->stop();
    for (QString* field : {&m_fields.framesPerSecond, &m_fields.totalFrames, &m_fields.totalTime,
                           &m_fields.currentTime, &m_fields.currPos, &m_fields.progress,
                           &m_fields.status, &m_fields.actualCx, &m_fields.actualCy,
                           &m_fields.currentCx, &m_fields.currentCy, &m_fields.currentRate}) {
        field->clear();
    }
    showPlayButton();
    disablePlayer();
}

void PreviewPlayerWidget::seek() {
    if (m_fields.framesPerSecond.isEmpty()) {
        return;
    }
    showResult(m_media.MciSeekPlay(kAlias, sliderFrame(m_slider->Value())));
    if (!m_playing) {
        m_media.MciStop(kAlias);  // a paused or stopped preview shows the new frame
    }
}

void PreviewPlayerWidget::soundOff() {
    const QString result =
        m_media.MciSetAudio(kAlias, QStringLiteral("all"), QStringLiteral("off"));
    showResult(result);
    if (result == kSuccess) {
        m_atEndTimer->start();
    }
    m_soundOff->show();
    m_soundOn->hide();
}

void PreviewPlayerWidget::soundOn() {
    const QString result = m_media.MciSetAudio(kAlias, QStringLiteral("all"), QStringLiteral("on"));
    showResult(result);
    if (result == kSuccess) {
        m_atEndTimer->start();
        m_media.MciSetVolume(kAlias, QStringLiteral("all"), 100);
    }
    m_soundOn->show();
    m_soundOff->hide();
}

void PreviewPlayerWidget::progressTick() {
    const qint64 percent = m_media.MciPercentDone(kAlias);
    if (percent < 0) {
        return;  // errors end the tick quietly
    }
    if (!m_sliderHeld) {
        m_slider->setValue(static_cast<qint32>(
            roundHalfEven(static_cast<double>(percent) / 100.0 * m_slider->Max())));
    }
    m_fields.progress = QString::number(percent) + QStringLiteral(" %");
    const qint64 position = m_media.MciPosition(kAlias);
    m_fields.currPos = QString::number(position);
    const double fps = m_fields.framesPerSecond.toDouble();
    m_fields.currentTime =
        fps > 0 ? QString::number(static_cast<double>(position) / fps) : QString();
    m_fields.status = m_media.MciStatusMode(kAlias);
}

void PreviewPlayerWidget::endTick() {
    if (m_media.MciAtEnd(kAlias, m_fields.to.toLongLong())) {
        stop();
    }
}
