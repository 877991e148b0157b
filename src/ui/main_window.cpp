#include "ui/main_window.h"

#include "core/units.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QToolButton>
#include <QUrl>

#include "browse/file_manager_actions.h"
#include "core/job_messages.h"
#include "core/program_info.h"
#include "core/text_helpers.h"
#include "core/tips.h"
#include "desktop/window_chrome.h"
#include "desktop/window_places.h"
#include "formats/mpeg_info.h"
#include "platform/native_path.h"
#include "ui/about_dialog.h"
#include "ui/copyright_stamping_dialog.h"
#include "ui/custom_filter_dialog.h"
#include "ui/custom_size_dialog.h"
#include "ui/desktop_notifier.h"
#include "ui/file_browser_widget.h"
#include "ui/help_window.h"
#include "ui/job_display_widget.h"
#include "ui/job_host_dialog.h"
#include "ui/main_chrome_widget.h"
#include "ui/main_menus_widget.h"
#include "ui/preview_player_widget.h"
#include "ui/text_width_widget.h"
#include "ui/tip_window.h"

namespace {

const QString kDefaultOutputName = QStringLiteral("default.mpg");

QString folderPrompt(FolderChoice which) {
    switch (which) {
        case FolderChoice::Save:
            return QStringLiteral("Save As Directory: ");
        case FolderChoice::Startup:
            return QStringLiteral("Startup Directory: ");
        case FolderChoice::Unpack:
            break;
    }
    return QStringLiteral("Unpack To Directory: ");
}

}  // namespace

MainWindow::MainWindow(JobHost* messages, QWidget* parent)
    : QMainWindow(parent),
      m_ownMessages(messages == nullptr ? std::make_unique<DialogJobHost>(this) : nullptr),
      m_messages(messages != nullptr ? messages : m_ownMessages.get()),
      m_jobs(new JobController(m_options, *m_messages, this)),
      m_panelFiles(m_messages) {
    setObjectName(QStringLiteral("zarvomainfrm"));
    setWindowTitle(kProgramTitle);
    setFixedSize(kMainClientWidth, kMainClientHeight);
    m_currentDir =
        withoutTrailingSlashes(QDir::currentPath());  // a first start browses where it started
    buildControls();
    m_menus = new MainMenus(*this, m_options, menuTable(), [this] { return jobRunning(); });
    m_menus->build(centralWidget());
    m_packList.setWidthFunction(twipsOf(this));
    m_packListWindow = new PackListWindow(m_packList, m_jobs->host(), this);
    m_packListWindow->enableWindows = [this](bool on) { EnableBottomMostFrm(on); };
    m_chrome->attachPackList(m_packListWindow);
    connect(m_chrome, &MainChrome::closeRequested, this, &QWidget::close);
    connect(m_packListWindow, &PackListWindow::closedByUser, this,
            [this] { m_menus->action(QStringLiteral("ShowPackLstMnu"))->setChecked(false); });
    connect(m_packListWindow, &PackListWindow::browserRefreshWanted, m_browser,
            &FileBrowserWidget::refresh);
    connect(m_packListWindow, &PackListWindow::listFolderChanged, this,
            [this](const QString& folder) { m_options.setFolder(SettingId::PackListDir, folder); });
    QAction* showPackList = m_menus->action(QStringLiteral("ShowPackLstMnu"));
    showPackList->setCheckable(true);
    showPackList->setChecked(true);
    connect(&m_options, &OptionsModel::changed, this, [this](SettingId id) {
        if (id != SettingId::ContextMenu) {
            return;
        }
        // Written again at every start, so a moved installation repairs its entry.
        if (m_options.isOn(id)) {
            registerPackItActions(QCoreApplication::applicationDirPath() +
                                  QStringLiteral("/zarvo-listfeed"));
        } else {
            removePackItActions();
        }
    });
    connect(&m_options, &OptionsModel::storeFailed, this,
            [this](const QString& text) { m_messages->message(MessageIcon::Warning, text); });
    connectJobs();
    // A long job's word reaches the user who turned to something else.
    auto* notifier = new DesktopNotifier(this);
    connect(m_jobs, &JobController::longJobSpoke, this, [notifier](const QString& text) {
        if (QApplication::activeWindow() == nullptr) {
            notifier->notify(kProgramTitle, text);
        }
    });
    connect(notifier, &DesktopNotifier::clicked, this, [this] {
        showNormal();
        raise();
        activateWindow();
    });
    // The desktop's quit key, live during a job too, when the File menu is closed.
    new QShortcut(QKeySequence::Quit, this, this, &QWidget::close, Qt::ApplicationShortcut);
    // Undo of the pack list's last Clear, Remove or sort, from either window.
    new QShortcut(QKeySequence::Undo, this, &m_packList, &PackListModel::undo);
    // F10 opens the File menu, as in other desktop programs.
    new QShortcut(QKeySequence(Qt::Key_F10), this,
                  [this] { m_menus->captionButtons().constFirst()->click(); });
    // Escape cancels a job from either window, as the cancel button does; between jobs
    // it stays with the dialogs and menus, and a question on screen keeps it too.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &MainWindow::cancelByKey,
                                 Qt::ApplicationShortcut);
    escape->setEnabled(false);
    const auto follow = [this, escape] { escape->setEnabled(m_jobs->busy()); };
    connect(m_jobs, &JobController::started, escape, follow);
    connect(m_jobs, &JobController::stopped, escape, follow);

    chooseFolder = [this](const QString& prompt, const QString& start) {
        return QFileDialog::getExistingDirectory(this, prompt, start);
    };
    chooseOutputFile = [this](const QString& title, const QString& types) {
        FileChoice choice;
        choice.path =
            QFileDialog::getSaveFileName(this, title, m_saveAs->text(), types, &choice.type);
        return choice;
    };
    chooseChecksumFile = [this](const QString& folder) {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Verify Checksums"), folder,
                                            QStringLiteral("Checksums (*.sha256);;All Files (*)"));
    };
    openDocument = [](const QString& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
    orderTabStops();
}

