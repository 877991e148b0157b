#include "core/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <optional>

#include "core/native_path.h"

#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray kMagic = QByteArrayLiteral("ZARVO-OPEN/1\n");
const QByteArray kConfirmation = QByteArrayLiteral("OK\n");
constexpr qsizetype kLengthDigits = 10;
constexpr qsizetype kMaxCommandLine = 4 * 1024 * 1024;

const qsizetype kHeader = kMagic.size() + kLengthDigits;  // the magic line and the length

// The length a message announces: ten digits after the magic line, at most
// kMaxCommandLine; nothing before the header is complete or when it is not ours.
std::optional<qsizetype> declaredLength(const QByteArray& message) {
    if (message.size() < kHeader || !message.startsWith(kMagic)) {
        return std::nullopt;
    }
    const QByteArray digits = message.mid(kMagic.size(), kLengthDigits);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const qsizetype length = digits.toLongLong();
    return length <= kMaxCommandLine ? std::optional<qsizetype>(length) : std::nullopt;
}

QString runtimeFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

// Only the user who runs the program may hand it files.
bool peerIsThisUser(const QLocalSocket& socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                        &credentials, &size) == 0 &&
           credentials.uid == ::getuid();
}

}  // namespace

SingleInstance::SingleInstance() = default;
SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockPath() {
    return runtimeFolder() + QStringLiteral("/TarvikZarvo.lock");
}

QString SingleInstance::socketPath() {
    return runtimeFolder() + QStringLiteral("/TarvikZarvo.socket");
}

bool SingleInstance::acquire() {
    m_lock = std::make_unique<QLockFile>(lockPath());
    m_lock->setStaleLockTime(0);  // a lock left by a crash is recognised by its dead process
    return m_lock->tryLock(0);
}

// Magic line, the length as ten digits, then the command line's bytes (file names as the
// file system holds them).
QByteArray SingleInstance::encode(const QString& commandLine) {
    const QByteArray text = nativePath(commandLine);  // file names keep their own bytes
    return kMagic + QByteArray::number(text.size()).rightJustified(kLengthDigits, '0') + text;
}

std::optional<QString> SingleInstance::decode(const QByteArray& message) {
    const std::optional<qsizetype> length = declaredLength(message);
    if (!length || message.size() != kHeader + *length) {
        return std::nullopt;
    }
    return fromNativePath(message.mid(kHeader));
}

bool SingleInstance::listen(std::function<void(const QString&)> received) {
    m_received = std::move(received);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath());  // left by a copy that crashed; we hold the lock
    if (!m_server->listen(socketPath())) {
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (!peerIsThisUser(*socket)) {
                socket->abort();
                continue;
            }
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
            readFrom(socket);
        }
    });
    return true;
}

void SingleInstance::readFrom(QLocalSocket* socket) {
    const QByteArray message = socket->property("received").toByteArray() + socket->readAll();
    const bool started =
        message.size() < kMagic.size() ? kMagic.startsWith(message) : message.startsWith(kMagic);
    const std::optional<qsizetype> length = declaredLength(message);
    if (!started || (message.size() >= kHeader && !length)) {
        socket->abort();  // not ours: ignored
        return;
    }
    if (!length || message.size() < kHeader + *length) {
        socket->setProperty("received", message);  // the rest is on its way
        return;
    }
    const std::optional<QString> commandLine = decode(message);
    if (!commandLine) {
        socket->abort();
        return;
    }
    socket->write(kConfirmation);
    socket->flush();
    socket->disconnectFromServer();
    if (m_received) {
        m_received(*commandLine);
    }
}

bool SingleInstance::handOver(const QString& commandLine, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The running copy may still be starting: try again until the deadline.
    for (;;) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            break;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(50);
    }
    socket.write(encode(commandLine));
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
        return false;
    }
    QByteArray answer;
    while (answer.size() < kConfirmation.size() &&
           socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        answer += socket.readAll();
    }
    return answer.startsWith(kConfirmation);
}
