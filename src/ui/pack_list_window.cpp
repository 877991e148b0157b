#include "ui/pack_list_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDrag>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QToolButton>

#include "core/job_host.h"
#include "core/text_helpers.h"
#include "fileio/file_identity.h"
#include "packlist/pack_list_file.h"
#include "packlist/pack_list_model.h"
#include "platform/native_path.h"
#include "ui/skin_widget.h"

namespace {

const QString kPackListFilter = QStringLiteral("Zarvo Pack List (*.zpl);;All Files (*)");

QStringList localPaths(const QMimeData* data) {
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths.append(pathOfFileUrl(url));
        }
    }
    return paths;
}

}  // namespace

PackListView::PackListView(QWidget* parent) : QListView(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAcceptDrops(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

int rowUnderPointer(const QAbstractItemView& view, const QPoint& position) {
    const int rowHeight = std::max(1, view.fontMetrics().height());
    const QModelIndex top = view.indexAt(QPoint(1, 1));
    return PackListModel::rowAt(position.y(), rowHeight, top.isValid() ? top.row() : 0);
}

int PackListView::rowUnder(const QPoint& position) const {
    return rowUnderPointer(*this, position);
}

void PackListView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // The press pops up the menu without touching the selection.
        Q_EMIT popupRequested(event->globalPosition().toPoint(),
                              rowUnder(event->position().toPoint()));
        return;
    }
    QListView::mousePressEvent(event);
}

void PackListView::keyPressEvent(QKeyEvent* event) {
    const bool keypad = event->modifiers().testFlag(Qt::KeypadModifier);
    if (event->key() == Qt::Key_Delete) {
        Q_EMIT removeKey();
    } else if (keypad && event->key() == Qt::Key_Minus) {
        Q_EMIT moveUpKey();
    } else if (keypad && event->key() == Qt::Key_Plus) {
        Q_EMIT moveDownKey();
    } else {
        QListView::keyPressEvent(event);
    }
}

namespace {

bool isWelcome(const QMimeData* data) {
    return data->hasUrls() || data->hasFormat(PackListModel::kRowsMimeType);
}

}  // namespace

void PackListView::dragEnterEvent(QDragEnterEvent* event) {
    if (isWelcome(event->mimeData())) {
        event->acceptProposedAction();
    }
}

void PackListView::dragMoveEvent(QDragMoveEvent* event) {
    if (isWelcome(event->mimeData())) {
        event->acceptProposedAction();
    }
}

// The list's own drag carries row numbers; the drop moves them, so the drag itself
// removes nothing.
void PackListView::startDrag(Qt::DropActions) {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    if (rows.isEmpty()) {
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(PackListModel::rowsData(rows));
    drag->exec(Qt::MoveAction);
}

void PackListView::dropEvent(QDropEvent* event) {
    const QList<int> rows = PackListModel::rowsIn(event->mimeData());
    if (!rows.isEmpty()) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
        const QModelIndex at = indexAt(event->position().toPoint());
        Q_EMIT rowsDropped(rows, at.isValid() ? at.row() : model()->rowCount());
        return;
    }
    const QStringList paths = localPaths(event->mimeData());
    if (paths.isEmpty()) {
        return;  // no file list on offer
    }
    event->acceptProposedAction();
    Q_EMIT pathsDropped(paths);
}

