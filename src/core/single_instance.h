#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

// Makes the desktop program run once per user. The running copy listens on a local
// socket in the runtime folder; a second start hands its command line over there
// instead of losing it.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    SingleInstance();
    ~SingleInstance() override;

    // Takes the lock in the runtime folder; false when another instance holds it.
    bool acquire();
    static QString lockPath();
    static QString socketPath();

    // The running copy: command lines handed over by later starts reach `received`.
    // False when the socket cannot be set up (later starts then show their message).
    bool listen(std::function<void(const QString& commandLine)> received);

    // A later start: gives `commandLine` to the running copy; true once it confirmed
    // within `timeoutMs`.
    static bool handOver(const QString& commandLine, int timeoutMs = 1000);

    // The message on the wire, and its reading: nothing when it does not parse.
    static QByteArray encode(const QString& commandLine);
    static std::optional<QString> decode(const QByteArray& message);

private:
    void readFrom(QLocalSocket* socket);

    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    std::function<void(const QString&)> m_received;
};
