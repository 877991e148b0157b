#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// Holds the lock that makes the desktop program run once per user.
class SingleInstance {
public:
    // Takes the lock in the runtime folder; false when another instance holds it.
    bool acquire();
    static QString lockPath();

private:
    std::unique_ptr<QLockFile> m_lock;
};
