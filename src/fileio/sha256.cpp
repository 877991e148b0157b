#include "fileio/sha256.h"

#include <algorithm>
#include <cctype>

#include <openssl/evp.h>

#include "fileio/file64.h"
#include "platform/native_path.h"

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

bool readRegularFile(File64& files, const QString& path, const ByteSink& consume,
                     const DigestProgress& progress) {
    const int handle = files.OpenFile(path, File64::OpenMode::Existing).handle;
    if (handle == -1) {
        return false;
    }
    QByteArray buffer(1024 * 1024, Qt::Uninitialized);
    const auto size = static_cast<quint64>(buffer.size());
    bool read = false;
    for (;;) {
        int error = 0;
        const quint64 got = files.GetBytes(handle, buffer.data(), size, &error);
        if (error != 0) {
            break;
        }
        consume(buffer.constData(), got);
        if (progress && got > 0 && !progress(got)) {
            break;  // the user interrupted: no waiting for the rest
        }
        if (got < size) {
            read = true;
            break;
        }
    }
    files.CloseFile(handle);
    return read;
}

QByteArray fileSha256(const QString& path, const DigestProgress& progress) {
    Sha256 sum;
    File64 files;
    const bool read = readRegularFile(
        files, path, [&sum](const char* data, quint64 size) { sum.add(data, size); }, progress);
    return read ? sum.hexDigest() : QByteArray();
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

namespace {
const QByteArray kSourcePrefix = "# source: ";
}  // namespace

QByteArray sourceComment(const QByteArray& hexDigest, const QString& name) {
    return kSourcePrefix + checksumLine(hexDigest, name);
}

std::optional<ChecksumEntry> sourceOf(const QByteArray& commentLine) {
    if (!commentLine.startsWith(kSourcePrefix)) {
        return std::nullopt;
    }
    return parseChecksumLine(commentLine.mid(kSourcePrefix.size()));
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

QByteArray escapedChecksumName(const QByteArray& name) {
    return QByteArray(name).replace('\\', "\\\\").replace('\n', "\\n").replace('\r', "\\r");
}

bool needsChecksumEscape(const QByteArray& name) {
    return name.contains('\\') || name.contains('\n') || name.contains('\r');
}

QByteArray checksumLine(const QByteArray& hexDigest, const QString& name) {
    const QByteArray bytes = nativePath(name);
    if (!needsChecksumEscape(bytes)) {
        return hexDigest + "  " + bytes + '\n';
    }
    return '\\' + hexDigest + "  " + escapedChecksumName(bytes) + '\n';
}

namespace {

bool isHexDigest(const QByteArray& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) != 0;
           });
}

// The name of an escaped line: "\\" stands for a backslash, "\n" for a line break and
// "\r" for a carriage return.
std::optional<QByteArray> unescapedChecksumName(const QByteArray& name) {
    QByteArray plain;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name.at(i) != '\\') {
            plain += name.at(i);
            continue;
        }
        const char next = i + 1 < name.size() ? name.at(i + 1) : '\0';
        if (next != '\\' && next != 'n' && next != 'r') {
            return std::nullopt;
        }
        plain += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
        ++i;
    }
    return plain;
}

}  // namespace

std::optional<ChecksumEntry> parseChecksumLine(QByteArray line) {
    if (line.endsWith('\r')) {
        line.chop(1);  // written on Windows
    }
    const bool escaped = line.startsWith('\\');
    if (escaped) {
        line.remove(0, 1);
    }
    QByteArray digest;
    QByteArray name;
    const QByteArray tag = "SHA256 (";
    const qsizetype tagEnd = line.lastIndexOf(") = ");
    if (line.startsWith(tag) && tagEnd > tag.size()) {
        digest = line.mid(tagEnd + 4);
        name = line.mid(tag.size(), tagEnd - tag.size());
    } else if (line.size() > 66 && line.at(64) == ' ' &&
               (line.at(65) == ' ' || line.at(65) == '*')) {
        digest = line.left(64);
        name = line.mid(66);
    }
    if (!isHexDigest(digest) || name.isEmpty()) {
        return std::nullopt;
    }
    if (escaped) {
        const std::optional<QByteArray> plain = unescapedChecksumName(name);
        if (!plain) {
            return std::nullopt;
        }
        name = *plain;
    }
    return ChecksumEntry{digest.toLower(), name};
}
