// The pack list file reader: any bytes give a list of paths with a folder part, each an
// existing file or a wildcard name that matches one.
#include <QCoreApplication>
#include <QFileInfo>

#include "fuzz_support.h"
#include "packlist/pack_list_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile("list.zpl", data, size);
    for (const QString& entry : readPackList(path)) {
        FUZZ_CHECK(entry.contains(QLatin1Char('/')));
        FUZZ_CHECK(QFileInfo(entry).isFile() || entry.contains(QLatin1Char('*')) ||
                   entry.contains(QLatin1Char('?')));
    }
    return 0;
}
