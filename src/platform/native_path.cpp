#include "platform/native_path.h"

#include <QDir>

#include <cerrno>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The length of the valid UTF-8 sequence at `at`, or 0.
int sequenceLength(const QByteArray& bytes, qsizetype at) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes.at(i)); };
    const unsigned char lead = byte(at);
    int length = 0;
    char32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > bytes.size()) {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

bool isEscape(char16_t unit) {
    return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF;
}

struct stat statOf(const QString& path, bool* ok) {
    struct stat status {};
    *ok = ::stat(nativePath(path).constData(), &status) == 0;
    return status;
}

}  // namespace

QString fromNativePath(const QByteArray& bytes) {
    QString path;
    qsizetype start = 0;  // the valid run not yet decoded
    qsizetype at = 0;
    while (at < bytes.size()) {
        const int length = sequenceLength(bytes, at);
        if (length > 0) {
            at += length;
            continue;
        }
        path += QString::fromUtf8(bytes.mid(start, at - start));
        path +=
            QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes.at(at))));
        start = ++at;
    }
    return path + QString::fromUtf8(bytes.mid(start));
}

QByteArray nativePath(const QString& path) {
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path.at(i).unicode();
        const bool pairedLow = i > 0 && QChar::isHighSurrogate(path.at(i - 1).unicode());
        if (isEscape(unit) && !pairedLow) {
            bytes += path.mid(start, i - start).toUtf8();
            bytes += static_cast<char>(unit - kEscapeBase);
            start = i + 1;
        }
    }
    return bytes + path.mid(start).toUtf8();
}

QString absolutePathOf(const QString& path) {
    if (path.startsWith(QLatin1Char('/'))) {
        return QDir::cleanPath(path);
    }
    QByteArray folder(4096, '\0');
    while (::getcwd(folder.data(), static_cast<size_t>(folder.size())) == nullptr &&
           errno == ERANGE) {
        folder.resize(folder.size() * 2);
    }
    folder.truncate(qstrlen(folder.constData()));
    return QDir::cleanPath(fromNativePath(folder) + QLatin1Char('/') + path);
}

QUrl fileUrlOf(const QString& path) {
    return QUrl::fromEncoded(QByteArrayLiteral("file://") +
                             nativePath(path).toPercentEncoding("/"));
}

QString pathOfFileUrl(const QUrl& url) {
    return fromNativePath(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QString readableName(const QString& name) {
    QString shown = name;
    for (QChar& unit : shown) {
        if (isEscape(unit.unicode())) {
            unit = QChar(QChar::ReplacementCharacter);
        }
    }
    return shown;
}

QStringList entryNames(const QString& folder) {
    QStringList names;
    DIR* dir = ::opendir(nativePath(folder).constData());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") {
            names.append(fromNativePath(name));
        }
    }
    ::closedir(dir);
    return names;
}

bool pathExists(const QString& path) {
    bool ok = false;
    statOf(path, &ok);
    return ok;
}

bool isDirectory(const QString& path) {
    bool ok = false;
    const struct stat status = statOf(path, &ok);
    return ok && S_ISDIR(status.st_mode);
}

bool isRegularFile(const QString& path) {
    bool ok = false;
    const struct stat status = statOf(path, &ok);
    return ok && S_ISREG(status.st_mode);
}

bool isReadableRegularFile(const QString& path) {
    return isRegularFile(path) && ::access(nativePath(path).constData(), R_OK) == 0;
}
