// The archive, the same cases on SQLite and on a real PostgreSQL (a throwaway cluster): visits
// whole and new-only on the simulated line with their bytes counted, a cleared or shrunk log,
// another instrument at a known name, conflicting values, an archive of the first schema
// upgraded; the years and the range bounds worked out by hand. A year of nights (New Year, the
// nights the clocks change, clocks ahead and behind, a collector killed mid-visit, exports
// against the instruments' logs) is the soak's, archive_soak_tests.cpp.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <ctime>
#include <map>

#include "archive_visit.h"
#include "driver_download.h"
#include "pg_cluster.h"

namespace tavrel::test {
namespace {

// The whole suite runs in a zone whose clocks change (set before anything reads the zone), in
// the C locale whose date and time texts are written out below.
const bool inBerlin = [] {
    qputenv("TZ", "Europe/Berlin");
    qputenv("LC_ALL", "C");
    ::tzset();
    return true;
}();

using archive::Archive;
using archive::ArchiveVisitResult;

PgCluster& cluster(QString* why) {
    static PgCluster pg;
    static const QString failure = pg.start();
    *why = failure;
    return pg;
}

QDateTime wall(int y, int mo, int d, int h, int mi) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), QTimeZone::utc());
}

sim::LogShape logOf(int records, QDateTime start = wall(2026, 11, 1, 0, 0), int interval = 15) {
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
        if (postgres()) {
            QString why;
            PgCluster& pg = cluster(&why);
            ASSERT_TRUE(why.isEmpty()) << why.toStdString();
            where = pg.freshDatabase();
        } else {
            where = dir.filePath("tavrel.db");
        }
    }
    bool postgres() const { return QByteArray(GetParam()) == "postgresql"; }
    void open() {
        QString error;
        ASSERT_TRUE(archive.open(where, &error)) << error.toStdString();
    }
    // A visit on the simulated line to a meter with this log, on this date and time of the PC.
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
    // Stamp key -> values by column, and the columns' captions, as the export of every series
    // gives them.
    std::map<QString, QList<double>> exported(QStringList* captions = nullptr) {
        const archive::ExportTable t = archive.exportTable("north", {}, {});
        if (captions != nullptr)
            for (const auto& c : t.columns) captions->append(c.caption);
        std::map<QString, QList<double>> out;
        for (const archive::ExportRow& r : t.rows) out[archive::stampKey(r.stamp)] = r.values;
        return out;
    }

    QTemporaryDir dir;
    QString where;
    Archive archive;
    const QDateTime night = wall(2026, 12, 1, 2, 0);
};

// What each visit read and added, visit after visit, against the log the instrument holds; an
// instrument with other captions or other bytes is a series of its own, never conflicts.
TEST_P(ArchiveTest, VisitsReadOnlyWhatIsNewAndKeepAnotherInstrumentApart) {
    ASSERT_NO_FATAL_FAILURE(open());
    struct Step {
        const char* name;
        sim::LogShape log;
        int status;
        const char* read;  // "new-only", or the reason of a whole read
        int recordsNew;
        int recordsKnown;
        int series;
    };
    sim::LogShape renamed = logOf(320);
    renamed.captions[3] = "Volume m3";
    sim::LogShape cleared = logOf(0);
    cleared.empty = true;
    sim::LogShape shrunk = renamed;
    shrunk.records = 50;
    sim::LogShape other = logOf(60, wall(2026, 10, 1, 0, 0));
    other.captions[3] = "Volume m3";
    const Step steps[] = {
        {"first", logOf(200), 0, "first visit", 600, 0, 1},
        // 96 more records; the overlap is the 256-byte step holding the last one (24 entries).
        {"second", logOf(296), 0, "new-only", 288, 24, 1},
        {"nothing new", logOf(296), 0, "new-only", 0, 24, 1},
        {"captions", renamed, 0, "captions changed", 960, 0, 2},
        {"cleared", cleared, 1, "", 0, 0, 0},
        {"shrank", shrunk, 0, "the log shrank (1200 bytes, were 7680): cleared or restarted", 0,
         150, 2},
        // Same captions, a log as long, other bytes at the last record: another instrument.
        {"another", other, 0, "the bytes at the last archived record differ", 180, 0, 3},
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
        EXPECT_EQ(r.outcome.conflicts, 0) << s.name;
        EXPECT_EQ(r.outcome.series, s.series) << s.name;
        if (QByteArray(s.name) == "first") wholeBytes = r.visit.wireBytes;
        if (QByteArray(s.name) == "second") {
            // The fixed requests (size registers, eight set-up records) plus the new records'
            // bytes and at most one block of overlap, with each block's framing.
            const qint64 fixed = (8 + 21) + 8 * (9 + 209);
            EXPECT_LE(r.visit.wireBytes, fixed + 96 * 24 + 256 + 3 * 18) << r.visit.wireBytes;
            EXPECT_LT(r.visit.wireBytes, wholeBytes);
        }
    }
    // The whole history: the three instruments' channels, one column per caption.
    QStringList captions;
    const auto records = exported(&captions);
    EXPECT_EQ(captions, (QStringList{"Flow m3/h", "Total m3", "Pressure bar", "Volume m3"}));
    EXPECT_EQ(records.size(), 380u);  // 320 stamps from November, 60 in October
    // 1 November 00:00: the first instrument's pressure and the second's volume side by side.
    const QList<double> first = records.at("2026-11-01 00:00:00");
    EXPECT_FALSE(std::isnan(first[2]));
    EXPECT_FALSE(std::isnan(first[3]));
    // (Each instrument's own series, its export and the meter's totals: the soak's.)
}

