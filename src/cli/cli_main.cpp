#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include "cli/cli_commands.h"
#include "platform/native_path.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("TarvikZarvo"));
    // From the raw bytes: a file name that is not valid UTF-8 must reach the job intact.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(fromNativePath(QByteArray(argv[i])));
    }
    return runCli(arguments);
}
