// The archive, the same cases on SQLite and on a real PostgreSQL (a throwaway cluster): visits
// whole and new-only on the simulated line with their bytes counted, a cleared or shrunk log,
// changed captions, New Year, conflicting values, a collector killed mid-visit, and the export
// against a whole download.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <csignal>
#include <map>

#include "archive_visit.h"
#include "driver_download.h"
#include "pg_cluster.h"

namespace tavrel::test {
namespace {

using archive::Archive;
using archive::ArchiveVisitResult;

PgCluster& cluster(QString* why) {
    static PgCluster pg;
    static const QString failure = pg.start();
    *why = failure;
    return pg;
}

sim::LogShape logOf(int records, QDateTime start = {QDate(2026, 11, 1), QTime(0, 0)},
                    int interval = 15) {
    sim::LogShape s;
    s.channels = {1, 2, 3};
    s.records = records;
    s.start = start;
    s.intervalMinutes = interval;
    return s;
}

class ArchiveTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        if (QByteArray(GetParam()) == "postgresql") {
            QString why;
            PgCluster& pg = cluster(&why);
            ASSERT_TRUE(why.isEmpty()) << why.toStdString();
            where = pg.freshDatabase();
        } else {
            where = dir.filePath("tavrel.db");
        }
        QString error;
        ASSERT_TRUE(archive.open(where, &error)) << error.toStdString();
    }
    // A visit on the simulated line to a meter with this log, on this date and time.
    ArchiveVisitResult visit(const sim::LogShape& shape, const QDateTime& when, bool full = false) {
        sim::SimulatedLineOptions o;
        o.meter.log = shape;
        SimRig rig(o);
        rig.clock = VirtualClock(when.time().msecsSinceStartOfDay() / 1000.0, when.date());
        rig.state.DownloadSaveFile = dir.filePath("Logdata.csv");
        FlexGrid grid(kRecordsGridRows, kRecordsGridCols);
        QuietDownloadView view;
        DownloadDriver driver(rig.link, grid, view);
        return archive::visitIntoArchive(archive, driver, rig.link, {"north", "COM1", full});
    }
    // Stamp -> values of the whole archive, as the export gives them.
    std::map<QString, std::array<double, 9>> exported() {
        std::map<QString, std::array<double, 9>> out;
        for (const archive::ExportRow& r : archive.exportRows("north", {}, {}, nullptr))
            out[archive::stampKey(r.stamp)] = r.values;
        return out;
    }

    QTemporaryDir dir;
    QString where;
    Archive archive;
    const QDateTime night{QDate(2026, 12, 1), QTime(2, 0)};
};

// What each visit read and added, visit after visit, against the log the instrument holds.
TEST_P(ArchiveTest, VisitsReadOnlyWhatIsNewAndSayWhyWhenNot) {
    struct Step {
        const char* name;
        sim::LogShape log;
        int status;
        const char* read;  // "new-only", or the reason of a whole read
        int recordsNew;
        int recordsKnown;
    };
    sim::LogShape renamed = logOf(320);
    renamed.captions[2] = "Volume m3";
    sim::LogShape cleared = logOf(0);
    cleared.empty = true;
    sim::LogShape shrunk = logOf(50);
    shrunk.captions[2] = "Volume m3";
    sim::LogShape other = logOf(60, QDateTime(QDate(2026, 10, 1), QTime(0, 0)));
    other.captions[2] = "Volume m3";
    const Step steps[] = {
        {"first", logOf(200), 0, "first visit", 600, 0},
        // 96 more records; the overlap is the 256-byte step holding the last one (24 entries).
        {"second", logOf(296), 0, "new-only", 288, 24},
        {"nothing new", logOf(296), 0, "new-only", 0, 24},
        {"captions", renamed, 0, "captions changed", 72, 888},
        {"cleared", cleared, 1, "", 0, 0},
        {"shrank", shrunk, 0, "the log shrank (1200 bytes, were 7680): cleared or restarted", 0,
         150},
        // Same captions, a log as long, other bytes at the last record: another instrument.
        {"another", other, 0, "the bytes at the last archived record differ", 180, 0},
    };
    qint64 wholeBytes = 0;
    for (const Step& s : steps) {
        const ArchiveVisitResult r = visit(s.log, night);
        EXPECT_TRUE(r.stored) << s.name << " " << r.outcome.error.toStdString();
        EXPECT_EQ(r.status, s.status) << s.name;
        EXPECT_EQ(r.visit.readKind == QStringLiteral("new-only") ? QStringLiteral("new-only")
                                                                 : r.visit.readWhy,
                  QLatin1String(s.read))
            << s.name;
        EXPECT_EQ(r.outcome.recordsNew, s.recordsNew) << s.name;
        EXPECT_EQ(r.outcome.recordsKnown, s.recordsKnown) << s.name;
        if (QByteArray(s.name) == "first") wholeBytes = r.visit.wireBytes;
        if (QByteArray(s.name) == "second") {
            // The fixed requests (size registers, eight set-up records) plus the new records'
            // bytes and at most one block of overlap, with each block's framing.
            const qint64 fixed = (8 + 21) + 8 * (9 + 209);
            EXPECT_LE(r.visit.wireBytes, fixed + 96 * 24 + 256 + 3 * 18) << r.visit.wireBytes;
            EXPECT_LT(r.visit.wireBytes, wholeBytes);
        }
    }
    const auto records = exported();
    EXPECT_EQ(records.size(), 380u);  // 296 stamps, the renamed log's 24 more, 60 in October
    const QList<archive::MeterSummary> meters = archive.meters();
    ASSERT_EQ(meters.size(), 1);
    EXPECT_EQ(meters[0].records, 380 * 3);
    EXPECT_EQ(meters[0].lastResult, "ok");
}

