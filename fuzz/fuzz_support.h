#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include "core/job_host.h"

#include <cstddef>
#include <cstdint>

// Each harness reads its input from a file, as the program does.
inline QString scratchFile(const char* name, const uint8_t* data, size_t size) {
    const QString path = QDir::tempPath() + QStringLiteral("/zarvo-fuzz-%1-%2")
                                                .arg(QCoreApplication::applicationPid())
                                                .arg(QLatin1String(name));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    return path;
}

// A finding: the harness's own check failed.
#define FUZZ_CHECK(condition)                                                   \
    do {                                                                        \
        if (!(condition)) {                                                     \
            qFatal("check failed: %s (%s:%d)", #condition, __FILE__, __LINE__); \
        }                                                                       \
    } while (false)

// The user in a harness: says No to every question and watches no progress.
class SilentHost : public JobHost {
public:
    MessageAnswer message(MessageIcon, const QString&, MessageButtons) override {
        return MessageAnswer::No;
    }
    void progress(const ProgressReport&) override {}
};
