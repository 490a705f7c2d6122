// A year of nights, on the virtual clock, played into the archive: a handful of simulated meters
// whose clocks run ahead and behind (up to a day), visited every night at 02:30 of the PC's
// standard time in the zone this run is given (TZ: Europe/Berlin, America/New_York,
// Australia/Sydney), across both nights the clocks change, New Year and 29 February 2028; a log
// cleared, an instrument swapped, line faults, a collector killed mid-visit. At the end every
// record each instrument logged while a visit could read it is in the archive exactly once with
// its own stamp and value, every failed night is a failed visit on the status page, each
// instrument's export is its log as the tool writes CSV, and the clocks are told.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <QTimeZone>
#include <csignal>
#include <map>

#include "archive_visit.h"
#include "driver_download.h"
#include "pg_cluster.h"
#include "record_decoding.h"
#include "status_page.h"

namespace tavrel::test {
namespace {

using archive::Archive;

constexpr int kNights = 366;
const QDate kFirstNight(2027, 9, 1);

// One instrument at a meter's name, from the night it is put there.
struct Instrument {
    int fromNight = 0;
    sim::LogShape log;    // `start` is its first record; `records` follows the clock
    qint64 drift = 0;     // seconds its clock runs ahead of the zone's standard time
    int clearNight = -1;  // the night its log is found cleared (-1: never)
};

struct MeterPlan {
    QString name;
    QList<Instrument> instruments;
    std::map<int, const char*> faults;  // night -> fault rules of that night's visit
    int killNight = -1;                 // the collector is killed while storing that visit
};

sim::LogShape shape(QList<int> channels, QDateTime start, int interval, const char* caption) {
    sim::LogShape s;
    s.channels.assign(channels.begin(), channels.end());
    s.start = start;
    s.intervalMinutes = interval;
    s.captions[static_cast<std::size_t>(channels.first())] = QString::fromUtf8(caption);
    return s;
}

QDateTime wall(int y, int mo, int d, int h, int mi) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), QTimeZone::utc());
}

QList<MeterPlan> plans() {
    const qint64 day = 86400;
    QList<MeterPlan> out;
    // On time; two nights of line faults and a collector killed in the middle of a visit.
    out.append({QStringLiteral("FT-101/A"),
                {{0, shape({1, 2}, wall(2027, 8, 20, 0, 0), 60, "Flow m3/h"), 0, -1}},
                {{40, "exception@10"}, {41, "silence@10-99"}, {200, "corrupt-crc@10-99"}},
                120});
    // Minutes ahead (the clock that once filed a whole visit a year early); log cleared in May.
    out.append({QStringLiteral("<North & \"East\">"),
                {{0, shape({1, 3}, wall(2027, 8, 31, 6, 0), 30, "Flow m3/h"), 7 * 60, 250}},
                {{121, "exception@2"}},
                -1});
    // Almost a day behind, swapped in February for an instrument almost a day ahead, with five
    // channels and a week of its own history.
    out.append(
        {QString::fromUtf8("정수장 2"),
         {{0, shape({1, 2, 3}, wall(2027, 8, 1, 0, 0), 120, "유량"), -(day - 1800), -1},
          {170, shape({1, 2, 3, 4, 5}, wall(2028, 2, 10, 0, 0), 60, "Flow m3/h"), day - 3600, -1}},
         {},
         -1});
    // Almost a day ahead over New Year.
    out.append({QStringLiteral("plain"),
                {{0, shape({2}, wall(2027, 7, 1, 0, 0), 180, "Total m3"), day - 600, -1}},
                {{300, "exception@10"}},
                -1});
    return out;
}

class ArchiveSoak : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        if (QByteArray(GetParam()) == "postgresql") {
            static PgCluster pg;
            static const QString failure = pg.start();
            ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
            where = pg.freshDatabase();
        } else {
            where = dir.filePath("soak.db");
        }
        QString error;
        ASSERT_TRUE(archive.open(where, &error)) << error.toStdString();
    }
    QTemporaryDir dir;
    QString where;
    Archive archive;
};

