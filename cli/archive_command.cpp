#include "archive_command.h"

#include <cstdio>

#include "archive.h"
#include "cli_views.h"

namespace tavrel::cli {

namespace {
// "2026-03-15", "2026-03-15T09:30" or "2026-03-15 09:30"; invalid when given and not a time.
QDateTime parseTime(const QString& text, bool* ok) {
    *ok = true;
    if (text.isEmpty()) return {};
    QString t = text;
    t.replace(u' ', u'T');
    QDateTime d = QDateTime::fromString(t, Qt::ISODate);
    if (!d.isValid()) {
        const QDate day = QDate::fromString(text, Qt::ISODate);
        if (day.isValid()) d = QDateTime(day, QTime(0, 0));
    }
    *ok = d.isValid();
    return d;
}
}  // namespace

void addArchiveOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {QStringLiteral("archive"),
         QStringLiteral("The archive: a SQLite file (default tavrel.db) or "
                        "postgresql://USER@HOST/DB (download, collect, export, meters, plot)."),
         QStringLiteral("DB")},
        {QStringLiteral("meter"),
         QStringLiteral("The meter's name in the archive (download, export, plot)."),
         QStringLiteral("NAME")},
        {QStringLiteral("full"),
         QStringLiteral("Read the whole log even where only new records could be read "
                        "(download, collect).")},
    });
}

bool openArchive(const QCommandLineParser& parser, archive::Archive& archive) {
    QString error;
    const QString where = parser.isSet(QStringLiteral("archive"))
                              ? parser.value(QStringLiteral("archive"))
                              : archive::kDefaultArchive;
    if (archive.open(where, &error)) return true;
    usageError(error);
    return false;
}

int exportCsv(archive::Archive& archive, const QString& meter, const QString& from,
              const QString& to, const QString& file, QString* error) {
    bool fromOk = false;
    bool toOk = false;
    const QDateTime first = parseTime(from, &fromOk);
    const QDateTime last = parseTime(to, &toOk);
    if (!fromOk || !toOk) {
        *error = QStringLiteral("--from and --to want a time such as 2026-03-15T09:30");
        return -1;
    }
    return archive.writeCsv(meter, first, last, file, error);
}

int runExportCommand(const QCommandLineParser& parser) {
    if (!parser.isSet(QStringLiteral("meter")) || !parser.isSet(QStringLiteral("out")))
        return usageError(QStringLiteral("export wants --meter NAME and --out FILE"));
    archive::Archive archive;
    if (!openArchive(parser, archive)) return kUsageExit;
    QString error;
    const QString file = parser.value(QStringLiteral("out"));
    const int rows = exportCsv(archive, parser.value(QStringLiteral("meter")),
                               parser.value(QStringLiteral("from")),
                               parser.value(QStringLiteral("to")), file, &error);
    if (rows < 0) {
        std::fprintf(stderr, "tavrel-cli: %s\n", console(error).constData());
        return error.startsWith(QStringLiteral("--")) ||
                       error.startsWith(QStringLiteral("the archive has"))
                   ? kUsageExit
                   : 3;
    }
    std::printf("%d records into %s\n", rows, console(file).constData());
    return rows == 0 ? 1 : 0;
}

int runMetersCommand(const QCommandLineParser& parser) {
    archive::Archive archive;
    if (!openArchive(parser, archive)) return kUsageExit;
    const auto text = [](const QDateTime& t) {
        return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("-");
    };
    std::printf("%-20s %-17s %-17s %8s %-17s %s\n", "meter", "first record", "last record",
                "records", "last visit", "result");
    for (const archive::MeterSummary& m : archive.meters()) {
        std::printf(
            "%-20s %-17s %-17s %8lld %-17s %s\n", console(m.name).constData(),
            console(text(m.firstRecord)).constData(), console(text(m.lastRecord)).constData(),
            m.records, console(text(m.lastVisit)).constData(),
            console(m.lastResult.isEmpty() ? QStringLiteral("-") : m.lastResult).constData());
    }
    return 0;
}

}  // namespace tavrel::cli
