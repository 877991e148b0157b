#include "cli/cli_commands.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

#include "cli/terminal_job_host.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "pack/join_engine.h"

namespace {

const char* const kUsage =
    "usage: zarvo-cli pack -o OUTPUT [--rate slow|normal|fast|ufast]\n"
    "                      [--assume-yes|--assume-no] FILE...\n";

int usageError(const QString& problem) {
    std::fprintf(stderr, "zarvo-cli: %s\n%s", problem.toLocal8Bit().constData(), kUsage);
    return ExitUsage;
}

QString absolutePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

void addCommonOptions(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("rate"), QStringLiteral("transfer rate"),
                      QStringLiteral("rate"), QStringLiteral("normal")});
    parser.addOption({QStringLiteral("assume-yes"), QStringLiteral("answer Yes to questions")});
    parser.addOption({QStringLiteral("assume-no"), QStringLiteral("answer No to questions")});
}

// Parses `arguments` (the command word first); returns an empty text or the problem.
QString parseCommand(QCommandLineParser& parser, const QStringList& arguments) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(arguments)) {
        return parser.errorText();
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
    if (outcome == JobOutcome::Cancelled || TerminalJobHost::interrupted()) {
        return ExitInterrupted;
    }
    return outcome == JobOutcome::Success ? ExitSuccess : ExitFailed;
}

int runPack(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("joined file"),
                      QStringLiteral("OUTPUT")});
    addCommonOptions(parser);
    const QString problem = parseCommand(parser, arguments);
    if (!problem.isEmpty()) {
        return usageError(problem);
    }
    if (!parser.isSet(QStringLiteral("o"))) {
        return usageError(QStringLiteral("pack needs -o OUTPUT"));
    }
    if (parser.positionalArguments().isEmpty()) {
        return usageError(QStringLiteral("pack needs the files to join"));
    }

    JoinJob job;
    job.output = absolutePath(parser.value(QStringLiteral("o")));
    for (const QString& file : parser.positionalArguments()) {
        job.inputs.append(absolutePath(file));
    }
    job.rate = TransferRate::fromWord(parser.value(QStringLiteral("rate")));

    TerminalJobHost host(standingAnswer(parser));
    File64 files(&host);
    host.setCancelAction([&] {
        files.CloseAllFiles();
        host.message(MessageIcon::Information, QStringLiteral("Packing aborted by user"));
    });
    JoinEngine engine(files, host);
    JobOutcome outcome = engine.validate(job);
    if (outcome == JobOutcome::Success && !TerminalJobHost::interrupted()) {
        outcome = engine.copy(job);
    }
    if (outcome == JobOutcome::Success) {
        host.message(MessageIcon::Information,
                     QLatin1Char('\'') + job.output +
                         QStringLiteral("' successfully packed! Total filesize is ") +
                         sizeText(engine.totalSize()) + QStringLiteral(" bytes."));
    }
    return statusOf(outcome);
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
    if (command == QLatin1String("--help") || command == QLatin1String("help")) {
        std::fputs(kUsage, stdout);
        return ExitSuccess;
    }
    return usageError(QStringLiteral("unknown command '%1'").arg(command));
}
