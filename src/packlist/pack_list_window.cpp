#include "packlist/pack_list_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QToolButton>

#include "core/job_host.h"
#include "core/text_helpers.h"
#include "fileio/file_identity.h"
#include "packlist/pack_list_file.h"
#include "packlist/pack_list_model.h"

namespace {

const QString kPackListFilter = QStringLiteral("Zarvo Pack List (*.zpl);;All Files (*)");

QStringList localPaths(const QMimeData* data) {
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    return paths;
}

}  // namespace

PackListView::PackListView(QWidget* parent) : QListView(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAcceptDrops(true);
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

void PackListView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void PackListView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void PackListView::dropEvent(QDropEvent* event) {
    const QStringList paths = localPaths(event->mimeData());
    if (paths.isEmpty()) {
        return;  // no file list on offer
    }
    event->acceptProposedAction();
    Q_EMIT pathsDropped(paths);
}

PackListWindow::PackListWindow(PackListModel& model, JobHost& host, QWidget* parent)
    : QWidget(parent, Qt::Tool), m_model(model), m_host(host), m_list(new PackListView(this)) {
    setObjectName(QStringLiteral("PackLstfrm"));
    setWindowTitle(QStringLiteral("Pack List"));
    setFixedSize(315, 268);
    m_list->setObjectName(QStringLiteral("selpos_lst"));
    m_list->setModel(&m_model);
    m_list->setGeometry(8, 34, 266, 226);
    m_busyControls.append(m_list);

    QItemSelectionModel& selection = *m_list->selectionModel();
    addButton(QStringLiteral("PackLstMenu_Clear_Img"), QStringLiteral("Clear"),
              QStringLiteral("Clear Pack List"), {8, 6, 60, 22}, [this] {
                  if (!m_model.busy()) {
                      m_model.clear();
                  }
              });
    addButton(QStringLiteral("PackLstMenu_Save_Img"), QStringLiteral("Save"),
              QStringLiteral("Save Pack List"), {72, 6, 60, 22}, [this] { savePackListFile(); });
    addButton(QStringLiteral("PackLstMenu_Load_Img"), QStringLiteral("Load"),
              QStringLiteral("Load Pack List"), {136, 6, 60, 22},
              [this] { loadPackListFile(false); });
    addButton(QStringLiteral("PackLstMenu_Append_Img"), QStringLiteral("Append"),
              QStringLiteral("Append Pack List"), {200, 6, 74, 22},
              [this] { loadPackListFile(true); });

    const int x = 280;
    addButton(QStringLiteral("ButtonRemove_Img"), QStringLiteral("-"),
              QStringLiteral("Remove from Pack List"), {x, 34, 28, 24},
              [this] { removeSelected(); });
    addButton(QStringLiteral("ButtonSwapUp_Img"), QStringLiteral("Up"), QStringLiteral("Swap Up"),
              {x, 62, 28, 24}, [this] { moveUp(); });
    addButton(QStringLiteral("ButtonSwapDown_Img"), QStringLiteral("Dn"),
              QStringLiteral("Swap Down"), {x, 90, 28, 24}, [this] { moveDown(); });
    addButton(QStringLiteral("ButtonAscending_Img"), QStringLiteral("A-Z"),
              QStringLiteral("Sort Ascending"), {x, 118, 28, 24},
              [this] { m_model.sortEntries(true); });
    addButton(QStringLiteral("ButtonDescending_Img"), QStringLiteral("Z-A"),
              QStringLiteral("Sort Decending"), {x, 146, 28, 24},
              [this] { m_model.sortEntries(false); });
    addButton(QStringLiteral("ButtonSelectAll_Img"), QStringLiteral("a"),
              QStringLiteral("Select All"), {x, 174, 28, 24},
              [&selection] { PackListModel::selectAll(selection); });
    addButton(QStringLiteral("ButtonDeselectAll_Img"), QStringLiteral("d"),
              QStringLiteral("Deselect All"), {x, 202, 28, 24},
              [&selection] { PackListModel::deselectAll(selection); });
    addButton(QStringLiteral("ButtonSelectInverse_Img"), QStringLiteral("i"),
              QStringLiteral("Inverse Select"), {x, 230, 28, 24},
              [&selection] { PackListModel::invertSelection(selection); });
    addButton(
        QStringLiteral("PackListUp_Img"), QStringLiteral("\u25B2"), QString(), {x, 6, 14, 22},
        [this] {
            if (!m_model.busy()) {
                m_list->verticalScrollBar()->setValue(m_list->verticalScrollBar()->value() - 5);
            }
        });
    addButton(
        QStringLiteral("PackListDown_Img"), QStringLiteral("\u25BC"), QString(),
        {x + 14, 6, 14, 22}, [this] {
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

QToolButton* PackListWindow::addButton(const QString& objectName, const QString& text,
                                       const QString& tooltip, const QRect& geometry,
                                       const std::function<void()>& action) {
    auto* button = new QToolButton(this);
    button->setObjectName(objectName);
    button->setText(text);
    button->setToolTip(tooltip);
    button->setGeometry(geometry);
    connect(button, &QToolButton::clicked, this, action);
    m_busyControls.append(button);  // none of them may act while a job runs
    return button;
}

void PackListWindow::buildPopup() {
    m_popup = new QMenu(this);
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
