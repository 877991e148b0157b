#include "ui/file_browser_widget.h"

#include "options/options_model.h"

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileSystemWatcher>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStorageInfo>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>

#include "browse/file_filters.h"
#include "core/job_host.h"
#include "core/natural_order.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "packlist/pack_list_model.h"
#include "platform/native_path.h"
#include "ui/pack_list_window.h"
#include "ui/skin_widget.h"
#include "ui/text_width_widget.h"

QString fileSizeTooltip(const QString& name, quint64 bytes) {
    return bytes == 0 ? name + QStringLiteral(" (0 byte)")
                      : name + QStringLiteral(" (") + sizeText(bytes) + QStringLiteral(" bytes)");
}

FileListWidget::FileListWidget(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setMouseTracking(true);
}

int FileListWidget::rowUnder(const QPoint& position) const {
    return rowUnderPointer(*this, position);
}

QMimeData* FileListWidget::mimeData(const QList<QListWidgetItem*>& items) const {
    QList<QUrl> urls;
    for (const QListWidgetItem* item : items) {
        urls.append(fileUrlOf(pathFor(item->data(Qt::UserRole).toString())));
    }
    auto* dragged = new QMimeData;
    dragged->setUrls(urls);
    return dragged;
}

QString FileListWidget::nameAt(int row) const {
    return item(row)->data(Qt::UserRole).toString();
}

void FileListWidget::addName(const QString& name) {
    auto* entry = new QListWidgetItem(readableName(name), this);
    entry->setData(Qt::UserRole, name);
}

void FileListWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        Q_EMIT popupRequested(event->globalPosition().toPoint(),
                              rowUnder(event->position().toPoint()));
        return;
    }
    QListWidget::mousePressEvent(event);
}

void FileListWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Q_EMIT enterKey();  // like a double-click: adds the selected files
        return;
    }
    QListWidget::keyPressEvent(event);
}

bool FileListWidget::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip && tooltipFor) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString text = index.isValid() ? tooltipFor(index.row()) : QString();
        if (text.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), text, viewport());
        }
        return true;
    }
    return QListWidget::viewportEvent(event);
}

