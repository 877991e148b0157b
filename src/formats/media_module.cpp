#include "plugins/ffmpeg/media_module.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QMutex>

namespace {

using Factory = MediaModule* (*)();

// Installed beside the program's library folder, or in the build tree.
QStringList moduleCandidates() {
    const QString here = QCoreApplication::applicationDirPath();
    return {here + QStringLiteral("/../lib/tarvik-zarvo/libzarvo-media.so"),
            here + QStringLiteral("/libzarvo-media.so"),
            QStringLiteral(ZARVO_MEDIA_MODULE_BUILD_PATH)};
}

struct Loaded {
    MediaModule* module = nullptr;
    QString problem;
};

Loaded load() {
    Loaded loaded;
    for (const QString& candidate : moduleCandidates()) {
        QLibrary library(candidate);
        if (!library.load()) {
            loaded.problem = library.errorString();
            continue;
        }
        if (const auto factory = reinterpret_cast<Factory>(library.resolve("zarvoMediaModule"))) {
            loaded.module = factory();
            loaded.problem.clear();
            return loaded;  // the library stays loaded for the rest of the run
        }
        loaded.problem = library.errorString();
    }
    loaded.problem =
        QStringLiteral("the MPEG-4 module cannot be loaded (") + loaded.problem + QLatin1Char(')');
    return loaded;
}

}  // namespace

MediaModule* mediaModule(QString* problem) {
    static QMutex mutex;
    const QMutexLocker lock(&mutex);
    static const Loaded loaded = load();
    if (problem != nullptr) {
        *problem = loaded.problem;
    }
    return loaded.module;
}
