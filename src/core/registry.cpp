#include "core/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QStandardPaths>
#include <QStringDecoder>

#include <optional>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/native_path.h"
#include "core/program_info.h"
#include "core/whole_file.h"

namespace {

QString g_storePath;

struct Value {
    QString name;
    QString text;  // escaped form as stored: "\"...\"" for strings, "dword:xxxxxxxx"
};

struct Group {
    QString keyPath;
    QList<Value> values;
};

using Store = QList<Group>;

// A damaged line is dropped and the rest kept; `damaged` makes the next save keep the
// original as a backup first. An unreadable file is left alone and never written over.
struct Loaded {
    Store store;
    bool damaged = false;
    bool unreadable = false;
};

QString escapeText(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"')) {
            out += QLatin1Char('\\');
            out += c;
        } else if (c == QLatin1Char('\n')) {
            out += QStringLiteral("\\n");
        } else if (c == QLatin1Char('\r')) {
            out += QStringLiteral("\\r");
        } else if (c == QChar(u'\0')) {
            out += QStringLiteral("\\0");
        } else {
            out += c;
        }
    }
    return out + QLatin1Char('"');
}

// The text of a string value, or nothing for a value of another type.
std::optional<QString> unescapeText(const QString& stored) {
    if (stored.startsWith(QStringLiteral("dword:"))) {
        return std::nullopt;
    }
    if (stored.size() < 2 || !stored.startsWith(QLatin1Char('"')) ||
        !stored.endsWith(QLatin1Char('"'))) {
        return stored;  // written by hand without quotes
    }
    QString out;
    for (qsizetype i = 1; i + 1 < stored.size(); ++i) {
        QChar c = stored.at(i);
        if (c == QLatin1Char('\\') && i + 2 < stored.size()) {
            c = stored.at(++i);
            if (c == QLatin1Char('n')) {
                c = QLatin1Char('\n');
            } else if (c == QLatin1Char('r')) {
                c = QLatin1Char('\r');
            } else if (c == QLatin1Char('0')) {
                break;  // a text ends at its first NUL
            }
        }
        out += c;
    }
    return out;
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

Loaded parse(const QByteArray& bytes) {
    Loaded loaded;
    for (QByteArray raw : bytes.split('\n')) {
        if (raw.endsWith('\r')) {
            raw.chop(1);
        }
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString line = decoder(raw);
        const QString trimmed = line.trimmed();
        if (decoder.hasError() || trimmed.contains(QChar(u'\0'))) {
            loaded.damaged = true;
            continue;
        }
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) ||
            trimmed.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            loaded.store.append({trimmed.mid(1, trimmed.size() - 2), {}});
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || loaded.store.isEmpty()) {
            loaded.damaged = true;
            continue;
        }
        loaded.store.last().values.append({line.left(equals).trimmed(), line.mid(equals + 1)});
    }
    return loaded;
}

// Where a value stands in the store: group and value index.
struct Place {
    qsizetype group = -1;
    qsizetype value = -1;
};

// The parsed file, kept while the file on disk is the one it was read from. Writes change
// it in place and save it whole; inside a batch the save waits for the batch's end.
struct Cache {
    QString path;
    QByteArray signature;  // device, inode, size and change time
    Loaded loaded;
    QHash<QString, Place> index;  // lower-case "key\nname"
    bool dirty = false;
};
Cache g_cache;
int g_batchDepth = 0;

// The changes made since the file was last written: another process may have written
// it meanwhile, so they are made again on what is on disk then.
struct Change {
    bool deletion = false;
    QString keyPath;
    QString valueName;
    QString stored;
};
QList<Change> g_pending;

QString indexKey(const QString& keyPath, const QString& valueName) {
    return keyPath.toLower() + QLatin1Char('\n') + valueName.toLower();
}

QByteArray fileSignature(const QString& path) {
    struct stat status {};
    if (::stat(nativePath(path).constData(), &status) != 0) {
        return QByteArray();
    }
    return QByteArray::number(static_cast<qulonglong>(status.st_dev)) + ':' +
           QByteArray::number(static_cast<qulonglong>(status.st_ino)) + ':' +
           QByteArray::number(static_cast<qlonglong>(status.st_size)) + ':' +
           QByteArray::number(static_cast<qlonglong>(status.st_mtim.tv_sec)) + '.' +
           QByteArray::number(static_cast<qlonglong>(status.st_mtim.tv_nsec)) + ':' +
           QByteArray::number(static_cast<qlonglong>(status.st_ctim.tv_nsec));
}

