#include "ui/help_window.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "core/program_info.h"
#include "ui/skin_widget.h"

HelpWindow::HelpWindow(const QString& helpFile, QWidget* parent)
    : QDialog(parent), m_browser(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpWindow"));
    setPalette(skinPalette());
    setWindowTitle(kProgramTitle + QStringLiteral(" Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The page is drawn for paper, as a web browser shows it; only the frame is dark.
    QPalette paper = m_browser->palette();
    paper.setColor(QPalette::Base, Qt::white);
    paper.setColor(QPalette::Text, QColor(QStringLiteral("#1d2935")));
    m_browser->setPalette(paper);
    m_browser->setOpenExternalLinks(true);
    m_browser->setSearchPaths({QFileInfo(helpFile).absolutePath()});
    m_browser->setSource(QUrl::fromLocalFile(helpFile));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(760, 620);
}