FileBrowserWidget::FileBrowserWidget(OptionsModel& options, JobHost& host, QWidget* parent)
    : QWidget(parent),
      m_options(options),
      m_host(host),
      m_volumes(new QComboBox(this)),
      m_folders(new QListWidget(this)),
      m_files(new FileListWidget(this)),
      m_patterns(new QComboBox(this)),
      m_folderLabel(new QLabel(this)),
      m_watcher(new QFileSystemWatcher(this)),
      m_settle(new QTimer(this)) {
    setFixedSize(254, 240);
    // A burst of changes (a job's pieces, a copy) is listed at most about three times
    // a second.
    m_settle->setSingleShot(true);
    m_settle->setInterval(300);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_settle, [this] {
        if (!m_settle->isActive()) {
            m_settle->start();
        }
    });
    connect(m_settle, &QTimer::timeout, this, &FileBrowserWidget::followDisk);
    m_volumes->setObjectName(QStringLiteral("Drive1"));
    m_volumes->setGeometry(0, 0, 254, 24);
    m_folderLabel->setObjectName(QStringLiteral("seldir_lbl"));
    m_folderLabel->setGeometry(0, 26, 254, 18);
    m_folders->setObjectName(QStringLiteral("Dir1"));
    m_folders->setGeometry(0, 46, 122, 164);
    m_files->setObjectName(QStringLiteral("File1"));
    m_files->setGeometry(126, 46, 128, 164);
    m_patterns->setObjectName(QStringLiteral("pattern_cmb"));
    m_patterns->setGeometry(0, 214, 126, 24);
    m_busyControls = {m_volumes, m_folders, m_files, m_patterns};

    const auto busyButton = [this](const char* name, const char* tooltip, int slot) {
        QToolButton* button = makeImageButton(this, QLatin1String(name), QLatin1String(tooltip),
                                              {130 + slot * 25, 214, 24, 24});
        m_busyControls.append(button);
        return button;
    };
    connect(busyButton("ButtonAdd_Img", "Add to Pack List", 0), &QToolButton::clicked, this,
            &FileBrowserWidget::addRequested);
    connect(busyButton("ButtonSelectAll_Img", "Select All", 1), &QToolButton::clicked, this,
            &FileBrowserWidget::selectAll);
    connect(busyButton("ButtonDeselectAll_Img", "Deselect All", 2), &QToolButton::clicked, this,
            &FileBrowserWidget::deselectAll);
    connect(busyButton("ButtonSelectInverse_Img", "Inverse Select", 3), &QToolButton::clicked, this,
            &FileBrowserWidget::invertSelection);
    // Mapping network shares is the file manager's business on Linux.
    makeImageButton(this, QStringLiteral("Network_Img"), QStringLiteral("Network Drive"),
                    {230, 214, 24, 24})
        ->setEnabled(false);

    buildPopup();
    fillVolumes();
    connect(m_volumes, &QComboBox::activated, this, &FileBrowserWidget::volumeChosen);
    connect(m_folders, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setFolder(item->data(Qt::UserRole).toString()); });
    connect(m_files, &QListWidget::itemSelectionChanged, this, &FileBrowserWidget::clicked);
    connect(m_files, &QListWidget::itemDoubleClicked, this, &FileBrowserWidget::addRequested);
    connect(m_files, &FileListWidget::enterKey, this, &FileBrowserWidget::addRequested);
    connect(m_files, &FileListWidget::popupRequested, this, [this](const QPoint& at, int row) {
        if (preparePopup(row)) {
            m_popup->popup(at);
        }
    });
    m_files->pathFor = [this](const QString& name) { return pathOf(name); };
    m_files->tooltipFor = [this](int row) {
        const QString name = m_files->nameAt(row);
        return fileSizeTooltip(name, GetFileLen(pathOf(name)));
    };
    connect(m_patterns, &QComboBox::currentIndexChanged, this, &FileBrowserWidget::patternChosen);
}

void FileBrowserWidget::buildPopup() {
    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("FileSelPopupMnu"));
    const auto add = [this](const char* name, const char* caption, auto handler) {
        QAction* item = m_popup->addAction(QLatin1String(caption), this, handler);
        item->setObjectName(QLatin1String(name));
    };
    add("AddFileSelPopupMnu", "&Add", [this] { Q_EMIT addRequested(); });
    m_popup->addSeparator()->setObjectName(QStringLiteral("brkmnu09"));
    add("SelectAllFileSelPopupMnu", "Select &All", [this] { selectAll(); });
    add("DeselectAllFileSelPopupMnu", "De&select All", [this] { deselectAll(); });
    add("InvSelFilePopupMnu", "&Inverse Select", [this] { invertSelection(); });
    m_popup->addSeparator()->setObjectName(QStringLiteral("brkmnu10"));
    add("RefreshFileSelPopupMnu", "Re&fresh", [this] { refresh(); });
    m_popup->addSeparator()->setObjectName(QStringLiteral("brkmnu11"));
    add("PlayMpegFileSelPopupMnu", "&Play", [this] { play(); });
    add("FilePropertiesFileSelPopupMnu", "P&roperties", [this] { properties(); });
}

bool FileBrowserWidget::preparePopup(int row) {
    const int count = m_files->count();
    if (row == count) {
        return false;
    }
    const bool onFile = row < count;
    for (QAction* item : m_popup->actions()) {
        const QString name = item->objectName();
        if (name == QLatin1String("AddFileSelPopupMnu") || name == QLatin1String("brkmnu09") ||
            name == QLatin1String("brkmnu11") || name == QLatin1String("PlayMpegFileSelPopupMnu") ||
            name == QLatin1String("FilePropertiesFileSelPopupMnu")) {
            item->setVisible(onFile);
        }
    }
    return true;
}