// A job still running here is the teardown of a test or of a crash path: stop it first,
// while the options it answers to are still there.
MainWindow::~MainWindow() {
    m_jobs->shutDown();
}

void MainWindow::connectJobs() {
    connect(m_jobs, &JobController::started, this, &MainWindow::showBusy);
    connect(m_jobs, &JobController::finished, this, &MainWindow::showIdle);
    connect(m_jobs, &JobController::stopped, this, &MainWindow::jobStopped);
    connect(m_jobs, &JobController::customDirectoryRequested, this,
            [this] { customDirectoryCommand(FolderChoice::Unpack); });
}

void MainWindow::buildControls() {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    m_chrome = new MainChrome(*this, *client, *m_jobs, m_options);

    m_browser = new FileBrowserWidget(m_options, m_jobs->host(), client);
    m_browser->move(12, 28);
    connect(m_browser, &FileBrowserWidget::currentDirChanged, this,
            [this](const QString& folder) { m_currentDir = folder; });
    connect(m_browser, &FileBrowserWidget::addRequested, this, &MainWindow::addToPackList);
    buildPanel(client);
    buildPreview(client);

    auto* saveLabel = new QLabel(QStringLiteral("Save As:"), client);
    saveLabel->setGeometry(276, 29, 120, 18);
    m_saveAs = new QLineEdit(client);
    m_saveAs->setObjectName(QStringLiteral("SaveAsNewFilename_txt"));
    m_saveAs->setGeometry(276, 48, 216, 24);
    m_saveAs->installEventFilter(this);  // a dropped file names the output
    m_browse = new QToolButton(client);
    m_browse->setObjectName(QStringLiteral("Browse_cmd"));
    m_browse->setText(QStringLiteral("..."));
    m_browse->setGeometry(496, 48, 28, 24);
    connect(m_browse, &QToolButton::clicked, this, &MainWindow::outputFileCommand);
    buildJobButtons(client);
}

// The MPEG information panel.
void MainWindow::buildPanel(QWidget* client) {
    const auto panelLabel = [client](const QString& text, const QRect& at) {
        auto* label = new QLabel(text, client);
        label->setGeometry(at);
        return label;
    };
    panelLabel(QStringLiteral("Video Size:"), {406, 140, 118, 16})->setProperty("muted", true);
    panelLabel(QStringLiteral("Video Rate:"), {406, 174, 118, 16})->setProperty("muted", true);
    m_videoSize = panelLabel(QStringLiteral("Not Available"), {406, 155, 118, 18});
    m_videoSize->setObjectName(QStringLiteral("MpegInfoVideoSize_Lbl"));
    m_videoRate = panelLabel(QStringLiteral("Not Available"), {406, 189, 118, 18});
    m_videoRate->setObjectName(QStringLiteral("MpegInfoVideoRate_Lbl"));
    m_moreInfo = new QPushButton(QStringLiteral("More Info..."), client);
    m_moreInfo->setObjectName(QStringLiteral("MoreInfo_Cmd"));
    m_moreInfo->setGeometry(406, 212, 118, 24);
    m_moreInfo->setEnabled(false);
    connect(m_moreInfo, &QPushButton::clicked, this, &MainWindow::moreInfoCommand);
    // Alt+P belongs to "&Pack".
    m_preview = new QCheckBox(QStringLiteral("Pre&view"), client);
    m_preview->setObjectName(QStringLiteral("ShowPreviewChk"));
    m_preview->setGeometry(278, 216, 100, 22);
}

