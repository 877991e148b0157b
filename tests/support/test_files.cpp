#include "support/test_files.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTest>

#include "settings/settings_store.h"

QString writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

QString writePatternFile(const QString& path, quint64 size, int seed) {
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    quint32 state = static_cast<quint32>(seed) * 2654435761U + 1U;
    for (char& byte : bytes) {
        state = state * 1664525U + 1013904223U;
        byte = static_cast<char>(state >> 24);
    }
    return writeFile(path, bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return file.readAll();
}

bool writeSparseFile(const QString& path, quint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    if (!file.write("head") || !file.resize(static_cast<qint64>(size))) {
        return false;
    }
    return file.seek(static_cast<qint64>(size) - 4) && file.write("tail") == 4;
}

bool waitUntil(const std::function<bool()>& done, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QTest::qWait(5);
    }
    return done();
}

bool runShell(const QString& command) {
    QProcess process;
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool setImmutable(const QString& path, bool on) {
    return runShell(QStringLiteral("chattr %1i '%2' 2>/dev/null")
                        .arg(on ? QLatin1Char('+') : QLatin1Char('-'))
                        .arg(path));
}

bool makeMpegClip(const QString& path, const QString& size, int rate, int seconds) {
    QDir().mkpath(QFileInfo(path).path());
    return runShell(QStringLiteral("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=%1:rate=%2 "
                                   "-f lavfi -i sine=frequency=440 -t %4 -c:v mpeg1video -q:v 8 "
                                   "-c:a mp2 -b:a 64k -f mpeg '%3'")
                        .arg(size)
                        .arg(rate)
                        .arg(path)
                        .arg(seconds));
}

QByteArray mpegBytes(qsizetype length, qsizetype offset, const QByteArray& fields) {
    QByteArray bytes(length, '\x55');
    const QByteArray header = QByteArray("\x00\x00\x01\xB3", 4) + fields;
    bytes.replace(offset, qMin(header.size(), length - offset), header.left(length - offset));
    return bytes;
}

void useThrowawayUserFolders(const QString& folder) {
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder + QStringLiteral("/data")));
    qputenv("HOME", QFile::encodeName(folder));
}

QString programFromEnvironment(const char* variable) {
    const QString program = qEnvironmentVariable(variable);
    if (program.isEmpty() || !QFileInfo(program).isExecutable()) {
        qFatal(
            "This test runs the program named by $%s, which is %s. Run it through ctest, "
            "or set %s to the built program.",
            variable, program.isEmpty() ? "not set" : "not an executable file", variable);
    }
    return program;
}

QString cliProgram() {
    return programFromEnvironment("ZARVO_CLI");
}

QString appProgram() {
    return programFromEnvironment("ZARVO_APP");
}

CliResult runCliProgram(const QStringList& arguments, const QString& folder) {
    QProcess process;
    if (!folder.isEmpty()) {
        process.setWorkingDirectory(folder);
    }
    process.start(cliProgram(), arguments);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
}

QString freshFolder(const QString& path) {
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

QStringList texts(std::initializer_list<const char*> items) {
    QStringList list;
    for (const char* item : items) {
        list.append(QString::fromUtf8(item));
    }
    return list;
}

QString storedValue(const QString& name, const QString& fallback) {
    return SettingsStore().setting(name, fallback);
}

QString storedValueIn(const QString& key, const QString& name) {
    return SettingsStore().value(key, name);
}

void storeValue(const QString& name, const QString& text) {
    SettingsStore().saveSetting(name, text);
}

QString firstStartMismatch(const QString& folder, const QString& x, const QString& y) {
    const QString here = QStringLiteral("@");
    const QStringList expected =
        texts({"CmPack=Off",      "Magnet=On",        "PkLstXpos=X",         "PkLstYpos=Y",
               "tRate=normal",    "sSize=high",       "cSize=<absent>",      "cNof=<absent>",
               "cPfs=<absent>",   "sDir=sfile",       "UnpkTyp=RAW",         "JBat=JbatNo",
               "Delact=No",       "SaveTo=LastSaved", "StartupOpt=LastUsed", "Owrite=Prompt",
               "MZip=Off",        "MCC=On",           "WrChk=Off",           "MSeam=Off",
               "EmhCut=Off",      "fCheck=fPass",     "NoOfFilter=3",        "UnpackCustomDir=@",
               "SaveCustomDir=@", "LastSavedDir=@",   "StartupCustomDir=@",  "LastUsedDir=@",
               "PkLstDir=@",      "ShowTod=<absent>"});
    for (const QString& entry : expected) {
        const QString name = entry.section(QLatin1Char('='), 0, 0);
        QString value = entry.section(QLatin1Char('='), 1);
        const QString stored = storedValue(name, QStringLiteral("<absent>"));
        value = value == here                 ? folder
                : value == QLatin1String("X") ? x
                : value == QLatin1String("Y") ? y
                                              : value;
        bool number = false;
        stored.toDouble(&number);
        if (value.isEmpty() ? !number : stored != value) {
            return name + QStringLiteral(" is '") + stored + QStringLiteral("', not '") + value +
                   QLatin1Char('\'');
        }
    }
    return QString();
}
