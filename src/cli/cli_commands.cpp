#include "cli/cli_commands.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

#include "cli/terminal_job_host.h"
#include "core/text_helpers.h"
#include "fileio/checksum_verify.h"
#include "fileio/file64.h"
#include "formats/mpeg_info.h"
#include "pack/pack_command.h"
#include "platform/native_path.h"
#include "unpack/stamping_texts.h"
#include "unpack/unpack_command.h"

namespace {

using OptionList = QList<QCommandLineOption>;

// One usage line per command, from the commands' own table.
QString synopsis();

int usageError(const QString& problem) {
    std::fprintf(stderr,
                 "zarvo-cli: %s\nRun 'zarvo-cli --help' for the commands and their options.\n%s",
                 problem.toLocal8Bit().constData(), synopsis().toLocal8Bit().constData());
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
void addJobOptions(OptionList& options) {
    options.append(
        {QStringLiteral("zip"), QStringLiteral("also zip the result into NAME.zip beside it")});
    options.append({QStringLiteral("delete-sources"),
                    QStringLiteral("after success, send the sources to the trash: no, prompt "
                                   "(ask first) or noprompt"),
                    QStringLiteral("WHEN"), QStringLiteral("no")});
    options.append({QStringLiteral("rate"),
                    QStringLiteral("bytes per step: ") +
                        settingRow(SettingId::Rate).words.join(QStringLiteral(", ")),
                    QStringLiteral("RATE"), settingRow(SettingId::Rate).defaultValue});
    options.append({QStringLiteral("checksum"),
                    QStringLiteral("also write NAME.sha256 (as sha256sum writes it) beside the "
                                   "result, computed while copying")});
    options.append({QStringLiteral("assume-yes"), QStringLiteral("answer Yes to every question")});
    options.append({QStringLiteral("assume-no"), QStringLiteral("answer No to every question")});
}

void addHelpOption(OptionList& options) {
    options.append(
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("show this help and exit")});
}

void addNoOptions(OptionList&) {}

// A command's options and --help, which every command knows.
OptionList optionsOf(void (*add)(OptionList&)) {
    OptionList options;
    add(options);
    addHelpOption(options);
    return options;
}

void addOptionsTo(QCommandLineParser& parser, void (*add)(OptionList&)) {
    parser.addOptions(optionsOf(add));
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

void addPackOptions(OptionList& options) {
    options.append({{QStringLiteral("o"), QStringLiteral("output")},
                    QStringLiteral("the joined file (required)"),
                    QStringLiteral("OUTPUT")});
    options.append({QStringLiteral("mpeg-check"),
                    QStringLiteral("check that the MPEG files share picture size and frame "
                                   "rate first (the default)")});
    options.append({QStringLiteral("no-mpeg-check"), QStringLiteral("join without that check")});
    options.append({QStringLiteral("seamless"),
                    QStringLiteral("join MPEG streams of one kind into one continuous stream: "
                                   "later parts' timestamps follow on, inner end codes go; "
                                   "MPEG-4 parts (MP4, MOV) become one movie")});
    addJobOptions(options);
}

int runPack(const QStringList& arguments) {
    QCommandLineParser parser;
    addOptionsTo(parser, addPackOptions);
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
    options.checksum = parser.isSet(QStringLiteral("checksum"));
    options.seamless = parser.isSet(QStringLiteral("seamless"));
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

void addUnpackOptions(OptionList& options) {
    QStringList presets;
    for (const SplitPreset& preset : splitPresets()) {
        presets.append(preset.word + QStringLiteral(" (") + preset.caption + QLatin1Char(')'));
    }
    const auto valued = [&options](const char* name, const QString& description, const char* value,
                                   const QString& fallback = QString()) {
        QCommandLineOption option(QLatin1String(name), description, QLatin1String(value));
        if (!fallback.isEmpty()) {
            option.setDefaultValue(fallback);
        }
        options.append(option);
    };
    valued("size", QStringLiteral("a preset piece size: ") + presets.join(QStringLiteral(", ")),
           "PRESET", defaultPresetWord());
    valued("piece-size", QStringLiteral("pieces of KB kilobytes (1,024 bytes)"), "KB");
    valued("first", QStringLiteral("only the first KB kilobytes of each file"), "KB");
    valued("last", QStringLiteral("only the last KB kilobytes of each file"), "KB");
    valued("pieces", QStringLiteral("N pieces of each file"), "N");
    valued("percent", QStringLiteral("pieces of P percent of each file"), "P");
    valued("type",
           QStringLiteral("raw (the bytes as they are) or emh (every piece after the first "
                          "starts with the file's MPEG header, so it plays alone; every piece "
                          "of an MP4 or MOV file is a whole MPEG-4 file)"),
           "TYPE", QStringLiteral("raw"));
    options.append({QStringLiteral("clean-cuts"),
                    QStringLiteral("with --type emh: start every piece where a picture group "
                                   "(in an MP4 or MOV file, a key frame) starts (the size moves "
                                   "forward to it), with the stream headers it needs, so that "
                                   "every piece decodes cleanly")});
    valued("join-bat",
           QStringLiteral("no, yes or info (with full paths): write NAME-JOIN.bat and "
                          "NAME-JOIN.sh that join the pieces again"),
           "WHEN", QStringLiteral("no"));
    options.append({QStringLiteral("where-file"),
                    QStringLiteral("write the pieces beside each file (the default)")});
    valued("to", QStringLiteral("write the pieces into the folder DIR"), "DIR");
    options.append({{QStringLiteral("o"), QStringLiteral("output")},
                    QStringLiteral("name the pieces OUTPUT.001, OUTPUT.002, ..."),
                    QStringLiteral("OUTPUT")});
    addJobOptions(options);
}

int runUnpack(const QStringList& arguments) {
    QCommandLineParser parser;
    addOptionsTo(parser, addUnpackOptions);
    QString problem = parseCommand(parser, arguments);
    const QString type = parser.value(QStringLiteral("type")).toLower();
    const QString batch = parser.value(QStringLiteral("join-bat"));
    if (problem.isEmpty() && !type.isEmpty() && type != QLatin1String("raw") &&
        type != QLatin1String("emh")) {
        problem = QStringLiteral("unknown --type '%1'").arg(type);
    }
    if (problem.isEmpty() && parser.isSet(QStringLiteral("clean-cuts")) &&
        type != QLatin1String("emh")) {
        problem = QStringLiteral("--clean-cuts needs --type emh");
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
    options.checksum = parser.isSet(QStringLiteral("checksum"));
    options.cleanCuts = parser.isSet(QStringLiteral("clean-cuts"));

    TerminalJobHost host(standingAnswer(parser));
    options.stampingLines = LoadCopyrightDataFromFile(host).batchLines;
    File64 files(&host);
    UnpackCommand command(files, host);
    host.setCancelAction([&] { return command.cancel(); });
    return statusOf(command.run(absolutePaths(parser.positionalArguments()), options, rule));
}

int runInfo(const QStringList& arguments) {
    QCommandLineParser parser;
    addOptionsTo(parser, addNoOptions);
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
        QString line = info       ? info->sizeText + QLatin1Char(' ') + info->rateText
                       : readable ? QStringLiteral("not a valid MPEG file")
                                  : QStringLiteral("cannot be read");
        if (info && info->mpeg4) {
            line += QStringLiteral("\n  Duration: ") + durationText(info->seconds) +
                    QStringLiteral(" (%1 s)").arg(info->seconds, 0, 'f', 3) +
                    QStringLiteral("\n  Frames: ") + info->frames + QStringLiteral("\n  Size: ") +
                    sizeText(info->bytes) + QStringLiteral(" bytes");
            for (const QString& codec : info->codecLines) {
                line += QStringLiteral("\n  ") + codec;
            }
        }
        const QByteArray text = nativePath(path) + ": " + line.toUtf8() + '\n';
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
        if (!info) {
            status = ExitFailed;
        }
    }
    return status;
}

int runVerify(const QStringList& arguments) {
    QCommandLineParser parser;
    addOptionsTo(parser, addNoOptions);
    const QString problem = parseCommand(parser, arguments, false);
    if (!problem.isEmpty() || parser.positionalArguments().size() != 1) {
        return usageError(problem.isEmpty() ? QStringLiteral("verify needs one checksum file")
                                            : problem);
    }
    TerminalJobHost host(TerminalJobHost::StandingAnswer::None);
    CancelRequest cancel;
    host.setCancelAction([&cancel] {
        cancel.request();
        return true;
    });
    const ChecksumReport report =
        verifyChecksums(absolutePathOf(parser.positionalArguments().first()), host, cancel);
    if (!report.error.isEmpty()) {
        std::fprintf(stderr, "zarvo-cli: %s\n", nativePath(report.error).constData());
        return ExitFailed;
    }
    if (cancel.requested() || TerminalJobHost::interrupted()) {
        return ExitInterrupted;
    }
    // Names as the file system holds them, every line whatever a name holds.
    const QByteArray text = nativePath(report.text()) + '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    return report.allGood() ? ExitSuccess : ExitFailed;
}

struct Command {
    const char* name;
    const char* summary;
    const char* arguments;
    void (*addOptions)(OptionList&);
    int (*run)(const QStringList&);
    const char* examples;
};

const Command kCommands[] = {
    {"pack", "Joins the files, in the order given, into one file.", "-o OUTPUT FILE...",
     addPackOptions, runPack,
     "  zarvo-cli pack -o movie.mpg part1.mpg part2.mpg part3.mpg\n"
     "  zarvo-cli pack --no-mpeg-check --zip -o all.bin a.bin b.bin\n"},
    {"unpack", "Splits each file into numbered pieces (NAME.001, NAME.002, ...).", "FILE...",
     addUnpackOptions, runUnpack,
     "  zarvo-cli unpack --size zip big.iso\n"
     "  zarvo-cli unpack --pieces 3 --type emh --join-bat yes --to /tmp/out movie.mpg\n"},
    {"info",
     "Shows the picture size and frame rate of MPEG files; of MPEG-4 files also duration, "
     "frames, size and codecs.",
     "FILE...", addNoOptions, runInfo, "  zarvo-cli info clip.mpg\n"},
    {"verify",
     "Checks every file a checksum file lists (OK, FAILED or MISSING); a split's missing source "
     "is checked as rebuilt from its pieces. Status 0 only when all are good.",
     "FILE.sha256", addNoOptions, runVerify, "  zarvo-cli verify movie.mpg.sha256\n"},
};

const Command* commandNamed(const QString& name) {
    for (const Command& command : kCommands) {
        if (name == QLatin1String(command.name)) {
            return &command;
        }
    }
    return nullptr;
}

OptionList commandOptions(const Command& command) {
    return optionsOf(command.addOptions);
}

// `text` broken at spaces into lines that end before column 80; the caller has indented
// the first line by `indent` columns, and the others are indented alike.
QString wrapped(const QString& text, qsizetype indent) {
    constexpr qsizetype kLastColumn = 79;
    QString result;
    qsizetype column = indent;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > indent) {
            const bool fits = column + 1 + word.size() <= kLastColumn;
            result += fits ? QString(QLatin1Char(' '))
                           : QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            column = fits ? column + 1 : indent;
        }
        result += word;
        column += word.size();
    }
    return result;
}

QString optionLine(const QCommandLineOption& option) {
    QStringList names;
    for (const QString& name : option.names()) {
        names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
    }
    QString line = QStringLiteral("  ") + names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty()) {
        line += QLatin1Char(' ') + option.valueName();
    }
    QString description = option.description();
    if (!option.defaultValues().isEmpty()) {
        description += QStringLiteral(" (default: ") +
                       option.defaultValues().join(QLatin1Char(',')) + QLatin1Char(')');
    }
    return line + QStringLiteral("\n      ") + wrapped(description, 6) + QLatin1Char('\n');
}

