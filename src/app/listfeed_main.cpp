// zarvo-listfeed: started by a file manager's "Pack it..." with the chosen files; starts
// zarvo with them as one argument of "|"-separated full paths.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList paths;
    for (const QString& argument : QCoreApplication::arguments().mid(1)) {
        if (!argument.isEmpty()) {
            paths.append(QDir::cleanPath(QFileInfo(argument).absoluteFilePath()));
        }
    }
    if (paths.isEmpty()) {
        std::fputs("usage: zarvo-listfeed FILE...\n", stderr);
        return 2;
    }
    const QString zarvo = QCoreApplication::applicationDirPath() + QStringLiteral("/zarvo");
    if (!QProcess::startDetached(zarvo, {paths.join(QLatin1Char('|'))})) {
        std::fprintf(stderr, "zarvo-listfeed: cannot start %s\n", qPrintable(zarvo));
        return 1;
    }
    return 0;
}
