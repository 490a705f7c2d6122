// The archive's own speed, on SQLite and on a throwaway PostgreSQL cluster: records stored per
// second (one visit of 16 000 records of 4 channels, all new), the same visit again (all known),
// and the export of a year of 4 channels at 15-minute intervals as the tool's CSV.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

#include "archive.h"
#include "log_generator.h"
#include "pg_cluster.h"

namespace {

using tavrel::archive::Archive;
using tavrel::archive::VisitData;

VisitData visitOf(int records, const QDateTime& start) {
    tavrel::sim::LogShape shape;
    shape.records = records;
    shape.start = start;
    VisitData v;
    v.meter = QStringLiteral("bench");
    v.started = v.ended = start.addSecs(static_cast<qint64>(records) * 900 + 600);
    v.result = QStringLiteral("ok");
    v.bytes = tavrel::sim::LogGenerator(shape).bytes();
    v.logBytes = static_cast<qint32>(v.bytes.size());
    for (int k = 1; k <= 8; ++k)
        v.captions.append(k <= 4 ? tavrel::sim::LogGenerator::defaultCaption(k)
                                 : QStringLiteral("Not used"));
    return v;
}

void run(const char* engine, const QString& where, const QString& csv) {
    Archive archive;
    QString error;
    if (!archive.open(where, &error)) {
        std::printf("%s: %s\n", engine, qPrintable(error));
        return;
    }
    const VisitData night = visitOf(4000, QDateTime(QDate(2026, 1, 1), QTime(0, 0)));
    QElapsedTimer t;
    t.start();
    const auto first = archive.addVisit(night);
    const double stored = t.nsecsElapsed() / 1e9;
    t.restart();
    const auto again = archive.addVisit(night);
    const double known = t.nsecsElapsed() / 1e9;
    std::printf(
        "%-10s 16000 records stored: %.2f s (%.0f records/s); the same visit again, all "
        "known: %.2f s (%.0f records/s) [%d new, %d known]\n",
        engine, stored, first.recordsNew / stored, known, again.recordsKnown / known,
        first.recordsNew, again.recordsKnown);
    VisitData year = visitOf(35040, QDateTime(QDate(2025, 1, 1), QTime(0, 0)));
    year.meter = QStringLiteral("year");
    archive.addVisit(year);
    t.restart();
    const int rows = archive.writeCsv(QStringLiteral("year"), {}, {}, csv, &error);
    std::printf("%-10s export of a year (35040 stamps x 4 channels): %.2f s, %d rows\n", engine,
                t.nsecsElapsed() / 1e9, rows);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    run("SQLite", dir.filePath(QStringLiteral("bench.db")), dir.filePath(QStringLiteral("a.csv")));
    tavrel::test::PgCluster pg;
    const QString why = pg.start();
    if (!why.isEmpty()) {
        std::printf("PostgreSQL: %s\n", qPrintable(why));
        return 1;
    }
    run("PostgreSQL", pg.freshDatabase(), dir.filePath(QStringLiteral("b.csv")));
    return 0;
}