void MainWindow::buildJobButtons(QWidget* client) {
    m_jobDisplay = new JobDisplay(client, *m_jobs);
    connect(m_jobDisplay, &JobDisplay::packRequested, this, &MainWindow::packMenuCommand);
    connect(m_jobDisplay, &JobDisplay::unpackRequested, this, &MainWindow::unpackMenuCommand);
}

// Tab follows the window from top left to bottom right: the caption, the browser's
// column, then the output name and the job buttons beside it.
void MainWindow::orderTabStops() {
    QList<QWidget*> chain(m_menus->captionButtons().cbegin(), m_menus->captionButtons().cend());
    for (const char* name :
         {"Drive1", "Dir1", "File1", "pattern_cmb", "ButtonAdd_Img", "ButtonSelectAll_Img",
          "ButtonDeselectAll_Img", "ButtonSelectInverse_Img"}) {
        chain.append(m_browser->findChild<QWidget*>(QLatin1String(name)));
    }
    chain << m_saveAs << m_browse << m_jobDisplay->packButton() << m_jobDisplay->packCancelButton()
          << m_jobDisplay->unpackButton() << m_jobDisplay->unpackCancelButton() << m_moreInfo
          << m_preview;
    m_browse->setFocusPolicy(Qt::StrongFocus);
    for (qsizetype i = 0; i + 1 < chain.size(); ++i) {
        QWidget::setTabOrder(chain.at(i), chain.at(i + 1));
    }
}

QMenu* MainWindow::menu(const QString& title) const {
    return findChild<QMenu*>(title);
}

void MainWindow::setCurrentDir(const QString& folder) {
    m_browser->setFolder(folder);  // the browser reports the folder back
}

void MainWindow::load() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The windows' first places, in twips as stored.
    const SettingsContext context{m_currentDir,
                                  QPointF(m_chrome->packListDefaultPosition() * kTwipsPerPixel),
                                  QPointF(m_chrome->startPosition() * kTwipsPerPixel)};
    // Every stored value back in its vocabulary; the filters initialised on a first start.
    const QString unreadable = m_options.restoreFromStore(context);
    if (!unreadable.isEmpty()) {
        m_messages->message(MessageIcon::Warning, unreadable);
    }
    restoreWindowPlaces();
    m_packListWindow->setListFolder(m_options.folder(SettingId::PackListDir));
    setCurrentDir(m_currentDir);
    if (!loadFilters()) {
        m_messages->message(MessageIcon::Warning, kFilterTamperMessage +
                                                      QStringLiteral(" Please restart ") +
                                                      kProgramTitle + QLatin1Char('.'));
        m_options.ResetFileFilter();
        QApplication::restoreOverrideCursor();
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    applyStartupFolders();
    m_chrome->applyScreenScale(dpiScaleFor(screen()->logicalDotsPerInch()));
    m_jobs->reloadStampingTexts();
    QApplication::restoreOverrideCursor();
}

// The custom folders, the output name and the browser's folder, each from its stored
// folder when that still exists.
void MainWindow::applyStartupFolders() {
    m_options.settleFolder(SettingId::UnpackCustomDir, m_currentDir);
    const QString saveFolder = m_options.settleFolder(SettingId::SaveCustomDir, m_currentDir);
    const bool lastSaved = m_options.saveTo() == SaveFolder::LastSaved;
    m_saveAs->setText(joinPath(
        lastSaved ? m_options.settleFolder(SettingId::LastSavedDir, m_currentDir) : saveFolder,
        kDefaultOutputName));
    const bool startupStored = !m_options.folder(SettingId::StartupCustomDir).isEmpty();
    const QString startup = m_options.settleFolder(SettingId::StartupCustomDir, m_currentDir);
    if (startupStored || m_options.startup() != StartupFolder::LastUsed) {
        setCurrentDir(startup);
    }
    if (m_options.startup() != StartupFolder::LastUsed) {
        return;
    }
    const QString last = m_options.folder(SettingId::LastUsedDir);
    if (!last.isEmpty() && QFileInfo(withoutTrailingSlashes(last)).isDir()) {
        setCurrentDir(last);
    }
    m_options.setFolder(SettingId::LastUsedDir, m_currentDir);
}

