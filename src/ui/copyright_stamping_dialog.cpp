#include "ui/copyright_stamping_dialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "core/job_host.h"
#include "ui/skin_widget.h"
#include "unpack/stamping_texts.h"

namespace {

// Line breaks count as two characters, as they are stored.
int storedLength(const QString& text) {
    return static_cast<int>(text.size() + text.count(QLatin1Char('\n')));
}

}  // namespace

CopyrightStampingDialog::CopyrightStampingDialog(JobHost& host, QWidget* parent)
    : QDialog(parent),
      m_host(host),
      m_text(new QPlainTextEdit(this)),
      m_note(new QLabel(this)),
      m_save(new QPushButton(QStringLiteral("&Save"), this)) {
    setObjectName(QStringLiteral("copyrightstampingfrm"));
    setPalette(skinPalette());
    setWindowTitle(QStringLiteral("Copyright Stamping"));
    setFixedSize(360, 240);
    (new QLabel(QStringLiteral("Copyright Text:"), this))->setGeometry(8, 6, 200, 18);
    m_text->setObjectName(QStringLiteral("Copyright_txt"));
    m_text->setGeometry(8, 26, 344, 140);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_note->setGeometry(8, 170, 344, 18);
    m_save->setGeometry(184, 204, 80, 26);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setGeometry(272, 204, 80, 26);
    connect(m_save, &QPushButton::clicked, this, &CopyrightStampingDialog::save);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_text, &QPlainTextEdit::textChanged, this, &CopyrightStampingDialog::textChanged);
    load();
}

void CopyrightStampingDialog::load() {
    m_loading = true;
    m_text->setPlainText(LoadCopyrightDataFromFile(m_host).editorText);
    m_loading = false;
    m_note->setText(QStringLiteral("Note: Copyright text can hold another 640 characters."));
    m_save->setEnabled(false);
}

void CopyrightStampingDialog::textChanged() {
    if (m_loading) {
        return;
    }
    QString text = m_text->toPlainText();
    if (storedLength(text) > kStampingCapacity) {
        // The box takes no more than it can hold.
        while (storedLength(text) > kStampingCapacity) {
            text.chop(1);
        }
        m_loading = true;
        m_text->setPlainText(text);
        m_text->moveCursor(QTextCursor::End);
        m_loading = false;
    }
    m_note->setText(stampingRemainingNote(storedLength(text)));
    m_save->setEnabled(true);
}

void CopyrightStampingDialog::save() {
    QString text = m_text->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    if (saveCopyrightText(text, m_host)) {
        load();
        Q_EMIT saved();
    }
}

void CopyrightStampingDialog::done(int result) {
    if (m_save->isEnabled() &&
        m_host.message(MessageIcon::Question,
                       QStringLiteral("Do you want to save the following changes before closing?"),
                       MessageButtons::YesNo) == MessageAnswer::Yes) {
        save();
    }
    QDialog::done(result);
}