void FileBrowserWidget::fillVolumes() {
    m_volumes->clear();
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid()) {
            continue;
        }
        const QString name = volume.displayName() == volume.rootPath()
                                 ? volume.rootPath()
                                 : volume.rootPath() + QStringLiteral("  [") +
                                       volume.displayName() + QLatin1Char(']');
        m_volumes->addItem(name, volume.rootPath());
    }
}

void FileBrowserWidget::volumeChosen(int index) {
    const QString root = m_volumes->itemData(index).toString();
    for (;;) {
        const QStorageInfo volume(root);
        if (volume.isValid() && volume.isReady() && QDir(root).isReadable()) {
            setFolder(root);
            return;
        }
        const MessageAnswer answer =
            m_host.message(MessageIcon::Error,
                           QStringLiteral("The device ") + root + QStringLiteral(" is not ready."),
                           MessageButtons::RetryCancel);
        if (answer != MessageAnswer::Retry) {
            fillVolumes();
            return;
        }
    }
}

namespace {

// The folder's names without hidden ones, in reading order; names that are not valid
// UTF-8 too, which Qt's own listing leaves out.
QStringList visibleEntries(const QString& folder) {
    QStringList names = entryNames(folder);
    names.removeIf([](const QString& name) { return name.startsWith(QLatin1Char('.')); });
    return naturallySorted(names);
}

}  // namespace

void FileBrowserWidget::setFolder(const QString& folder) {
    m_currentDir = withoutTrailingSlashes(QDir::cleanPath(folder));
    if (!m_watcher->directories().isEmpty()) {
        m_watcher->removePaths(m_watcher->directories());
    }
    // Qt's watcher takes names as text: a folder it could not name is not watched.
    if (readableName(m_currentDir) == m_currentDir && isDirectory(m_currentDir)) {
        m_watcher->addPath(m_currentDir);
    }
    const QString shown = fitPathToWidth(m_currentDir, 3800, twipsOf(m_folderLabel));
    m_folderLabel->setText(shown);
    m_folderLabel->setToolTip(m_currentDir);
    const QString root = QStorageInfo(m_currentDir).rootPath();
    const int volume = m_volumes->findData(root);
    if (volume >= 0) {
        m_volumes->setCurrentIndex(volume);
    }
    const QStringList names = visibleEntries(m_currentDir);  // one listing for both lists
    fillFolders(names);
    fillFiles(names);
    Q_EMIT currentDirChanged(m_currentDir);
}

void FileBrowserWidget::fillFolders(const QStringList& names) {
    m_folders->clear();
    if (m_currentDir != QLatin1String("/")) {
        auto* up = new QListWidgetItem(QStringLiteral(".."), m_folders);
        up->setData(Qt::UserRole, QFileInfo(m_currentDir).path());
    }
    for (const QString& name : names) {
        const QString path = joinPath(m_currentDir, name);
        if (isDirectory(path)) {
            auto* item = new QListWidgetItem(readableName(name), m_folders);
            item->setData(Qt::UserRole, path);
        }
    }
}

void FileBrowserWidget::listFiles(const QStringList& names) {
    m_files->clear();
    for (const QString& name : names) {
        if (matchesFilePattern(readableName(name), m_patternList) &&
            isRegularFile(joinPath(m_currentDir, name))) {
            m_files->addName(name);
        }
    }
}

void FileBrowserWidget::followDisk() {
    if (m_busy) {
        m_diskChanged = true;
        return;
    }
    m_diskChanged = false;
    const QStringList selected = m_mirror;
    const QListWidgetItem* focused = m_files->currentItem();
    const QString current = focused == nullptr ? QString() : focused->data(Qt::UserRole).toString();
    m_quietSelection = true;
    const QStringList names = visibleEntries(m_currentDir);
    fillFolders(names);
    listFiles(names);
    m_mirror.clear();
    for (int row = 0; row < m_files->count(); ++row) {
        const QString name = m_files->nameAt(row);
        if (name == current) {
            m_files->setCurrentRow(row, QItemSelectionModel::NoUpdate);
        }
        if (selected.contains(name)) {
            m_files->item(row)->setSelected(true);
            m_mirror.append(name);
        }
    }
    m_quietSelection = false;
}

