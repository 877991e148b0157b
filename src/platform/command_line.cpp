#include "platform/command_line.h"

#include "core/text_helpers.h"
#include "platform/native_path.h"

QStringList splitCommandLine(const QString& commandLine) {
    QStringList paths;
    QString rest = commandLine + QStringLiteral("||");
    for (qsizetype i = 0; i < commandLine.size(); ++i) {
        const QString item = StripItem(rest, QLatin1Char('|'));
        if (item.isEmpty()) {
            break;
        }
        paths.append(item);
    }
    return paths;
}

QStringList commandLineFiles(const QStringList& arguments) {
    QStringList names;
    bool literal = false;
    for (const QString& argument : arguments) {
        if (!literal && argument == QLatin1String("--")) {
            literal = true;
            continue;
        }
        const bool list = !literal && argument.contains(QLatin1Char('|')) &&
                          !pathExists(absolutePathOf(argument));
        if (list) {
            names += splitCommandLine(argument);
        } else if (!argument.isEmpty()) {
            names.append(argument);
        }
    }
    QStringList paths;
    for (const QString& name : std::as_const(names)) {
        paths.append(absolutePathOf(name));
    }
    return paths;
}
