#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "preview/module_multimedia.h"

class JobHost;
class MSSlider;
class MpvCommandInterface;
class QTimer;
class QToolButton;

// The preview of the file focused in the browser: its picture, play, pause, resume and
// stop, a position slider (one unit is 2 seconds) and sound on/off, all through the
// media commands with the alias movie0. The main window places it and tells it of the
// preview switch and of the browser's focused file.
class PreviewPlayerWidget : public QWidget {
    Q_OBJECT

public:
    // What the player knows of the media it holds; the algorithms read these back.
    struct Fields {
        QString fileName;
        QString framesPerSecond;
        QString totalFrames;
        QString totalTime;  // seconds
        QString actualCx, actualCy, currentCx, currentCy;
        QString currentRate;
        QString progress;
        QString currPos;
        QString currentTime;
        QString status;
        QString result;
        QString playProgress;              // the slider's value as text
        QString to;                        // the end of a play; empty for the end of the file
        QString left, top, width, height;  // the picture's place; empty for the whole area
    };

    explicit PreviewPlayerWidget(JobHost& host, QWidget* parent = nullptr);
    ~PreviewPlayerWidget() override;

    // The MPEG information panel of the window: shown for a file, and reset.
    std::function<void(const QString& path)> showMpegInfo;
    std::function<void()> resetMpegInfo;

    const Fields& fields() const { return m_fields; }
    bool previewOn() const { return m_previewOn; }
    bool playing() const { return m_playing; }
    bool openFailed() const { return m_openFailed; }
    bool soundIsOff() const;

    // The switch was clicked: `focusedFile` is the browser's focused file, "" when its
    // file list is empty.
    void switchPreview(const QString& focusedFile);
    // The browser's focused file changed.
    void focusedFileChanged(const QString& path);
    void load(const QString& path);
    void play();
    void pause();
    void resume();
    void stop();
    void closeMedia();
    void soundOff();
    void soundOn();
    void seek();

    // The device type an extension opens with (a ".vob" asks the user).
    QString deviceTypeFor(const QString& path);
    // The frame a slider value stands for.
    qint64 sliderFrame(int value) const;

    QToolButton* playButton() const { return m_play; }
    QToolButton* resumeButton() const { return m_resume; }
    QToolButton* pauseButton() const { return m_pause; }
    QToolButton* stopButton() const { return m_stop; }
    QToolButton* closeButton() const { return m_close; }
    QToolButton* soundOnButton() const { return m_soundOn; }
    QToolButton* soundOffButton() const { return m_soundOff; }
    MSSlider* slider() const { return m_slider; }
    QWidget* videoFrame() const { return m_frame; }

private:
    bool open();
    void showResult(const QString& result);
    void showFirstFrame();
    void disablePlayer();
    void showPlayButton();
    void progressTick();
    void endTick();
    quint64 frameWindow() const;

    JobHost& m_host;
    std::unique_ptr<MpvCommandInterface> m_mci;
    ModuleMultimedia m_media;
    Fields m_fields;
    QWidget* m_frame;
    QToolButton* m_play;
    QToolButton* m_resume;
    QToolButton* m_pause;
    QToolButton* m_stop;
    QToolButton* m_close;
    QToolButton* m_soundOn;
    QToolButton* m_soundOff;
    MSSlider* m_slider;
    QTimer* m_miscTimer;
    QTimer* m_atEndTimer;
    bool m_previewOn = false;
    bool m_playing = false;
    bool m_openFailed = false;
    bool m_sliderHeld = false;
};
