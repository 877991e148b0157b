// The file-type filter texts: patterns, matching, the save dialog's types and the
// extension a typed name gets.
#include <QCoreApplication>

#include "browse/file_filters.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString patterns = text.section(QLatin1Char('\n'), 0, 0);
    const QString name = text.section(QLatin1Char('\n'), 1, 1);
    const QStringList list = patternList(patterns);
    matchesFilePattern(name, list);
    FUZZ_CHECK(matchesFilePattern(name, {QStringLiteral("*.*")}));
    const FileFilter filter{name, patterns};
    const QString qtTypes = qtFileDialogFilter(filter.displayForm() + QLatin1Char('|') + patterns);
    const QString withExtension = withTypeExtension(QStringLiteral("/d/") + name, qtTypes);
    FUZZ_CHECK(withExtension.startsWith(QStringLiteral("/d/") + name));
    return 0;
}