void FileBrowserWidget::fillFiles(const QStringList& names) {
    m_quietSelection = true;
    listFiles(names);
    m_quietSelection = false;
    if (m_files->count() > 0) {
        m_files->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);  // counts as a click
    } else {
        m_mirror.clear();
    }
}

void FileBrowserWidget::refresh() {
    fillFiles(visibleEntries(m_currentDir));
}

bool FileBrowserWidget::loadFilters() {
    const QList<FileFilter> filters = m_options.fileFilters(m_host);
    const QSignalBlocker blocker(m_patterns);
    m_patterns->clear();
    for (const FileFilter& filter : filters) {
        m_patterns->addItem(filter.displayForm());
    }
    for (const FileFilter& filter : filters) {
        for (const QString& pattern : patternList(filter.patterns)) {
            if (pattern.contains(QLatin1Char('/'))) {
                return false;  // the file list cannot take a path as a pattern
            }
        }
    }
    m_patterns->setCurrentIndex(0);
    patternChosen(0);
    return true;
}

void FileBrowserWidget::patternChosen(int index) {
    if (index < 0) {
        return;
    }
    m_patternList = patternList(m_options.fileFilter(index + 1).patterns);
    fillFiles(visibleEntries(m_currentDir));
}

QString FileBrowserWidget::pathOf(const QString& name) const {
    return joinPath(m_currentDir, name);
}

QString FileBrowserWidget::focusedPath() const {
    const QListWidgetItem* item = m_files->currentItem();
    return item == nullptr ? QString() : pathOf(item->data(Qt::UserRole).toString());
}

void FileBrowserWidget::clicked() {
    if (m_quietSelection) {
        return;
    }
    if (m_files->count() > 0) {
        m_mirror.clear();
        for (int row = 0; row < m_files->count(); ++row) {
            if (m_files->item(row)->isSelected()) {
                m_mirror.append(m_files->nameAt(row));
            }
        }
    }
    if (!focusedPath().isEmpty()) {
        Q_EMIT focusedFileChanged(focusedPath());
    }
    if (m_mirror.isEmpty()) {
        m_host.message(MessageIcon::Warning, QStringLiteral("No filename(s) selected."));
    }
}

// Select all and deselect all are one list operation each, not a click: the mirror
// keeps what it held.
void FileBrowserWidget::selectAll() {
    m_quietSelection = true;
    m_files->selectAll();
    m_quietSelection = false;
}

void FileBrowserWidget::deselectAll() {
    m_quietSelection = true;
    m_files->clearSelection();
    m_quietSelection = false;
}

void FileBrowserWidget::invertSelection() {
    m_quietSelection = true;
    for (int row = 0; row < m_files->count(); ++row) {
        m_files->item(row)->setSelected(!m_files->item(row)->isSelected());
    }
    m_quietSelection = false;
    clicked();
}

void FileBrowserWidget::play() {
    if (m_mirror.size() > 1) {
        m_host.message(MessageIcon::Information,
                       QStringLiteral("More than 1 file selected. Only last selected file will be "
                                      "played."));
    }
    const QString path = focusedPath();
    if (path.isEmpty() || !QFileInfo::exists(path) ||
        !QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        m_host.message(MessageIcon::Error,
                       QLatin1Char('\'') + path + QStringLiteral("' was not found!"));
    }
}

void FileBrowserWidget::properties() {
    if (m_mirror.size() > 1) {
        m_host.message(MessageIcon::Information,
                       QStringLiteral("More than 1 file selected. Only last selected file "
                                      "properties will be shown."));
    }
    const QString path = focusedPath();
    if (path.isEmpty()) {
        return;
    }
    // The desktop's file manager shows the properties; without one nothing happens.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItemProperties"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    QDBusConnection::sessionBus().send(call);
}

void FileBrowserWidget::setBusy(bool busy) {
    m_busy = busy;
    if (!busy && m_diskChanged) {
        followDisk();
    }
    for (QWidget* control : std::as_const(m_busyControls)) {
        control->setEnabled(!busy);
    }
}
