#include "cli/cli_commands.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

#include "cli/terminal_job_host.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "mpeg/mpeg_info.h"
#include "pack/pack_command.h"

namespace {

const char* const kUsage =
    "usage: zarvo-cli pack -o OUTPUT [--rate slow|normal|fast|ufast] [--no-mpeg-check]\n"
    "                      [--zip] [--delete-sources no|prompt|noprompt]\n"
    "                      [--assume-yes|--assume-no] FILE...\n"
    "       zarvo-cli info FILE...\n";

int usageError(const QString& problem) {
    std::fprintf(stderr, "zarvo-cli: %s\n%s", problem.toLocal8Bit().constData(), kUsage);
    return ExitUsage;
}

QString absolutePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QStringList absolutePaths(const QStringList& paths) {
    QStringList result;
    for (const QString& path : paths) {
        result.append(absolutePath(path));
    }
    return result;
}

// The options every job command takes.
void addJobOptions(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("zip"), QStringLiteral("zip the result")});
    parser.addOption({QStringLiteral("delete-sources"), QStringLiteral("no|prompt|noprompt"),
                      QStringLiteral("when"), QStringLiteral("no")});
    parser.addOption({QStringLiteral("rate"), QStringLiteral("transfer rate"),
                      QStringLiteral("rate"), QStringLiteral("normal")});
    parser.addOption({QStringLiteral("assume-yes"), QStringLiteral("answer Yes to questions")});
    parser.addOption({QStringLiteral("assume-no"), QStringLiteral("answer No to questions")});
}

DeleteAction deleteActionOf(const QCommandLineParser& parser) {
    const QString word = parser.value(QStringLiteral("delete-sources"));
    if (word == QLatin1String("prompt")) {
        return DeleteAction::Prompt;
    }
    return word == QLatin1String("noprompt") ? DeleteAction::NoPrompt : DeleteAction::No;
}

// Parses `arguments` (the command word first); returns an empty text or the problem.
QString parseCommand(QCommandLineParser& parser, const QStringList& arguments,
                     bool jobCommand = true) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(arguments)) {
        return parser.errorText();
    }
    if (!jobCommand) {
        return QString();
    }
    if (parser.positionalArguments().isEmpty()) {
        return QStringLiteral("%1 needs the files to work on").arg(arguments.first());
    }
    const QString deletion = parser.value(QStringLiteral("delete-sources"));
    if (deletion != QLatin1String("no") && deletion != QLatin1String("prompt") &&
        deletion != QLatin1String("noprompt")) {
        return QStringLiteral("unknown --delete-sources '%1'").arg(deletion);
    }
    if (parser.isSet(QStringLiteral("assume-yes")) && parser.isSet(QStringLiteral("assume-no"))) {
        return QStringLiteral("--assume-yes and --assume-no exclude each other");
    }
    if (!TransferRate::isWord(parser.value(QStringLiteral("rate")))) {
        return QStringLiteral("unknown rate '%1'").arg(parser.value(QStringLiteral("rate")));
    }
    return QString();
}

TerminalJobHost::StandingAnswer standingAnswer(const QCommandLineParser& parser) {
    if (parser.isSet(QStringLiteral("assume-yes"))) {
        return TerminalJobHost::StandingAnswer::Yes;
    }
    if (parser.isSet(QStringLiteral("assume-no"))) {
        return TerminalJobHost::StandingAnswer::No;
    }
    return TerminalJobHost::StandingAnswer::None;
}

int statusOf(JobOutcome outcome) {
    if (outcome == JobOutcome::Success) {
        return ExitSuccess;
    }
    if (outcome == JobOutcome::Cancelled || TerminalJobHost::interrupted()) {
        return ExitInterrupted;
    }
    return ExitFailed;
}

int runPack(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("joined file"),
                      QStringLiteral("OUTPUT")});
    parser.addOption({QStringLiteral("mpeg-check"), QStringLiteral("check MPEG compatibility")});
    parser.addOption({QStringLiteral("no-mpeg-check"), QStringLiteral("skip the MPEG check")});
    addJobOptions(parser);
    QString problem = parseCommand(parser, arguments);
    if (problem.isEmpty() && !parser.isSet(QStringLiteral("o"))) {
        problem = QStringLiteral("pack needs -o OUTPUT");
    }
    if (problem.isEmpty() && parser.isSet(QStringLiteral("mpeg-check")) &&
        parser.isSet(QStringLiteral("no-mpeg-check"))) {
        problem = QStringLiteral("--mpeg-check and --no-mpeg-check exclude each other");
    }
    if (!problem.isEmpty()) {
        return usageError(problem);
    }

    PackOptions options;
    options.mpegCheck = !parser.isSet(QStringLiteral("no-mpeg-check"));
    options.zip = parser.isSet(QStringLiteral("zip"));
    options.deleteSources = deleteActionOf(parser);
    options.overwrite = OverwritePolicy::NoPrompt;  // nothing was saved earlier in this run
    options.rate = TransferRate::fromWord(parser.value(QStringLiteral("rate")));

    TerminalJobHost host(standingAnswer(parser));
    File64 files(&host);
    PackCommand command(files, host);
    host.setCancelAction([&] { return command.cancel(); });
    const QString output = absolutePath(parser.value(QStringLiteral("o")));
    return statusOf(command.run(absolutePaths(parser.positionalArguments()), output, options));
}

int runInfo(const QStringList& arguments) {
    QCommandLineParser parser;
    const QString problem = parseCommand(parser, arguments, false);
    if (!problem.isEmpty()) {
        return usageError(problem);
    }
    if (parser.positionalArguments().isEmpty()) {
        return usageError(QStringLiteral("info needs at least one file"));
    }
    TerminalJobHost host(TerminalJobHost::StandingAnswer::None);
    File64 files(&host);
    int status = ExitSuccess;
    for (const QString& path : absolutePaths(parser.positionalArguments())) {
        const std::optional<MpegInfo> info = ShowMpegInfo(path, files);
        const QString line = info ? info->sizeText + QLatin1Char(' ') + info->rateText
                                  : QStringLiteral("not a valid MPEG file");
        std::printf("%s: %s\n", path.toLocal8Bit().constData(), line.toLocal8Bit().constData());
        if (!info) {
            status = ExitFailed;
        }
    }
    return status;
}

}  // namespace

int runCli(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        return usageError(QStringLiteral("no command given"));
    }
    const QString command = arguments.first();
    if (command == QLatin1String("pack")) {
        return runPack(arguments);
    }
    if (command == QLatin1String("info")) {
        return runInfo(arguments);
    }
    if (command == QLatin1String("--help") || command == QLatin1String("help")) {
        std::fputs(kUsage, stdout);
        return ExitSuccess;
    }
    return usageError(QStringLiteral("unknown command '%1'").arg(command));
}