void MainWindow::ShellCommandAddFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        m_packList.appendPath(path);
    }
}

void MainWindow::runCommandLine(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    ShellCommandAddFiles(paths);
    outputFileCommand();
    if (m_options.showTips()) {
        tipCommand();
    }
    m_packListWindow->show();
}

void MainWindow::receiveFiles(const QStringList& paths) {
    if (m_jobs->busy()) {
        m_handedOver += paths;  // the job reads the list it started with
        return;
    }
    ShellCommandAddFiles(paths);
    m_packListWindow->show();
    m_menus->action(QStringLiteral("ShowPackLstMnu"))->setChecked(true);
    if (isMinimized()) {
        showNormal();
    }
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_jobs->busy() && !mayCloseDuringJob()) {
        event->ignore();
        return;
    }
    m_player->stop();
    m_player->closeMedia();
    hide();
    storePlaces();
    m_packListWindow->hide();
    event->accept();
}

// Yes cancels the job; the window closes once its thread has stopped, after the usual
// cancel message. What the job wrote stays.
bool MainWindow::mayCloseDuringJob() {
    if (m_quitAfterJob) {
        return false;
    }
    if (m_jobs->kind() == JobKind::None) {
        m_quitAfterJob = true;  // done, and only showing its result: close after it
        return false;
    }
    const MessageAnswer answer = m_messages->message(
        MessageIcon::Warning, QStringLiteral("A job is running. Cancel it and quit?"),
        MessageButtons::YesNo);
    if (answer != MessageAnswer::Yes) {
        return false;
    }
    if (!m_jobs->busy()) {
        return true;  // it ended while the question showed
    }
    m_quitAfterJob = true;
    m_jobs->stopForQuit(false);
    return false;
}

// The stored places, kept on today's screens. Docked windows start docked, as long as
// the main window stands where it was.
void MainWindow::restoreWindowPlaces() {
    QList<QRect> screens;
    for (const QScreen* each : QGuiApplication::screens()) {
        screens.append(each->availableGeometry());
    }
    const QPoint storedMain = (m_options.mainPosition() / kTwipsPerPixel).toPoint();
    move(placedOnScreens(QRect(storedMain, size()), screens));
    const QRect storedList((m_options.packListPosition() / kTwipsPerPixel).toPoint(),
                           m_packListWindow->size());
    const DockedFlags docked = DockedFlags::fromBits(m_options.packListDockedSides());
    if (docked.any() && pos() == storedMain) {
        m_packListWindow->move(storedList.topLeft());
        m_chrome->restoreDocking(docked);
        return;
    }
    m_packListWindow->move(
        packListStart(storedList, QRect(pos(), size()), m_chrome->captionButtonsArea(), screens));
}

void MainWindow::cancelByKey() {
    if (m_jobs->busy()) {
        m_jobs->armCancel();
        m_jobs->cancel();
    }
}

void MainWindow::storePlaces() {
    m_options.setWindowPlaces(QPointF(pos() * kTwipsPerPixel),
                              QPointF(m_packListWindow->pos() * kTwipsPerPixel),
                              m_chrome->docking().flags().bits());
    m_options.setFolder(SettingId::LastUsedDir, m_currentDir);
}

void MainWindow::endSession() {
    m_endingSession = true;
    // A question on screen gets its cancel answer; a job's later ones are not shown.
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        dialog->reject();
    }
    if (m_jobs->busy()) {
        m_jobs->stopForQuit(true);
        return;  // again once the job has stopped
    }
    m_player->stop();
    storePlaces();
    QApplication::quit();
}

