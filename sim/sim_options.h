#pragma once
// Command-line options that shape the simulated instrument, shared by `tavrel-sim` and the
// tools' demo modes.

#include <QCommandLineParser>

#include "simulated_line.h"

namespace tavrel::sim {

// `prefix` keeps them apart from a program's own options ("sim-" in the tools' demo mode).
void addSimOptions(QCommandLineParser& parser, const QString& prefix = {});
// Reads the options into `out`; false (with `error`) when one is malformed.
bool readSimOptions(const QCommandLineParser& parser, SimulatedLineOptions& out, QString* error,
                    const QString& prefix = {});

}  // namespace tavrel::sim