// The instrument's log as it stands at `instant` (UTC): its first records from its start (or
// from the clear) up to its own clock.
sim::LogShape logAt(const Instrument& in, const QDateTime& instant, qint64 standardOffset,
                    int night) {
    sim::LogShape s = in.log;
    const QDateTime own = QDateTime(instant.date(), instant.time(), QTimeZone::utc())
                              .addSecs(standardOffset + in.drift);
    if (in.clearNight >= 0 && night >= in.clearNight) {
        // Cleared the afternoon before that night's visit: it logs on from there.
        const QDateTime cleared =
            QDateTime(kFirstNight.addDays(in.clearNight - 1), QTime(14, 0), QTimeZone::utc())
                .addSecs(in.drift);
        const qint64 step = in.log.intervalMinutes * 60LL;
        const qint64 skipped = (in.log.start.secsTo(cleared) + step - 1) / step;
        s.start = in.log.start.addSecs(skipped * step);
    }
    const qint64 span = s.start.secsTo(own);
    s.records = span < 0 ? 0 : static_cast<int>(span / (in.log.intervalMinutes * 60LL)) + 1;
    s.empty = s.records == 0;
    return s;
}

TEST_P(ArchiveSoak, AYearOfNights) {
    const QTimeZone zone = QTimeZone::systemTimeZone();
    ASSERT_FALSE(QByteArray(qgetenv("TZ")).isEmpty()) << "run with TZ set";
    const QList<MeterPlan> meters = plans();
    // Per meter: (series, channel, stamp key) -> value, of every record a visit could read.
    std::vector<std::map<std::tuple<int, int, QString>, float>> expected(meters.size());
    std::vector<QStringList> nights(meters.size());
    QDate lastNight;
    for (int n = 0; n < kNights; ++n) {
        const QDate date = kFirstNight.addDays(n);
        const QDateTime noon(date, QTime(12, 0), zone);
        const qint64 standard = zone.standardTimeOffset(noon);
        // 02:30 of the zone's standard time: on summer nights the PC's clock says 03:30.
        const QDateTime instant =
            QDateTime(date, QTime(2, 30), QTimeZone::utc()).addSecs(-standard);
        const QDateTime pc = archive::asWall(instant.toTimeZone(zone));
        lastNight = pc.date();
        for (qsizetype m = 0; m < meters.size(); ++m) {
            const MeterPlan& plan = meters[m];
            qsizetype which = 0;
            for (qsizetype i = 0; i < plan.instruments.size(); ++i)
                if (plan.instruments[i].fromNight <= n) which = i;
            const Instrument& in = plan.instruments[which];
            const sim::LogShape log = logAt(in, instant, standard, n);
            sim::SimulatedLineOptions o;
            o.meter.log = log;
            auto run = [&](Archive& into) {
                SimRig rig(o);
                rig.pump.sleepsThroughWaits = true;
                rig.clock = VirtualClock(pc.time().msecsSinceStartOfDay() / 1000.0, pc.date());
                const auto fault = plan.faults.find(n);
                if (fault != plan.faults.end()) {
                    EXPECT_TRUE(rig.addFaults(fault->second));
                }
                FlexGrid grid(kRecordsGridRows, kRecordsGridCols);
                QuietDownloadView view;
                DownloadDriver driver(rig.link, grid, view);
                return archive::visitIntoArchive(into, driver, rig.link,
                                                 {plan.name, "COM1", false});
            };
            if (n == 169 && m == 2) {
                // The night before the swap: a clock a day behind is told.
                const QList<archive::MeterStatus> st = archive.status(1, pc.date());
                for (const archive::MeterStatus& s : st) {
                    if (s.name == plan.name) {
                        EXPECT_TRUE(s.clockNote.contains("behind"));
                    }
                }
            }
            if (n == plan.killNight) {
                const pid_t child = ::fork();
                if (child == 0) {
                    Archive own;
                    QString error;
                    if (!own.open(where, &error)) ::_exit(3);
                    own.onRecords = [](int done, int total) {
                        if (done == total) ::raise(SIGKILL);
                    };
                    run(own);
                    ::_exit(4);
                }
                int status = 0;
                ::waitpid(child, &status, 0);
                ASSERT_TRUE(WIFSIGNALED(status)) << plan.name.toStdString() << " night " << n;
                nights[m] << QStringLiteral("failed");
                continue;
            }
            const archive::ArchiveVisitResult r = run(archive);
            ASSERT_TRUE(r.stored) << plan.name.toStdString() << " night " << n << ": "
                                  << r.outcome.error.toStdString();
            const bool faulty = plan.faults.count(n) > 0;
            EXPECT_EQ(r.visit.result, faulty ? "failed" : "ok")
                << plan.name.toStdString() << " night " << n << " " << r.visit.cause.toStdString();
            nights[m] << r.visit.result;
            EXPECT_EQ(r.outcome.conflicts, 0) << plan.name.toStdString() << " night " << n;
            if (r.visit.result != QStringLiteral("ok")) continue;
            EXPECT_EQ(r.outcome.series, static_cast<int>(which) + 1)
                << plan.name.toStdString() << " night " << n << ": "
                << r.outcome.newSeries.toStdString();
            const sim::LogGenerator g(log);
            for (int i = 0; i < log.records; ++i) {
                for (const int k : log.channels) {
                    expected[m][{static_cast<int>(which) + 1, k, archive::stampKey(g.stamp(i))}] =
                        g.value(k, i);
                }
            }
        }
    }

    // Every record once, with its own stamp and value, in its instrument's series; the export
    // of each series is that instrument's log as the download's CSV writes it.
    for (qsizetype m = 0; m < meters.size(); ++m) {
        const MeterPlan& plan = meters[m];
        const std::string name = plan.name.toStdString();
        const QList<archive::SeriesInfo> series = archive.series(plan.name);
        ASSERT_EQ(series.size(), plan.instruments.size()) << name;
        qint64 total = 0;
        for (qsizetype s = 0; s < series.size(); ++s) {
            const int number = static_cast<int>(s) + 1;
            const archive::ExportTable t = archive.exportTable(plan.name, {}, {}, number);
            std::map<std::tuple<int, int, QString>, float> got;
            for (const archive::ExportRow& row : t.rows) {
                for (qsizetype c = 0; c < t.columns.size(); ++c) {
                    if (std::isnan(row.values[c])) continue;
                    got[{number, t.columns[c].channel, archive::stampKey(row.stamp)}] =
                        static_cast<float>(row.values[c]);
                }
            }
            std::map<std::tuple<int, int, QString>, float> want;
            for (const auto& [key, value] : expected[m])
                if (std::get<0>(key) == number) want[key] = value;
            EXPECT_EQ(got.size(), want.size()) << name << " series " << number;
            EXPECT_TRUE(got == want) << name << " series " << number;
            total += static_cast<qint64>(want.size());
            // The CSV, made here from the instrument's own records and the download's texts.
            QByteArray csv = "Date / Time";
            const sim::LogGenerator g(plan.instruments[s].log);
            for (const int k : plan.instruments[s].log.channels) csv += ',' + g.caption(k).toUtf8();
            csv += "\r\n";
            std::map<QString, std::map<int, float>> rows;
            for (const auto& [key, value] : want) rows[std::get<2>(key)][std::get<1>(key)] = value;
            for (const auto& [stamp, values] : rows) {
                const QDateTime t = archive::stampFromKey(stamp);
                csv += dateTimeText(t.date(), t.time()).toUtf8();
                for (const int k : plan.instruments[s].log.channels) {
                    csv += ',';
                    if (values.count(k) > 0) csv += numberText(values.at(k)).toUtf8();
                }
                csv += "\r\n";
            }
            QString error;
            const QString file =
                dir.filePath(QStringLiteral("export-%1-%2.csv").arg(m).arg(number));
            ASSERT_GE(archive.writeCsv(plan.name, {}, {}, file, &error, number), 0)
                << error.toStdString();
            EXPECT_EQ(readFile(file), csv) << name << " series " << number;
        }
        for (const archive::MeterSummary& summary : archive.meters()) {
            if (summary.name == plan.name) {
                EXPECT_EQ(summary.series, series.size()) << name;
                EXPECT_EQ(summary.records, total) << name;
            }
        }
        EXPECT_TRUE(archive.conflicts(plan.name).isEmpty()) << name;
    }

    // Every failed night a failed visit on the status page; the clocks told.
    const QList<archive::MeterStatus> status = archive.status(kNights, lastNight);
    ASSERT_EQ(status.size(), meters.size());
    const QString page = QString::fromUtf8(archive::statusPage(status, lastNight, kNights));
    for (qsizetype m = 0; m < meters.size(); ++m) {
        const MeterPlan& plan = meters[m];
        const auto it = std::find_if(status.begin(), status.end(),
                                     [&](const auto& s) { return s.name == plan.name; });
        ASSERT_NE(it, status.end());
        EXPECT_EQ(it->nights, nights[m]) << plan.name.toStdString();
        EXPECT_TRUE(page.contains(plan.name.toHtmlEscaped())) << plan.name.toStdString();
        EXPECT_EQ(it->series, plan.instruments.size());
        const qint64 drift = plan.instruments.last().drift;
        const bool ahead = drift > 15 * 60;
        const bool behind = drift < -2 * it->intervalSeconds;
        EXPECT_EQ(it->clockNote.contains("ahead"), ahead) << plan.name.toStdString();
        EXPECT_EQ(it->clockNote.contains("behind"), behind) << plan.name.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, ArchiveSoak, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace tavrel::test