void MainWindow::jobStopped() {
    if (m_endingSession) {
        endSession();
    } else if (m_quitAfterJob) {
        close();
    } else if (!m_handedOver.isEmpty()) {
        receiveFiles(std::exchange(m_handedOver, {}));
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_saveAs && event->type() == QEvent::DragEnter) {
        auto* enter = static_cast<QDragEnterEvent*>(event);
        if (enter->mimeData()->hasUrls()) {
            enter->acceptProposedAction();
            return true;
        }
    }
    if (watched == m_saveAs && event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        QStringList paths;
        for (const QUrl& url : drop->mimeData()->urls()) {
            if (url.isLocalFile()) {
                paths.append(url.toLocalFile());
            }
        }
        drop->acceptProposedAction();
        outputNameDropped(paths);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::outputNameDropped(const QStringList& paths) {
    if (!paths.isEmpty()) {
        const QString& dropped = paths.first();
        const QFileInfo info(dropped);
        if (!info.exists()) {
            m_messages->message(MessageIcon::Error, notFoundText(dropped));
            return;
        }
        if (info.isDir()) {
            m_messages->message(MessageIcon::Information,
                                QLatin1Char('\'') + dropped + QStringLiteral("' is a directory."));
        } else {
            m_saveAs->setText(dropped);
        }
    }
    rememberSaveFolder();
}

void MainWindow::EnableBottomMostFrm(bool enabled) {
    setEnabled(enabled);
    m_packListWindow->setEnabled(enabled);
}

void MainWindow::outputFileCommand() {
    const QString types = qtFileDialogFilter(saveDialogTypeList(m_options, m_jobs->host()));
    EnableBottomMostFrm(false);
    const FileChoice chosen = chooseOutputFile(QStringLiteral("Save Pack File As"), types);
    QString confirmed;
    if (!chosen.path.trimmed().isEmpty()) {
        const QString output = withTypeExtension(chosen.path.trimmed(), chosen.type);
        m_saveAs->setText(output);
        // The dialog asked before a file of this very name could be replaced.
        const bool asked = output == chosen.path.trimmed() && pathExists(output);
        confirmed = asked ? output : QString();
    }
    EnableBottomMostFrm(true);
    m_jobs->outputChosen(confirmed);
    rememberSaveFolder();
}

// A name without a folder says nothing about where the user saves.
void MainWindow::rememberSaveFolder() {
    const QString folder = folderPart(m_saveAs->text().trimmed());
    if (!folder.isEmpty()) {
        m_options.setFolder(SettingId::LastSavedDir, withoutTrailingSlashes(folder));
    }
}

QString MainWindow::customDirectory(FolderChoice which) const {
    return m_options.folder(OptionsModel::folderSetting(which));
}

QString MainWindow::chooseCustomDirectory(FolderChoice which, QWidget* owner) {
    const QString current = customDirectory(which);
    const QString shown = fitPathToWidth(current, 4600, twipsOf(owner));
    EnableBottomMostFrm(false);
    const QString chosen = chooseFolder(folderPrompt(which) + shown, current);
    EnableBottomMostFrm(true);
    return chosen.isEmpty() ? QString() : withoutTrailingSlashes(chosen);
}

void MainWindow::applyCustomDirectory(FolderChoice which, const QString& folder) {
    m_options.chooseCustomFolder(which, folder);
    if (which == FolderChoice::Save) {
        m_saveAs->setText(joinPath(folder, kDefaultOutputName));
    }
}

void MainWindow::customDirectoryCommand(FolderChoice which) {
    const QString chosen = chooseCustomDirectory(which, this);
    if (chosen.isEmpty()) {
        // A cancelled chooser changes nothing (the entry's own check mark included).
        m_menus->refreshChecks(OptionsModel::customEntry(which).first);
        return;
    }
    applyCustomDirectory(which, chosen);
}

void MainWindow::customSizeCommand() {
    CustomSizeDialog dialog(m_options, m_jobs->host(), false, this);
    dialog.exec();
    m_menus->refreshChecks(SettingId::SplitSize);
}

std::optional<CustomSizeChoice> MainWindow::chooseCustomSize(QWidget* owner) {
    CustomSizeDialog dialog(m_options, m_jobs->host(), true, owner);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    m_menus->refreshChecks(SettingId::SplitSize);
    return dialog.choice();
}

void MainWindow::addToPackList() {
    if (m_browser->selectedNames().isEmpty()) {
        m_messages->message(MessageIcon::Warning, QStringLiteral("Nothing to add."));
        return;
    }
    const FileListWidget* files = m_browser->fileList();
    const QString folderText = joinPath(m_currentDir, QString());  // ends in one "/"
    for (int row = 0; row < files->count(); ++row) {
        if (files->item(row)->isSelected()) {
            m_packList.append(folderText, files->nameAt(row), true);
        }
    }
}

// The preview follows the browser's focused file while it is switched on, and shows
// the file's MPEG information as it loads it.
void MainWindow::buildPreview(QWidget* client) {
    m_player = new PreviewPlayerWidget(m_jobs->host(), client);
    m_player->move(276, 78);
    m_player->showMpegInfo = [this](const QString& path) { updateMpegPanel(path); };
    m_player->resetMpegInfo = [this] { resetMpegPanel(); };
    connect(m_browser, &FileBrowserWidget::focusedFileChanged, m_player,
            &PreviewPlayerWidget::focusedFileChanged);
    connect(m_preview, &QCheckBox::clicked, this, [this] {
        const bool empty = m_browser->fileList()->count() == 0;
        QString focused = m_browser->focusedPath();
        if (!empty && focused.isEmpty()) {
            focused = joinPath(m_currentDir, QString());  // no file is focused: nothing opens
        }
        m_player->switchPreview(empty ? QString() : focused);
    });
}

void MainWindow::resetMpegPanel() {
    m_mpegInfoAvailable = false;
    m_videoSize->setText(QStringLiteral("Not Available"));
    m_videoRate->setText(QStringLiteral("Not Available"));
    m_moreInfo->setEnabled(false);
}

void MainWindow::updateMpegPanel(const QString& path) {
    if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable()) {
        resetMpegPanel();
        return;
    }
    m_mpegInfoAvailable = false;
    const std::optional<MpegInfo> info = ShowMpegInfo(path, m_panelFiles);
    if (!info) {
        resetMpegPanel();  // never another file's values
        return;
    }
    m_videoSize->setText(info->sizeText);
    m_videoRate->setText(info->rateText);
    m_moreInfo->setEnabled(!jobRunning());
    m_mpegInfoAvailable = true;
}

void MainWindow::moreInfoCommand() {
    const QString path = m_browser->focusedPath();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return;
    }
    const std::optional<MpegInfo> info = ShowMpegInfo(path, m_panelFiles);
    if (info) {
        // Duration and frames describe the file loaded in the preview.
        const PreviewPlayerWidget::Fields& media = m_player->fields();
        m_messages->message(
            MessageIcon::Information,
            info->summaryText(durationText(media.totalTime.toDouble()), media.totalFrames));
    }
}

