#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QToolButton>
#include <QUrl>

#include "browse/custom_filter_dialog.h"
#include "browse/file_browser_widget.h"
#include "browse/file_filters.h"
#include "browse/file_manager_actions.h"
#include "core/registry.h"
#include "core/settings_table.h"
#include "core/text_helpers.h"
#include "core/tips.h"
#include "fileio/native_path.h"
#include "mpeg/mpeg_info.h"
#include "packlist/pack_list_window.h"
#include "ui/job_host_dialog.h"
#include "ui/preferences_dialog.h"
#include "ui/text_width_widget.h"
#include "ui/tip_window.h"
#include "unpack/copyright_stamping_dialog.h"
#include "unpack/custom_size_dialog.h"
#include "unpack/stamping_texts.h"

namespace {

constexpr int kTwipsPerPixel = 15;
const QString kDefaultOutputName = QStringLiteral("default.mpg");

// Labels measure texts in twips with the window's font.
QString helpFilePath() {
    const QString installed = QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../share/tarvik-zarvo/zarvo-help.html");
    if (QFileInfo::exists(installed)) {
        return QDir::cleanPath(installed);
    }
    return QStringLiteral(ZARVO_DATA_DIR "/zarvo-help.html");
}

}  // namespace

// Messages go to the window's message host; progress goes to the window's display,
// where pending events (a cancel click) run.
class MainWindow::WindowJobHost : public JobHost {
public:
    explicit WindowJobHost(MainWindow& window) : m_window(window) {}

    MessageAnswer message(MessageIcon icon, const QString& text, MessageButtons buttons) override {
        return m_window.m_messages->message(icon, text, buttons);
    }
    void progress(const ProgressReport& report) override { m_window.showProgress(report); }

private:
    MainWindow& m_window;
};

