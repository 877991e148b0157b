#include "platform/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/native_path.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Version 2 carries each name on its own (version 1 joined them with "|", which a file
// name may hold).
const QByteArray kMagic = QByteArrayLiteral("ZARVO-OPEN/2\n");
const QByteArray kConfirmation = QByteArrayLiteral("OK\n");
constexpr qsizetype kLengthDigits = 10;
constexpr qsizetype kMaxMessage = 4 * 1024 * 1024;

const qsizetype kHeader = kMagic.size() + kLengthDigits;  // the magic line and the length

QByteArray lengthField(qsizetype length) {
    return QByteArray::number(length).rightJustified(kLengthDigits, '0');
}

// A length of ten digits at `at`, at most kMaxMessage; nothing otherwise.
std::optional<qsizetype> lengthAt(const QByteArray& bytes, qsizetype at) {
    if (at + kLengthDigits > bytes.size()) {
        return std::nullopt;
    }
    const QByteArray digits = bytes.mid(at, kLengthDigits);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const qsizetype length = digits.toLongLong();
    return length <= kMaxMessage ? std::optional<qsizetype>(length) : std::nullopt;
}

// The length a message announces after its magic line; nothing before the header is
// complete or when it is not ours.
std::optional<qsizetype> declaredLength(const QByteArray& message) {
    if (!message.startsWith(kMagic)) {
        return std::nullopt;
    }
    return lengthAt(message, kMagic.size());
}

// A folder fit for the lock and the socket: a real folder (not a link to one) that
// belongs to this user and that nobody else may enter.
bool isPrivateFolder(const QByteArray& folder, QString* problem) {
    struct stat status {};
    if (::lstat(folder.constData(), &status) != 0) {
        *problem = QString::fromLocal8Bit(std::strerror(errno));
    } else if (S_ISLNK(status.st_mode)) {
        *problem = QStringLiteral("it is a symbolic link");
    } else if (!S_ISDIR(status.st_mode)) {
        *problem = QStringLiteral("it is not a folder");
    } else if (status.st_uid != ::getuid()) {
        *problem = QStringLiteral("it belongs to another user");
    } else if ((status.st_mode & 077) != 0) {
        *problem = QStringLiteral("other users may use it");
    } else {
        return true;
    }
    return false;
}

// Our own folder under the cache folder, made with mode 0700. One of ours that others
// may enter is closed to them first; anything that is not ours stays untouched.
std::optional<QString> ownRuntimeFolder(QString* problem) {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) {
        *problem = QStringLiteral("there is no home folder");
        return std::nullopt;
    }
    const QString folder = cache + QStringLiteral("/TarvikZarvo/run");
    const QByteArray bytes = nativePath(folder);
    QDir().mkpath(cache + QStringLiteral("/TarvikZarvo"));
    if (::mkdir(bytes.constData(), 0700) != 0 && errno != EEXIST) {
        *problem = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    const int fd = ::open(bytes.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        struct stat status {};
        if (::fstat(fd, &status) == 0 && status.st_uid == ::getuid() &&
            (status.st_mode & 077) != 0) {
            ::fchmod(fd, 0700);
        }
        ::close(fd);
    }
    if (!isPrivateFolder(bytes, problem)) {
        *problem = QLatin1Char('\'') + folder + QStringLiteral("': ") + *problem;
        return std::nullopt;
    }
    return folder;
}

// The credentials of the process at the other end: on the client side the one that
// listens, on the server side the one that connected.
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

std::optional<QString> SingleInstance::privateFolder(QString* problem) {
    QString runtimeProblem;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && isPrivateFolder(runtime, &runtimeProblem)) {
        return fromNativePath(runtime);
    }
    QString ownProblem;
    std::optional<QString> own = ownRuntimeFolder(&ownProblem);
    if (!own && problem != nullptr) {
        *problem = ownProblem;
    }
    return own;
}

QString SingleInstance::lockPath() {
    return privateFolder().value_or(QString()) + QStringLiteral("/TarvikZarvo.lock");
}

QString SingleInstance::socketPath() {
    return privateFolder().value_or(QString()) + QStringLiteral("/TarvikZarvo.socket");
}

SingleInstance::Lock SingleInstance::acquire() {
    const std::optional<QString> folder = privateFolder();
    if (!folder) {
        return Lock::NoSafeFolder;
    }
    m_lock = std::make_unique<QLockFile>(*folder + QStringLiteral("/TarvikZarvo.lock"));
    m_lock->setStaleLockTime(0);  // a lock left by a crash is recognised by its dead process
    return m_lock->tryLock(0) ? Lock::Taken : Lock::HeldElsewhere;
}

// Magic line, the payload's length as ten digits, then each name as its length in ten
// digits and its bytes as the file system holds them.
QByteArray SingleInstance::encode(const QStringList& paths) {
    QByteArray payload;
    for (const QString& path : paths) {
        const QByteArray bytes = nativePath(path);
        payload += lengthField(bytes.size()) + bytes;
    }
    return kMagic + lengthField(payload.size()) + payload;
}

std::optional<QStringList> SingleInstance::decode(const QByteArray& message) {
    const std::optional<qsizetype> length = declaredLength(message);
    if (!length || message.size() != kHeader + *length) {
        return std::nullopt;
    }
    QStringList paths;
    for (qsizetype at = kHeader; at < message.size();) {
        const std::optional<qsizetype> name = lengthAt(message, at);
        if (!name || *name == 0 || at + kLengthDigits + *name > message.size()) {
            return std::nullopt;
        }
        paths.append(fromNativePath(message.mid(at + kLengthDigits, *name)));
        at += kLengthDigits + *name;
    }
    return paths;
}

bool SingleInstance::listen(std::function<void(const QStringList&)> received) {
    const std::optional<QString> folder = privateFolder();
    if (!folder) {
        return false;
    }
    m_received = std::move(received);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = *folder + QStringLiteral("/TarvikZarvo.socket");
    QLocalServer::removeServer(name);  // left by a copy that crashed; we hold the lock
    if (!m_server->listen(name)) {
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
    const std::optional<QStringList> paths = decode(message);
    if (!paths) {
        socket->abort();
        return;
    }
    socket->write(kConfirmation);
    socket->flush();
    socket->disconnectFromServer();
    if (m_received) {
        m_received(*paths);
    }
}

bool SingleInstance::handOver(const QStringList& paths, int timeoutMs) {
    const std::optional<QString> folder = privateFolder();
    if (!folder) {
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The running copy may still be starting: try again until the deadline.
    for (;;) {
        socket.connectToServer(*folder + QStringLiteral("/TarvikZarvo.socket"));
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            break;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(50);
    }
    if (!peerIsThisUser(socket)) {
        return false;  // whoever listens there is not this user's program: tell it nothing
    }
    socket.write(encode(paths));
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