// The same stamp with another value, where the log still ends as the archive has it (the
// same instrument): the archived value stays, the conflict is kept and told.
TEST_P(ArchiveTest, AConflictingValueKeepsTheArchivedOne) {
    ASSERT_NO_FATAL_FAILURE(open());
    sim::LogShape first = logOf(40);
    first.values[2] = {5.0F};
    visit(first, night);
    // Records 0..31 now say 6; the last 256-byte step (records 32..39) is as it was.
    sim::LogShape other = first;
    other.values[2] = std::vector<float>(32, 6.0F);
    other.values[2].resize(40, 5.0F);
    const ArchiveVisitResult r = visit(other, night, true);
    EXPECT_EQ(r.visit.readWhy, "a whole read was asked for");
    EXPECT_EQ(r.outcome.conflicts, 32);
    EXPECT_EQ(r.outcome.recordsKnown, 40 * 3 - 32);
    EXPECT_EQ(r.outcome.series, 1);
    for (const auto& [stamp, values] : exported()) EXPECT_EQ(values[1], 5.0) << stamp.toStdString();
    const QList<archive::ConflictRow> conflicts = archive.conflicts("north");
    ASSERT_EQ(conflicts.size(), 32);
    EXPECT_EQ(conflicts[0].stamp, wall(2026, 11, 1, 0, 0));
    EXPECT_EQ(conflicts[0].caption, "Total m3");
    EXPECT_EQ(conflicts[0].archived, 5.0);
    EXPECT_EQ(conflicts[0].offered, 6.0);
}

