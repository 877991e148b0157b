#include "ui/about_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "core/program_info.h"
#include "desktop/about_info.h"
#include "ui/skin_widget.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setPalette(skinPalette());
    setObjectName(QStringLiteral("Aboutfrm"));
    setWindowTitle(QStringLiteral("About ") + kProgramTitle);
    QStringList libraries;
    for (const LibraryVersion& library : libraryVersions()) {
        libraries << library.name + QLatin1Char(' ') + library.version;
    }
    const QString version = QStringLiteral("Version ") + QCoreApplication::applicationVersion();
    m_text =
        QStringList{kProgramTitle, version, kProgramDescription,
                    QStringLiteral("Runs on ") + libraries.join(QStringLiteral(", ")), kLicenceText}
            .join(QLatin1Char('\n'));

    auto* layout = new QVBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(skinPicture(QStringLiteral("ZarvoIcon"), {64, 64}, devicePixelRatioF()));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto* title = new QLabel(QStringLiteral("<h2>%1</h2>%2").arg(kProgramTitle, version), this);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    for (const QString& paragraph :
         {kProgramDescription, QStringLiteral("Runs on:\n") + libraries.join(QLatin1Char('\n')),
          kLicenceText}) {
        auto* label = new QLabel(paragraph, this);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(label);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setFixedWidth(380);
}
