#include "packlist/pack_list_model.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>

#include "core/block_moves.h"
#include "core/job_host.h"
#include "core/natural_order.h"
#include "core/text_helpers.h"
#include "platform/native_path.h"

namespace {

bool hasWildcards(const QString& name) {
    return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

// What examining a dropped name found.
enum class DroppedKind { File, Directory, Missing, Unreadable };

DroppedKind examine(const QString& path) {
    struct stat info {};
    if (::stat(nativePath(path).constData(), &info) == 0) {
        return S_ISDIR(info.st_mode) ? DroppedKind::Directory : DroppedKind::File;
    }
    return errno == ENOENT ? DroppedKind::Missing : DroppedKind::Unreadable;
}

// The one rewrite a name that cannot be examined gets: doubled separators collapsed.
QString rewritten(const QString& path) {
    return QDir::cleanPath(path);
}

}  // namespace

bool isPresentNormalFile(const QString& path) {
    const QString name = namePart(path);
    const auto normal = [](const QString& file) {
        return isRegularFile(file) && !namePart(file).startsWith(QLatin1Char('.'));
    };
    if (path.contains(QChar(u'\0'))) {
        return false;  // no file has such a name
    }
    if (!hasWildcards(name)) {
        return normal(path);
    }
    const QRegularExpression wildcard(QRegularExpression::wildcardToRegularExpression(name),
                                      QRegularExpression::CaseInsensitiveOption);
    if (!wildcard.isValid()) {
        return false;
    }
    const QString folder = folderPart(path);
    for (const QString& entry : entryNames(folder.isEmpty() ? QStringLiteral(".") : folder)) {
        if (wildcard.match(entry).hasMatch() && normal(joinPath(folder, entry))) {
            return true;
        }
    }
    return false;
}

PackListModel::PackListModel(QObject* parent) : QAbstractListModel(parent) {}

int PackListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_names.size());
}

QVariant PackListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_names.size()) {
        return QVariant();
    }
    switch (role) {
        case Qt::DisplayRole:
            return m_names.at(index.row());
        case Qt::ToolTipRole:
        case FullPathRole:
            return fullPath(index.row());
        case DirectoryRole:
            return m_directories.at(index.row());
        default:
            return QVariant();
    }
}

QStringList PackListModel::fullPaths() const {
    QStringList paths;
    for (int row = 0; row < m_names.size(); ++row) {
        paths.append(fullPath(row));
    }
    return paths;
}

void PackListModel::append(const QString& directory, const QString& name, bool measureIt) {
    if (m_names.size() >= kMaxEntries) {
        return;
    }
    forgetUndo();
    const int row = static_cast<int>(m_names.size());
    beginInsertRows(QModelIndex(), row, row);
    m_directories.append(directory);
    m_names.append(name);
    endInsertRows();
    if (measureIt) {
        noteAdded(name);
    }
}

void PackListModel::appendPath(const QString& path, bool measureIt) {
    append(folderPart(path), namePart(path), measureIt);
}

void PackListModel::clear() {
    if (m_names.isEmpty()) {
        return;
    }
    keepForUndo();
    beginResetModel();
    m_names.clear();
    m_directories.clear();
    endResetModel();
    m_widest = 0;
    m_secondWidest = 0;
    setExtent(0);
}

int PackListModel::measure(const QString& name) const {
    return m_width ? m_width(name) : 0;
}

void PackListModel::setExtent(int widthTwips) {
    // Pixels: width / 15 + 10, rounded half to even.
    const int extent =
        widthTwips == 0 ? 0 : static_cast<int>(std::nearbyint(widthTwips / 15.0 + 10.0));
    if (extent != m_extent) {
        m_extent = extent;
        Q_EMIT extentChanged(extent);
    }
}

void PackListModel::noteAdded(const QString& name) {
    const int width = measure(name);
    if (width > kWideName && width > m_widest) {
        setExtent(width);
        m_widest = width;
    }
}

