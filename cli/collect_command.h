#pragma once
// `tavrel-cli collect`: the nightly round over many meters, for a scheduler.

#include <QCommandLineParser>

namespace tavrel::cli {

// The options only collect takes.
void addCollectOptions(QCommandLineParser& parser);
// Options of collect given to another command: their names, for the usage error.
QStringList collectOnlyOptionsSet(const QCommandLineParser& parser);
// Runs the round; the exit code: 0 every meter collected (or empty, or collected earlier
// today), 2 some failed, 64 usage.
int runCollectCommand(const QCommandLineParser& parser);

}  // namespace tavrel::cli
