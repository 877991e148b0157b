#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QtGlobal>

// The per-user settings store: named text values under key paths such as
// "Software\Tarvik\Zarvo", kept in one INI file (one group per key path). Key and
// value names match without regard to letter case. Every write reaches the disk at
// once by atomic replace, under a lock beside the file, and changes another program
// made meanwhile are kept. The parsed file is kept while the file on disk is unchanged.
// A value that cannot be read gives the caller's default; damaged lines are dropped and
// the original kept as a backup; a file that cannot be read at all is left alone.
// One object per file: the options model owns the program's; it lives on the window's
// thread.
class SettingsStore {
public:
    static inline const QString SettingsRoot = QStringLiteral("Software\\Tarvik\\Zarvo");
    static inline const QString FilterKey = QStringLiteral("Software\\Tarvik\\Zarvo\\Filter");
    static inline const QString FilterInfoKey =
        QStringLiteral("Software\\Tarvik\\Zarvo\\FilterInfo");

    // $XDG_CONFIG_HOME/TarvikZarvo/registry.ini
    static QString defaultPath();

    explicit SettingsStore(const QString& path = defaultPath());
    const QString& path() const { return m_path; }

    QString value(const QString& keyPath, const QString& valueName,
                  const QString& defaultValue = QString());
    void setValue(const QString& keyPath, const QString& valueName, const QString& text);
    // Deletes a key with its values; a key that still has subkeys, or none, is left alone.
    void deleteKey(const QString& keyPath);

    // Shorthands for the settings root.
    QString setting(const QString& valueName, const QString& defaultValue = QString()) {
        return value(SettingsRoot, valueName, defaultValue);
    }
    void saveSetting(const QString& valueName, const QString& text) {
        setValue(SettingsRoot, valueName, text);
    }

    // Writes made while a Batch lives reach the disk together when the last one ends
    // (start-up's normalisation writes many values of a possibly large file).
    class Batch {
    public:
        explicit Batch(SettingsStore& store);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        SettingsStore& m_store;
    };

    // Once per store: why the file could not be read, or "".
    QString takeWarning();
    // Once per store: why a change could not be written to the file, or "".
    QString takeWriteFailure();

private:
    struct Value {
        QString name;
        QString text;  // as stored: "\"...\"" with escapes
    };
    struct Group {
        QString keyPath;
        QList<Value> values;
    };
    // Where a value stands: group and value index.
    struct Place {
        qsizetype group = -1;
        qsizetype value = -1;
    };
    // A change made since the file was last written, to be made again on what another
    // program wrote meanwhile.
    struct Change {
        bool deletion = false;
        QString keyPath;
        QString valueName;
        QString stored;
    };
    // The file as parsed: a damaged line is dropped and the rest kept, and the next save
    // keeps the original as a backup first. An unreadable file is never written over.
    struct Loaded {
        QList<Group> groups;
        bool damaged = false;
        bool unreadable = false;
    };

    static Loaded parse(const QByteArray& bytes);
    const Loaded& load();
    Loaded readFile();
    void remember(Loaded loaded);
    void buildIndex();
    const Value* findValue(const QString& keyPath, const QString& valueName);
    void storeValue(const QString& keyPath, const QString& valueName, const QString& stored);
    void removeKey(const QString& keyPath);
    void rereadWithPendingChanges();
    void changed();
    void flush();
    void noteWriteFailure(const QString& reason);

    QString m_path;
    QByteArray m_signature;  // device, inode, size and times of the file last read
    bool m_read = false;
    Loaded m_loaded;
    QHash<QString, Place> m_index;  // lower-case "key\nname"
    bool m_dirty = false;
    int m_batchDepth = 0;
    QList<Change> m_pending;
    QString m_warning;
    bool m_warned = false;
    QString m_writeFailure;
    bool m_writeFailureTaken = false;
};
