#pragma once
// The archive from the command line: `--archive DB` for download and collect, and the commands
// that read it back: `export` (the tool's own CSV for any range across visits), `meters` (what
// the archive holds) and `plot --archive` (the chart of a meter's history).

#include <QCommandLineParser>

namespace tavrel::archive {
class Archive;
}

namespace tavrel::cli {

void addArchiveOptions(QCommandLineParser& parser);
// Opens --archive (default tavrel.db); false with a usage message printed.
bool openArchive(const QCommandLineParser& parser, archive::Archive& archive);
// tavrel-cli export --archive DB --meter NAME [--from T] [--to T] --out FILE: 0 written, 1 no
// records in the range, 3 not written, 64 usage.
int runExportCommand(const QCommandLineParser& parser);
// tavrel-cli meters --archive DB: 0.
int runMetersCommand(const QCommandLineParser& parser);
// The meter's records as a CSV in the tool's format into `file`; the number of rows, or -1
// with `error`.
int exportCsv(archive::Archive& archive, const QString& meter, const QString& from,
              const QString& to, const QString& file, QString* error);

}  // namespace tavrel::cli
