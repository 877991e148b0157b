// The settings file reader: any file reads without harm, a value written is read back,
// and what was readable before a write stays readable after it.
#include <QCoreApplication>

#include "core/registry.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile("registry.ini", data, size);
    Registry::setStorePath(path);  // also forgets the file read for the last input
    const QString before = Registry::setting(QStringLiteral("tRate"), QStringLiteral("<none>"));
    Registry::GetStringValue(Registry::FilterKey, QStringLiteral("1"));
    Registry::saveSetting(QStringLiteral("MZip"), QStringLiteral("On\n\"x\\"));
    FUZZ_CHECK(Registry::setting(QStringLiteral("MZip")) == QStringLiteral("On\n\"x\\"));
    FUZZ_CHECK(Registry::setting(QStringLiteral("tRate"), QStringLiteral("<none>")) == before);
    QFile::remove(path + QStringLiteral(".bad"));
    return 0;
}