QString commandHelp(const Command& command) {
    QString text = QStringLiteral("usage: zarvo-cli ") + QLatin1String(command.name) +
                   QStringLiteral(" [OPTIONS] ") + QLatin1String(command.arguments) +
                   QStringLiteral("\n\n") + wrapped(QLatin1String(command.summary), 0) +
                   QStringLiteral("\n\nOptions:\n");
    for (const QCommandLineOption& option : commandOptions(command)) {
        text += optionLine(option);
    }
    return text + QStringLiteral("\nExamples:\n") + QLatin1String(command.examples);
}

QString synopsis() {
    QString text;
    for (const Command& command : kCommands) {
        text += QStringLiteral("usage: zarvo-cli ") + QLatin1String(command.name) +
                QStringLiteral(" [OPTIONS] ") + QLatin1String(command.arguments) +
                QLatin1Char('\n');
    }
    return text;
}

QString generalHelp() {
    QString text = QStringLiteral(
        "zarvo-cli: joins files into one and splits files into pieces, from a terminal.\n\n"
        "usage: zarvo-cli COMMAND [OPTIONS] FILE...\n\nCommands:\n");
    for (const Command& command : kCommands) {
        text += QStringLiteral("  %1  %2\n")
                    .arg(QLatin1String(command.name), -7)
                    .arg(wrapped(QLatin1String(command.summary), 11));
    }
    return text + QStringLiteral(
                      "  help     Shows the help of a command: zarvo-cli help COMMAND.\n\n"
                      "Options:\n  -h, --help  show this help and exit\n"
                      "  --version   show the version and exit\n\n"
                      "Run 'zarvo-cli COMMAND --help' for the options of a command.\n"
                      "Exit status: 0 done, 1 failed, 2 bad command line, 130 interrupted.\n");
}