MainWindow::MainWindow(JobHost* messages, QWidget* parent)
    : QMainWindow(parent),
      m_ownMessages(messages == nullptr ? std::make_unique<DialogJobHost>(this) : nullptr),
      m_messages(messages != nullptr ? messages : m_ownMessages.get()),
      m_jobHost(std::make_unique<WindowJobHost>(*this)),
      m_files(m_jobHost.get()),
      m_pack(m_files, *m_jobHost),
      m_unpack(m_files, *m_jobHost) {
    setObjectName(QStringLiteral("zarvomainfrm"));
    setWindowTitle(QStringLiteral("Tarvik Zarvo Pro"));
    setFixedSize(533, 308);
    m_currentDir = AddSlash(QDir::currentPath());  // a first start browses where it started
    buildControls();
    buildMenus();
    m_packList.setWidthFunction(twipsOf(this));
    m_packListWindow = new PackListWindow(m_packList, *m_jobHost, this);
    m_packListWindow->enableWindows = [this](bool on) { EnableBottomMostFrm(on); };
    connect(m_packListWindow, &PackListWindow::closedByUser, this,
            [this] { m_showPackList->setChecked(false); });
    connect(m_packListWindow, &PackListWindow::listFolderChanged, this, [](const QString& folder) {
        Registry::saveSetting(QStringLiteral("PkLstDir"), folder);
    });
    connect(&m_options, &OptionsModel::changed, this, &MainWindow::refreshChecks);
    connect(&m_options, &OptionsModel::changed, this, [this](const QString& setting) {
        if (setting != QLatin1String("CmPack")) {
            return;
        }
        // Written again at every start, so a moved installation repairs its entry.
        if (m_options.isOn(setting)) {
            registerPackItActions(QCoreApplication::applicationDirPath() +
                                  QStringLiteral("/zarvo-listfeed"));
        } else {
            removePackItActions();
        }
    });

    chooseFolder = [this](const QString& prompt, const QString& start) {
        return QFileDialog::getExistingDirectory(this, prompt, start);
    };
    chooseOutputFile = [this](const QString& title, const QString& types) {
        FileChoice choice;
        choice.path =
            QFileDialog::getSaveFileName(this, title, m_saveAs->text(), types, &choice.type);
        return choice;
    };
    openDocument = [](const QString& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
    m_pack.onZipStatus = [this](const QString& path) {
        QString shown;
        FormatDir(path, shown, 4200, twipsOf(m_zipStatus));
        m_zipStatus->setText(QStringLiteral("Zipping '") + shown + QLatin1Char('\''));
        m_zipStatus->setVisible(!path.isEmpty());
    };
    m_unpack.onZipStatus = m_pack.onZipStatus;
    orderTabStops();
    m_unpack.onWhereFileChosen = [this] {
        m_options.choose(QStringLiteral("sDir"), QStringLiteral("wfile"));
    };
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls() {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    m_caption = new QLabel(client);
    m_caption->setObjectName(QStringLiteral("TarvikZarvoCaption"));
    m_caption->setGeometry(8, 4, 250, 20);
    m_caption->setText(QStringLiteral("Tarvik Zarvo Pro v") +
                       captionVersion(QCoreApplication::applicationVersion()));

    m_browser = new FileBrowserWidget(*m_jobHost, client);
    m_browser->move(8, 30);
    connect(m_browser, &FileBrowserWidget::currentDirChanged, this,
            [this](const QString& folder) { m_currentDir = folder; });
    connect(m_browser, &FileBrowserWidget::addRequested, this, &MainWindow::addToPackList);
    connect(m_browser, &FileBrowserWidget::focusedFileChanged, this, [this](const QString& path) {
        if (m_preview->isChecked()) {
            updateMpegPanel(path);
        }
    });

    const auto panelLabel = [client](const QString& text, const QRect& at) {
        auto* label = new QLabel(text, client);
        label->setGeometry(at);
        return label;
    };
    panelLabel(QStringLiteral("Video Size:"), {272, 190, 80, 18});
    panelLabel(QStringLiteral("Video Rate:"), {272, 210, 80, 18});
    m_videoSize = panelLabel(QStringLiteral("Not Available"), {352, 190, 172, 18});
    m_videoSize->setObjectName(QStringLiteral("MpegInfoVideoSize_Lbl"));
    m_videoRate = panelLabel(QStringLiteral("Not Available"), {352, 210, 172, 18});
    m_videoRate->setObjectName(QStringLiteral("MpegInfoVideoRate_Lbl"));
    m_moreInfo = new QPushButton(QStringLiteral("More Info..."), client);
    m_moreInfo->setObjectName(QStringLiteral("MoreInfo_Cmd"));
    m_moreInfo->setGeometry(272, 234, 100, 26);
    m_moreInfo->setEnabled(false);
    connect(m_moreInfo, &QPushButton::clicked, this, &MainWindow::moreInfoCommand);
    // Alt+P belongs to "&Pack".
    m_preview = new QCheckBox(QStringLiteral("Pre&view"), client);
    m_preview->setObjectName(QStringLiteral("ShowPreviewChk"));
    m_preview->setGeometry(384, 234, 100, 26);
    m_preview->setChecked(true);

    auto* saveLabel = new QLabel(QStringLiteral("Save As:"), client);
    saveLabel->setGeometry(272, 30, 120, 18);
    m_saveAs = new QLineEdit(client);
    m_saveAs->setObjectName(QStringLiteral("SaveAsNewFilename_txt"));
    m_saveAs->setGeometry(272, 50, 218, 24);
    m_saveAs->installEventFilter(this);  // a dropped file names the output
    m_browse = new QToolButton(client);
    m_browse->setObjectName(QStringLiteral("Browse_cmd"));
    m_browse->setText(QStringLiteral("..."));
    m_browse->setGeometry(494, 50, 30, 24);
    connect(m_browse, &QToolButton::clicked, this, &MainWindow::outputFileCommand);

    const auto jobButton = [client](const QString& name, const QString& text, const QRect& at) {
        auto* button = new QPushButton(text, client);
        button->setObjectName(name);
        button->setGeometry(at);
        return button;
    };
    m_packButton =
        jobButton(QStringLiteral("PackImg"), QStringLiteral("&Pack"), {272, 86, 122, 48});
    m_packCancel = jobButton(QStringLiteral("PackCANCELImg"), QStringLiteral("Cancel Pack"),
                             {272, 86, 122, 48});
    m_unpackButton =
        jobButton(QStringLiteral("UnpackImg"), QStringLiteral("&Unpack"), {402, 86, 122, 48});
    m_unpackCancel = jobButton(QStringLiteral("UnPackCANCELImg"), QStringLiteral("Cancel Unpack"),
                               {402, 86, 122, 48});
    m_packCancel->hide();
    m_unpackCancel->hide();
    connect(m_packButton, &QPushButton::clicked, this, [this] {
        m_actionArmed = true;
        packCommand();
    });
    connect(m_unpackButton, &QPushButton::clicked, this, [this] {
        m_actionArmed = true;
        unpackCommand();
    });
    for (QPushButton* cancel : {m_packCancel, m_unpackCancel}) {
        connect(cancel, &QPushButton::pressed, this, [this] { m_cancelArmed = true; });
        connect(cancel, &QPushButton::clicked, this, &MainWindow::cancelJob);
    }

    m_busyIcon = new QLabel(QStringLiteral("Busy..."), client);
    m_busyIcon->setObjectName(QStringLiteral("BusyIconImg"));
    m_busyIcon->setGeometry(272, 142, 120, 18);
    m_busyIcon->hide();
    m_zipStatus = new QLabel(client);
    m_zipStatus->setObjectName(QStringLiteral("ZipProcess_Lbl"));
    m_zipStatus->setGeometry(272, 164, 252, 18);
    m_zipStatus->hide();

    m_percent = new QLabel(client);
    m_percent->setObjectName(QStringLiteral("percentdone_lbl"));
    m_percent->setGeometry(8, 278, 56, 18);
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_timeRemaining = new QLabel(client);
    m_timeRemaining->setObjectName(QStringLiteral("TimeRemainingLbl"));
    m_timeRemaining->setGeometry(322, 278, 204, 18);
    m_timeRemaining->hide();
}

QMenu* MainWindow::addCaptionMenu(const QString& objectName, const QString& title, int x) {
    auto* button = new QToolButton(centralWidget());
    button->setObjectName(objectName);
    button->setText(title);
    button->setGeometry(x, 4, 58, 22);
    auto* popup = new QMenu(title, button);
    popup->setObjectName(title);
    const bool always = title == QLatin1String("Help");
    connect(button, &QToolButton::clicked, this, [this, button, popup, always] {
        // While a job shows the hourglass only Help opens.
        if (always || !m_busy) {
            popup->popup(button->mapToGlobal(QPoint(0, button->height())));
        }
    });
    m_captionButtons.append(button);
    return popup;
}

// Tab follows the window from top left to bottom right: the caption, the browser's
// column, then the output name and the job buttons beside it.
void MainWindow::orderTabStops() {
    QList<QWidget*> chain(m_captionButtons.cbegin(), m_captionButtons.cend());
    for (const char* name :
         {"Drive1", "Dir1", "File1", "pattern_cmb", "ButtonAdd_Img", "ButtonSelectAll_Img",
          "ButtonDeselectAll_Img", "ButtonSelectInverse_Img"}) {
        chain.append(m_browser->findChild<QWidget*>(QLatin1String(name)));
    }
    chain << m_saveAs << m_browse << m_packButton << m_packCancel << m_unpackButton
          << m_unpackCancel << m_moreInfo << m_preview;
    m_browse->setFocusPolicy(Qt::StrongFocus);
    for (qsizetype i = 0; i + 1 < chain.size(); ++i) {
        QWidget::setTabOrder(chain.at(i), chain.at(i + 1));
    }
}

QMenu* MainWindow::menu(const QString& title) const {
    return findChild<QMenu*>(title);
}

QAction* MainWindow::addCommand(QMenu* menu, const QString& objectName, const QString& caption,
                                const std::function<void()>& handler,
                                const QKeySequence& shortcut) {
    QAction* action = menu->addAction(caption);
    m_commands.append(action);
    action->setObjectName(objectName);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);  // the window sees the shortcut before its controls
    connect(action, &QAction::triggered, this, handler);
    return action;
}

QAction* MainWindow::addChoice(QMenu* menu, const QString& objectName, const QString& caption,
                               const QString& setting, const QString& word) {
    QAction* action = addCommand(menu, objectName, caption,
                                 [this, setting, word] { m_options.choose(setting, word); });
    action->setCheckable(true);
    action->setProperty("setting", setting);
    action->setProperty("word", word);
    m_checkable.append(action);
    return action;
}

QAction* MainWindow::addToggle(QMenu* menu, const QString& objectName, const QString& caption,
                               const QString& setting) {
    QAction* action =
        addCommand(menu, objectName, caption, [this, setting] { m_options.toggle(setting); });
    action->setCheckable(true);
    action->setProperty("setting", setting);
    action->setProperty("word", QStringLiteral("On"));
    m_checkable.append(action);
    return action;
}

void MainWindow::buildMenus() {
    QMenu* file = addCaptionMenu(QStringLiteral("FileMenu_File_Img"), QStringLiteral("File"), 272);
    addCommand(
        file, QStringLiteral("SaveAsMnu"), QStringLiteral("Save As..."),
        [this] { outputFileCommand(); }, QKeySequence(QStringLiteral("Ctrl+S")));
    file->addSeparator();
    addCommand(file, QStringLiteral("ExitMnu"), QStringLiteral("E&xit"), [this] { close(); });

    QMenu* action =
        addCaptionMenu(QStringLiteral("FileMenu_Action_Img"), QStringLiteral("Action"), 334);
    addCommand(
        action, QStringLiteral("PackMnu"), QStringLiteral("&Pack"),
        [this] {
            m_actionArmed = true;
            packCommand();
        },
        QKeySequence(QStringLiteral("Ctrl+P")));
    addCommand(
        action, QStringLiteral("UnpackMnu"), QStringLiteral("&Unpack"),
        [this] {
            m_actionArmed = true;
            unpackCommand();
        },
        QKeySequence(QStringLiteral("Ctrl+U")));
    action->addSeparator();
    // The browser's selection commands.
    addCommand(
        action, QStringLiteral("SelAllMnu"), QStringLiteral("Select &All"),
        [this] { m_browser->selectAll(); }, QKeySequence(QStringLiteral("Ctrl+A")));
    addCommand(
        action, QStringLiteral("DeSelAllMnu"), QStringLiteral("De&select All"),
        [this] { m_browser->deselectAll(); }, QKeySequence(QStringLiteral("Ctrl+D")));
    addCommand(
        action, QStringLiteral("InvSelMnu"), QStringLiteral("&Inverse Select"),
        [this] { m_browser->invertSelection(); }, QKeySequence(QStringLiteral("Ctrl+I")));
    action->addSeparator();
    addCommand(
        action, QStringLiteral("RefreshMnu"), QStringLiteral("Re&fresh"),
        [this] { setCurrentDir(m_currentDir); }, QKeySequence(Qt::Key_F5));

    QMenu* options =
        addCaptionMenu(QStringLiteral("FileMenu_Option_Img"), QStringLiteral("Options"), 396);
    QMenu* prefs = options->addMenu(QStringLiteral("Pre&ferences..."));
    addCommand(
        prefs, QStringLiteral("GeneralMnu"), QStringLiteral("&General..."),
        [this] { preferencesCommand(); }, QKeySequence(QStringLiteral("Ctrl+K")));
    prefs->addSeparator();
    QMenu* type = prefs->addMenu(QStringLiteral("Unpack Ty&pe"));
    addChoice(type, QStringLiteral("UnpackRAWMnu"), QStringLiteral("Unpack (&RAW)"),
              QStringLiteral("UnpkTyp"), QStringLiteral("RAW"));
    addChoice(type, QStringLiteral("UnpackEMHMnu"), QStringLiteral("Unpack (&EMH)"),
              QStringLiteral("UnpkTyp"), QStringLiteral("EMH"));
    QMenu* to = prefs->addMenu(QStringLiteral("Unpack &To"));
    addChoice(to, QStringLiteral("UnpackSaveFileMnu"), QStringLiteral("&Save File"),
              QStringLiteral("sDir"), QStringLiteral("sfile"));
    addChoice(to, QStringLiteral("UnpackWhereFileDirMnu"), QStringLiteral("Where &File Is"),
              QStringLiteral("sDir"), QStringLiteral("wfile"));
    QAction* unpackCustom =
        addChoice(to, QStringLiteral("UnpackCustomDirMnu"), QStringLiteral("&Custom Directory..."),
                  QStringLiteral("sDir"), QStringLiteral("custom"));
    QMenu* size = prefs->addMenu(QStringLiteral("Unpack &Size"));
    const char* const presetNames[] = {"SmallFloppySizeChk", "LowFloppySizeChk",
                                       "HighFloppySizeChk", "ZipSizeChk"};
    for (qsizetype i = 0; i < splitPresets().size(); ++i) {
        const SplitPreset& preset = splitPresets().at(i);
        QAction* entry = addCommand(size, QLatin1String(presetNames[i]), preset.caption,
                                    [this, word = preset.word] { m_options.choosePreset(word); });
        entry->setCheckable(true);
        entry->setProperty("setting", QStringLiteral("sSize"));
        entry->setProperty("word", preset.word);
        m_checkable.append(entry);
    }
    QAction* customSize =
        addCommand(size, QStringLiteral("CustomSizeChk"), QStringLiteral("1,440K (Custom...)"),
                   [this] { customSizeCommand(); });
    customSize->setCheckable(true);
    customSize->setProperty("setting", QStringLiteral("sSize"));
    customSize->setProperty("word", QStringLiteral("custom"));
    m_checkable.append(customSize);
    prefs->addSeparator();
    QMenu* save = prefs->addMenu(QStringLiteral("Sa&ve"));
    QMenu* saveTo = save->addMenu(QStringLiteral("Save &To"));
    QAction* saveCustom = addChoice(saveTo, QStringLiteral("SaveCustomDirMnu"),
                                    QStringLiteral("&Custom Directory..."),
                                    QStringLiteral("SaveTo"), QStringLiteral("Custom"));
    addChoice(saveTo, QStringLiteral("LastSavedDirMnu"), QStringLiteral("Last &Saved Directory"),
              QStringLiteral("SaveTo"), QStringLiteral("LastSaved"));
    QMenu* overwrite = save->addMenu(QStringLiteral("&Overwrite"));
    addChoice(overwrite, QStringLiteral("OverwriteNoMnu"),
              QStringLiteral("&Don't Overwrite Saved File"), QStringLiteral("Owrite"),
              QStringLiteral("No"));
    addChoice(overwrite, QStringLiteral("OverwritePromptMnu"),
              QStringLiteral("&Ask Before Overwrite Saved File"), QStringLiteral("Owrite"),
              QStringLiteral("Prompt"));
    addChoice(overwrite, QStringLiteral("OverwriteNoPromptMnu"),
              QStringLiteral("Do&n't Ask Before Overwrite Saved File"), QStringLiteral("Owrite"),
              QStringLiteral("NoPrompt"));
    QMenu* startup = prefs->addMenu(QStringLiteral("Startup"));
    QAction* startupCustom = addChoice(startup, QStringLiteral("StartupCustomDirMnu"),
                                       QStringLiteral("&Custom Directory..."),
                                       QStringLiteral("StartupOpt"), QStringLiteral("Custom"));
    addChoice(startup, QStringLiteral("StartupLastUsedDirMnu"),
              QStringLiteral("Last &Used Directory"), QStringLiteral("StartupOpt"),
              QStringLiteral("LastUsed"));
    prefs->addSeparator();
    QMenu* rate = prefs->addMenu(QStringLiteral("Transfer &Rate"));
    rate->setObjectName(QStringLiteral("Spdmnu"));
    addChoice(rate, QStringLiteral("SlowSpeedChk"), QStringLiteral("&Slow"),
              QStringLiteral("tRate"), QStringLiteral("slow"));
    addChoice(rate, QStringLiteral("NormalSpeedChk"), QStringLiteral("&Normal"),
              QStringLiteral("tRate"), QStringLiteral("normal"));
    addChoice(rate, QStringLiteral("FastSpeedChk"), QStringLiteral("&Fast"),
              QStringLiteral("tRate"), QStringLiteral("fast"));
    addChoice(rate, QStringLiteral("UltraSpeedChk"), QStringLiteral("&Ultra Fast"),
              QStringLiteral("tRate"), QStringLiteral("ufast"));
    prefs->addSeparator();
    QMenu* deletion = prefs->addMenu(QStringLiteral("&Delete After Action"));
    addChoice(deletion, QStringLiteral("DelNoMnu"), QStringLiteral("&Don't Delete"),
              QStringLiteral("Delact"), QStringLiteral("No"));
    addChoice(deletion, QStringLiteral("DelPromptMnu"),
              QStringLiteral("&Ask Before Sending To Recycle Bin"), QStringLiteral("Delact"),
              QStringLiteral("Prompt"));
    addChoice(deletion, QStringLiteral("DelNoPromptMnu"),
              QStringLiteral("Do&n't Ask Before Sending To Recycle Bin"), QStringLiteral("Delact"),
              QStringLiteral("NoPrompt"));
    QMenu* batch = prefs->addMenu(QStringLiteral("&Join.bat"));
    addChoice(batch, QStringLiteral("CreateJoinBatNoMnu"), QStringLiteral("&Don't Create Join.bat"),
              QStringLiteral("JBat"), QStringLiteral("JbatNo"));
    addChoice(batch, QStringLiteral("CreateJoinBatMnu"), QStringLiteral("Create &Join.bat"),
              QStringLiteral("JBat"), QStringLiteral("Jbat"));
    addChoice(batch, QStringLiteral("CreateJoinBatwExtraInfoMnu"),
              QStringLiteral("Create Join.bat w/ &Extra Info"), QStringLiteral("JBat"),
              QStringLiteral("JbatInfo"));
    batch->addSeparator();
    addCommand(batch, QStringLiteral("CopyrightStampingMnu"),
               QStringLiteral("Copyright Stamping..."), [this] { copyrightStampingCommand(); });
    prefs->addSeparator();
    addToggle(prefs, QStringLiteral("ZipCompressMnu"), QStringLiteral("&Zip Compression"),
              QStringLiteral("MZip"));
    addToggle(prefs, QStringLiteral("MCheckMnu"), QStringLiteral("&MPEG Compatibility"),
              QStringLiteral("MCC"));
    prefs->addSeparator();
    QMenu* misc = prefs->addMenu(QStringLiteral("Miscella&neous"));
    addToggle(misc, QStringLiteral("AddContextMenuMnu"),
              QStringLiteral("Show \"Pack It...\" in &Explorer"), QStringLiteral("CmPack"));
    prefs->addSeparator();
    addCommand(prefs, QStringLiteral("FileTypeMnu"), QStringLiteral("Custom FileT&ype..."),
               [this] { fileTypeCommand(); });
    options->addSeparator();
    // The check mark decides: a minimised main window hides the list but keeps the mark.
    m_showPackList =
        addCommand(options, QStringLiteral("ShowPackLstMnu"), QStringLiteral("Show Pack List"),
                   [this] { m_packListWindow->setVisible(m_showPackList->isChecked()); });
    m_showPackList->setCheckable(true);
    m_showPackList->setChecked(true);
    options->addSeparator();
    addToggle(options, QStringLiteral("MagnetMnu"), QStringLiteral("Magnet"),
              QStringLiteral("Magnet"));
    m_magnetise =
        addCommand(options, QStringLiteral("MagnetiseMnu"), QStringLiteral("&Magnetise"), [] {});
    m_magnetise->setEnabled(false);  // docking comes with the skinned windows

    QMenu* help = addCaptionMenu(QStringLiteral("FileMenu_Help_Img"), QStringLiteral("Help"), 458);
    addCommand(
        help, QStringLiteral("HelpTopicMnu"), QStringLiteral("Tarvik Zarvo Help Topics"),
        [this] { helpCommand(); }, QKeySequence(Qt::Key_F1));
    addCommand(help, QStringLiteral("TODMnu"), QStringLiteral("Tip of the Day"),
               [this] { tipCommand(); });

    // The custom-directory entries run the folder chooser instead of choosing at once.
    for (const auto& [entry, which] :
         {std::pair{unpackCustom, "unpack"}, std::pair{saveCustom, "save"},
          std::pair{startupCustom, "startup"}}) {
        disconnect(entry, &QAction::triggered, this, nullptr);
        connect(entry, &QAction::triggered, this,
                [this, which = QLatin1String(which)] { customDirectoryCommand(which); });
    }
    for (const QString& name :
         {QStringLiteral("UnpkTyp"), QStringLiteral("sDir"), QStringLiteral("sSize"),
          QStringLiteral("SaveTo"), QStringLiteral("Owrite"), QStringLiteral("StartupOpt"),
          QStringLiteral("tRate"), QStringLiteral("Delact"), QStringLiteral("JBat"),
          QStringLiteral("MZip"), QStringLiteral("MCC"), QStringLiteral("CmPack"),
          QStringLiteral("Magnet")}) {
        refreshChecks(name);
    }
}

// The check marks are a view of the options.
void MainWindow::refreshChecks(const QString& setting) {
    const SplitRule& rule = m_options.splitRule();
    for (QAction* action : std::as_const(m_checkable)) {
        if (action->property("setting").toString() != setting) {
            continue;
        }
        const QString word = action->property("word").toString();
        if (setting == QLatin1String("sSize")) {
            action->setChecked(word == rule.checkedEntry);
            if (word == QLatin1String("custom")) {
                action->setText(rule.customCaption);
            }
        } else {
            action->setChecked(m_options.value(setting) == word);
        }
    }
}

void MainWindow::setCurrentDir(const QString& folder) {
    m_browser->setFolder(folder);  // the browser reports the folder back
}

QPoint MainWindow::packListDefaultPosition() const {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int x = (width() + screen.width() - m_packListWindow->width()) / 2;
    const int y = (screen.height() - height() - m_packListWindow->height()) / 2;
    return {x, y};
}

void MainWindow::load() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Pack list position, in twips as stored.
    const QPoint fallback = packListDefaultPosition() * kTwipsPerPixel;
    const SettingsContext context{m_currentDir, static_cast<double>(fallback.x()),
                                  static_cast<double>(fallback.y())};
    // Every stored value back in its vocabulary; the filters initialised on a first start.
    normaliseSettings(context);
    if (const QString unreadable = Registry::takeWarning(); !unreadable.isEmpty()) {
        m_messages->message(MessageIcon::Warning, unreadable);
    }
    m_packListWindow->move(
        static_cast<int>(Registry::setting(QStringLiteral("PkLstXpos")).toDouble() /
                         kTwipsPerPixel),
        static_cast<int>(Registry::setting(QStringLiteral("PkLstYpos")).toDouble() /
                         kTwipsPerPixel));
    m_options.restoreFromStore();
    m_packListWindow->setListFolder(Registry::setting(QStringLiteral("PkLstDir")));
    setCurrentDir(m_currentDir);
    if (!loadFilters()) {
        m_messages->message(
            MessageIcon::Warning,
            kFilterTamperMessage + QStringLiteral(" Please restart Tarvik Zarvo Pro."));
        ResetFileFilter();
        QApplication::restoreOverrideCursor();
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    applyCustomDirectories();
    applyOutputName();
    JobHost& host = *m_jobHost;
    m_stampingLines = LoadCopyrightDataFromFile(host).batchLines;
    applyStartupFolder();
    QApplication::restoreOverrideCursor();
}

// A stored custom folder that still exists is kept; otherwise the current folder.
void MainWindow::applyCustomDirectories() {
    const auto settle = [this](const QString& name) {
        const QString stored = AddSlash(Registry::setting(name));
        const QString used =
            !Registry::setting(name).isEmpty() && QFileInfo(stored).isDir() ? stored : m_currentDir;
        Registry::saveSetting(name, used);
        return used;
    };
    m_unpackCustomDir = settle(QStringLiteral("UnpackCustomDir"));
    m_saveCustomDir = settle(QStringLiteral("SaveCustomDir"));
}

void MainWindow::applyOutputName() {
    m_saveAs->setText(joinPath(m_currentDir, kDefaultOutputName));
    if (m_options.value(QStringLiteral("SaveTo")) == QLatin1String("LastSaved")) {
        const QString last = AddSlash(Registry::setting(QStringLiteral("LastSavedDir")));
        if (!Registry::setting(QStringLiteral("LastSavedDir")).isEmpty() &&
            QFileInfo(last).isDir()) {
            m_saveAs->setText(joinPath(last, kDefaultOutputName));
            Registry::saveSetting(QStringLiteral("LastSavedDir"), last);
        } else {
            Registry::saveSetting(QStringLiteral("LastSavedDir"), m_currentDir);
        }
    } else {
        m_saveAs->setText(joinPath(m_saveCustomDir, kDefaultOutputName));
    }
}

void MainWindow::applyStartupFolder() {
    const auto existing = [](const QString& stored) {
        return !stored.isEmpty() && QFileInfo(AddSlash(stored)).isDir();
    };
    const QString stored = Registry::setting(QStringLiteral("StartupCustomDir"));
    m_startupCustomDir = existing(stored) ? AddSlash(stored) : m_currentDir;
    if (!stored.isEmpty()) {
        setCurrentDir(m_startupCustomDir);
    }
    Registry::saveSetting(QStringLiteral("StartupCustomDir"), m_startupCustomDir);
    if (m_options.value(QStringLiteral("StartupOpt")) != QLatin1String("LastUsed")) {
        setCurrentDir(m_startupCustomDir);
        return;
    }
    const QString last = Registry::setting(QStringLiteral("LastUsedDir"));
    if (existing(last)) {
        setCurrentDir(last);
    }
    Registry::saveSetting(QStringLiteral("LastUsedDir"), m_currentDir);
}

void MainWindow::ShellCommandAddFiles(const QString& commandLine) {
    QString rest = commandLine + QStringLiteral("||");
    for (qsizetype i = 0; i < commandLine.size(); ++i) {
        const QString item = StripItem(rest, QLatin1Char('|'));
        if (item.isEmpty()) {
            break;
        }
        m_packList.appendPath(item);
    }
}

void MainWindow::runCommandLine(const QString& commandLine) {
    if (commandLine.isEmpty()) {
        return;
    }
    ShellCommandAddFiles(commandLine);
    m_packListWindow->show();
    outputFileCommand();
}

void MainWindow::receiveFiles(const QString& commandLine) {
    ShellCommandAddFiles(commandLine);
    m_packListWindow->show();
    m_showPackList->setChecked(true);
    if (isMinimized()) {
        showNormal();
    }
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    hide();
    const QPoint position = m_packListWindow->pos() * kTwipsPerPixel;
    Registry::saveSetting(QStringLiteral("PkLstXpos"), QString::number(position.x()));
    Registry::saveSetting(QStringLiteral("PkLstYpos"), QString::number(position.y()));
    Registry::saveSetting(QStringLiteral("LastUsedDir"), m_currentDir);
    m_packListWindow->hide();
    event->accept();
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
        const QString dropped = paths.first();
        const QFileInfo info(dropped);
        if (!info.exists()) {
            m_messages->message(MessageIcon::Error,
                                QLatin1Char('\'') + dropped + QStringLiteral("' was not found!"));
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
    const QString types = qtFileDialogFilter(saveDialogTypeList(*m_jobHost));
    EnableBottomMostFrm(false);
    const FileChoice chosen = chooseOutputFile(QStringLiteral("Save Pack File As"), types);
    if (!chosen.path.trimmed().isEmpty()) {
        const QString output = withTypeExtension(chosen.path.trimmed(), chosen.type);
        m_saveAs->setText(output);
        // The dialog asked before a file of this very name could be replaced.
        const bool asked = output == chosen.path.trimmed() && pathExists(output);
        m_confirmedOutput = asked ? output : QString();
    }
    EnableBottomMostFrm(true);
    m_pack.PreviouslySaved = false;
    rememberSaveFolder();
}

// A name without a folder says nothing about where the user saves.
void MainWindow::rememberSaveFolder() {
    const QString folder = folderPart(m_saveAs->text().trimmed());
    if (!folder.isEmpty()) {
        Registry::saveSetting(QStringLiteral("LastSavedDir"), AddSlash(folder));
    }
}

namespace {

// The three custom-directory commands differ only in these.
struct CustomDirectoryKind {
    QString* directory;
    const char* prompt;
    const char* directorySetting;
    const char* group;
    const char* word;
};

}  // namespace

static CustomDirectoryKind customDirectoryKind(const QString& which, QString* save,
                                               QString* startup, QString* unpack) {
    if (which == QLatin1String("save")) {
        return {save, "Save As Directory: ", "SaveCustomDir", "SaveTo", "Custom"};
    }
    if (which == QLatin1String("startup")) {
        return {startup, "Startup Directory: ", "StartupCustomDir", "StartupOpt", "Custom"};
    }
    return {unpack, "Unpack To Directory: ", "UnpackCustomDir", "sDir", "custom"};
}

QString MainWindow::chooseCustomDirectory(const QString& which, QWidget* owner) {
    const CustomDirectoryKind kind =
        customDirectoryKind(which, &m_saveCustomDir, &m_startupCustomDir, &m_unpackCustomDir);
    QString shown;
    FormatDir(*kind.directory, shown, 4600, twipsOf(owner));
    EnableBottomMostFrm(false);
    const QString chosen = chooseFolder(QLatin1String(kind.prompt) + shown, *kind.directory);
    EnableBottomMostFrm(true);
    return chosen.isEmpty() ? QString() : AddSlash(chosen);
}

void MainWindow::applyCustomDirectory(const QString& which, const QString& folder) {
    const CustomDirectoryKind kind =
        customDirectoryKind(which, &m_saveCustomDir, &m_startupCustomDir, &m_unpackCustomDir);
    *kind.directory = folder;
    m_options.choose(QLatin1String(kind.group), QLatin1String(kind.word));
    Registry::saveSetting(QLatin1String(kind.directorySetting), folder);
    if (which == QLatin1String("save")) {
        m_saveAs->setText(joinPath(folder, kDefaultOutputName));
    }
}

void MainWindow::customDirectoryCommand(const QString& which) {
    const QString chosen = chooseCustomDirectory(which, this);
    if (chosen.isEmpty()) {
        // A cancelled chooser changes nothing (the entry's own check mark included).
        refreshChecks(QLatin1String(
            customDirectoryKind(which, &m_saveCustomDir, &m_startupCustomDir, &m_unpackCustomDir)
                .group));
        return;
    }
    applyCustomDirectory(which, chosen);
}

void MainWindow::customSizeCommand() {
    CustomSizeDialog dialog(m_options, *m_jobHost, false, this);
    dialog.exec();
    refreshChecks(QStringLiteral("sSize"));
}

std::optional<CustomSizeChoice> MainWindow::customSizeFromPreferences() {
    CustomSizeDialog dialog(m_options, *m_jobHost, true, this);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    refreshChecks(QStringLiteral("sSize"));
    return dialog.choice();
}

void MainWindow::applyCustomSize(const CustomSizeChoice& choice) {
    ::applyCustomSize(m_options.splitRule(), choice.mode, QString::number(choice.value), false);
    m_options.splitRuleChanged();
}

void MainWindow::addToPackList() {
    if (m_browser->selectedNames().isEmpty()) {
        m_messages->message(MessageIcon::Warning, QStringLiteral("Nothing to add."));
        return;
    }
    const QListWidget* files = m_browser->fileList();
    const QString folderText = joinPath(m_currentDir, QString());  // ends in one "/"
    for (int row = 0; row < files->count(); ++row) {
        if (files->item(row)->isSelected()) {
            m_packList.append(folderText, files->item(row)->text(), true);
        }
    }
}

void MainWindow::updateMpegPanel(const QString& path) {
    m_mpegInfoAvailable = false;
    if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable()) {
        m_videoSize->setText(QStringLiteral("Not Available"));
        m_videoRate->setText(QStringLiteral("Not Available"));
        m_moreInfo->setEnabled(false);
        return;
    }
    const std::optional<MpegInfo> info = ShowMpegInfo(path, m_files);
    if (!info) {
        return;  // not MPEG: the panel keeps what it showed
    }
    m_videoSize->setText(info->sizeText);
    m_videoRate->setText(info->rateText);
    m_moreInfo->setEnabled(!m_busy);
    m_mpegInfoAvailable = true;
}

void MainWindow::moreInfoCommand() {
    const QString path = m_browser->focusedPath();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return;
    }
    const std::optional<MpegInfo> info = ShowMpegInfo(path, m_files);
    if (info) {
        // No media is loaded in a preview yet: no duration, no frames.
        m_messages->message(MessageIcon::Information,
                            info->summaryText(durationText(0), QString()));
    }
}