bool MainWindow::loadFilters() {
    return m_browser->loadFilters();
}

void MainWindow::resetFileFilters() {
    m_options.ResetFileFilter();
    loadFilters();
}

void MainWindow::fileTypeCommand() {
    CustomFilterDialog dialog(m_options, m_jobs->host(), this);
    dialog.exec();
    loadFilters();
}

void MainWindow::preferencesCommand() {
    PreferencesDialog dialog(m_options, *this, m_jobs->host(), this);
    dialog.exec();
}

// One tip window: asked again, the open one comes to the front.
void MainWindow::tipCommand() {
    auto* tips = findChild<TipWindow*>();
    if (tips == nullptr) {
        tips = new TipWindow(tipsFilePath(), m_options, this);
    }
    tips->show();
    tips->raise();
}

void MainWindow::aboutCommand() {
    AboutDialog about(this);
    about.exec();
}

void MainWindow::copyrightStampingCommand() {
    CopyrightStampingDialog dialog(m_jobs->host(), this);
    connect(&dialog, &CopyrightStampingDialog::saved, m_jobs, &JobController::reloadStampingTexts);
    dialog.exec();
}

void MainWindow::helpCommand() {
    const QString help = helpFilePath();
    if (!QFileInfo(help).isFile()) {
        m_messages->message(MessageIcon::Error, notFoundText(help));
    } else if (!openDocument(help)) {
        // No program opens it: the page shows in our own window instead.
        auto* window = findChild<HelpWindow*>();
        if (window == nullptr) {
            window = new HelpWindow(help, this);
        }
        window->show();
        window->raise();
    }
}

// The check mark decides: a minimised main window hides the list but keeps the mark.
void MainWindow::showPackListCommand() {
    m_packListWindow->setVisible(m_menus->action(QStringLiteral("ShowPackLstMnu"))->isChecked());
}

void MainWindow::verifyCommand() {
    const QString manifest = chooseChecksumFile(m_currentDir);
    if (!manifest.isEmpty()) {
        m_jobs->arm();
        m_jobs->startVerify(manifest);
    }
}

void MainWindow::packMenuCommand() {
    m_jobs->arm();
    m_jobs->startPack(m_packList.fullPaths(), m_saveAs->text().trimmed());
}

void MainWindow::unpackMenuCommand() {
    m_jobs->arm();
    m_jobs->startUnpack(m_packList.fullPaths(), m_saveAs->text().trimmed());
}