// The log has no year: collected in December and again in January, a log that crosses New Year
// gets both years, each record once.
TEST_P(ArchiveTest, ALogAcrossNewYearGetsBothYears) {
    const QDateTime start(QDate(2026, 12, 30), QTime(0, 0));
    visit(logOf(47, start, 60), QDateTime(QDate(2026, 12, 31), QTime(23, 0)));
    const ArchiveVisitResult january =
        visit(logOf(60, start, 60), QDateTime(QDate(2027, 1, 2), QTime(12, 0)));
    EXPECT_EQ(january.visit.readKind, "new-only");
    const auto records = exported();
    ASSERT_EQ(records.size(), 60u);
    EXPECT_EQ(records.begin()->first, "2026-12-30 00:00");
    EXPECT_EQ(records.rbegin()->first, "2027-01-01 11:00");
    EXPECT_EQ(records.count("2027-01-01 00:00"), 1u);
    EXPECT_EQ(records.count("2026-12-31 23:00"), 1u);
}

// The same stamp with another value: the archived value stays, the conflict is kept and told.
TEST_P(ArchiveTest, AConflictingValueKeepsTheArchivedOne) {
    sim::LogShape first = logOf(10);
    first.values[2] = {5.0F};
    visit(first, night);
    sim::LogShape other = first;
    other.values[2] = {6.0F};
    const ArchiveVisitResult r = visit(other, night, true);
    EXPECT_EQ(r.visit.readWhy, "a whole read was asked for");
    EXPECT_EQ(r.outcome.conflicts, 10);
    EXPECT_EQ(r.outcome.recordsKnown, 20);
    for (const auto& [stamp, values] : exported()) EXPECT_EQ(values[2], 5.0) << stamp.toStdString();
}

// A collector killed with SIGKILL in the middle of storing a visit leaves all of it or none.
TEST_P(ArchiveTest, AKillMidVisitLeavesAllOrNothing) {
    visit(logOf(100), night);
    const pid_t child = ::fork();
    if (child == 0) {
        Archive own;
        QString error;
        if (!own.open(where, &error)) ::_exit(3);
        own.onRecords = [](int done, int total) {
            if (done * 2 >= total) ::raise(SIGKILL);
        };
        archive::VisitData v;
        v.meter = "north";
        v.started = v.ended = night.addDays(1);
        v.result = "ok";
        v.logBytes = 2000 * 24;
        v.bytes = sim::LogGenerator(logOf(2000)).bytes();
        own.addVisit(v);
        ::_exit(4);  // never reached: the kill comes first
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(exported().size(), 100u);  // the first visit, and nothing of the killed one
    EXPECT_EQ(archive.meters().value(0).records, 300);
}

// The export is the tool's own CSV: a whole download's rows merged by stamp, for any range.
TEST_P(ArchiveTest, ExportEqualsAWholeDownloadMergedByStamp) {
    const sim::LogShape log = logOf(150);
    visit(log, night);
    QList<QByteArray> lines = readFile(dir.filePath("Logdata.csv")).split('\n');
    // A stamp split over two 1024-byte blocks is two rows in the download: merge them.
    QList<QByteArray> merged{lines[0]};
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].chopped(lines[i].endsWith('\r') ? 1 : 0).split(',');
        if (f.size() < 2) continue;
        const QList<QByteArray> last = merged.last().chopped(1).split(',');
        if (merged.size() > 1 && last[0] == f[0]) {
            QList<QByteArray> joined = last;
            for (qsizetype k = 1; k < f.size(); ++k)
                if (!f[k].isEmpty()) joined[k] = f[k];
            merged.last() = joined.join(',') + '\r';
        } else {
            merged.append(f.join(',') + '\r');
        }
    }
    // The middle of the log, record 40 to record 99, against the same rows of the download.
    const QString out = dir.filePath("export.csv");
    QString error;
    ASSERT_EQ(archive.writeCsv("north", log.start.addSecs(40 * 900), log.start.addSecs(99 * 900),
                               out, &error),
              60)
        << error.toStdString();
    EXPECT_EQ(readFile(out), (QList<QByteArray>{merged[0]} + merged.mid(41, 60)).join('\n') + '\n');
}

INSTANTIATE_TEST_SUITE_P(Engines, ArchiveTest, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace tavrel::test