bool MainWindow::loadFilters() {
    return m_browser->loadFilters();
}

void MainWindow::resetFileFilters() {
    ResetFileFilter();
    loadFilters();
}

void MainWindow::fileTypeCommand() {
    CustomFilterDialog dialog(*m_jobHost, this);
    dialog.exec();
    loadFilters();
}

void MainWindow::preferencesCommand() {
    PreferencesDialog dialog(*this, *m_jobHost);
    dialog.exec();
}

void MainWindow::tipCommand() {
    auto* tips = new TipWindow(tipsFilePath(), this);
    tips->show();
}

void MainWindow::copyrightStampingCommand() {
    CopyrightStampingDialog dialog(*m_jobHost, this);
    connect(&dialog, &CopyrightStampingDialog::saved, this,
            [this] { m_stampingLines = LoadCopyrightDataFromFile(*m_jobHost).batchLines; });
    dialog.exec();
}

void MainWindow::helpCommand() {
    const QString help = helpFilePath();
    if (!QFileInfo(help).isFile()) {
        m_messages->message(MessageIcon::Error,
                            QLatin1Char('\'') + help + QStringLiteral("' was not found!"));
    } else if (!openDocument(help)) {
        m_messages->message(MessageIcon::Error,
                            QStringLiteral("No program to show '") + help +
                                QStringLiteral("' could be started. Open it in a web browser."));
    }
}