PackListWindow::PackListWindow(PackListModel& model, JobHost& host, QWidget* parent)
    : QWidget(parent, Qt::Tool),
      m_model(model),
      m_host(host),
      m_client(new QWidget(this)),
      m_list(new PackListView(m_client)) {
    setObjectName(QStringLiteral("PackLstfrm"));
    setWindowTitle(QStringLiteral("Pack List"));
    setFixedSize(kPackListClientWidth, kPackListClientHeight);
    m_client->setGeometry(rect());
    buildChrome();
    m_list->setObjectName(QStringLiteral("selpos_lst"));
    m_list->setModel(&m_model);
    m_list->setGeometry(8, 58, 268, 202);
    m_busyControls.append(m_list);

    QItemSelectionModel& selection = *m_list->selectionModel();
    addButton(QStringLiteral("PackLstMenu_Clear_Img"), QStringLiteral("Clear Pack List"),
              {8, 32, 56, 20}, [this] {
                  if (!m_model.busy()) {
                      m_model.clear();
                  }
              });
    addButton(QStringLiteral("PackLstMenu_Save_Img"), QStringLiteral("Save Pack List"),
              {68, 32, 52, 20}, [this] { savePackListFile(); });
    addButton(QStringLiteral("PackLstMenu_Load_Img"), QStringLiteral("Load Pack List"),
              {124, 32, 52, 20}, [this] { loadPackListFile(false); });
    addButton(QStringLiteral("PackLstMenu_Append_Img"), QStringLiteral("Append Pack List"),
              {180, 32, 68, 20}, [this] { loadPackListFile(true); });

    const auto side = [](int slot) { return QRect(283, 58 + slot * 26, 24, 24); };
    addButton(QStringLiteral("ButtonRemove_Img"), QStringLiteral("Remove from Pack List"), side(0),
              [this] { removeSelected(); });
    for (ImageButton* swap :
         {addButton(QStringLiteral("ButtonSwapUp_Img"), QStringLiteral("Swap Up"), side(1),
                    [this] { moveUp(); }),
          addButton(QStringLiteral("ButtonSwapDown_Img"), QStringLiteral("Swap Down"), side(2),
                    [this] { moveDown(); })}) {
        swap->hoverlessMove = [this] { resetButtons(); };
    }
    addButton(QStringLiteral("ButtonAscending_Img"), QStringLiteral("Sort Ascending"), side(3),
              [this] { m_model.sortEntries(true); });
    addButton(QStringLiteral("ButtonDescending_Img"), QStringLiteral("Sort Decending"), side(4),
              [this] { m_model.sortEntries(false); });
    addButton(QStringLiteral("ButtonSelectAll_Img"), QStringLiteral("Select All"), side(5),
              [&selection] { PackListModel::selectAll(selection); });
    addButton(QStringLiteral("ButtonDeselectAll_Img"), QStringLiteral("Deselect All"), side(6),
              [&selection] { PackListModel::deselectAll(selection); });
    addButton(QStringLiteral("ButtonSelectInverse_Img"), QStringLiteral("Inverse Select"), side(7),
              [&selection] { PackListModel::invertSelection(selection); });
    addButton(QStringLiteral("PackListUp_Img"), QStringLiteral("Scroll Up"), {254, 32, 16, 20},
              [this] {
                  // Five rows up only when five are there: near the top it stays put.
                  QScrollBar* rows = m_list->verticalScrollBar();
                  if (!m_model.busy() && rows->value() > 4) {
                      rows->setValue(rows->value() - 5);
                  }
              });
    addButton(
        QStringLiteral("PackListDown_Img"), QStringLiteral("Scroll Down"), {272, 32, 16, 20},
        [this] {
            if (!m_model.busy()) {
                m_list->verticalScrollBar()->setValue(m_list->verticalScrollBar()->value() + 5);
            }
        });

    buildPopup();
    connect(m_list, &PackListView::popupRequested, this, [this](const QPoint& at, int row) {
        if (preparePopup(row)) {
            m_popup->popup(at);
        }
    });
    connect(m_list, &QListView::doubleClicked, this, [this] { removeSelected(); });
    connect(m_list, &PackListView::removeKey, this, [this] { removeSelected(); });
    connect(m_list, &PackListView::moveUpKey, this, [this] { moveUp(); });
    connect(m_list, &PackListView::moveDownKey, this, [this] { moveDown(); });
    connect(m_list, &PackListView::pathsDropped, this,
            [this](const QStringList& paths) { m_model.dropPaths(paths, m_host); });
    connect(m_list, &PackListView::rowsDropped, this, [this](const QList<int>& rows, int target) {
        const auto [first, last] = m_model.moveRowsTo(rows, target);
        if (first >= 0) {
            m_list->selectionModel()->select(
                QItemSelection(m_model.index(first), m_model.index(last)),
                QItemSelectionModel::ClearAndSelect);
        }
    });
    connect(&m_model, &PackListModel::browserRefreshWanted, this,
            &PackListWindow::browserRefreshWanted);
    connect(&m_model, &PackListModel::extentChanged, this, [this](int pixels) {
        m_list->horizontalScrollBar()->setRange(0,
                                                std::max(0, pixels - m_list->viewport()->width()));
    });

    chooseSaveFile = [this](const QString& title, const QString& folder) {
        FileChoice choice;
        choice.path =
            QFileDialog::getSaveFileName(this, title, folder, kPackListFilter, &choice.type);
        return choice;
    };
    chooseOpenFile = [this](const QString& title, const QString& folder) {
        return QFileDialog::getOpenFileName(this, title, folder, kPackListFilter);
    };
}

