#include "browse/file_manager_actions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/whole_file.h"

namespace {

QString dataHome() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString dolphinFile() {
    return dataHome() + QStringLiteral("/kio/servicemenus/tarvik-zarvo-pack-it.desktop");
}

QString nautilusFile() {
    return dataHome() + QStringLiteral("/nautilus/scripts/Pack it...");
}

QString nemoFile() {
    return dataHome() + QStringLiteral("/nemo/actions/tarvik-zarvo-pack-it.nemo_action");
}

// A path as one word of a desktop-entry Exec line.
QString execQuoted(QString path) {
    path.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    path.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + path + QLatin1Char('"');
}

QString shellQuoted(QString path) {
    path.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + path + QLatin1Char('\'');
}

void writeText(const QString& path, const QString& text, bool executable) {
    QDir().mkpath(QFileInfo(path).path());
    QString error;  // a missing entry only means the file manager shows no "Pack it..."
    replaceWholeFile(path, text.toUtf8(), &error, executable ? 0755 : 0);
}

}  // namespace

QStringList packItActionFiles() {
    return {dolphinFile(), nautilusFile(), nemoFile()};
}

void registerPackItActions(const QString& listfeedPath) {
    writeText(dolphinFile(),
              QStringLiteral("[Desktop Entry]\nType=Service\nMimeType=application/octet-stream;\n"
                             "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\nActions=packIt\n\n"
                             "[Desktop Action packIt]\nName=Pack it...\nExec=") +
                  execQuoted(listfeedPath) + QStringLiteral(" -- %F\n"),
              true);
    // Nautilus hands the chosen files over in an environment variable, one per line.
    writeText(nautilusFile(),
              QStringLiteral("#!/bin/sh\nif [ -n \"$NAUTILUS_SCRIPT_SELECTED_FILE_PATHS\" ]; then\n"
                             "  printf '%s' \"$NAUTILUS_SCRIPT_SELECTED_FILE_PATHS\" | "
                             "tr '\\n' '\\0' | xargs -0 ") +
                  shellQuoted(listfeedPath) + QStringLiteral(" --\nelse\n  exec ") +
                  shellQuoted(listfeedPath) + QStringLiteral(" -- \"$@\"\nfi\n"),
              true);
    writeText(nemoFile(),
              QStringLiteral("[Nemo Action]\nName=Pack it...\nComment=Join the files with Tarvik "
                             "Zarvo Pro\nExec=") +
                  execQuoted(listfeedPath) +
                  QStringLiteral(" -- %F\nSelection=notnone\nExtensions=any;\n"),
              false);
}

void removePackItActions() {
    for (const QString& file : packItActionFiles()) {
        QFile::remove(file);
    }
}
