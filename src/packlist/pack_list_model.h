#pragma once

#include <QAbstractListModel>
#include <QItemSelectionModel>
#include <QStringList>

#include <optional>

#include "core/text_helpers.h"

class JobHost;
class QMimeData;

// The ordered files of the pack list: each entry a folder text ending in exactly one
// "/" and a file name. Rows show the names; the tooltip is the full path. The edits
// follow the list's long-standing rules (block moves, its own quicksort, the widest-name
// bookkeeping for the horizontal scroll range).
class PackListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Roles { DirectoryRole = Qt::UserRole + 1, FullPathRole };
    static constexpr int kMaxEntries = 32767;
    static constexpr int kWideName = 3800;  // twips
    static inline const QString kRowsMimeType = QStringLiteral("application/x-zarvo-pack-rows");

    explicit PackListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Entries can be dragged (to reorder them); drops land between them.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QString directory(int row) const { return m_directories.at(row); }
    QString name(int row) const { return m_names.at(row); }
    QString fullPath(int row) const { return m_directories.at(row) + m_names.at(row); }
    QStringList fullPaths() const;

    // Appends an entry; `measure` applies the widest-name rule (adds and drops do).
    void append(const QString& directory, const QString& name, bool measure = false);
    // Splits a full path at its last "/" and appends it.
    void appendPath(const QString& path, bool measure = false);
    void clear();

    // Selection-driven edits; `host` hears "Nothing to remove." and the like.
    void removeSelected(QItemSelectionModel& selection, JobHost& host);
    void moveSelectedUp(QItemSelectionModel& selection, JobHost& host);
    void moveSelectedDown(QItemSelectionModel& selection, JobHost& host);
    using QAbstractListModel::sort;  // the views' column sort stays reachable
    void sortEntries(bool ascending);
    static void selectAll(QItemSelectionModel& selection);
    static void deselectAll(QItemSelectionModel& selection);
    static void invertSelection(QItemSelectionModel& selection);
    void clearLostLinks(QItemSelectionModel& selection, JobHost& host);

    // Files dropped from a file manager, in the order given.
    void dropPaths(const QStringList& paths, JobHost& host);

    // Entries dragged within the list: `rows` (any order) move, in their order, to stand
    // before the entry that was at `target` (the end when past it). The moved rows'
    // new first and last rows, or -1 and -1 when nothing moved.
    std::pair<int, int> moveRowsTo(QList<int> rows, int target);
    // The drag's payload: the rows, and back.
    static QMimeData* rowsData(const QList<int>& rows);
    static QList<int> rowsIn(const QMimeData* data);

    // The list as it was before the last Clear, Remove or sort; any other edit forgets it.
    bool canUndo() const { return m_undo.has_value(); }
    void undo();

    // Widest-name bookkeeping: widths in twips from the window's font.
    void setWidthFunction(TextWidthFn width) { m_width = std::move(width); }
    int horizontalExtent() const { return m_extent; }
    int widestName() const { return m_widest; }

    // While a job runs the list must not change: every edit does nothing.
    void setBusy(bool busy) { m_busy = busy; }
    bool busy() const { return m_busy; }

    // The row under a pointer `y` twips into the list, `rowHeight` twips per row.
    static int rowAt(int y, int rowHeight, int topIndex);

Q_SIGNALS:
    void extentChanged(int pixels);
    // The browser's file list changed under a drop (a file was missing).
    void browserRefreshWanted();

private:
    bool readyToSwap(const QItemSelectionModel& selection, JobHost& host) const;
    int measure(const QString& name) const;
    void noteAdded(const QString& name);
    void noteRemoved(int width);
    void setExtent(int widthTwips);
    static std::function<bool(int)> selectedIn(const QItemSelectionModel& selection);
    std::function<void(int, int)> swapIn(QItemSelectionModel& selection);

    void keepForUndo();
    void forgetUndo() { m_undo.reset(); }

    struct Entries {
        QStringList names;
        QStringList directories;
        int widest = 0;
        int secondWidest = 0;
    };
    QStringList m_names;
    QStringList m_directories;
    TextWidthFn m_width;
    int m_widest = 0;
    int m_secondWidest = 0;
    int m_extent = 0;
    bool m_busy = false;
    std::optional<Entries> m_undo;
};

// A file that the pack list counts as present: a normal file, not hidden; a name with
// wildcards counts when any normal file matches it.
bool isPresentNormalFile(const QString& path);