// What cannot act during a job is shown disabled: the controls, and the menus with
// their shortcuts; the job display shows the job itself.
void MainWindow::showBusy() {
    for (QWidget* control : {static_cast<QWidget*>(m_browse), static_cast<QWidget*>(m_saveAs),
                             static_cast<QWidget*>(m_preview), static_cast<QWidget*>(m_moreInfo)}) {
        control->setEnabled(false);
    }
    m_browser->setBusy(true);
    m_packListWindow->setBusy(true);
    m_menus->showBusy(true);
    m_chrome->showBusyPointer(true);
}

void MainWindow::showIdle() {
    for (QWidget* control : {static_cast<QWidget*>(m_browse), static_cast<QWidget*>(m_saveAs),
                             static_cast<QWidget*>(m_preview)}) {
        control->setEnabled(true);
    }
    m_moreInfo->setEnabled(m_mpegInfoAvailable);
    m_browser->setBusy(false);
    m_packListWindow->setBusy(false);
    m_menus->showBusy(false);
    m_chrome->showBusyPointer(false);
}

// The main window's menus, in the order they show: what each entry does here.
std::vector<MenuEntry> MainWindow::menuTable() {
    using namespace menu;
    using Id = SettingId;
    const auto call = [this](void (MainWindow::*method)()) {
        return [this, method] { (this->*method)(); };
    };
    // The custom folder entries run the folder chooser instead of choosing at once.
    const auto folderChoice = [this](const char* name, const char* title, Id setting, auto word,
                                     FolderChoice which) {
        MenuEntry entry = choice(name, title, setting, word);
        entry.command = [this, which] { customDirectoryCommand(which); };
        return entry;
    };
    return {
        caption("FileMenu_File_Img", "File", 228, "Alt+F"),
        command("SaveAsMnu", "Save As...", call(&MainWindow::outputFileCommand), "Ctrl+S"),
        command("VerifyMnu", "&Verify...", call(&MainWindow::verifyCommand)),
        separator(),
        command("ExitMnu", "E&xit", [this] { close(); }),
        end(),

        caption("FileMenu_Action_Img", "Action", 278, "Alt+A"),
        command("PackMnu", "&Pack", call(&MainWindow::packMenuCommand), "Ctrl+P", MenuBusy::Arms),
        command("UnpackMnu", "&Unpack", call(&MainWindow::unpackMenuCommand), "Ctrl+U",
                MenuBusy::Arms),
        separator(),
        command(
            "SelAllMnu", "Select &All", [this] { browser()->selectAll(); }, "Ctrl+A"),
        command(
            "DeSelAllMnu", "De&select All", [this] { browser()->deselectAll(); }, "Ctrl+D"),
        command(
            "InvSelMnu", "&Inverse Select", [this] { browser()->invertSelection(); }, "Ctrl+I"),
        separator(),
        command(
            "RefreshMnu", "Re&fresh", [this] { m_browser->refresh(); }, "Ctrl+F5"),
        end(),

        caption("FileMenu_Option_Img", "Options", 340, "Alt+O"),
        submenu("Pre&ferences..."),
        command("GeneralMnu", "&General...", call(&MainWindow::preferencesCommand), "Ctrl+K"),
        separator(),
        submenu("Unpack Ty&pe"),
        choice("UnpackRAWMnu", "Unpack (&RAW)", Id::UnpackType, UnpackType::RAW),
        choice("UnpackEMHMnu", "Unpack (&EMH)", Id::UnpackType, UnpackType::EMH),
        separator(),
        toggle("CleanCutsMnu", "&Clean Cuts", Id::CleanCuts),
        end(),
        submenu("Unpack &To"),
        choice("UnpackSaveFileMnu", "&Save File", Id::Destination, UnpackDestination::SaveFile),
        choice("UnpackWhereFileDirMnu", "Where &File Is", Id::Destination,
               UnpackDestination::WhereFile),
        folderChoice("UnpackCustomDirMnu", "&Custom Directory...", Id::Destination,
                     UnpackDestination::CustomDir, FolderChoice::Unpack),
        end(),
        submenu("Unpack &Size"),
        preset("SmallFloppySizeChk", 0),
        preset("LowFloppySizeChk", 1),
        preset("HighFloppySizeChk", 2),
        preset("ZipSizeChk", 3),
        {.kind = MenuKind::CustomSize,
         .name = "CustomSizeChk",
         .caption = "1,440K (Custom...)",
         .command = call(&MainWindow::customSizeCommand),
         .setting = Id::SplitSize},
        end(),
        separator(),
        submenu("Sa&ve"),
        submenu("Save &To"),
        folderChoice("SaveCustomDirMnu", "&Custom Directory...", Id::SaveTo, SaveFolder::Custom,
                     FolderChoice::Save),
        choice("LastSavedDirMnu", "Last &Saved Directory", Id::SaveTo, SaveFolder::LastSaved),
        end(),
        submenu("&Overwrite"),
        choice("OverwriteNoMnu", "&Don't Overwrite Saved File", Id::Overwrite, OverwritePolicy::No),
        choice("OverwritePromptMnu", "&Ask Before Overwrite Saved File", Id::Overwrite,
               OverwritePolicy::Prompt),
        choice("OverwriteNoPromptMnu", "Do&n't Ask Before Overwrite Saved File", Id::Overwrite,
               OverwritePolicy::NoPrompt),
        end(),
        end(),
        submenu("Startup"),
        folderChoice("StartupCustomDirMnu", "&Custom Directory...", Id::Startup,
                     StartupFolder::Custom, FolderChoice::Startup),
        choice("StartupLastUsedDirMnu", "Last &Used Directory", Id::Startup,
               StartupFolder::LastUsed),
        end(),
        separator(),
        submenu("Transfer &Rate", "Spdmnu"),
        choice("SlowSpeedChk", "&Slow", Id::Rate, Speed::Slow),
        choice("NormalSpeedChk", "&Normal", Id::Rate, Speed::Normal),
        choice("FastSpeedChk", "&Fast", Id::Rate, Speed::Fast),
        choice("UltraSpeedChk", "&Ultra Fast", Id::Rate, Speed::UltraFast),
        end(),
        separator(),
        submenu("&Delete After Action"),
        choice("DelNoMnu", "&Don't Delete", Id::DeleteAction, DeleteAction::No),
        choice("DelPromptMnu", "&Ask Before Sending To Recycle Bin", Id::DeleteAction,
               DeleteAction::Prompt),
        choice("DelNoPromptMnu", "Do&n't Ask Before Sending To Recycle Bin", Id::DeleteAction,
               DeleteAction::NoPrompt),
        end(),
        submenu("&Join.bat"),
        choice("CreateJoinBatNoMnu", "&Don't Create Join.bat", Id::JoinBatch, JoinBatchMode::None),
        choice("CreateJoinBatMnu", "Create &Join.bat", Id::JoinBatch, JoinBatchMode::Names),
        choice("CreateJoinBatwExtraInfoMnu", "Create Join.bat w/ &Extra Info", Id::JoinBatch,
               JoinBatchMode::FullPaths),
        separator(),
        command("CopyrightStampingMnu", "Copyright Stamping...",
                call(&MainWindow::copyrightStampingCommand)),
        end(),
        separator(),
        toggle("ZipCompressMnu", "&Zip Compression", Id::Zip),
        toggle("MCheckMnu", "&MPEG Compatibility", Id::MpegCheck),
        toggle("ChecksumMnu", "Write &Checksums", Id::Checksums),
        toggle("SeamlessMnu", "&Seamless MPEG Join", Id::SeamlessJoin),
        separator(),
        submenu("Miscella&neous"),
        toggle("AddContextMenuMnu", "Show \"Pack It...\" in &Explorer", Id::ContextMenu),
        end(),
        separator(),
        command("FileTypeMnu", "Custom FileT&ype...", call(&MainWindow::fileTypeCommand)),
        end(),
        separator(),
        command("ShowPackLstMnu", "Show Pack List", call(&MainWindow::showPackListCommand)),
        separator(),
        toggle("MagnetMnu", "Magnet", Id::Magnet, [this] { chrome()->magnetCommand(); }),
        command(
            "MagnetiseMnu", "&Magnetise", [this] { chrome()->MagnetisePackList(); }, "",
            MenuBusy::Stays),
        end(),

        caption("FileMenu_Help_Img", "Help", 408, "Alt+H", MenuBusy::Stays),
        command("HelpTopicMnu", "Tarvik Zarvo Help Topics", call(&MainWindow::helpCommand), "F1",
                MenuBusy::Stays),
        command("TODMnu", "Tip of the Day", call(&MainWindow::tipCommand), "", MenuBusy::Stays),
        separator(),
        command("AboutMnu", "&About Tarvik Zarvo Pro...", call(&MainWindow::aboutCommand), "",
                MenuBusy::Stays),
        end(),
    };
}