int printHelp(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return ExitSuccess;
}

// True when the command line asks for the command's help (its parser knows --help).
bool asksForHelp(const Command& command, const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions(commandOptions(command));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.parse(arguments);
    return parser.isSet(QStringLiteral("help"));
}

}  // namespace

QString cliHelp(const QString& command) {
    const Command* found = commandNamed(command);
    return found != nullptr ? commandHelp(*found) : generalHelp();
}

QStringList cliOptionNames(const QString& command) {
    QStringList names;
    if (const Command* found = commandNamed(command)) {
        for (const QCommandLineOption& option : commandOptions(*found)) {
            names += option.names();
        }
    }
    return names;
}

int runCli(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        return usageError(QStringLiteral("no command given"));
    }
    const QString word = arguments.first();
    if (word == QLatin1String("--version")) {
        std::printf("zarvo-cli %s\n", ZARVO_VERSION);
        return ExitSuccess;
    }
    if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
        return printHelp(generalHelp());
    }
    if (word == QLatin1String("help")) {
        const QString topic = arguments.value(1);
        if (!topic.isEmpty() && commandNamed(topic) == nullptr) {
            return usageError(QStringLiteral("unknown command '%1'").arg(topic));
        }
        return printHelp(cliHelp(topic));
    }
    const Command* command = commandNamed(word);
    if (command == nullptr && word.startsWith(QLatin1Char('-'))) {
        // Worded as the commands' own parser words it.
        const QString name = word.mid(word.startsWith(QLatin1String("--")) ? 2 : 1);
        return usageError(QStringLiteral("Unknown option '%1'.").arg(name));
    }
    if (command == nullptr) {
        return usageError(QStringLiteral("unknown command '%1'").arg(word));
    }
    if (asksForHelp(*command, arguments)) {
        return printHelp(commandHelp(*command));
    }
    return command->run(arguments);
}
