#include "settings/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QStandardPaths>
#include <QStringDecoder>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/program_info.h"
#include "platform/native_path.h"
#include "platform/whole_file.h"

namespace {

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

// The text of a stored value.
QString unescapeText(const QString& stored) {
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

template <typename Groups>
QByteArray serialise(const Groups& groups) {
    QString text;
    for (const auto& group : groups) {
        text += QLatin1Char('[') + group.keyPath + QStringLiteral("]\n");
        for (const auto& value : group.values) {
            text += value.name + QLatin1Char('=') + value.text + QLatin1Char('\n');
        }
        text += QLatin1Char('\n');
    }
    return text.toUtf8();
}

// Keeps a damaged file as "<name>.bad", or the first free "<name>.bad.N": an earlier
// backup is never replaced. Returns the backup's name, "" when the file could not be moved.
QString setAsideDamaged(const QString& path) {
    QString backup = path + QStringLiteral(".bad");
    for (int number = 1; QFileInfo::exists(backup) || QFileInfo(backup).isSymLink(); ++number) {
        backup = path + QStringLiteral(".bad.") + QString::number(number);
    }
    return QFile::rename(path, backup) ? backup : QString();
}

}  // namespace

QString SettingsStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/TarvikZarvo/registry.ini");
}

SettingsStore::SettingsStore(const QString& path) : m_path(path) {}

SettingsStore::Loaded SettingsStore::parse(const QByteArray& bytes) {
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
            loaded.groups.append({trimmed.mid(1, trimmed.size() - 2), {}});
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || loaded.groups.isEmpty()) {
            loaded.damaged = true;
            continue;
        }
        loaded.groups.last().values.append({line.left(equals).trimmed(), line.mid(equals + 1)});
    }
    return loaded;
}

void SettingsStore::buildIndex() {
    m_index.clear();
    const QList<Group>& groups = m_loaded.groups;
    for (qsizetype g = 0; g < groups.size(); ++g) {
        for (qsizetype v = 0; v < groups.at(g).values.size(); ++v) {
            // The first of two values of one name is the one read and written.
            const QString key = indexKey(groups.at(g).keyPath, groups.at(g).values.at(v).name);
            if (!m_index.contains(key)) {
                m_index.insert(key, {g, v});
            }
        }
    }
}

void SettingsStore::remember(Loaded loaded) {
    m_signature = fileSignature(m_path);
    m_read = true;
    m_loaded = std::move(loaded);
    m_dirty = false;
    m_pending.clear();
    buildIndex();
}

