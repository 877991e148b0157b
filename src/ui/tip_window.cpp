#include "ui/tip_window.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "core/tips.h"
#include "options/options_model.h"
#include "ui/skin_widget.h"

TipWindow::TipWindow(const QString& tipsFile, OptionsModel& options, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_tip(new QLabel(this)),
      m_showAtStartup(new QCheckBox(QStringLiteral("&Show Tips at Startup"), this)) {
    setObjectName(QStringLiteral("Tipfrm"));
    setPalette(skinPalette());
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Tarvik Zarvo Tip of the Day"));
    setFixedSize(420, 200);
    auto* picture = new QLabel(this);
    picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    picture->setGeometry(12, 12, 36, 36);
    auto* heading = new QLabel(QStringLiteral("Did you know..."), this);
    heading->setGeometry(60, 12, 340, 20);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    m_tip->setObjectName(QStringLiteral("lblTipText"));
    m_tip->setGeometry(60, 38, 348, 100);
    m_tip->setWordWrap(true);
    m_tip->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_showAtStartup->setObjectName(QStringLiteral("chkLoadTipsAtStartup"));
    m_showAtStartup->setGeometry(12, 166, 200, 22);
    auto* next = new QPushButton(QStringLiteral("&Next Tip"), this);
    next->setObjectName(QStringLiteral("cmdNextTip"));
    next->setGeometry(236, 162, 84, 28);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdOK"));
    close->setGeometry(326, 162, 84, 28);

    m_showAtStartup->setChecked(options.showTips());
    connect(m_showAtStartup, &QCheckBox::toggled, &options, &OptionsModel::setShowTips);
    connect(next, &QPushButton::clicked, this, &TipWindow::nextTip);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    const std::optional<QStringList> tips = LoadTips(tipsFile);
    if (!tips) {
        m_tip->setText(tipsNotFoundText());
        return;
    }
    m_tips = *tips;
    nextTip();
}

void TipWindow::nextTip() {
    const int index = randomTipIndex(m_tips.size());
    if (index >= 0) {
        m_tip->setText(m_tips.at(index));
    }
}

void TipWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