// An archive of the first schema, made by the tool before stamps were wall-clock stamps and
// before series (a caption change on "north", conflicts, a Korean name with a "/"), is brought
// up to date when opened: nothing lost, the channel the instrument stopped using exportable.
TEST_P(ArchiveTest, AnArchiveOfTheFirstSchemaIsUpgraded) {
    const QString data = QStringLiteral(TAVREL_TEST_DATA);
    if (postgres()) {
        QString why;
        const QString loaded = cluster(&why).load(where, data + "/archive-v1.sql");
        ASSERT_TRUE(loaded.isEmpty()) << loaded.toStdString();
    } else {
        ASSERT_TRUE(QFile::copy(data + "/archive-v1.db", where));
        QFile::setPermissions(where, QFile::ReadOwner | QFile::WriteOwner);
    }
    ASSERT_NO_FATAL_FAILURE(open());
    const QList<archive::MeterSummary> meters = archive.meters();
    ASSERT_EQ(meters.size(), 2);
    EXPECT_EQ(meters[0].name, "north");
    EXPECT_EQ(meters[0].records, 700);
    EXPECT_EQ(meters[0].firstRecord, wall(2026, 11, 20, 0, 0));
    EXPECT_EQ(meters[0].lastRecord, wall(2026, 11, 22, 14, 15));
    EXPECT_EQ(meters[1].name, QString::fromUtf8("남쪽 FT-101/A"));
    EXPECT_EQ(meters[1].records, 60);
    QStringList captions;
    const auto rows = exported(&captions);
    EXPECT_EQ(captions, (QStringList{"Flow m3/h", "Pressure bar", "Temp C"}));
    EXPECT_EQ(rows.size(), 250u);
    EXPECT_FALSE(std::isnan(rows.at("2026-11-20 00:00:00")[2]));  // the temperature, still there
    EXPECT_EQ(archive.conflicts("north").size(), 250);
    // The next visit goes on where the first schema left off: only what is new.
    const ArchiveVisitResult next = visit(
        [] {
            sim::LogShape s = logOf(260, wall(2026, 11, 20, 0, 0));
            s.channels = {1, 2};
            s.captions[1] = "Flow m3/h";
            s.captions[2] = "Pressure bar";
            s.values[1] = {5.0F, 6.0F};
            return s;
        }(),
        wall(2026, 12, 7, 14, 30));
    EXPECT_EQ(next.visit.readKind, "new-only");
    EXPECT_EQ(next.outcome.recordsNew, 20);
    EXPECT_EQ(next.outcome.series, 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, ArchiveTest, ::testing::Values("sqlite", "postgresql"));

// Years, worked out by hand: the last record lands in the year nearest the visit, even three
// weeks off; 29 February of a year without one stays between its neighbours. (Clocks up to a day
// ahead or behind over New Year, and 29 February of a leap year, are the soak's.)
TEST(LogYears, NearestTheVisitAndALeapDayInPlace) {
    const auto e = [](int month, int day, int hour, int minute) {
        return archive::Entry{1, month, day, hour, minute, 1.0F};
    };
    // Stamp keys in log order, and the texts the instrument had.
    const auto years = [](const QList<archive::Entry>& entries, const QDateTime& visit) {
        std::pair<QStringList, QStringList> out;
        for (const archive::Record& r : archive::assignYears(entries, visit)) {
            out.first << archive::stampKey(r.stamp);
            out.second << archive::instrumentText(r.stamp);
        }
        return out;
    };
    EXPECT_EQ(years({e(12, 19, 23, 0), e(12, 20, 1, 0)}, wall(2027, 1, 10, 2, 0)).first,
              (QStringList{"2026-12-19 23:00:00", "2026-12-20 01:00:00"}));
    const auto [keys, texts] =
        years({e(2, 28, 23, 59), e(2, 29, 0, 0), e(2, 29, 23, 59), e(3, 1, 0, 0)},
              wall(2027, 3, 1, 1, 0));
    EXPECT_EQ(keys, (QStringList{"2027-02-28 23:59:00", "2027-02-28 23:59:00.041",
                                 "2027-02-28 23:59:59.040", "2027-03-01 00:00:00"}));
    EXPECT_EQ(texts, (QStringList{"2027-02-28 23:59", "2027-02-29 00:00", "2027-02-29 23:59",
                                  "2027-03-01 00:00"}));
    // The CSV text of the stand-in names the instrument's own day.
    EXPECT_EQ(archive::stampText(archive::wallStamp(2027, 2, 29, 10, 0)), "02/29/27 10:00:00");
}

// --from/--to: a date alone as the end of a range is the whole of that day.
TEST(LogYears, RangeBounds) {
    using Case = std::tuple<const char*, bool, const char*>;  // text, end, key ("" invalid)
    const std::vector<Case> cases{
        {"2026-11-21", true, "2026-11-21 23:59:59.999"},
        {"2026-11-20", false, "2026-11-20 00:00:00"},
        {"2026-11-20T09:30", false, "2026-11-20 09:30:00"},
        {"2026-11-20 09:30", true, "2026-11-20 09:30:59.999"},
        {"2026-11-20T09:30:15", false, "2026-11-20 09:30:15"},
        {"2026-13-01", false, ""},
        {"yesterday", false, ""},
        {"2026-11-20 ab:cd", false, ""},
    };
    for (const auto& [text, end, key] : cases) {
        bool ok = false;
        const QDateTime t = archive::parseRangeBound(text, end, &ok);
        EXPECT_EQ(ok, QByteArray(key) != "") << text;
        EXPECT_EQ(archive::stampKey(t), QLatin1String(key)) << text;
    }
}

}  // namespace
}  // namespace tavrel::test