void buildIndex() {
    g_cache.index.clear();
    const Store& store = g_cache.loaded.store;
    for (qsizetype g = 0; g < store.size(); ++g) {
        for (qsizetype v = 0; v < store.at(g).values.size(); ++v) {
            // The first of two values of one name is the one read and written.
            const QString key = indexKey(store.at(g).keyPath, store.at(g).values.at(v).name);
            if (!g_cache.index.contains(key)) {
                g_cache.index.insert(key, {g, v});
            }
        }
    }
}

void remember(const QString& path, const Loaded& loaded) {
    g_cache = {path, fileSignature(path), loaded, {}, false};
    g_pending.clear();
    buildIndex();
}

// An advisory lock beside the settings file, held while it is read and written whole,
// so that two programs' writes do not undo each other.
class StoreLock {
public:
    explicit StoreLock(const QString& path)
        : m_fd(::open(nativePath(path + QStringLiteral(".lock")).constData(),
                      O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {
        while (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~StoreLock() {
        if (m_fd >= 0) {
            ::close(m_fd);  // releases the lock
        }
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    int m_fd;
};

QString g_warning;
bool g_warned = false;
QString g_writeFailure;
bool g_writeFailureTaken = false;

Loaded readStore(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return {};
    }
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        if (!g_warned) {
            g_warning = QStringLiteral("The settings in '") + path +
                        QStringLiteral("' cannot be read (") +
                        (info.isDir() ? QStringLiteral("it is a folder") : file.errorString()) +
                        QStringLiteral("). ") + kProgramTitle +
                        QStringLiteral(
                            " runs on its default settings and leaves that file as "
                            "it is.");
        }
        return {{}, false, true};
    }
    return parse(file.readAll());
}

const Loaded& load() {
    const QString path = Registry::storePath();
    const bool pending = g_cache.dirty && g_cache.path == path;
    if (!pending && (g_cache.path != path || g_cache.signature != fileSignature(path) ||
                     g_cache.signature.isEmpty())) {
        remember(path, readStore(path));
    }
    return g_cache.loaded;
}

QByteArray serialise(const Store& store) {
    QString text;
    for (const Group& group : store) {
        text += QLatin1Char('[') + group.keyPath + QStringLiteral("]\n");
        for (const Value& value : group.values) {
            text += value.name + QLatin1Char('=') + value.text + QLatin1Char('\n');
        }
        text += QLatin1Char('\n');
    }
    return text.toUtf8();
}

// Keeps a damaged file as "<name>.bad", or the first free "<name>.bad.N": an earlier
// backup is never replaced.
// Returns the backup's name, "" when the file could not be moved.
QString setAsideDamaged(const QString& path) {
    QString backup = path + QStringLiteral(".bad");
    for (int number = 1; QFileInfo::exists(backup) || QFileInfo(backup).isSymLink(); ++number) {
        backup = path + QStringLiteral(".bad.") + QString::number(number);
    }
    return QFile::rename(path, backup) ? backup : QString();
}

void noteWriteFailure(const QString& path, const QString& reason) {
    if (g_writeFailure.isEmpty()) {
        g_writeFailure = QStringLiteral("The settings could not be saved to '") + path +
                         QStringLiteral("': ") + reason + QLatin1Char('.');
    }
}

void storeValue(const QString& keyPath, const QString& valueName, const QString& stored);
void deleteKey(const QString& keyPath);

// The file as it is on disk now, with this program's pending changes made on it.
void rereadWithPendingChanges(const QString& path) {
    const QList<Change> changes = g_pending;
    remember(path, readStore(path));
    ++g_batchDepth;  // nothing is written while the changes are made again
    for (const Change& change : changes) {
        if (change.deletion) {
            deleteKey(change.keyPath);
        } else {
            storeValue(change.keyPath, change.valueName, change.stored);
        }
    }
    --g_batchDepth;
}

// Writes the cached store whole; a damaged original is kept first.
void flush() {
    Loaded& live = g_cache.loaded;
    if (!g_cache.dirty || live.unreadable) {
        g_cache.dirty = false;  // what cannot be read is not written over
        return;
    }
    const QString path = g_cache.path;
    QDir().mkpath(QFileInfo(path).path());
    const StoreLock lock(path);
    if (fileSignature(path) != g_cache.signature) {
        rereadWithPendingChanges(path);  // another program wrote the file meanwhile
    }
    g_cache.dirty = false;
    g_pending.clear();
    if (live.unreadable) {
        return;
    }
    QString backup;
    if (live.damaged && QFileInfo::exists(path)) {
        backup = setAsideDamaged(path);
        if (backup.isEmpty()) {
            // Without its backup the original is not replaced.
            noteWriteFailure(path, QStringLiteral("its damaged original could not be kept"));
            return;
        }
    }
    QString error;
    if (replaceWholeFile(path, serialise(live.store), &error)) {
        live.damaged = false;
        g_cache.signature = fileSignature(path);
        return;
    }
    noteWriteFailure(path, error);
    if (!backup.isEmpty()) {
        QFile::rename(backup, path);  // nothing new was written: the original stays in place
    }
}

void changed() {
    g_cache.dirty = true;
    if (g_batchDepth == 0) {
        flush();
    }
}

qsizetype findGroup(const Store& store, const QString& keyPath) {
    for (qsizetype g = 0; g < store.size(); ++g) {
        if (sameName(store.at(g).keyPath, keyPath)) {
            return g;
        }
    }
    return -1;
}

const Value* findValue(const QString& keyPath, const QString& valueName) {
    const Loaded& loaded = load();
    const auto place = g_cache.index.constFind(indexKey(keyPath, valueName));
    if (place == g_cache.index.constEnd()) {
        return nullptr;
    }
    return &loaded.store.at(place->group).values.at(place->value);
}

void storeValue(const QString& keyPath, const QString& valueName, const QString& stored) {
    load();
    Store& store = g_cache.loaded.store;
    const QString key = indexKey(keyPath, valueName);
    const auto place = g_cache.index.constFind(key);
    if (place != g_cache.index.constEnd()) {
        Value& value = store[place->group].values[place->value];
        if (value.text == stored && !g_cache.loaded.damaged) {
            return;
        }
        value.text = stored;
        g_pending.append({false, keyPath, valueName, stored});
        changed();
        return;
    }
    g_pending.append({false, keyPath, valueName, stored});
    qsizetype group = findGroup(store, keyPath);
    if (group < 0) {
        store.append({keyPath, {}});
        group = store.size() - 1;
    }
    store[group].values.append({valueName, stored});
    g_cache.index.insert(key, {group, store.at(group).values.size() - 1});
    changed();
}

void deleteKey(const QString& keyPath) {
    load();
    Store& store = g_cache.loaded.store;
    const QString subkeyPrefix = keyPath + QLatin1Char('\\');
    for (const Group& group : std::as_const(store)) {
        if (group.keyPath.startsWith(subkeyPrefix, Qt::CaseInsensitive)) {
            return;
        }
    }
    const qsizetype removed =
        store.removeIf([&](const Group& group) { return sameName(group.keyPath, keyPath); });
    if (removed > 0) {
        g_pending.append({true, keyPath, {}, {}});
        buildIndex();
        changed();
    }
}

}  // namespace

namespace Registry {

QString storePath() {
    if (!g_storePath.isEmpty()) {
        return g_storePath;
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/TarvikZarvo/registry.ini");
}

void setStorePath(const QString& path) {
    g_storePath = path;
    g_cache = {};
    g_writeFailure.clear();
    g_writeFailureTaken = false;
}

QString GetStringValue(const QString& keyPath, const QString& valueName,
                       const QString& defaultValue) {
    const Value* value = findValue(keyPath, valueName);
    if (value == nullptr) {
        return defaultValue;
    }
    return unescapeText(value->text).value_or(defaultValue);
}

void SaveStringValue(const QString& keyPath, const QString& valueName, const QString& text) {
    storeValue(keyPath, valueName, escapeText(text));
}

void DeleteKey(const QString& keyPath) {
    deleteKey(keyPath);
}

Batch::Batch() {
    ++g_batchDepth;
}

Batch::~Batch() {
    if (--g_batchDepth == 0) {
        flush();
    }
}

QString takeWarning() {
    if (g_warned || g_warning.isEmpty()) {
        return QString();
    }
    g_warned = true;
    return g_warning;
}

QString takeWriteFailure() {
    if (g_writeFailureTaken || g_writeFailure.isEmpty()) {
        return QString();
    }
    g_writeFailureTaken = true;
    return g_writeFailure;
}

QString setting(const QString& valueName, const QString& defaultValue) {
    return GetStringValue(SettingsRoot, valueName, defaultValue);
}

void saveSetting(const QString& valueName, const QString& text) {
    SaveStringValue(SettingsRoot, valueName, text);
}

}  // namespace Registry
