#pragma once

#include <QStringList>

// Exit statuses of zarvo-cli.
enum CliStatus { ExitSuccess = 0, ExitFailed = 1, ExitUsage = 2, ExitInterrupted = 130 };

// Runs one zarvo-cli command line (without the program name) and returns its status.
int runCli(const QStringList& arguments);
