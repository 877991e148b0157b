#include "ui/main_chrome_widget.h"

#include "core/units.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "core/program_info.h"
#include "core/text_helpers.h"
#include "desktop/job_controller.h"
#include "options/options_model.h"
#include "ui/pack_list_window.h"
#include "ui/skin_widget.h"

namespace {

QRect windowRect(const QWidget& window) {
    return {window.pos(), window.size()};
}

}  // namespace

MainChrome::MainChrome(QWidget& window, QWidget& client, JobController& jobs, OptionsModel& options)
    : QObject(&window),
      m_window(window),
      m_client(client),
      m_jobs(jobs),
      m_options(options),
      m_background(makePictureLabel(&client, QStringLiteral("BG_Img"),
                                    QStringLiteral("MainBackground"),
                                    {0, 0, kMainClientWidth, kMainClientHeight})),
      m_icon(makePictureLabel(&client, QStringLiteral("ZarvoIcon_Img"), QStringLiteral("ZarvoIcon"),
                              {10, 5, 18, 18})),
      m_caption(new QLabel(&client)) {
    m_background->lower();
    applyOutline(window, mainWindowOutline());
    client.setStyleSheet(skinStyleSheet());
    buildCaption();
    auto* dragger = new WindowDragger(window, {&client, m_background, m_icon, m_caption});
    dragger->hovered = [this] { pointerOverBackground(); };
    dragger->moved = [this](QPoint delta) {
        // A docked pack list window travels along, shown or hidden.
        if (m_packList && m_docking.travelsWithMain()) {
            m_packList->move(m_packList->pos() + delta);
        }
    };
}

void MainChrome::buildCaption() {
    m_caption->setObjectName(QStringLiteral("TarvikZarvoCaption"));
    m_caption->setGeometry(34, 6, 186, 18);
    m_caption->setStyleSheet(QStringLiteral("font-weight: bold;"));
    m_caption->setText(kProgramTitle + QStringLiteral(" v") +
                       captionVersion(QCoreApplication::applicationVersion()));
    ImageButton* minimiseButton = makeImageButton(&m_client, QStringLiteral("ButtonMinimise_Img"),
                                                  QStringLiteral("Minimise"), {484, 5, 20, 20});
    minimiseButton->setFocusPolicy(Qt::NoFocus);
    connect(minimiseButton, &QAbstractButton::clicked, this, &MainChrome::minimise);
    ImageButton* closeButton = makeImageButton(&m_client, QStringLiteral("ButtonClose_Img"),
                                               QStringLiteral("Close"), {506, 5, 20, 20});
    closeButton->setFocusPolicy(Qt::NoFocus);
    connect(closeButton, &QAbstractButton::clicked, this, &MainChrome::closeRequested);
    // The minimise command outside the outline, for the keyboard.
    auto* minimiseCommand = new QPushButton(QStringLiteral("Mi&nimise"), &m_client);
    minimiseCommand->setObjectName(QStringLiteral("Min_Cmd"));
    minimiseCommand->setGeometry(-100, -100, 20, 20);
    minimiseCommand->setFocusPolicy(Qt::NoFocus);
    connect(minimiseCommand, &QPushButton::clicked, this, &MainChrome::minimise);
}

void MainChrome::attachPackList(PackListWindow* packList) {
    m_packList = packList;
    connect(packList, &PackListWindow::dragPressed, this, [this] { m_docking.release(); });
    connect(packList, &PackListWindow::dragReleased, this,
            [this] { ActivateMagnet(m_options.isOn(SettingId::Magnet)); });
}

// The pointer is back on the window itself: the default pointer (the job's hourglass
// overrides it), no start armed, every button at rest.
QPoint MainChrome::packListDefaultPosition() const {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {(m_window.width() + screen.width() - m_packList->width()) / 2,
            (screen.height() - m_window.height() - m_packList->height()) / 2};
}

QRect MainChrome::captionButtonsArea() const {
    return {m_window.pos() + QPoint(484, 5), QSize(42, 20)};
}

QPoint MainChrome::startPosition() const {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {(screen.width() - m_window.width() - m_packList->width()) / 2,
            (screen.height() - m_window.height() + m_packList->height()) / 2};
}

void MainChrome::pointerOverBackground() {
    showBusyPointer(m_jobs.busy());
    m_jobs.disarm();
    resetButtons();
}

void MainChrome::resetButtons() {
    for (ImageButton* button : m_window.findChildren<ImageButton*>()) {
        button->resetPicture();
    }
}

void MainChrome::MagnetisePackList() {
    if (m_packList) {
        const DockRect snapped = m_docking.MagnetisePackList(dockRectOf(windowRect(m_window)),
                                                             dockRectOf(windowRect(*m_packList)));
        m_packList->move(clientPositionOf(snapped));
    }
}

void MainChrome::ActivateMagnet(bool magnetOn) {
    if (m_packList) {
        const DockRect snapped = m_docking.ActivateMagnet(
            dockRectOf(windowRect(m_window)), dockRectOf(windowRect(*m_packList)), magnetOn);
        m_packList->move(clientPositionOf(snapped));
    }
}

void MainChrome::magnetCommand() {
    const bool wasOn = m_options.isOn(SettingId::Magnet);
    m_options.setOn(SettingId::Magnet, !wasOn);
    if (!wasOn) {
        MagnetisePackList();
    }
}

void MainChrome::showBusyPointer(bool busy) {
    for (QWidget* window : {&m_window, static_cast<QWidget*>(m_packList.data())}) {
        if (window == nullptr) {
            continue;
        }
        if (busy) {
            window->setCursor(Qt::WaitCursor);
        } else {
            window->unsetCursor();
        }
    }
}

void MainChrome::applyScreenScale(float dpiScale) {
    if (dpiScale <= 1) {
        return;
    }
    const auto shift = [this](const char* name, QPoint byTwips) {
        if (auto* control = m_client.findChild<QWidget*>(QLatin1String(name))) {
            control->move(control->pos() + byTwips / kTwipsPerPixel);
        }
    };
    for (const char* button : {"PackImg", "UnpackImg", "PackCANCELImg", "UnPackCANCELImg"}) {
        shift(button, {0, -40});
    }
    shift("BusyIconImg", {0, -50});
    const int right = static_cast<int>((dpiScale - 1) * 200);
    for (const char* value : {"MpegInfoVideoSize_Lbl", "MpegInfoVideoRate_Lbl"}) {
        shift(value, {right, 0});
    }
}

void MainChrome::minimise() {
    resetButtons();
    m_window.showMinimized();
    if (m_packList) {
        m_packList->hide();
    }
}
