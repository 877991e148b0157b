#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

// Makes the desktop program run once per user. The running copy listens on a local
// socket in a folder only this user can reach; a second start hands its files over
// there instead of losing them.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    SingleInstance();
    ~SingleInstance() override;

    enum class Lock {
        Taken,          // this copy runs alone
        HeldElsewhere,  // another copy of this user's runs
        NoSafeFolder,   // no private folder: this copy runs without the rule
    };
    // Takes the lock in the private runtime folder.
    Lock acquire();

    // The user's private runtime folder: $XDG_RUNTIME_DIR when it is this user's own
    // and closed to others, else a 0700 folder of ours in the cache folder. Nothing,
    // with the reason, when neither can be had safely (a folder made by another user,
    // a link, one that others may write to).
    static std::optional<QString> privateFolder(QString* problem = nullptr);
    static QString lockPath();
    static QString socketPath();

    // The running copy: files handed over by later starts reach `received`.
    // False when the socket cannot be set up (later starts then show their message).
    bool listen(std::function<void(const QStringList& paths)> received);

    // A later start: gives `paths` to the running copy; true once it confirmed within
    // `timeoutMs`. A socket that another user listens on is never told anything.
    static bool handOver(const QStringList& paths, int timeoutMs = 1000);

    // The message on the wire, and its reading: nothing when it does not parse.
    static QByteArray encode(const QStringList& paths);
    static std::optional<QStringList> decode(const QByteArray& message);

private:
    void readFrom(QLocalSocket* socket);

    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    std::function<void(const QStringList&)> m_received;
};
