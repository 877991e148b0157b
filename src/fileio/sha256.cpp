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
    EVP_DigestInit_ex(m_context->context, EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::add(const char* data, quint64 size) {
    EVP_DigestUpdate(m_context->context, data, size);
}

QByteArray Sha256::hexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->context, digest, &length);
    EVP_DigestInit_ex(m_context->context, EVP_sha256(), nullptr);
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length))
        .toHex();
}

QByteArray fileSha256(const QString& path, const DigestProgress& progress) {
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return QByteArray();
    }
    Sha256 sum;
    QByteArray buffer(1024 * 1024, Qt::Uninitialized);
    QByteArray digest;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), static_cast<size_t>(buffer.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            digest = got == 0 ? sum.hexDigest() : QByteArray();
            break;
        }
        sum.add(buffer.constData(), static_cast<quint64>(got));
        if (progress && !progress(static_cast<quint64>(got))) {
            break;
        }
    }
    ::close(fd);
    return digest;
}

QString checksumFilePath(const QString& base) {
    return base + QStringLiteral(".sha256");
}

QByteArray checksumLine(const QByteArray& hexDigest, const QString& name) {
    return hexDigest + "  " + nativePath(name) + '\n';
}