void PackListModel::noteRemoved(int width) {
    if (width != m_widest) {
        return;
    }
    for (const QString& name : m_names) {
        m_secondWidest = std::max(m_secondWidest, measure(name));
    }
    if (m_secondWidest > kWideName) {
        setExtent(m_secondWidest);
        m_widest = m_secondWidest;
        m_secondWidest = 0;
    } else {
        m_widest = 0;
        setExtent(0);
    }
}

void PackListModel::removeSelected(QItemSelectionModel& selection, JobHost& host) {
    if (m_busy) {
        return;
    }
    if (!selection.hasSelection()) {
        host.message(MessageIcon::Warning, QStringLiteral("Nothing to remove."));
        return;
    }
    keepForUndo();
    int row = 0;
    while (row < m_names.size()) {
        if (!selection.isRowSelected(row, QModelIndex())) {
            ++row;
            continue;
        }
        const int width = measure(m_names.at(row));
        beginRemoveRows(QModelIndex(), row, row);
        m_names.removeAt(row);
        m_directories.removeAt(row);
        endRemoveRows();
        noteRemoved(width);
    }
}

std::function<bool(int)> PackListModel::selectedIn(const QItemSelectionModel& selection) {
    return [&selection](int row) { return selection.isRowSelected(row, QModelIndex()); };
}

std::function<void(int, int)> PackListModel::swapIn(QItemSelectionModel& selection) {
    return [this, &selection](int from, int to) {
        m_names.swapItemsAt(from, to);
        m_directories.swapItemsAt(from, to);
        Q_EMIT dataChanged(index(std::min(from, to)), index(std::max(from, to)));
        selection.select(index(from), QItemSelectionModel::Deselect);
        selection.select(index(to), QItemSelectionModel::Select);
    };
}

// A swap needs an idle list with a selection; an empty one says so.
bool PackListModel::readyToSwap(const QItemSelectionModel& selection, JobHost& host) const {
    if (m_busy) {
        return false;
    }
    if (m_names.isEmpty() || !selection.hasSelection()) {
        host.message(MessageIcon::Warning, QStringLiteral("Nothing to swap."));
        return false;
    }
    return true;
}

void PackListModel::moveSelectedUp(QItemSelectionModel& selection, JobHost& host) {
    if (!readyToSwap(selection, host)) {
        return;
    }
    if (selection.currentIndex().row() <= 0) {
        return;
    }
    forgetUndo();
    moveSelectedRowsUp(rowCount(), selectedIn(selection), swapIn(selection));
}

void PackListModel::moveSelectedDown(QItemSelectionModel& selection, JobHost& host) {
    if (!readyToSwap(selection, host)) {
        return;
    }
    const int current = selection.currentIndex().row();
    if (current < 0 || current >= m_names.size() - 1) {
        return;
    }
    forgetUndo();
    moveSelectedRowsDown(rowCount(), selectedIn(selection), swapIn(selection));
}

void PackListModel::sortEntries(bool ascending) {
    if (m_busy || m_names.isEmpty()) {
        return;
    }
    keepForUndo();
    beginResetModel();
    QStringList names;
    QStringList directories;
    for (const qsizetype row : naturalOrder(m_names, ascending)) {
        names.append(m_names.at(row));
        directories.append(m_directories.at(row));
    }
    m_names = std::move(names);
    m_directories = std::move(directories);
    endResetModel();
}

void PackListModel::keepForUndo() {
    m_undo = Entries{m_names, m_directories, m_widest, m_secondWidest};
}

void PackListModel::undo() {
    if (m_busy || !m_undo) {
        return;
    }
    const Entries before = *std::exchange(m_undo, std::nullopt);
    beginResetModel();
    m_names = before.names;
    m_directories = before.directories;
    endResetModel();
    m_widest = before.widest;
    m_secondWidest = before.secondWidest;
    setExtent(m_widest);
}

Qt::ItemFlags PackListModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags plain = QAbstractListModel::flags(index);
    return index.isValid() ? plain | Qt::ItemIsDragEnabled : plain | Qt::ItemIsDropEnabled;
}

