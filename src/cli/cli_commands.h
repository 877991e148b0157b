#pragma once

#include <QStringList>

// Exit statuses of zarvo-cli.
enum CliStatus { ExitSuccess = 0, ExitFailed = 1, ExitUsage = 2, ExitInterrupted = 130 };

// The help of a command ("pack", "unpack", "info"), or the general help for any other
// text; and the names of every option a command's parser accepts.
QString cliHelp(const QString& command);
QStringList cliOptionNames(const QString& command);

// Runs one zarvo-cli command line (without the program name) and returns its status.
int runCli(const QStringList& arguments);
