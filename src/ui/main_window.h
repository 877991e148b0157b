#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

#include "browse/file_filters.h"
#include "core/job_host.h"
#include "core/options_model.h"
#include "fileio/file64.h"
#include "pack/pack_command.h"
#include "pack/progress_bar_widget.h"
#include "pack/progress_feedback.h"
#include "packlist/pack_list_model.h"
#include "packlist/pack_list_window.h"
#include "unpack/unpack_command.h"

class DialogJobHost;
class FileBrowserWidget;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

// The main window: the four caption menus, the output name, the pack and unpack
// buttons with their cancel buttons, and the job's progress display. It owns the
// options, the pack list and the one File64 of every job.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // `messages` answers every message box (tests pass a recorder); by default the
    // window shows real message boxes.
    explicit MainWindow(JobHost* messages = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up steps: every setting read, applied through the commands, written back.
    void load();
    // Files named on the command line, "|" between them; the save dialog follows.
    void ShellCommandAddFiles(const QString& commandLine);
    void runCommandLine(const QString& commandLine);
    // Files handed over by a later start: appended, and the window comes forward.
    void receiveFiles(const QString& commandLine);

    OptionsModel& options() { return m_options; }
    PackListModel& packList() { return m_packList; }
    PackListWindow* packListWindow() const { return m_packListWindow; }
    QLineEdit* outputNameBox() const { return m_saveAs; }
    QPushButton* packCancelButton() const { return m_packCancel; }
    QPushButton* unpackCancelButton() const { return m_unpackCancel; }
    QLabel* percentLabel() const { return m_percent; }
    QLabel* timeRemainingLabel() const { return m_timeRemaining; }
    QMenu* menu(const QString& title) const;
    QString currentDir() const { return m_currentDir; }
    void setCurrentDir(const QString& folder);
    FileBrowserWidget* browser() const { return m_browser; }
    QLabel* videoSizeLabel() const { return m_videoSize; }
    QLabel* videoRateLabel() const { return m_videoRate; }
    QPushButton* moreInfoButton() const { return m_moreInfo; }
    QCheckBox* previewCheck() const { return m_preview; }
    QString unpackCustomDir() const { return m_unpackCustomDir; }
    QString saveCustomDir() const { return m_saveCustomDir; }
    QString startupCustomDir() const { return m_startupCustomDir; }
    bool jobRunning() const { return m_busy; }

    // Choosers; tests replace them. They return "" when the user cancels.
    std::function<QString(const QString& prompt, const QString& start)> chooseFolder;
    // The output file's save dialog: its title and its type list (Qt's filter syntax).
    std::function<FileChoice(const QString& title, const QString& types)> chooseOutputFile;
    // Shows a document with the desktop's program for it; false when none starts.
    std::function<bool(const QString& path)> openDocument;

    // The commands behind the menus and buttons.
    void packCommand();
    void unpackCommand();
    void outputFileCommand();
    void customDirectoryCommand(const QString& which);
    // The folder chooser of "save", "startup" or "unpack"; "" when cancelled.
    QString chooseCustomDirectory(const QString& which, QWidget* owner);
    // Checks the custom entry of the group, stores it and the folder.
    void applyCustomDirectory(const QString& which, const QString& folder);
    void customSizeCommand();
    std::optional<CustomSizeChoice> customSizeFromPreferences();
    void applyCustomSize(const CustomSizeChoice& choice);
    void addToPackList();
    void moreInfoCommand();
    void fileTypeCommand();
    void preferencesCommand();
    void tipCommand();
    void resetFileFilters();
    bool loadFilters();
    void copyrightStampingCommand();
    void helpCommand();
    void EnableBottomMostFrm(bool enabled);

    // A file dropped on the output name box names the output.
    void outputNameDropped(const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class WindowJobHost;

    void buildControls();
    void buildMenus();
    QMenu* addCaptionMenu(const QString& objectName, const QString& title, int x);
    QAction* addCommand(QMenu* menu, const QString& objectName, const QString& caption,
                        const std::function<void()>& handler,
                        const QKeySequence& shortcut = QKeySequence());
    QAction* addChoice(QMenu* menu, const QString& objectName, const QString& caption,
                       const QString& setting, const QString& word);
    QAction* addToggle(QMenu* menu, const QString& objectName, const QString& caption,
                       const QString& setting);
    void refreshChecks(const QString& setting);
    void rememberSaveFolder();
    void showCommandsBusy(bool busy);
    void orderTabStops();
    void applyCustomDirectories();
    void applyOutputName();
    void applyStartupFolder();
    void updateMpegPanel(const QString& path);
    QPoint packListDefaultPosition() const;

    void DisableControlsForJob();
    void EnableControlsAfterJob();
    void startProgressDisplay();
    void endProgressDisplay();
    void showProgress(const ProgressReport& report);
    void finishJob(JobOutcome outcome);
    void cancelJob();
    UnpackOptions unpackOptions() const;

    std::unique_ptr<DialogJobHost> m_ownMessages;
    JobHost* m_messages;
    std::unique_ptr<WindowJobHost> m_jobHost;
    OptionsModel m_options;
    PackListModel m_packList;
    File64 m_files;
    PackCommand m_pack;
    UnpackCommand m_unpack;
    CProgBar32 m_progress;
    QPointer<PackListWindow> m_packListWindow;

    QLineEdit* m_saveAs = nullptr;
    QPushButton* m_packButton = nullptr;
    QPushButton* m_packCancel = nullptr;
    QPushButton* m_unpackButton = nullptr;
    QPushButton* m_unpackCancel = nullptr;
    QToolButton* m_browse = nullptr;
    QLabel* m_busyIcon = nullptr;
    QLabel* m_zipStatus = nullptr;
    QLabel* m_percent = nullptr;
    QLabel* m_timeRemaining = nullptr;
    FileBrowserWidget* m_browser = nullptr;
    QLabel* m_videoSize = nullptr;
    QLabel* m_videoRate = nullptr;
    QPushButton* m_moreInfo = nullptr;
    QCheckBox* m_preview = nullptr;
    bool m_mpegInfoAvailable = false;
    QLabel* m_caption = nullptr;
    QList<QToolButton*> m_captionButtons;
    QList<QAction*> m_checkable;
    QList<QAction*> m_commands;
    QAction* m_showPackList = nullptr;
    QAction* m_magnetise = nullptr;

    QString m_currentDir;
    QString m_unpackCustomDir;
    QString m_saveCustomDir;
    QString m_startupCustomDir;
    QString m_confirmedOutput;
    QStringList m_stampingLines;
    QString m_packAction;
    bool m_actionArmed = false;
    bool m_cancelArmed = false;
    bool m_busy = false;
};
