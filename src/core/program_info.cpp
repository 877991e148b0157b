#include "core/program_info.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString dataFilePath(const QString& name) {
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tarvik-zarvo/") + name;
    if (QFileInfo::exists(installed)) {
        return QDir::cleanPath(QFileInfo(installed).absoluteFilePath());
    }
    return QStringLiteral(ZARVO_DATA_DIR "/") + name;
}

QString helpFilePath() {
    return dataFilePath(QStringLiteral("zarvo-help.html"));
}
