#include "core/tips.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

QString tipsFilePath() {
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tarvik-zarvo/tod.ctd");
    if (QFileInfo::exists(installed)) {
        return QFileInfo(installed).canonicalFilePath();
    }
    return QStringLiteral(ZARVO_DATA_DIR "/tod.ctd");
}

std::optional<QStringList> LoadTips(const QString& fileName) {
    QFile file(fileName);
    if (fileName.isEmpty() || !file.exists() || !file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList tips = text.split(QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')) || text.isEmpty()) {
        tips.removeLast();
    }
    return tips;
}

QString tipsNotFoundText() {
    return QStringLiteral("That the ") + QStringLiteral("tod.ctd") +
           QStringLiteral(" file was not found? ");
}

int randomTipIndex(qsizetype count) {
    if (count <= 0) {
        return -1;
    }
    return static_cast<int>(QRandomGenerator::global()->bounded(static_cast<quint64>(count)));
}
