#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include "cli/cli_commands.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("TarvikZarvo"));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return runCli(arguments);
}
