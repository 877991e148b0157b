#pragma once

#include <QListWidget>
#include <QWidget>

class JobHost;
class OptionsModel;
class PackListModel;
class QComboBox;
class QLabel;
class QMenu;
class QToolButton;
class QFileSystemWatcher;
class QTimer;

// The size tooltip of a file: "name (1,234,567 bytes)", "name (0 byte)".
QString fileSizeTooltip(const QString& name, quint64 bytes);

// The file list: its popup menu follows the row under the pointer, and its tooltip
// tells the size of the file under it.
class FileListWidget : public QListWidget {
    Q_OBJECT

public:
    explicit FileListWidget(QWidget* parent = nullptr);
    int rowUnder(const QPoint& position) const;
    // The file's name as stored on disk (the shown text may stand in for odd bytes).
    QString nameAt(int row) const;
    void addName(const QString& name);
    std::function<QString(int row)> tooltipFor;
    std::function<QString(const QString& name)> pathFor;

Q_SIGNALS:
    void popupRequested(const QPoint& globalPosition, int row);
    void enterKey();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

public:
    // The dragged files, as file URLs of their own bytes.
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
};

// The file browser on the left of the main window: volumes, folders, the files of the
// chosen file type, the current folder, and the mirror of the selected names.
class FileBrowserWidget : public QWidget {
    Q_OBJECT

public:
    FileBrowserWidget(OptionsModel& options, JobHost& host, QWidget* parent = nullptr);

    QComboBox* volumeList() const { return m_volumes; }
    QListWidget* folderList() const { return m_folders; }
    FileListWidget* fileList() const { return m_files; }
    QComboBox* patternBox() const { return m_patterns; }
    QLabel* folderLabel() const { return m_folderLabel; }
    QMenu* popupMenu() const { return m_popup; }

    QString currentDir() const { return m_currentDir; }
    // The mirror of the selected names, as of the last click.
    QStringList selectedNames() const { return m_mirror; }
    QString focusedPath() const;
    QString pathOf(const QString& name) const;

    // The folder change: lists the folder's files and selects the first.
    void setFolder(const QString& folder);
    // The file-type box from the stored filters; false when a pattern is unusable.
    bool loadFilters();
    void refresh();
    void selectAll();
    void deselectAll();
    void invertSelection();
    void play();
    void properties();
    bool preparePopup(int row);
    void setBusy(bool busy);

Q_SIGNALS:
    void addRequested();
    void focusedFileChanged(const QString& path);
    void currentDirChanged(const QString& folder);

private:
    void buildPopup();
    void fillVolumes();
    void volumeChosen(int index);
    // The lists from one listing of the folder (visible names, in reading order).
    void fillFolders(const QStringList& names);
    void fillFiles(const QStringList& names);
    void listFiles(const QStringList& names);
    // The shown folder changed on disk: listed again, the selection kept; during a job
    // only once it has ended.
    void followDisk();
    void patternChosen(int index);
    void clicked();  // any selection change of the file list counts as a click

    OptionsModel& m_options;
    JobHost& m_host;
    QComboBox* m_volumes;
    QListWidget* m_folders;
    FileListWidget* m_files;
    QComboBox* m_patterns;
    QLabel* m_folderLabel;
    QMenu* m_popup = nullptr;
    QList<QWidget*> m_busyControls;
    QString m_currentDir;
    QStringList m_patternList{QStringLiteral("*.*")};
    QStringList m_mirror;
    bool m_quietSelection = false;
    bool m_busy = false;
    bool m_diskChanged = false;
    QFileSystemWatcher* m_watcher;
    QTimer* m_settle;
};
