#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "browse/file_filters.h"
#include "core/job_host.h"
#include "desktop/job_controller.h"
#include "options/options_model.h"
#include "packlist/pack_list_model.h"
#include "ui/job_display_widget.h"
#include "ui/main_menus_widget.h"
#include "ui/pack_list_window.h"
#include "ui/preferences_dialog.h"

class DialogJobHost;
class FileBrowserWidget;
class MainChrome;
class MainMenus;
class PreviewPlayerWidget;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

// The main window: the four caption menus, the file browser, the output name, the
// pack and unpack buttons with their cancel buttons, the MPEG information panel and
// the job's progress display. It shows; the options model holds the options and the
// job controller runs the jobs.
class MainWindow : public QMainWindow, public PreferencesChoosers {
    Q_OBJECT

public:
    // `messages` answers every message box (tests pass a recorder); by default the
    // window shows real message boxes.
    explicit MainWindow(JobHost* messages = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up steps: every setting read, applied through the commands, written back.
    void load();
    // Files named on the command line, in order; the save dialog follows.
    void ShellCommandAddFiles(const QStringList& paths);
    void runCommandLine(const QStringList& paths);
    // Files handed over by a later start: appended (after a running job), and the
    // window comes forward.
    void receiveFiles(const QStringList& paths);
    // SIGTERM or the session's end: a running job is cancelled unseen, the window
    // positions and the last folder are stored, and the program quits.
    void endSession();

    OptionsModel& options() { return m_options; }
    JobController& jobs() { return *m_jobs; }
    PackListModel& packList() { return m_packList; }
    PackListWindow* packListWindow() const { return m_packListWindow; }
    QLineEdit* outputNameBox() const { return m_saveAs; }
    QPushButton* packCancelButton() const { return m_jobDisplay->packCancelButton(); }
    QPushButton* unpackCancelButton() const { return m_jobDisplay->unpackCancelButton(); }
    QLabel* percentLabel() const { return m_jobDisplay->percentLabel(); }
    QLabel* timeRemainingLabel() const { return m_jobDisplay->timeRemainingLabel(); }
    QMenu* menu(const QString& title) const;
    MainChrome* chrome() const { return m_chrome; }
    QString currentDir() const { return m_currentDir; }
    void setCurrentDir(const QString& folder);
    FileBrowserWidget* browser() const { return m_browser; }
    QLabel* videoSizeLabel() const { return m_videoSize; }
    QLabel* videoRateLabel() const { return m_videoRate; }
    QPushButton* moreInfoButton() const { return m_moreInfo; }
    QCheckBox* previewCheck() const { return m_preview; }
    PreviewPlayerWidget* player() const { return m_player; }
    QString unpackCustomDir() const { return customDirectory(FolderChoice::Unpack); }
    QString saveCustomDir() const { return customDirectory(FolderChoice::Save); }
    QString startupCustomDir() const { return customDirectory(FolderChoice::Startup); }
    bool jobRunning() const { return m_jobs->busy(); }

    // Choosers; tests replace them. They return "" when the user cancels.
    std::function<QString(const QString& prompt, const QString& start)> chooseFolder;
    // The output file's save dialog: its title and its type list (Qt's filter syntax).
    std::function<FileChoice(const QString& title, const QString& types)> chooseOutputFile;
    // Shows a document with the desktop's program for it; false when none starts.
    std::function<bool(const QString& path)> openDocument;
    // The checksum file to verify, chosen in `folder`; "" when cancelled.
    std::function<QString(const QString& folder)> chooseChecksumFile;

    // The commands behind the menus and buttons.
    void packMenuCommand();
    void unpackMenuCommand();
    void outputFileCommand();
    void customDirectoryCommand(FolderChoice which);
    void customSizeCommand();
    void addToPackList();
    void moreInfoCommand();
    void fileTypeCommand();
    void preferencesCommand();
    void tipCommand();
    void aboutCommand();
    void copyrightStampingCommand();
    void helpCommand();
    void showPackListCommand();
    void verifyCommand();
    void EnableBottomMostFrm(bool enabled);
    bool loadFilters();

    // What the preferences dialog opens on top of itself.
    QString customDirectory(FolderChoice which) const override;
    QString chooseCustomDirectory(FolderChoice which, QWidget* owner) override;
    void applyCustomDirectory(FolderChoice which, const QString& folder) override;
    std::optional<CustomSizeChoice> chooseCustomSize(QWidget* owner) override;
    void editStampingTexts() override { copyrightStampingCommand(); }
    void editFileTypes() override { fileTypeCommand(); }
    void resetFileFilters() override;

    // A file dropped on the output name box names the output.
    void outputNameDropped(const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<MenuEntry> menuTable();
    void buildControls();
    void buildPanel(QWidget* client);
    void buildJobButtons(QWidget* client);
    void connectJobs();
    void rememberSaveFolder();
    void orderTabStops();
    void applyStartupFolders();
    void buildPreview(QWidget* client);
    void updateMpegPanel(const QString& path);
    void resetMpegPanel();
    void showBusy();
    void showIdle();
    void jobStopped();
    // Closing during a job asks first; true when the window may close now.
    bool mayCloseDuringJob();
    void storePlaces();
    void cancelByKey();
    void restoreWindowPlaces();

    std::unique_ptr<DialogJobHost> m_ownMessages;
    JobHost* m_messages;
    OptionsModel m_options;
    JobController* m_jobs;
    File64 m_panelFiles;  // the information panel's own, apart from the jobs'
    PackListModel m_packList;
    QPointer<PackListWindow> m_packListWindow;
    MainMenus* m_menus = nullptr;
    MainChrome* m_chrome = nullptr;
    JobDisplay* m_jobDisplay = nullptr;

    QLineEdit* m_saveAs = nullptr;
    QToolButton* m_browse = nullptr;
    FileBrowserWidget* m_browser = nullptr;
    QLabel* m_videoSize = nullptr;
    QLabel* m_videoRate = nullptr;
    QPushButton* m_moreInfo = nullptr;
    QCheckBox* m_preview = nullptr;
    PreviewPlayerWidget* m_player = nullptr;
    bool m_mpegInfoAvailable = false;
    QString m_currentDir;
    QStringList m_handedOver;  // files that arrived during a job
    bool m_quitAfterJob = false;
    bool m_endingSession = false;
};