ImageButton* PackListWindow::addButton(const QString& objectName, const QString& tooltip,
                                       const QRect& geometry, const std::function<void()>& action) {
    ImageButton* button = makeImageButton(m_client, objectName, tooltip, geometry);
    connect(button, &QToolButton::clicked, this, action);
    m_busyControls.append(button);  // none of them may act while a job runs
    return button;
}

// Frameless and cut to its outline; moved by its background, icon and caption; closed
// by its own button.
void PackListWindow::buildChrome() {
    applyOutline(*this, packListOutline());
    m_client->setStyleSheet(skinStyleSheet());
    QLabel* background = makePictureLabel(m_client, QStringLiteral("BG_Img"),
                                          QStringLiteral("PackListBackground"), rect());
    background->lower();
    QLabel* icon = makePictureLabel(m_client, QStringLiteral("ZarvoIcon_Img"),
                                    QStringLiteral("ZarvoIcon"), {10, 5, 18, 18});
    auto* caption = new QLabel(QStringLiteral("Pack List"), m_client);
    caption->setObjectName(QStringLiteral("TarvikZarvoCaption"));
    caption->setGeometry(34, 6, 200, 18);
    caption->setStyleSheet(QStringLiteral("font-weight: bold;"));
    ImageButton* close = makeImageButton(m_client, QStringLiteral("ButtonClose_Img"),
                                         QStringLiteral("Close"), {288, 5, 20, 20});
    close->setFocusPolicy(Qt::NoFocus);
    connect(close, &QToolButton::clicked, this, &QWidget::close);
    auto* dragger = new WindowDragger(*this, {m_client, background, icon, caption});
    dragger->pressed = [this] { Q_EMIT dragPressed(); };
    dragger->released = [this] { Q_EMIT dragReleased(); };
    dragger->hovered = [this] { resetButtons(); };
}

void PackListWindow::resetButtons() {
    for (ImageButton* button : findChildren<ImageButton*>()) {
        button->resetPicture();
    }
}

void PackListWindow::buildPopup() {
    m_popup = new QMenu(m_client);
    m_popup->setObjectName(QStringLiteral("PackWhatSelPopupMnu"));
    QItemSelectionModel& selection = *m_list->selectionModel();
    const auto add = [this](const QString& name, const QString& caption,
                            const std::function<void()>& action) {
        QAction* item = m_popup->addAction(caption, this, action);
        item->setObjectName(name);
        return item;
    };
    add(QStringLiteral("RemovePackWhatSelPopupMnu"), QStringLiteral("R&emove"),
        [this] { removeSelected(); });
    m_popup->addSeparator()->setObjectName(QStringLiteral("brkmnu01"));
    add(QStringLiteral("MoveUpPackWhatSelPopupMnu"), QStringLiteral("Move &Up"),
        [this] { moveUp(); });
    add(QStringLiteral("MoveDownPackWhatSelPopupMnu"), QStringLiteral("Move &Down"),
        [this] { moveDown(); });
    m_popup->addSeparator();
    add(QStringLiteral("SelectAllPackWhatSelPopupMnu"), QStringLiteral("Select &All"),
        [&selection] { PackListModel::selectAll(selection); });
    add(QStringLiteral("DeselectAllPackWhatSelPopupMnu"), QStringLiteral("De&select All"),
        [&selection] { PackListModel::deselectAll(selection); });
    add(QStringLiteral("InvSelPackWhatSelPopupMnu"), QStringLiteral("&Inverse Select"),
        [&selection] { PackListModel::invertSelection(selection); });
    m_popup->addSeparator();
    add(QStringLiteral("ClearLostLinkPackWhatSelPopupMnu"), QStringLiteral("Clear &Lost Link"),
        [this, &selection] {
            m_model.clearLostLinks(selection, m_host);
            Q_EMIT browserRefreshWanted();
        });
}

