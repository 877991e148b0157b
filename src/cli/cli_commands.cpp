#include "cli/cli_commands.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

#include "cli/terminal_job_host.h"
#include "core/native_path.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "mpeg/mpeg_info.h"
#include "pack/pack_command.h"
#include "unpack/stamping_texts.h"
#include "unpack/unpack_command.h"

namespace {

const char* const kUsage =
    "usage: zarvo-cli pack -o OUTPUT [--rate slow|normal|fast|ufast] [--no-mpeg-check]\n"
    "                      [--zip] [--delete-sources no|prompt|noprompt]\n"
    "                      [--assume-yes|--assume-no] FILE...\n"
    "       zarvo-cli unpack [--size small|low|high|zip | --piece-size KB | --first KB |\n"
    "                        --last KB | --pieces N | --percent P] [--type raw|emh]\n"
    "                        [--where-file | --to DIR | -o OUTPUT] [--join-bat no|yes|info]\n"
    "                        [--zip] [--rate R] [--delete-sources no|prompt|noprompt]\n"
    "                        [--assume-yes|--assume-no] FILE...\n"
    "       zarvo-cli info FILE...\n";

int usageError(const QString& problem) {
    std::fprintf(stderr, "zarvo-cli: %s\n%s", problem.toLocal8Bit().constData(), kUsage);
    return ExitUsage;
}

QStringList absolutePaths(const QStringList& paths) {
    QStringList result;
    for (const QString& path : paths) {
        result.append(absolutePathOf(path));
    }
    return result;
}

// The options every job command takes.
void addJobOptions(QCommandLineParser& parser) {
    parser.addOption({QStringLiteral("zip"), QStringLiteral("zip the result")});
    parser.addOption({QStringLiteral("delete-sources"), QStringLiteral("no|prompt|noprompt"),
                      QStringLiteral("when"), QStringLiteral("no")});
    parser.addOption({QStringLiteral("rate"), QStringLiteral("transfer rate"),
                      QStringLiteral("rate"), settingRow(SettingId::Rate).defaultValue});
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
    options.rate = TransferRate::fromWord(parser.value(QStringLiteral("rate")));

    TerminalJobHost host(standingAnswer(parser));
    File64 files(&host);
    PackCommand command(files, host);
    host.setCancelAction([&] { return command.cancel(); });
    const QString output = absolutePathOf(parser.value(QStringLiteral("o")));
    return statusOf(command.run(absolutePaths(parser.positionalArguments()), output, options));
}

// The split rule the options ask for; a refusal text when a value is out of range.
QString splitRuleOf(const QCommandLineParser& parser, SplitRule* rule) {
    struct CustomOption {
        const char* name;
        SplitKind kind;
    };
    const CustomOption custom[] = {{"piece-size", SplitKind::CustomSize},
                                   {"first", SplitKind::FirstPiece},
                                   {"last", SplitKind::LastPiece},
                                   {"pieces", SplitKind::Pieces},
                                   {"percent", SplitKind::Percentage}};
    int chosen = parser.isSet(QStringLiteral("size")) ? 1 : 0;
    for (const CustomOption& option : custom) {
        chosen += parser.isSet(QLatin1String(option.name)) ? 1 : 0;
    }
    if (chosen > 1) {
        return QStringLiteral(
            "choose one of --size, --piece-size, --first, --last, --pieces, "
            "--percent");
    }
    const QString preset = parser.isSet(QStringLiteral("size"))
                               ? parser.value(QStringLiteral("size"))
                               : defaultPresetWord();
    bool known = false;
    for (const SplitPreset& candidate : splitPresets()) {
        known = known || candidate.word == preset;
    }
    if (!known) {
        return QStringLiteral("unknown --size '%1'").arg(preset);
    }
    applyPreset(*rule, preset);
    for (const CustomOption& option : custom) {
        if (parser.isSet(QLatin1String(option.name))) {
            return applyCustomSize(*rule, option.kind, parser.value(QLatin1String(option.name)),
                                   false)
                .refusal;
        }
    }
    return QString();
}

// Where the pieces go: --to DIR, -o OUTPUT, or beside each file.
QString destinationOf(const QCommandLineParser& parser, UnpackOptions* options) {
    const int chosen = (parser.isSet(QStringLiteral("where-file")) ? 1 : 0) +
                       (parser.isSet(QStringLiteral("to")) ? 1 : 0) +
                       (parser.isSet(QStringLiteral("o")) ? 1 : 0);
    if (chosen > 1) {
        return QStringLiteral("choose one of --where-file, --to, -o");
    }
    options->destination = UnpackDestination::WhereFile;
    if (parser.isSet(QStringLiteral("to"))) {
        options->customDir = absolutePathOf(parser.value(QStringLiteral("to")));
        if (!isDirectory(options->customDir)) {
            return QStringLiteral("'%1' is not a folder").arg(options->customDir);
        }
        options->destination = UnpackDestination::CustomDir;
    } else if (parser.isSet(QStringLiteral("o"))) {
        options->outputName = absolutePathOf(parser.value(QStringLiteral("o")));
        options->destination = UnpackDestination::SaveFile;
    }
    return QString();
}

int runUnpack(const QStringList& arguments) {
    QCommandLineParser parser;
    const QString valueName = QStringLiteral("value");
    for (const char* name :
         {"size", "piece-size", "first", "last", "pieces", "percent", "type", "to", "join-bat"}) {
        parser.addOption({QLatin1String(name), QLatin1String(name), valueName});
    }
    parser.addOption({QStringLiteral("where-file"), QStringLiteral("pieces beside each file")});
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("piece name base"),
                      QStringLiteral("OUTPUT")});
    addJobOptions(parser);
    QString problem = parseCommand(parser, arguments);
    const QString type = parser.value(QStringLiteral("type")).toLower();
    const QString batch = parser.value(QStringLiteral("join-bat"));
    if (problem.isEmpty() && !type.isEmpty() && type != QLatin1String("raw") &&
        type != QLatin1String("emh")) {
        problem = QStringLiteral("unknown --type '%1'").arg(type);
    }
    if (problem.isEmpty() && !batch.isEmpty() && batch != QLatin1String("no") &&
        batch != QLatin1String("yes") && batch != QLatin1String("info")) {
        problem = QStringLiteral("unknown --join-bat '%1'").arg(batch);
    }
    SplitRule rule;
    UnpackOptions options;
    if (problem.isEmpty()) {
        problem = destinationOf(parser, &options);
    }
    if (!problem.isEmpty()) {
        return usageError(problem);
    }
    const QString refusal = splitRuleOf(parser, &rule);
    if (!refusal.isEmpty()) {
        std::fprintf(stderr, "warning: %s\n", refusal.toLocal8Bit().constData());
        return ExitUsage;
    }
    options.type = type == QLatin1String("emh") ? UnpackType::EMH : UnpackType::RAW;
    options.batch = batch == QLatin1String("yes")    ? JoinBatchMode::Names
                    : batch == QLatin1String("info") ? JoinBatchMode::FullPaths
                                                     : JoinBatchMode::None;
    options.zip = parser.isSet(QStringLiteral("zip"));
    options.deleteSources = deleteActionOf(parser);
    options.rate = TransferRate::fromWord(parser.value(QStringLiteral("rate")));

    TerminalJobHost host(standingAnswer(parser));
    options.stampingLines = LoadCopyrightDataFromFile(host).batchLines;
    File64 files(&host);
    UnpackCommand command(files, host);
    host.setCancelAction([&] { return command.cancel(); });
    return statusOf(command.run(absolutePaths(parser.positionalArguments()), options, rule));
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
        const bool readable = isReadableRegularFile(path);
        const QString line = info       ? info->sizeText + QLatin1Char(' ') + info->rateText
                             : readable ? QStringLiteral("not a valid MPEG file")
                                        : QStringLiteral("cannot be read");
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
    if (command == QLatin1String("unpack")) {
        return runUnpack(arguments);
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
