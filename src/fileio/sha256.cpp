#include "fileio/sha256.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <openssl/evp.h>

#include "core/native_path.h"

struct Sha256::Context {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : m_context(std::make_unique<Context>()) {
    restart();
}

Sha256::~Sha256() = default;

void Sha256::restart() {
    m_failed = m_context->context == nullptr ||
               EVP_DigestInit_ex(m_context->context, EVP_sha256(), nullptr) != 1;
}

void Sha256::add(const char* data, quint64 size) {
    if (!m_failed && EVP_DigestUpdate(m_context->context, data, size) != 1) {
        m_failed = true;
    }
}

QByteArray Sha256::hexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool done = !m_failed && EVP_DigestFinal_ex(m_context->context, digest, &length) == 1;
    restart();
    if (!done) {
        return QByteArray();
    }
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length))
        .toHex();
}

QString checksumFailureText(const QString& name) {
    return QStringLiteral("The checksum of '") + name +
           QStringLiteral("' could not be computed (the cryptography library failed).");
}

bool addFileTo(Sha256& sum, const QString& path, quint64 skip, const DigestProgress& progress) {
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    if (skip > 0 && ::lseek(fd, static_cast<off_t>(skip), SEEK_SET) < 0) {
        ::close(fd);
        return false;
    }
    QByteArray buffer(1024 * 1024, Qt::Uninitialized);
    bool read = false;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), static_cast<size_t>(buffer.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            read = got == 0;
            break;
        }
        sum.add(buffer.constData(), static_cast<quint64>(got));
        if (progress && !progress(static_cast<quint64>(got))) {
            break;
        }
    }
    ::close(fd);
    return read;
}

QByteArray fileSha256(const QString& path, const DigestProgress& progress) {
    Sha256 sum;
    return addFileTo(sum, path, 0, progress) ? sum.hexDigest() : QByteArray();
}

QString checksumFilePath(const QString& base) {
    return base + QStringLiteral(".sha256");
}

QByteArray pieceHeaderComment(quint64 headerBytes) {
    return "# the next piece starts with " + QByteArray::number(headerBytes) + " bytes of header\n";
}

QByteArray rebuiltSourceComment() {
    return "# the source, rebuilt from the pieces above without their headers:\n";
}

std::optional<quint64> headerBytesOf(const QByteArray& commentLine) {
    const QByteArray prefix = "# the next piece starts with ";
    if (!commentLine.startsWith(prefix)) {
        return std::nullopt;
    }
    bool ok = false;
    const quint64 bytes = commentLine.mid(prefix.size()).split(' ').value(0).toULongLong(&ok);
    return ok ? std::optional<quint64>(bytes) : std::nullopt;
}

QByteArray checksumLine(const QByteArray& hexDigest, const QString& name) {
    return hexDigest + "  " + nativePath(name) + '\n';
}
