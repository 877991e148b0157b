#pragma once

#include <QListView>
#include <QWidget>

#include <functional>

#include "browse/file_filters.h"

class JobHost;
class PackListModel;
class QMenu;
class ImageButton;

// The row under a pointer position of a list, counting the empty lines below its last
// row: the popup menus of the lists decide by it.
int rowUnderPointer(const QAbstractItemView& view, const QPoint& position);

// The list view of the pack list: its popup menu follows the row under the pointer,
// and files dropped from a file manager are appended.
class PackListView : public QListView {
    Q_OBJECT

public:
    explicit PackListView(QWidget* parent = nullptr);

    // The row under a pointer position, counting empty lines below the last entry.
    int rowUnder(const QPoint& position) const;

Q_SIGNALS:
    void popupRequested(const QPoint& globalPosition, int row);
    void pathsDropped(const QStringList& paths);
    // Entries dragged within the list, to stand before row `target`.
    void rowsDropped(const QList<int>& rows, int target);
    void removeKey();
    void moveUpKey();
    void moveDownKey();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
};

// The "Pack List" window: the list and its editing buttons, popup menu and files.
class PackListWindow : public QWidget {
    Q_OBJECT

public:
    PackListWindow(PackListModel& model, JobHost& host, QWidget* parent = nullptr);

    PackListView* list() const { return m_list; }
    QMenu* popupMenu() const { return m_popup; }

    // The window's controls while a job runs; the window cannot be closed meanwhile.
    void setBusy(bool busy);

    // File dialogs, opened in `folder`; tests replace them. "" when cancelled.
    std::function<FileChoice(const QString& title, const QString& folder)> chooseSaveFile;
    std::function<QString(const QString& title, const QString& folder)> chooseOpenFile;
    // The folder the pack list dialogs open in: the one last used for a pack list.
    QString listFolder() const { return m_listFolder; }
    void setListFolder(const QString& folder) { m_listFolder = folder; }
    // Around a platform dialog, every window of the program is disabled.
    std::function<void(bool)> enableWindows;

    void removeSelected();
    void moveUp();
    void moveDown();
    void savePackListFile();
    void loadPackListFile(bool append);
    // The popup's rule: all items, all but "R&emove", or none for `row`.
    bool preparePopup(int row);

Q_SIGNALS:
    void browserRefreshWanted();
    void listFolderChanged(const QString& folder);
    // The user closed the window with its close button.
    void closedByUser();
    // A mouse button went down on the window's background, and came up again.
    void dragPressed();
    void dragReleased();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ImageButton* addButton(const QString& objectName, const QString& tooltip, const QRect& geometry,
                           const std::function<void()>& action);
    void buildChrome();
    void resetButtons();
    void buildPopup();
    FileChoice askFile(const std::function<FileChoice(const QString&, const QString&)>& dialog,
                       const QString& title);
    void rememberFolder(const QString& file);

    PackListModel& m_model;
    JobHost& m_host;
    QWidget* m_client;
    PackListView* m_list;
    QMenu* m_popup;
    QList<QWidget*> m_busyControls;
    QString m_listFolder;
};
