#include "ui/custom_filter_dialog.h"

#include "options/options_model.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include "core/block_moves.h"
#include "core/job_host.h"
#include "ui/skin_widget.h"

namespace {

// The list's keys: Delete removes, the keypad's minus and plus move.
class FilterList : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<void()> onDelete, onMinus, onPlus;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool keypad = event->modifiers().testFlag(Qt::KeypadModifier);
        if (event->key() == Qt::Key_Delete) {
            onDelete();
        } else if (keypad && event->key() == Qt::Key_Minus) {
            onMinus();
        } else if (keypad && event->key() == Qt::Key_Plus) {
            onPlus();
        } else {
            QListWidget::keyPressEvent(event);
        }
    }
};

}  // namespace

CustomFilterDialog::CustomFilterDialog(OptionsModel& options, JobHost& host, QWidget* parent)
    : QDialog(parent),
      m_options(options),
      m_host(host),
      m_list(new FilterList(this)),
      m_description(new QLineEdit(this)),
      m_patterns(new QLineEdit(kPatternPlaceholder, this)),
      m_popup(new QMenu(this)) {
    setObjectName(QStringLiteral("customfilefilterfrm"));
    setPalette(skinPalette());
    setWindowTitle(QStringLiteral("Custom File Filter"));
    setFixedSize(380, 300);
    m_list->setObjectName(QStringLiteral("filtertype_lst"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setGeometry(8, 8, 320, 180);
    (new QLabel(QStringLiteral("Description:"), this))->setGeometry(8, 196, 90, 22);
    m_description->setGeometry(100, 196, 228, 22);
    (new QLabel(QStringLiteral("FileType:"), this))->setGeometry(8, 224, 90, 22);
    m_patterns->setGeometry(100, 224, 228, 22);

    const auto button = [this](const QString& text, const QRect& at, auto handler) {
        auto* push = new QPushButton(text, this);
        push->setGeometry(at);
        connect(push, &QPushButton::clicked, this, handler);
        return push;
    };
    button(QStringLiteral("+"), {334, 196, 38, 22}, [this] {
        add();
    })->setToolTip(QStringLiteral("Add"));
    button(QStringLiteral("-"), {334, 8, 38, 26}, [this] {
        removeSelected();
    })->setToolTip(QStringLiteral("Remove"));
    button(QStringLiteral("Up"), {334, 40, 38, 26}, [this] {
        moveUp();
    })->setToolTip(QStringLiteral("Move Up"));
    button(QStringLiteral("Dn"), {334, 72, 38, 26}, [this] {
        moveDown();
    })->setToolTip(QStringLiteral("Move Down"));
    button(QStringLiteral("Reset"), {8, 262, 80, 28}, [this] { reset(); });
    button(QStringLiteral("Close"), {292, 262, 80, 28}, [this] { accept(); });

    auto* keys = static_cast<FilterList*>(m_list);
    keys->onDelete = [this] { removeSelected(); };
    keys->onMinus = [this] { moveUp(); };
    keys->onPlus = [this] { moveDown(); };
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { removeSelected(); });

    m_popup->addAction(QStringLiteral("R&emove"), this, [this] { removeSelected(); });
    m_popup->addSeparator();
    m_popup->addAction(QStringLiteral("Move &Up"), this, [this] { moveUp(); });
    m_popup->addAction(QStringLiteral("Move &Down"), this, [this] { moveDown(); });
    m_popup->addSeparator();
    m_popup->addAction(QStringLiteral("Select &All"), m_list, &QListWidget::selectAll);
    m_popup->addAction(QStringLiteral("De&select All"), m_list, &QListWidget::clearSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_popup->popup(m_list->viewport()->mapToGlobal(at)); });

    fill(m_options.fileFilters(m_host));
}

void CustomFilterDialog::fill(const QList<FileFilter>& filters) {
    m_filters = filters;
    m_list->clear();
    for (const FileFilter& filter : filters) {
        m_list->addItem(filter.displayForm());
    }
    if (m_list->count() > 0) {
        m_list->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    }
}

void CustomFilterDialog::add() {
    const QString description = m_description->text();
    const QString patterns = m_patterns->text();
    const bool hasPatterns = !patterns.isEmpty() && patterns != kPatternPlaceholder;
    const auto warn = [this](const QString& text) { m_host.message(MessageIcon::Warning, text); };
    if (!description.isEmpty() && hasPatterns) {
        const FileFilter filter{description, patterns};
        m_filters.append(filter);
        m_list->addItem(filter.displayForm());
    } else if (!description.isEmpty()) {
        warn(QStringLiteral("Please key in an appropriate FileType."));
    } else if (hasPatterns) {
        warn(QStringLiteral("Please key in a Description."));
    } else {
        warn(QStringLiteral("Nothing to add."));
    }
}

void CustomFilterDialog::removeSelected() {
    if (m_list->count() == 0) {
        m_host.message(MessageIcon::Warning, QStringLiteral("Nothing to remove."));
        return;
    }
    int row = 0;
    while (row < m_list->count()) {
        if (m_list->item(row)->isSelected()) {
            delete m_list->takeItem(row);
            m_filters.removeAt(row);
        } else {
            ++row;
        }
    }
}

void CustomFilterDialog::swap(int from, int to) {
    m_filters.swapItemsAt(from, to);
    const bool wasCurrent = m_list->currentRow() == from;
    QListWidgetItem* item = m_list->takeItem(from);
    m_list->insertItem(to, item);
    item->setSelected(true);
    if (wasCurrent) {
        m_list->setCurrentRow(to, QItemSelectionModel::NoUpdate);
    }
}

void CustomFilterDialog::moveUp() {
    if (m_list->count() == 0 || m_list->selectedItems().isEmpty()) {
        m_host.message(MessageIcon::Warning, QStringLiteral("Nothing to swap."));
        return;
    }
    if (m_list->currentRow() <= 0) {
        return;
    }
    moveSelectedRowsUp(
        m_list->count(), [this](int row) { return m_list->item(row)->isSelected(); },
        [this](int from, int to) { swap(from, to); });
}

void CustomFilterDialog::moveDown() {
    if (m_list->count() == 0 || m_list->selectedItems().isEmpty()) {
        m_host.message(MessageIcon::Warning, QStringLiteral("Nothing to swap."));
        return;
    }
    if (m_list->currentRow() >= m_list->count() - 1) {
        return;
    }
    moveSelectedRowsDown(
        m_list->count(), [this](int row) { return m_list->item(row)->isSelected(); },
        [this](int from, int to) { swap(from, to); });
}

void CustomFilterDialog::reset() {
    if (m_host.message(MessageIcon::Information,
                       QStringLiteral("Are you sure you want to reset and restore the default File "
                                      "Filter?"),
                       MessageButtons::NoYes) == MessageAnswer::Yes) {
        fill(defaultFileFilters());
    }
}

void CustomFilterDialog::done(int result) {
    if (m_filters.isEmpty()) {
        m_host.message(MessageIcon::Warning, QStringLiteral("At least 1 FileType must exist!"));
        return;
    }
    m_options.saveFileFilters(m_filters);
    QDialog::done(result);
}