std::pair<int, int> PackListModel::moveRowsTo(QList<int> rows, int target) {
    rows.removeIf([this](int row) { return row < 0 || row >= m_names.size(); });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (m_busy || rows.isEmpty()) {
        return {-1, -1};
    }
    forgetUndo();
    QStringList names;
    QStringList directories;
    for (const int row : std::as_const(rows)) {
        names.append(m_names.at(row));
        directories.append(m_directories.at(row));
    }
    const auto before =
        std::count_if(rows.cbegin(), rows.cend(), [target](int row) { return row < target; });
    const int first = static_cast<int>(
        std::min<qsizetype>(std::max(0, target) - before, m_names.size() - rows.size()));
    beginResetModel();
    for (qsizetype i = rows.size(); i-- > 0;) {  // from the back: the rows before stay put
        m_names.removeAt(rows.at(i));
        m_directories.removeAt(rows.at(i));
    }
    for (qsizetype i = 0; i < names.size(); ++i) {
        m_names.insert(first + i, names.at(i));
        m_directories.insert(first + i, directories.at(i));
    }
    endResetModel();
    return {first, first + static_cast<int>(names.size()) - 1};
}

QMimeData* PackListModel::rowsData(const QList<int>& rows) {
    QStringList numbers;
    for (const int row : rows) {
        numbers.append(QString::number(row));
    }
    auto* data = new QMimeData;
    data->setData(kRowsMimeType, numbers.join(QLatin1Char(',')).toLatin1());
    return data;
}

QList<int> PackListModel::rowsIn(const QMimeData* data) {
    QList<int> rows;
    if (data == nullptr || !data->hasFormat(kRowsMimeType)) {
        return rows;
    }
    for (const QByteArray& number : data->data(kRowsMimeType).split(',')) {
        bool ok = false;
        const int row = number.toInt(&ok);
        if (ok) {
            rows.append(row);
        }
    }
    return rows;
}

void PackListModel::selectAll(QItemSelectionModel& selection) {
    const QAbstractItemModel* model = selection.model();
    if (model->rowCount() == 0) {
        return;
    }
    selection.select(QItemSelection(model->index(0, 0), model->index(model->rowCount() - 1, 0)),
                     QItemSelectionModel::Select);
}

void PackListModel::deselectAll(QItemSelectionModel& selection) {
    selection.clearSelection();
}

void PackListModel::invertSelection(QItemSelectionModel& selection) {
    const QAbstractItemModel* model = selection.model();
    for (int row = 0; row < model->rowCount(); ++row) {
        selection.select(model->index(row, 0), QItemSelectionModel::Toggle);
    }
}

void PackListModel::clearLostLinks(QItemSelectionModel& selection, JobHost& host) {
    if (m_busy) {
        return;
    }
    selection.clearSelection();
    for (int row = 0; row < m_names.size(); ++row) {
        if (!isPresentNormalFile(fullPath(row))) {
            selection.select(index(row), QItemSelectionModel::Select);
        }
    }
    removeSelected(selection, host);
}

void PackListModel::dropPaths(const QStringList& paths, JobHost& host) {
    if (m_busy) {
        return;
    }
    for (const QString& dropped : paths) {
        QString path = dropped;
        DroppedKind kind = examine(path);
        if (kind == DroppedKind::Unreadable) {
            path = rewritten(path);  // one rewrite only, then the name is given up
            kind = examine(path);
        }
        switch (kind) {
            case DroppedKind::Directory:
                host.message(MessageIcon::Information,
                             QLatin1Char('\'') + dropped +
                                 QStringLiteral("' is a directory. Filename skipped."));
                continue;
            case DroppedKind::Missing:
                host.message(MessageIcon::Error,
                             QLatin1Char('\'') + dropped + QStringLiteral("' was not found!"));
                Q_EMIT browserRefreshWanted();
                return;
            case DroppedKind::Unreadable:
                host.message(MessageIcon::Error,
                             QLatin1Char('\'') + dropped +
                                 QStringLiteral("' cannot be read. Filename skipped."));
                continue;
            case DroppedKind::File:
                appendPath(path, true);
                break;
        }
    }
}

int PackListModel::rowAt(int y, int rowHeight, int topIndex) {
    return rowHeight > 0 ? y / rowHeight + topIndex : topIndex;
}
