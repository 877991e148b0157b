#pragma once

#include <QObject>
#include <QPointer>

#include "desktop/pack_list_docking.h"

class ImageButton;
class JobController;
class OptionsModel;
class PackListWindow;
class QLabel;
class QWidget;
class WindowDragger;

// The main window's skin: its outline and background picture, its icon and caption,
// its own close and minimise buttons, dragging by the background, and the magnet that
// keeps the pack list window at its side.
class MainChrome : public QObject {
    Q_OBJECT

public:
    MainChrome(QWidget& window, QWidget& client, JobController& jobs, OptionsModel& options);

    void attachPackList(PackListWindow* packList);
    QLabel* caption() const { return m_caption; }

    // The pack list's first place, and the main window's place at start-up, where the
    // two touch corners: the pair sits in the middle of the screen.
    QPoint packListDefaultPosition() const;
    QPoint startPosition() const;
    // Every picture button of the window back to its normal picture.
    void resetButtons();
    // The snap on demand, and the snap after the pack list window was dragged.
    void MagnetisePackList();
    void ActivateMagnet(bool magnetOn);
    const PackListDocking& docking() const { return m_docking; }
    void restoreDocking(const DockedFlags& flags) { m_docking.restore(flags); }
    // The caption's own buttons, on the screen: no window should start over them.
    QRect captionButtonsArea() const;
    // "Magnet": switched on, it snaps the pack list window at once; switched off, a
    // docked window stays docked.
    void magnetCommand();
    // The hourglass over both windows while a job runs; the cancel buttons show their
    // own pointer.
    void showBusyPointer(bool busy);
    // Above 96 DPI with unscaled windows (fonts grown, pixels not): the job buttons and
    // busy sign move up and the MPEG values right, as the larger text needs.
    void applyScreenScale(float dpiScale);
    // Minimised, and the pack list window hidden without touching its menu entry.
    void minimise();

Q_SIGNALS:
    void closeRequested();

private:
    void buildCaption();
    void pointerOverBackground();

    QWidget& m_window;
    QWidget& m_client;
    JobController& m_jobs;
    OptionsModel& m_options;
    QPointer<PackListWindow> m_packList;
    QLabel* m_background;
    QLabel* m_icon;
    QLabel* m_caption;
    PackListDocking m_docking;
};
