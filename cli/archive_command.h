#pragma once
// The archive from the command line: `--archive DB` for download and collect, and the commands
// that read it back: `export` (the tool's own CSV for any range across visits), `meters` (what
// the archive holds), `conflicts` (stamps offered again with another value) and `plot
// --archive` (the chart of a meter's history).

#include <QCommandLineParser>

#include "archive.h"

namespace tavrel::cli {

void addArchiveOptions(QCommandLineParser& parser);
// Opens --archive (default tavrel.db); false with the reason printed on stderr in one line.
// An archive that cannot be reached, refuses the login or cannot be written is a failure of the
// run, not of the command line: the caller exits with its own run-time code.
bool openArchive(const QCommandLineParser& parser, archive::Archive& archive,
                 archive::Archive::Mode mode);
// --series N, 0 when not given; -1 (with a usage message) when not a number from 1.
int seriesOption(const QCommandLineParser& parser);
// tavrel-cli export --archive DB --meter NAME [--series N] [--from T] [--to T] --out FILE:
// 0 written, 1 no records in the range, 3 not written (the archive not read, or the file),
// 64 usage.
int runExportCommand(const QCommandLineParser& parser);
// tavrel-cli meters --archive DB: 0, 2 the archive not read.
int runMetersCommand(const QCommandLineParser& parser);
// tavrel-cli conflicts --archive DB [--meter NAME]: 0, 2 the archive not read.
int runConflictsCommand(const QCommandLineParser& parser);
// The meter's records as a CSV in the tool's format into `file`; the number of rows, or -1
// with `error` (`usage` set when the fault is in the command line).
int exportCsv(archive::Archive& archive, const QCommandLineParser& parser, const QString& file,
              QString* error, bool* usage);

}  // namespace tavrel::cli
