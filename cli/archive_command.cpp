#include "archive_command.h"

#include <cstdio>

#include "cli_views.h"
#include "local_text.h"
#include "record_decoding.h"

namespace tavrel::cli {

void addArchiveOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {QStringLiteral("archive"),
         QStringLiteral("The archive: a SQLite file (default tavrel.db) or "
                        "postgresql://USER@HOST/DB (download, collect, export, meters, "
                        "conflicts, status, plot)."),
         QStringLiteral("DB")},
        {QStringLiteral("meter"),
         QStringLiteral("The meter's name in the archive, any text (download, export, plot, "
                        "conflicts)."),
         QStringLiteral("NAME")},
        {QStringLiteral("series"),
         QStringLiteral("One instrument's history at the meter: 1 the first seen there "
                        "(export, plot)."),
         QStringLiteral("N")},
        {QStringLiteral("full"),
         QStringLiteral("Read the whole log even where only new records could be read "
                        "(download, collect).")},
    });
}

bool openArchive(const QCommandLineParser& parser, archive::Archive& archive,
                 archive::Archive::Mode mode) {
    QString error;
    const QString where = parser.isSet(QStringLiteral("archive"))
                              ? parser.value(QStringLiteral("archive"))
                              : archive::kDefaultArchive;
    if (archive.open(where, &error, mode)) return true;
    std::fprintf(stderr, "tavrel-cli: %s\n", console(error).constData());
    return false;
}

int seriesOption(const QCommandLineParser& parser) {
    if (!parser.isSet(QStringLiteral("series"))) return 0;
    bool ok = false;
    const int n = parser.value(QStringLiteral("series")).toInt(&ok);
    if (!ok || n < 1) {
        usageError(QStringLiteral("--series wants a number from 1"));
        return -1;
    }
    return n;
}

int exportCsv(archive::Archive& archive, const QCommandLineParser& parser, const QString& file,
              QString* error, bool* usage) {
    bool fromOk = false;
    bool toOk = false;
    const QDateTime first =
        archive::parseRangeBound(parser.value(QStringLiteral("from")), false, &fromOk);
    const QDateTime last =
        archive::parseRangeBound(parser.value(QStringLiteral("to")), true, &toOk);
    *usage = true;
    if (!fromOk || !toOk) {
        *error = QStringLiteral(
            "--from and --to want a date (2026-03-15) or a date and time "
            "(2026-03-15T09:30)");
        return -1;
    }
    if (first.isValid() && last.isValid() && last < first) {
        *error = QStringLiteral("--to must not come before --from");
        return -1;
    }
    const QString meter = parser.value(QStringLiteral("meter"));
    const int series = seriesOption(parser);
    if (series < 0) {
        *error = QStringLiteral("--series wants a number from 1");
        return -1;
    }
    *usage = false;
    const int rows = archive.writeCsv(meter, first, last, file, error, series);
    // No such meter or series is a mistake in the command; the archive's own failure is not.
    *usage = rows < 0 && (error->startsWith(QStringLiteral("the archive has no meter")) ||
                          error->contains(QStringLiteral(" has no series ")));
    return rows;
}

int runExportCommand(const QCommandLineParser& parser) {
    if (!parser.isSet(QStringLiteral("meter")) || !parser.isSet(QStringLiteral("out")))
        return usageError(QStringLiteral("export wants --meter NAME and --out FILE"));
    archive::Archive archive;
    // Nothing to write from: the export is not written.
    if (!openArchive(parser, archive, archive::Archive::Mode::ReadOnly)) return 3;
    QString error;
    bool usage = false;
    const QString file = parser.value(QStringLiteral("out"));
    const int rows = exportCsv(archive, parser, file, &error, &usage);
    if (rows < 0) {
        if (usage) return usageError(error);
        std::fprintf(stderr, "tavrel-cli: %s\n", console(error).constData());
        return 3;
    }
    std::printf("%d records into %s\n", rows, console(file).constData());
    return rows == 0 ? 1 : 0;
}

int runMetersCommand(const QCommandLineParser& parser) {
    archive::Archive archive;
    if (!openArchive(parser, archive, archive::Archive::Mode::ReadOnly)) return 2;
    const auto text = [](const QDateTime& t) {
        return t.isValid() ? archive::instrumentText(t) : QStringLiteral("-");
    };
    const QList<archive::MeterSummary> meters = archive.meters();
    if (!archive.errorText().isEmpty()) {
        std::fprintf(stderr, "tavrel-cli: %s\n", console(archive.errorText()).constData());
        return 2;
    }
    qsizetype width = 20;
    for (const archive::MeterSummary& m : meters) width = std::max(width, displayWidth(m.name));
    const auto line = [&](const QString& name, const QStringList& rest) {
        QString out = padded(name, width);
        static const int widths[] = {17, 17, 8, 6, 17};
        for (qsizetype i = 0; i < rest.size(); ++i)
            out += u' ' + (i == 2 || i == 3 ? padded(rest[i], widths[i], true)
                           : i < 5          ? padded(rest[i], widths[i])
                                            : rest[i]);
        std::printf("%s\n", console(out.trimmed()).constData());
    };
    line(QStringLiteral("meter"),
         {QStringLiteral("first record"), QStringLiteral("last record"), QStringLiteral("records"),
          QStringLiteral("series"), QStringLiteral("last visit"), QStringLiteral("result")});
    for (const archive::MeterSummary& m : meters) {
        line(m.name, {text(m.firstRecord), text(m.lastRecord), QString::number(m.records),
                      QString::number(m.series), text(m.lastVisit),
                      m.lastResult.isEmpty() ? QStringLiteral("-") : m.lastResult});
    }
    return 0;
}

int runConflictsCommand(const QCommandLineParser& parser) {
    archive::Archive archive;
    if (!openArchive(parser, archive, archive::Archive::Mode::ReadOnly)) return 2;
    const QList<archive::ConflictRow> rows =
        archive.conflicts(parser.value(QStringLiteral("meter")));
    if (!archive.errorText().isEmpty()) {
        std::fprintf(stderr, "tavrel-cli: %s\n", console(archive.errorText()).constData());
        return 2;
    }
    // Tab-separated: a spreadsheet or awk takes it as it is, whatever the names hold.
    std::printf("meter\tseries\tstamp\tchannel\tcaption\tarchived\toffered\tvisit\n");
    for (const archive::ConflictRow& c : rows) {
        const QStringList fields{
            c.meter,
            QString::number(c.series),
            archive::instrumentText(c.stamp),
            QString::number(c.channel),
            c.caption,
            numberText(c.archived).trimmed(),
            numberText(c.offered).trimmed(),
            c.visit.isValid() ? c.visit.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : "-"};
        std::printf("%s\n", console(fields.join(u'\t')).constData());
    }
    return 0;
}

}  // namespace tavrel::cli