SettingsStore::Loaded SettingsStore::readFile() {
    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink()) {
        return {};
    }
    QFile file(m_path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        if (!m_warned) {
            m_warning = QStringLiteral("The settings in '") + m_path +
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

const SettingsStore::Loaded& SettingsStore::load() {
    if (!m_dirty && (!m_read || m_signature.isEmpty() || m_signature != fileSignature(m_path))) {
        remember(readFile());
    }
    return m_loaded;
}

void SettingsStore::noteWriteFailure(const QString& reason) {
    if (m_writeFailure.isEmpty()) {
        m_writeFailure = QStringLiteral("The settings could not be saved to '") + m_path +
                         QStringLiteral("': ") + reason + QLatin1Char('.');
    }
}

// The file as it is on disk now, with this object's pending changes made on it.
void SettingsStore::rereadWithPendingChanges() {
    const QList<Change> changes = m_pending;
    remember(readFile());
    ++m_batchDepth;  // nothing is written while the changes are made again
    for (const Change& change : changes) {
        if (change.deletion) {
            removeKey(change.keyPath);
        } else {
            storeValue(change.keyPath, change.valueName, change.stored);
        }
    }
    --m_batchDepth;
}

// Writes the parsed file whole; a damaged original is kept first.
void SettingsStore::flush() {
    if (!m_dirty || m_loaded.unreadable) {
        m_dirty = false;  // what cannot be read is not written over
        return;
    }
    QDir().mkpath(QFileInfo(m_path).path());
    const StoreLock lock(m_path);
    if (fileSignature(m_path) != m_signature) {
        rereadWithPendingChanges();  // another program wrote the file meanwhile
    }
    m_dirty = false;
    m_pending.clear();
    if (m_loaded.unreadable) {
        return;
    }
    QString backup;
    if (m_loaded.damaged && QFileInfo::exists(m_path)) {
        backup = setAsideDamaged(m_path);
        if (backup.isEmpty()) {
            // Without its backup the original is not replaced.
            noteWriteFailure(QStringLiteral("its damaged original could not be kept"));
            return;
        }
    }
    QString error;
    if (replaceWholeFile(m_path, serialise(m_loaded.groups), &error)) {
        m_loaded.damaged = false;
        m_signature = fileSignature(m_path);
        return;
    }
    noteWriteFailure(error);
    if (!backup.isEmpty()) {
        QFile::rename(backup, m_path);  // nothing new was written: the original stays
    }
}

void SettingsStore::changed() {
    m_dirty = true;
    if (m_batchDepth == 0) {
        flush();
    }
}

const SettingsStore::Value* SettingsStore::findValue(const QString& keyPath,
                                                     const QString& valueName) {
    const Loaded& loaded = load();
    const auto place = m_index.constFind(indexKey(keyPath, valueName));
    if (place == m_index.constEnd()) {
        return nullptr;
    }
    return &loaded.groups.at(place->group).values.at(place->value);
}

void SettingsStore::storeValue(const QString& keyPath, const QString& valueName,
                               const QString& stored) {
    load();
    QList<Group>& groups = m_loaded.groups;
    const QString key = indexKey(keyPath, valueName);
    const auto place = m_index.constFind(key);
    if (place != m_index.constEnd()) {
        Value& value = groups[place->group].values[place->value];
        if (value.text == stored && !m_loaded.damaged) {
            return;
        }
        value.text = stored;
    } else {
        qsizetype group = 0;
        while (group < groups.size() && !sameName(groups.at(group).keyPath, keyPath)) {
            ++group;
        }
        if (group == groups.size()) {
            groups.append({keyPath, {}});
        }
        groups[group].values.append({valueName, stored});
        m_index.insert(key, {group, groups.at(group).values.size() - 1});
    }
    m_pending.append({false, keyPath, valueName, stored});
    changed();
}

void SettingsStore::removeKey(const QString& keyPath) {
    load();
    QList<Group>& groups = m_loaded.groups;
    const QString subkeyPrefix = keyPath + QLatin1Char('\\');
    for (const Group& group : std::as_const(groups)) {
        if (group.keyPath.startsWith(subkeyPrefix, Qt::CaseInsensitive)) {
            return;
        }
    }
    const qsizetype removed =
        groups.removeIf([&](const Group& group) { return sameName(group.keyPath, keyPath); });
    if (removed > 0) {
        m_pending.append({true, keyPath, {}, {}});
        buildIndex();
        changed();
    }
}

QString SettingsStore::value(const QString& keyPath, const QString& valueName,
                             const QString& defaultValue) {
    const Value* value = findValue(keyPath, valueName);
    return value == nullptr ? defaultValue : unescapeText(value->text);
}

void SettingsStore::setValue(const QString& keyPath, const QString& valueName,
                             const QString& text) {
    storeValue(keyPath, valueName, escapeText(text));
}

void SettingsStore::deleteKey(const QString& keyPath) {
    removeKey(keyPath);
}

SettingsStore::Batch::Batch(SettingsStore& store) : m_store(store) {
    ++m_store.m_batchDepth;
}

SettingsStore::Batch::~Batch() {
    if (--m_store.m_batchDepth == 0) {
        m_store.flush();
    }
}

QString SettingsStore::takeWarning() {
    if (m_warned || m_warning.isEmpty()) {
        return QString();
    }
    m_warned = true;
    return m_warning;
}

QString SettingsStore::takeWriteFailure() {
    if (m_writeFailureTaken || m_writeFailure.isEmpty()) {
        return QString();
    }
    m_writeFailureTaken = true;
    return m_writeFailure;
}
