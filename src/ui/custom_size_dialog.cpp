#include "ui/custom_size_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include <cmath>

#include "core/job_host.h"
#include "options/options_model.h"
#include "ui/skin_widget.h"

CustomSizeDialog::CustomSizeDialog(OptionsModel& options, JobHost& host, bool prefsOpen,
                                   QWidget* parent)
    : QDialog(parent),
      m_options(options),
      m_host(host),
      m_prefsOpen(prefsOpen),
      m_choices(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("customfilesizefrm"));
    setPalette(skinPalette());
    setWindowTitle(QStringLiteral("Custom Unpack Size"));
    setFixedSize(330, 260);

    auto* sizes = new QGroupBox(QStringLiteral("Filesize"), this);
    sizes->setGeometry(8, 8, 314, 128);
    addRow({SplitKind::CustomSize, "ByFilesizeOpt", "CustomFilesize_txt"},
           QStringLiteral("Filesize (Kbytes):"), 7, {10, 22, 190, 22}, sizes);
    addRow({SplitKind::FirstPiece, "ByFirstFilesizeOpt", "CustomFirstFilesize_txt"},
           QStringLiteral("First Filesize (Kbytes):"), 7, {10, 48, 190, 22}, sizes);
    addRow({SplitKind::LastPiece, "ByLastFilesizeOpt", "CustomLastFilesize_txt"},
           QStringLiteral("Last Filesize (Kbtyes):"), 7, {10, 74, 190, 22}, sizes);
    addRow({SplitKind::Percentage, "ByPercentFilesizeOpt", "CustomPercentFilesize_txt"},
           QStringLiteral("Percentage (1-99%):"), 2, {10, 100, 190, 22}, sizes);

    auto* count = new QGroupBox(QStringLiteral("Number of Unpack Files"), this);
    count->setGeometry(8, 142, 314, 52);
    addRow({SplitKind::Pieces, "ByNoOfFilesOpt", "NoOfFiles_txt"}, QStringLiteral("Unpack into"), 5,
           {10, 22, 100, 22}, count);
    m_rows.last().box->setGeometry(112, 22, 70, 22);
    (new QLabel(QStringLiteral("individual files."), count))->setGeometry(190, 22, 120, 22);

    (new QLabel(QStringLiteral("Note: 1K = 1024 bytes, 1 Mb = 1024 K"), this))
        ->setGeometry(8, 200, 314, 18);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setGeometry(150, 226, 80, 26);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(238, 226, 80, 26);
    m_buttons = {ok, cancel};
    connect(ok, &QPushButton::clicked, this, &CustomSizeDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    chooseOption(m_options.storedSplitMode().value_or(SplitKind::CustomSize));
}

void CustomSizeDialog::addRow(const RowNames& names, const QString& caption, int maxLength,
                              const QRect& geometry, QWidget* frame) {
    const SplitKind kind = names.kind;
    auto* option = new QRadioButton(caption, frame);
    option->setObjectName(QLatin1String(names.option));
    option->setGeometry(geometry);
    auto* box = new QLineEdit(frame);
    box->setObjectName(QLatin1String(names.box));
    box->setGeometry(geometry.right() + 8, geometry.top(), 90, geometry.height());
    box->setMaxLength(maxLength);
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    m_rows.append({kind, option, box});
    // One group across both frames: exactly one choice, by mouse or keyboard.
    m_choices->addButton(option);
    connect(option, &QRadioButton::toggled, this, [this, kind](bool on) {
        if (on) {
            chooseOption(kind);
        }
    });
}

// Tab visits every choice and the enabled box after it, so the keyboard reaches "Unpack
// into" as the mouse does (a radio group alone would take one Tab stop).
bool CustomSizeDialog::focusNextPrevChild(bool next) {
    QList<QWidget*> stops;
    for (const Row& row : std::as_const(m_rows)) {
        stops << row.option;
        if (row.box->isEnabled()) {
            stops << row.box;
        }
    }
    stops << m_buttons;
    const qsizetype at = stops.indexOf(focusWidget());
    if (at < 0) {
        return QDialog::focusNextPrevChild(next);
    }
    const qsizetype count = stops.size();
    stops.at((at + (next ? 1 : count - 1)) % count)->setFocus(Qt::TabFocusReason);
    return true;
}

QRadioButton* CustomSizeDialog::option(SplitKind kind) const {
    for (const Row& row : m_rows) {
        if (row.kind == kind) {
            return row.option;
        }
    }
    return nullptr;
}

QLineEdit* CustomSizeDialog::box(SplitKind kind) const {
    for (const Row& row : m_rows) {
        if (row.kind == kind) {
            return row.box;
        }
    }
    return nullptr;
}

// The chosen option's box is enabled and takes the focus, so typed digits go there.
void CustomSizeDialog::chooseOption(SplitKind kind) {
    for (const Row& row : m_rows) {
        row.box->setEnabled(row.kind == kind);
    }
    option(kind)->setChecked(true);
    QLineEdit* chosen = box(kind);
    if (chosen->text().isEmpty()) {
        chosen->setText(currentValueText(kind));
    }
    chosen->selectAll();
    chosen->setFocus();
}

// The value in force, when the rule is in this mode: the K of a size (rounded), the
// percentage or the number of pieces.
QString CustomSizeDialog::currentValueText(SplitKind kind) const {
    const SplitRule& rule = m_options.splitRule();
    if (rule.checkedEntry != kCustomSizeEntry || rule.SplitMode != kind) {
        return QString();
    }
    switch (kind) {
        case SplitKind::Percentage:
            return QString::number(rule.SplitPercent);
        case SplitKind::Pieces:
            return QString::number(rule.SplitCount);
        default:
            return QString::number(std::llround(static_cast<double>(rule.SplitSize) / 1024));
    }
}

SplitKind CustomSizeDialog::chosenKind() const {
    for (const Row& row : m_rows) {
        if (row.option->isChecked()) {
            return row.kind;
        }
    }
    return SplitKind::CustomSize;
}

void CustomSizeDialog::confirm() {
    const SplitKind kind = chosenKind();
    const CustomSizeOutcome outcome =
        m_options.applyCustomSize(kind, box(kind)->text(), m_prefsOpen);
    if (!outcome.refusal.isEmpty()) {
        m_host.message(MessageIcon::Warning, outcome.refusal);
        return;
    }
    m_choice = outcome.choice;
    accept();
}