void MainWindow::DisableControlsForJob() {
    m_busy = true;
    m_busyIcon->show();
    for (QWidget* control : {static_cast<QWidget*>(m_browse), static_cast<QWidget*>(m_saveAs),
                             static_cast<QWidget*>(m_preview), static_cast<QWidget*>(m_moreInfo)}) {
        control->setEnabled(false);
    }
    m_browser->setBusy(true);
    m_packListWindow->setBusy(true);
    showCommandsBusy(true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

// What cannot act during a job is shown disabled: the File, Action and Options menus
// with their shortcuts, and the other job's button. Help stays; the pack and unpack
// shortcuts only arm, as the job command ignores them while the job runs.
void MainWindow::showCommandsBusy(bool busy) {
    for (QToolButton* button : std::as_const(m_captionButtons)) {
        if (button->objectName() != QLatin1String("FileMenu_Help_Img")) {
            button->setEnabled(!busy);
        }
    }
    const QMenu* help = menu(QStringLiteral("Help"));
    for (QAction* command : std::as_const(m_commands)) {
        const bool jobCommand = command->objectName() == QLatin1String("PackMnu") ||
                                command->objectName() == QLatin1String("UnpackMnu");
        if (!jobCommand && !help->actions().contains(command) && command != m_magnetise) {
            command->setEnabled(!busy);
        }
    }
    const bool packing = m_packAction == QLatin1String("pack");
    (packing ? m_unpackButton : m_packButton)->setEnabled(!busy);
}

void MainWindow::EnableControlsAfterJob() {
    if (!m_busy) {
        return;
    }
    m_busy = false;
    m_busyIcon->hide();
    m_packButton->setVisible(true);
    m_packCancel->hide();
    m_unpackButton->setVisible(true);
    m_unpackCancel->hide();
    for (QWidget* control : {static_cast<QWidget*>(m_browse), static_cast<QWidget*>(m_saveAs),
                             static_cast<QWidget*>(m_preview)}) {
        control->setEnabled(true);
    }
    if (m_mpegInfoAvailable) {
        m_moreInfo->setEnabled(true);
    }
    m_browser->setBusy(false);
    m_packListWindow->setBusy(false);
    showCommandsBusy(false);
    m_timeRemaining->hide();
    m_actionArmed = false;
    m_cancelArmed = false;
    QApplication::restoreOverrideCursor();
}

void MainWindow::startProgressDisplay() {
    const bool packing = m_packAction == QLatin1String("pack");
    (packing ? m_packButton : m_unpackButton)->hide();
    (packing ? m_packCancel : m_unpackCancel)->show();
    m_progress.setParent(centralWidget());
    const int top = (centralWidget()->height() * kTwipsPerPixel - 420) / kTwipsPerPixel;
    m_progress.Create(70, top, 246, 15, true);
    m_progress.SetBackColor(Qt::black);
    m_progress.SetBarColor(QColor(200, 200, 200));
    m_percent->setText(QStringLiteral("0%"));
    m_percent->show();
    m_timeRemaining->show();
}

void MainWindow::endProgressDisplay() {
    m_progress.DestroyProgBar();
    m_percent->clear();
    m_timeRemaining->clear();
}

void MainWindow::showProgress(const ProgressReport& report) {
    m_progress.SetProgBarPos(report.percent);  // where a cancel click runs
    if (m_percent->text() != report.percentText) {
        m_percent->setText(report.percentText);
        m_percent->repaint();
    }
    if (m_timeRemaining->text() != report.timeRemainingText) {
        m_timeRemaining->setText(report.timeRemainingText);
    }
}

void MainWindow::finishJob(JobOutcome outcome) {
    if (outcome == JobOutcome::Cancelled) {
        return;  // the cancel command reset everything already
    }
    endProgressDisplay();
    EnableControlsAfterJob();
}

void MainWindow::packCommand() {
    if (m_busy || !m_actionArmed) {
        return;
    }
    m_packAction = QStringLiteral("pack");
    DisableControlsForJob();
    startProgressDisplay();
    PackOptions options;
    options.mpegCheck = m_options.isOn(QStringLiteral("MCC"));
    options.overwrite = overwritePolicyFromWord(m_options.value(QStringLiteral("Owrite")));
    options.zip = m_options.isOn(QStringLiteral("MZip"));
    options.deleteSources = deleteActionFromWord(m_options.value(QStringLiteral("Delact")));
    options.rate = m_options.rate();
    options.confirmedOutput = m_confirmedOutput;
    m_pack.onJobDone = [this] { finishJob(JobOutcome::Success); };
    finishJob(m_pack.run(m_packList.fullPaths(), m_saveAs->text().trimmed(), options));
}

UnpackOptions MainWindow::unpackOptions() const {
    UnpackOptions options;
    options.type = m_options.value(QStringLiteral("UnpkTyp")) == QLatin1String("EMH")
                       ? UnpackType::EMH
                       : UnpackType::RAW;
    const QString destination = m_options.value(QStringLiteral("sDir"));
    options.destination = destination == QLatin1String("wfile")    ? UnpackDestination::WhereFile
                          : destination == QLatin1String("custom") ? UnpackDestination::CustomDir
                                                                   : UnpackDestination::SaveFile;
    options.outputName = m_saveAs->text().trimmed();
    options.customDir = m_unpackCustomDir;
    options.zip = m_options.isOn(QStringLiteral("MZip"));
    options.deleteSources = deleteActionFromWord(m_options.value(QStringLiteral("Delact")));
    options.rate = m_options.rate();
    options.batch = joinBatchModeFromWord(m_options.value(QStringLiteral("JBat")));
    options.stampingLines = m_stampingLines;
    return options;
}

void MainWindow::unpackCommand() {
    if (m_busy || !m_actionArmed) {
        return;
    }
    m_packAction = QStringLiteral("unpack");
    DisableControlsForJob();
    startProgressDisplay();
    UnpackOptions options = unpackOptions();
    m_unpack.onJobDone = [this] { finishJob(JobOutcome::Success); };
    finishJob(m_unpack.run(m_packList.fullPaths(), options, m_options.splitRule()));
    if (m_unpack.customDirectoryRequested()) {
        customDirectoryCommand(QStringLiteral("unpack"));
    }
}

void MainWindow::cancelJob() {
    if (!m_cancelArmed || !m_busy) {
        return;
    }
    const bool cancelled =
        m_packAction == QLatin1String("pack") ? m_pack.cancel() : m_unpack.cancel();
    if (!cancelled) {
        return;  // a zip step is running: it cannot be interrupted
    }
    endProgressDisplay();
    m_percent->hide();
    EnableControlsAfterJob();
}
