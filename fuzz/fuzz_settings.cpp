// The settings file reader: any file reads without harm, a value written is read back,
// and what was readable before a write stays readable after it.
#include <QCoreApplication>

#include "fuzz_support.h"
#include "settings/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile("registry.ini", data, size);
    SettingsStore store(path);
    const QString before = store.setting(QStringLiteral("tRate"), QStringLiteral("<none>"));
    store.value(SettingsStore::FilterKey, QStringLiteral("1"));
    store.saveSetting(QStringLiteral("MZip"), QStringLiteral("On\n\"x\\"));
    FUZZ_CHECK(store.setting(QStringLiteral("MZip")) == QStringLiteral("On\n\"x\\"));
    FUZZ_CHECK(store.setting(QStringLiteral("tRate"), QStringLiteral("<none>")) == before);
    FUZZ_CHECK(SettingsStore(path).setting(QStringLiteral("MZip")) == QStringLiteral("On\n\"x\\"));
    QFile::remove(path + QStringLiteral(".bad"));
    return 0;
}