bool PackListWindow::preparePopup(int row) {
    const int count = m_model.rowCount();
    if (row == count) {
        return false;  // the first empty line below the last entry
    }
    const bool onEntry = row < count;
    m_popup->actions().at(0)->setVisible(onEntry);
    m_popup->actions().at(1)->setVisible(onEntry);
    return true;
}

void PackListWindow::setBusy(bool busy) {
    m_model.setBusy(busy);
    for (QWidget* control : std::as_const(m_busyControls)) {
        control->setEnabled(!busy);
    }
}

void PackListWindow::removeSelected() {
    m_model.removeSelected(*m_list->selectionModel(), m_host);
}

void PackListWindow::moveUp() {
    m_model.moveSelectedUp(*m_list->selectionModel(), m_host);
}

void PackListWindow::moveDown() {
    m_model.moveSelectedDown(*m_list->selectionModel(), m_host);
}

FileChoice PackListWindow::askFile(
    const std::function<FileChoice(const QString&, const QString&)>& dialog, const QString& title) {
    if (enableWindows) {
        enableWindows(false);
    }
    FileChoice chosen = dialog(title, m_listFolder);
    chosen.path = chosen.path.trimmed();
    if (enableWindows) {
        enableWindows(true);
    }
    return chosen;
}

void PackListWindow::rememberFolder(const QString& file) {
    const QString folder = withoutTrailingSlashes(folderPart(file));
    if (!folderPart(file).isEmpty() && folder != m_listFolder) {
        m_listFolder = folder;
        Q_EMIT listFolderChanged(folder);
    }
}

void PackListWindow::closeEvent(QCloseEvent* event) {
    if (m_model.busy()) {
        event->ignore();  // the list belongs to the running job
        return;
    }
    m_list->setFocus();
    QWidget::closeEvent(event);
    Q_EMIT closedByUser();
}

void PackListWindow::savePackListFile() {
    if (m_model.busy()) {
        return;
    }
    if (m_model.rowCount() == 0) {
        m_host.message(MessageIcon::Warning, QStringLiteral("Nothing to save."));
        return;
    }
    const FileChoice choice = askFile(chooseSaveFile, QStringLiteral("Save Pack List As"));
    if (choice.path.isEmpty()) {
        return;
    }
    // A typed name gets ".zpl", so the load dialog's filter shows the file.
    const QString file = withTypeExtension(choice.path, choice.type);
    if (file != choice.path && !mayReplace(file, m_host)) {
        return;  // the dialog asked about the name as typed, not this one
    }
    rememberFolder(file);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    savePackList(file, m_model.fullPaths(), m_host);
    QApplication::restoreOverrideCursor();
}

void PackListWindow::loadPackListFile(bool append) {
    if (m_model.busy()) {
        return;
    }
    const auto open = [this](const QString& title, const QString& folder) {
        return FileChoice{chooseOpenFile(title, folder), QString()};
    };
    const QString file = askFile(open, append ? QStringLiteral("Append which Pack List?")
                                              : QStringLiteral("Load which Pack List?"))
                             .path;
    if (file.isEmpty()) {
        return;
    }
    rememberFolder(file);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!append) {
        m_model.clear();
    }
    for (const QString& path : readPackList(file)) {
        m_model.appendPath(path);
    }
    QApplication::restoreOverrideCursor();
}
