#pragma once

#include <QString>
#include <QStringList>

// The "Pack it..." entry of the common Linux file managers, per user: a Dolphin service
// menu, a Nautilus script and a Nemo action, each running zarvo-listfeed with the
// chosen files.

// The files the entry consists of, under $XDG_DATA_HOME.
QStringList packItActionFiles();

// Writes (or rewrites, for a moved installation) every action file.
void registerPackItActions(const QString& listfeedPath);

// Deletes the action files; nothing happens when they are gone already.
void removePackItActions();
