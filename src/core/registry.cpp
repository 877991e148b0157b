#include "core/registry.h"
#include "fileio/whole_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStandardPaths>
#include <QStringDecoder>

#include <optional>

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

// A damaged file must not stop the program: it reads as empty.
struct Loaded {
    Store store;
    bool damaged = false;
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
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError()) {
        loaded.damaged = true;
        return loaded;
    }
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        const QString trimmed = line.trimmed();
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
            loaded.store.clear();
            return loaded;
        }
        loaded.store.last().values.append({line.left(equals).trimmed(), line.mid(equals + 1)});
    }
    return loaded;
}

Loaded load() {
    const QString path = Registry::storePath();
    const QFileInfo info(path);
    if (!info.exists()) {
        return {};
    }
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        return {{}, true};
    }
    return parse(file.readAll());
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

// Keeps a damaged file (or whatever stands in its place) as "<name>.bad".
void setAsideDamaged(const QString& path) {
    const QString bad = path + QStringLiteral(".bad");
    if (QFileInfo(bad).isDir()) {
        QDir(bad).removeRecursively();
    } else {
        QFile::remove(bad);
    }
    QFile::rename(path, bad) || QDir().rename(path, bad);
}

void save(const Store& store, bool damaged) {
    const QString path = Registry::storePath();
    QDir().mkpath(QFileInfo(path).path());
    if (damaged && QFileInfo::exists(path)) {
        setAsideDamaged(path);
    }
    QString error;
    replaceWholeFile(path, serialise(store), &error);
}

Group* findGroup(Store& store, const QString& keyPath) {
    for (Group& group : store) {
        if (sameName(group.keyPath, keyPath)) {
            return &group;
        }
    }
    return nullptr;
}

const Value* findValue(const Store& store, const QString& keyPath, const QString& valueName) {
    for (const Group& group : store) {
        if (!sameName(group.keyPath, keyPath)) {
            continue;
        }
        for (const Value& value : group.values) {
            if (sameName(value.name, valueName)) {
                return &value;
            }
        }
    }
    return nullptr;
}

void storeValue(const QString& keyPath, const QString& valueName, const QString& stored) {
    Loaded loaded = load();
    Group* group = findGroup(loaded.store, keyPath);
    if (group == nullptr) {
        loaded.store.append({keyPath, {}});
        group = &loaded.store.last();
    }
    for (Value& value : group->values) {
        if (sameName(value.name, valueName)) {
            if (value.text == stored && !loaded.damaged) {
                return;
            }
            value.text = stored;
            save(loaded.store, loaded.damaged);
            return;
        }
    }
    group->values.append({valueName, stored});
    save(loaded.store, loaded.damaged);
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
}

QString GetStringValue(const QString& keyPath, const QString& valueName,
                       const QString& defaultValue) {
    const Loaded loaded = load();
    const Value* value = findValue(loaded.store, keyPath, valueName);
    if (value == nullptr) {
        return defaultValue;
    }
    return unescapeText(value->text).value_or(defaultValue);
}

void SaveStringValue(const QString& keyPath, const QString& valueName, const QString& text) {
    storeValue(keyPath, valueName, escapeText(text));
}

quint32 GetDwordValue(const QString& keyPath, const QString& valueName, quint32 defaultValue) {
    const Loaded loaded = load();
    const Value* value = findValue(loaded.store, keyPath, valueName);
    if (value == nullptr || !value->text.startsWith(QStringLiteral("dword:"))) {
        return defaultValue;
    }
    bool ok = false;
    const quint32 number = value->text.mid(6).toUInt(&ok, 16);
    return ok ? number : defaultValue;
}

void SaveDwordValue(const QString& keyPath, const QString& valueName, quint32 value) {
    storeValue(keyPath, valueName, QStringLiteral("dword:%1").arg(value, 8, 16, QLatin1Char('0')));
}

void DeleteKey(const QString& keyPath) {
    Loaded loaded = load();
    const QString subkeyPrefix = keyPath + QLatin1Char('\\');
    for (const Group& group : loaded.store) {
        if (group.keyPath.startsWith(subkeyPrefix, Qt::CaseInsensitive)) {
            return;
        }
    }
    const qsizetype removed =
        loaded.store.removeIf([&](const Group& group) { return sameName(group.keyPath, keyPath); });
    if (removed > 0) {
        save(loaded.store, loaded.damaged);
    }
}

QString setting(const QString& valueName, const QString& defaultValue) {
    return GetStringValue(SettingsRoot, valueName, defaultValue);
}

void saveSetting(const QString& valueName, const QString& text) {
    SaveStringValue(SettingsRoot, valueName, text);
}

}  // namespace Registry
