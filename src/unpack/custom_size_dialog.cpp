#include "unpack/custom_size_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "core/job_host.h"
#include "core/options_model.h"
#include "core/registry.h"

CustomSizeDialog::CustomSizeDialog(OptionsModel& options, JobHost& host, bool prefsOpen,
                                   QWidget* parent)
    : QDialog(parent), m_options(options), m_host(host), m_prefsOpen(prefsOpen) {
    setObjectName(QStringLiteral("customfilesizefrm"));
    setWindowTitle(QStringLiteral("Custom Unpack Size"));
    setFixedSize(330, 260);

    auto* sizes = new QGroupBox(QStringLiteral("Filesize"), this);
    sizes->setGeometry(8, 8, 314, 128);
    addRow(SplitKind::CustomSize, QStringLiteral("Filesize (Kbytes):"), 7, {10, 22, 190, 22},
           sizes);
    addRow(SplitKind::FirstPiece, QStringLiteral("First Filesize (Kbytes):"), 7, {10, 48, 190, 22},
           sizes);
    addRow(SplitKind::LastPiece, QStringLiteral("Last Filesize (Kbtyes):"), 7, {10, 74, 190, 22},
           sizes);
    addRow(SplitKind::Percentage, QStringLiteral("Percentage (1-99%):"), 2, {10, 100, 190, 22},
           sizes);

    auto* count = new QGroupBox(QStringLiteral("Number of Unpack Files"), this);
    count->setGeometry(8, 142, 314, 52);
    addRow(SplitKind::Pieces, QStringLiteral("Unpack into"), 5, {10, 22, 100, 22}, count);
    m_rows.last().box->setGeometry(112, 22, 70, 22);
    (new QLabel(QStringLiteral("individual files."), count))->setGeometry(190, 22, 120, 22);

    (new QLabel(QStringLiteral("Note: 1K = 1024 bytes, 1 Mb = 1024 K"), this))
        ->setGeometry(8, 200, 314, 18);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setGeometry(150, 226, 80, 26);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(238, 226, 80, 26);
    connect(ok, &QPushButton::clicked, this, &CustomSizeDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    const QString word = Registry::setting(QStringLiteral("sSize"));
    SplitKind start = SplitKind::CustomSize;
    for (const SplitKind kind :
         {SplitKind::FirstPiece, SplitKind::LastPiece, SplitKind::Percentage, SplitKind::Pieces}) {
        if (splitModeWord(kind) == word) {
            start = kind;
        }
    }
    chooseOption(start);
}

void CustomSizeDialog::addRow(SplitKind kind, const QString& caption, int maxLength,
                              const QRect& geometry, QWidget* frame) {
    auto* option = new QRadioButton(caption, frame);
    option->setGeometry(geometry);
    auto* box = new QLineEdit(frame);
    box->setGeometry(geometry.right() + 8, geometry.top(), 90, geometry.height());
    box->setMaxLength(maxLength);
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    m_rows.append({kind, option, box});
    connect(option, &QRadioButton::clicked, this, [this, kind] { chooseOption(kind); });
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

void CustomSizeDialog::chooseOption(SplitKind kind) {
    // The option buttons sit in two frames, so each click clears the others itself.
    for (const Row& row : m_rows) {
        row.option->setChecked(row.kind == kind);
        row.box->setEnabled(row.kind == kind);
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
        applyCustomSize(m_options.splitRule(), kind, box(kind)->text(), m_prefsOpen);
    if (!outcome.refusal.isEmpty()) {
        m_host.message(MessageIcon::Warning, outcome.refusal);
        return;
    }
    m_choice = outcome.choice;
    m_options.splitRuleChanged();
    accept();
}
