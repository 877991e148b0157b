#include "core/tips.h"

#include <QFile>
#include <QRandomGenerator>

#include "core/program_info.h"

QString tipsFilePath() {
    return dataFilePath(kTipsFileName);
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
    return QStringLiteral("That the ") + kTipsFileName + QStringLiteral(" file was not found? ");
}

int randomTipIndex(qsizetype count) {
    if (count <= 0) {
        return -1;
    }
    return static_cast<int>(QRandomGenerator::global()->bounded(static_cast<quint64>(count)));
}
