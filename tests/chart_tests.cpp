// The chart of a log: the lines built from the grid's rows (gaps, split stamps, time stepping
// back, unused channels), decimation that keeps every spike, the CSV read back under real
// locales, which channels share a scale and a lane, the range limits, the read-out, and the
// picture and its window offscreen.

#include <gtest/gtest.h>

#include <tuple>

#include <QComboBox>
#include <QLabel>
#include <QTableWidget>

#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <ctime>
#include <functional>
#include <random>

#include "chart_data.h"
#include "chart_picture.h"
#include "driver_download.h"
#include "log_chart.h"
#include "sim_rig.h"

namespace tavrel::test {
namespace {

// A stamp as the chart keeps it: the wall-clock time read as UTC.
qint64 at(int year, int month, int day, int hour, int minute) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC).toMSecsSinceEpoch();
}

// The y values of a run, and its x values as times.
QList<double> ys(const QVector<QPointF>& run) {
    QList<double> out;
    for (const QPointF& p : run) out.append(p.y());
    return out;
}

class ChartData_ : public ::testing::Test {
  protected:
    void SetUp() override { std::setlocale(LC_ALL, "C"); }  // stamps as "%m/%d/%y %H:%M:%S"
};

TEST_F(ChartData_, GapsSplitStampsAndUnusedChannels) {
    const ChartData d =
        buildChartData(LogTable{{"Flow m3/h", "Total m3", "Spare"},
                                {
                                    {"03/15/26 09:30:00", " 1", " 10", ""},
                                    {"03/15/26 09:45:00", "", " 11", ""},  // Flow missing: a gap
                                    {"03/15/26 10:00:00", " 3", "", ""},  // a record split over two
                                    {"03/15/26 10:00:00", "", " 12", ""},  //   blocks: one record
                                    {"not a stamp", " 99", " 99", " 99"},  // skipped
                                    {"03/15/26 10:15:00", " 4", " 13", ""},
                                }});
    EXPECT_EQ(d.records, 4);
    ASSERT_EQ(d.channels.size(), 3);
    EXPECT_EQ(d.channels[0].unit, "m3/h");
    ASSERT_EQ(d.channels[0].runs.size(), 2);
    EXPECT_EQ(ys(d.channels[0].runs[0]), QList<double>{1});
    EXPECT_EQ(ys(d.channels[0].runs[1]), (QList<double>{3, 4}));
    ASSERT_EQ(d.channels[1].runs.size(), 1);
    EXPECT_EQ(ys(d.channels[1].runs[0]), (QList<double>{10, 11, 12, 13}));
    EXPECT_EQ(d.channels[1].runs[0][2].x(), static_cast<double>(at(2026, 3, 15, 10, 0)));
    EXPECT_EQ(d.channels[1].min, 10);
    EXPECT_EQ(d.channels[1].max, 13);
    EXPECT_FALSE(d.channels[2].used());
    EXPECT_TRUE(d.breaks.isEmpty());
}

TEST_F(ChartData_, TimeSteppingBackIsDrawnInOrderAndMarked) {
    // The log has no year: a log over New Year, dated in the download's year, shows December
    // before January. The December records move back a year; the line runs on.
    const ChartData newYear =
        buildChartData(LogTable{{"Flow m3/h"},
                                {{"12/31/26 23:30:00", " 1"},
                                 {"12/31/26 23:45:00", " 2"},
                                 {"01/01/26", " 3"},  // midnight: the date alone
                                 {"01/01/26 00:15:00", " 4"}}});
    ASSERT_EQ(newYear.breaks.size(), 1);
    EXPECT_TRUE(newYear.breaks[0].newYear);
    EXPECT_EQ(newYear.breaks[0].row, 3);
    EXPECT_EQ(newYear.breaks[0].msecs, at(2026, 1, 1, 0, 0));
    ASSERT_EQ(newYear.channels[0].runs.size(), 1);
    const QVector<QPointF>& run = newYear.channels[0].runs[0];
    EXPECT_EQ(run[0].x(), static_cast<double>(at(2025, 12, 31, 23, 30)));
    EXPECT_EQ(run[3].x(), static_cast<double>(at(2026, 1, 1, 0, 15)));
    EXPECT_EQ(newYear.first, at(2025, 12, 31, 23, 30));

    // The instrument's clock set back an hour: the records stay in their order, the line
    // breaks and the step is marked where the later records start.
    const ChartData setBack = buildChartData(LogTable{{"Flow m3/h"},
                                                      {{"03/15/26 10:00:00", " 1"},
                                                       {"03/15/26 10:15:00", " 2"},
                                                       {"03/15/26 09:20:00", " 3"},
                                                       {"03/15/26 09:35:00", " 4"}}});
    ASSERT_EQ(setBack.breaks.size(), 1);
    EXPECT_FALSE(setBack.breaks[0].newYear);
    EXPECT_EQ(setBack.breaks[0].msecs, at(2026, 3, 15, 9, 20));
    ASSERT_EQ(setBack.channels[0].runs.size(), 2);
    EXPECT_EQ(ys(setBack.channels[0].runs[0]), (QList<double>{1, 2}));
    EXPECT_EQ(ys(setBack.channels[0].runs[1]), (QList<double>{3, 4}));
    EXPECT_EQ(setBack.first, at(2026, 3, 15, 9, 20));
    EXPECT_EQ(setBack.last, at(2026, 3, 15, 10, 15));
}

TEST(ChartDecimation, EveryBucketKeepsItsLowestAndHighest) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 1);
    QVector<QPointF> points;
    for (int i = 0; i < 100000; ++i) {
        double y = noise(random);
        if (i % 997 == 0) y += (i % 2 == 0 ? 50 : -50);  // single-sample spikes
        points.append(QPointF(i * 60000.0, y));
    }
    const int columns = 640;
    const double x0 = 5000 * 60000.0;
    const double x1 = 95000 * 60000.0;
    const QVector<QPointF> kept = decimate(points, x0, x1, columns);
    EXPECT_LE(kept.size(), columns * 2 + 2);
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end(),
                               [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); }));
    // Brute force, bucket by bucket.
    const double width = (x1 - x0) / columns;
    std::map<long, std::pair<QPointF, QPointF>> extremes;
    for (const QPointF& p : points) {
        if (p.x() < x0 || p.x() > x1) continue;
        const long b =
            std::min(static_cast<long>(std::floor((p.x() - x0) / width)), long{columns - 1});
        auto [it, added] = extremes.try_emplace(b, p, p);
        if (p.y() < it->second.first.y()) it->second.first = p;
        if (p.y() > it->second.second.y()) it->second.second = p;
    }
    for (const auto& [bucket, lowHigh] : extremes) {
        EXPECT_TRUE(kept.contains(lowHigh.first)) << "lowest of bucket " << bucket;
        EXPECT_TRUE(kept.contains(lowHigh.second)) << "highest of bucket " << bucket;
    }
    // The line runs on to both edges.
    EXPECT_LT(kept.first().x(), x0);
    EXPECT_GT(kept.last().x(), x1);
    // Few points come back as they are.
    const QVector<QPointF> few = points.mid(0, 100);
    EXPECT_EQ(decimate(few, 0, 1e9, columns), few);
}

// Ticks on round times, the step the smallest usual one that fits; the label says what
// the step needs. Expected ticks are written out by hand.
TEST(ChartTimeAxis, TicksFallOnRoundTimes) {
    const auto t = [](int y, int mo, int d, int h = 0, int mi = 0) { return at(y, mo, d, h, mi); };
    struct Case {
        qint64 from, to;
        int most;
        QList<qint64> ticks;
        QString firstLabel;
    };
    const Case cases[] = {
        // 50 minutes, at most 6: every 10 minutes.
        {t(2026, 3, 15, 9, 7),
         t(2026, 3, 15, 9, 57),
         6,
         {t(2026, 3, 15, 9, 10), t(2026, 3, 15, 9, 20), t(2026, 3, 15, 9, 30),
          t(2026, 3, 15, 9, 40), t(2026, 3, 15, 9, 50)},
         "03-15 09:10"},
        // Across midnight, 21 hours, at most 4: every six hours, on the day's own hours.
        {t(2026, 3, 15, 4, 30),
         t(2026, 3, 16, 1, 30),
         4,
         {t(2026, 3, 15, 6), t(2026, 3, 15, 12), t(2026, 3, 15, 18), t(2026, 3, 16, 0)},
         "03-15 06:00"},
        // Five weeks, at most 6: Mondays, one week apart (2026-03-16 is a Monday).
        {t(2026, 3, 12),
         t(2026, 4, 16),
         6,
         {t(2026, 3, 16), t(2026, 3, 23), t(2026, 3, 30), t(2026, 4, 6), t(2026, 4, 13)},
         "2026-03-16"},
        // A year and a half, at most 4: the first days of every sixth month.
        {t(2025, 11, 20),
         t(2027, 5, 2),
         4,
         {t(2026, 1, 1), t(2026, 7, 1), t(2027, 1, 1)},
         "2026-01"},
    };
    for (const Case& c : cases) {
        const QList<TimeTick> ticks = timeTicks(c.from, c.to, c.most);
        QList<qint64> times;
        for (const TimeTick& tick : ticks) times.append(tick.msecs);
        EXPECT_EQ(times, c.ticks) << c.firstLabel.toStdString();
        EXPECT_EQ(ticks.value(0).label, c.firstLabel);
    }
}

// The CSV the tool writes in a locale is read back in that locale to the values and times the
// instrument logged.
TEST(ChartCsv, ReadsBackTheToolsOwnCsvUnderRealLocales) {
    for (const char* locale : {"de_DE.UTF-8", "ko_KR.UTF-8", "C"}) {
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale << " is not installed";
        sim::SimulatedLineOptions options;
        options.meter.log.channels = {1, 3};
        options.meter.log.records = 5;
        options.meter.log.values[1] = {2.5F, 1.25F, -3.0F};
        options.meter.log.values[3] = {1000.0F};
        QTemporaryDir dir;
        const QString name = dir.filePath("log.csv");
        FlexGrid grid(kRecordsGridRows, kRecordsGridCols);
        ASSERT_EQ(driverDownload(options, QDate(2026, 6, 1), name, &grid), 0) << locale;
        LogTable table;
        QString error;
        ASSERT_TRUE(readLogCsv(readFile(name), &table, &error)) << locale << error.toStdString();
        const ChartData d = buildChartData(table);
        ASSERT_EQ(d.channels.size(), 2) << locale;
        ASSERT_EQ(d.channels[0].runs.size(), 1) << locale;
        EXPECT_EQ(ys(d.channels[0].runs[0]), (QList<double>{2.5, 1.25, -3, 2.5, 1.25})) << locale;
        EXPECT_EQ(ys(d.channels[1].runs[0]), (QList<double>{1000, 1000, 1000, 1000, 1000}));
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(d.channels[0].runs[0][i].x(),
                      static_cast<double>(at(2026, 3, 15, 9, 30) + i * 15 * 60000LL))
                << locale << " record " << i;
        }
        // And the same from the grid the window shows.
        const ChartData fromGrid = buildChartData(logTableFromGrid(grid));
        EXPECT_EQ(fromGrid.channels[0].runs, d.channels[0].runs) << locale;
    }
    std::setlocale(LC_ALL, "C");
}

TEST(ChartCsv, RefusesWhatTheToolDidNotWrite) {
    std::setlocale(LC_ALL, "C");
    using Case = std::tuple<QByteArray, const char*>;
    for (const auto& [bytes, wanted] :
         {Case{"", "not a log the tool wrote"},
          Case{"name,phone\r\nx,y\r\n", "not a log the tool wrote"},
          Case{"Date / Time,Flow\r\n", "the log holds no records"},
          Case{"Date / Time,Flow\r\nyesterday, 1\r\n", "line 2: \"yesterday\""},
          Case{"Date / Time,Flow\r\n03/15/26 09:30:00, 1, 2\r\n",
               "line 2 has 3 fields, the header 2"}}) {
        LogTable table;
        QString error;
        EXPECT_FALSE(readLogCsv(bytes, &table, &error)) << bytes.constData();
        EXPECT_TRUE(error.startsWith(QLatin1String(wanted))) << error.toStdString();
    }
}

// A log of `hours` hours, a record every 15 minutes from 2026-03-15 00:00, one value column per
// caption: `value(record, channel)` (empty text for none).
LogTable quarterHours(const QStringList& captions, int hours,
                      const std::function<QString(int, int)>& value) {
    LogTable table{captions, {}};
    for (int i = 0; i <= hours * 4; ++i) {
        QStringList row{QDateTime(QDate(2026, 3, 15), QTime(0, 0))
                            .addSecs(qint64{i} * 900)
                            .toString("MM/dd/yy HH:mm:ss")};
        for (int k = 0; k < captions.size(); ++k) row << value(i, k);
        table.rows.append(row);
    }
    return table;
}

// The arrangement as text: lanes top to bottom split by " / ", the scales of a lane by " + ",
// each scale as its title and its channels.
QString arrangementText(const Arrangement& a) {
    QStringList lanes;
    for (const QList<int>& lane : a.lanes) {
        QStringList scales;
        for (const int s : lane) {
            QStringList channels;
            for (const int k : a.scales[s].channels) channels << QString::number(k);
            scales << a.scales[s].title + '[' + channels.join(',') + ']';
        }
        lanes << scales.join(" + ");
    }
    return lanes.join(" / ");
}

// Which channels share a scale and a lane. The channels' ranges are the whole log's.
TEST(ChartArrangement, OneScaleAUnitLanesBeyondTwoAndNothingFlat) {
    using Channels = std::vector<std::tuple<const char*, double, double>>;
    const Channels demo{{"Flow m3/h", 80, 160},
                        {"Total m3", 154000, 166000},
                        {"Pressure bar", 3.2, 3.8},
                        {"Temp C", 8, 20}};
    const Channels flows{{"Flow m3/h", 0, 100}, {"Flow2 m3/h", 10, 90}, {"Pressure bar", 3, 4}};
    struct Case {
        Channels channels;
        QString visible;  // '1' shown, '0' hidden, by channel
        QString wanted;
        ChartMode mode = ChartMode::Lanes;
        QSet<int> own = {};
    };
    const Case cases[] = {
        {demo, "1111", "Flow m3/h[0] / Total m3[1] / Pressure bar[2] / Temp C[3]"},
        {demo, "1111", "Flow m3/h[0] + Total m3[1] + Pressure bar[2] + Temp C[3]",
         ChartMode::Overlay},
        {demo, "1111", "0 = lowest, 1 = highest[0,1,2,3]", ChartMode::Normalised},
        // A single channel: its own axis, titled by its caption (and so its unit).
        {demo, "0010", "Pressure bar[2]"},
        {demo, "0000", ""},
        // Two scales share one lane, left and right.
        {flows, "111", "m3/h[0,1] + Pressure bar[2]"},
        {flows, "111", "Flow m3/h[0] / Flow2 m3/h[1] / Pressure bar[2]", ChartMode::Lanes, {1}},
        // Less than a tenth of its unit's span: a scale of its own, a constant one too.
        {{{"Level m", 0, 10}, {"Depth m", 4.9, 5.1}}, "11", "Level m[0] + Depth m[1]"},
        {{{"Flow m3/h", 0, 100}, {"Flow3 m3/h", 50, 50}}, "11", "Flow m3/h[0] + Flow3 m3/h[1]"},
        {{{"A m", 5, 5}, {"B m", 5, 5}}, "11", "m[0,1]"},
        // Captions that name no unit share nothing.
        {{{"Flow A", 0, 1}, {"Aux 1", 0, 1}}, "11", "Flow A[0] + Aux 1[1]"},
    };
    for (const Case& c : cases) {
        ChartData data;
        QList<bool> visible;
        for (const auto& [caption, lo, hi] : c.channels) {
            ChannelLine line;
            line.caption = caption;
            line.unit = unitOf(caption);
            line.min = lo;
            line.max = hi;
            line.runs = {{QPointF(0, lo), QPointF(1, hi)}};
            data.channels.append(line);
            visible.append(c.visible[visible.size()] == '1');
        }
        EXPECT_EQ(arrangementText(arrangeChannels(data, visible, c.own, c.mode)), c.wanted)
            << c.wanted.toStdString();
    }
}

TEST(ChartScale, ReadableRangesAndRoundTicks) {
    using Range = std::tuple<double, double, double, double>;
    for (const auto& [lo, hi, wantedLo, wantedHi] :
         {Range{5, 5, 4.5, 5.5}, Range{0, 0, -1, 1}, Range{-2, -2, -2.2, -1.8},
          Range{10, 20, 9.5, 20.5}}) {
        const auto [l, h] = readableRange(lo, hi);
        EXPECT_DOUBLE_EQ(l, wantedLo) << lo << ".." << hi;
        EXPECT_DOUBLE_EQ(h, wantedHi) << lo << ".." << hi;
    }
    using Ticks = std::tuple<double, double, int, std::vector<double>>;
    for (const auto& [lo, hi, most, wanted] :
         {Ticks{0, 1, 5, {0, 0.2, 0.4, 0.6, 0.8, 1}}, Ticks{3.18, 3.82, 6, {3.2, 3.4, 3.6, 3.8}},
          Ticks{-50000, 1200000, 5, {0, 500000, 1000000}}, Ticks{4.5, 5.5, 4, {4.5, 5, 5.5}},
          // A short lane: the step of three (5) would hold one value; the finer one, two or more.
          Ticks{36.7, 43.3, 3, {38, 40, 42}}}) {
        const QList<double> ticks = valueTicks(lo, hi, most);
        ASSERT_EQ(ticks.size(), static_cast<qsizetype>(wanted.size())) << lo << ".." << hi;
        for (std::size_t i = 0; i < wanted.size(); ++i)
            EXPECT_NEAR(ticks[static_cast<qsizetype>(i)], wanted[i], 1e-9) << lo << ".." << hi;
    }
}

// Zoom and pan stay between a minute and the whole log with its margin; each scale follows the
// range shown unless locked.
TEST_F(ChartData_, RangeStaysWithinTheLogAndScalesFollowIt) {
    ChartPicture picture;
    picture.setData(buildChartData(
        quarterHours({"Level m"}, 48, [](int i, int) { return QString::number(i); })));
    const qint64 first = at(2026, 3, 15, 0, 0);
    const qint64 last = at(2026, 3, 17, 0, 0);
    const qint64 margin = (last - first) / 50;
    EXPECT_EQ(picture.from(), first - margin);
    EXPECT_EQ(picture.to(), last + margin);
    picture.image(QSize(800, 400));
    const double middle = picture.plotArea().center().x();
    for (int i = 0; i < 100; ++i) picture.zoomAt(middle, 1.25);
    EXPECT_EQ(picture.to() - picture.from(), 60000);
    for (int i = 0; i < 100; ++i) picture.zoomAt(picture.plotArea().left(), 0.8);
    EXPECT_EQ(picture.from(), first - margin);
    EXPECT_EQ(picture.to(), last + margin);
    picture.setRange(at(2026, 1, 1, 0, 0), at(2026, 1, 2, 0, 0));  // long before the log
    EXPECT_EQ(picture.from(), first - margin);
    EXPECT_EQ(picture.to(), first - margin + 86400000);
    picture.panBy(1e6);
    EXPECT_EQ(picture.to(), last + margin);

    // Values 0..192, one a record: the whole log, then its first quarter, then locked.
    const auto near = [](std::pair<double, double> range, double lo, double hi) {
        return std::fabs(range.first - lo) < 1e-9 && std::fabs(range.second - hi) < 1e-9;
    };
    picture.resetRange();
    picture.image(QSize(800, 400));
    EXPECT_TRUE(near(picture.scaleRange(0), -9.6, 201.6));
    picture.setRange(first, at(2026, 3, 15, 12, 0));
    picture.image(QSize(800, 400));
    EXPECT_TRUE(near(picture.scaleRange(0), -2.4, 50.4));
    picture.setYLocked(true);
    picture.setRange(at(2026, 3, 16, 12, 0), last);
    picture.image(QSize(800, 400));
    EXPECT_TRUE(near(picture.scaleRange(0), -2.4, 50.4));
    picture.setYLocked(false);
    picture.image(QSize(800, 400));
    EXPECT_TRUE(near(picture.scaleRange(0), 141.6, 194.4));

    // A log of one record: a minute around it.
    ChartPicture one;
    one.setData(buildChartData(LogTable{{"Flow m3/h"}, {{"03/15/26 09:30:00", " 5"}}}));
    EXPECT_EQ(one.from(), at(2026, 3, 15, 9, 30) - 30000);
    EXPECT_EQ(one.to(), at(2026, 3, 15, 9, 30) + 30000);
}

// The instrument's clock knows no daylight saving: a log through the night the clocks go forward
// in Berlin keeps its quarter hours and its own stamps.
TEST_F(ChartData_, WallClockStampsOnAZoneWithDaylightSaving) {
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QList<QStringList> rows;
    for (const char* time : {"01:30", "01:45", "02:00", "02:15", "02:30", "02:45", "03:00"})
        rows.append({QStringLiteral("03/29/26 %1:00").arg(time), " 1"});
    ChartPicture picture;
    picture.setData(buildChartData(LogTable{{"Flow m3/h"}, rows}));
    const QVector<QPointF>& run = picture.data().channels[0].runs[0];
    ASSERT_EQ(run.size(), 7);
    for (int i = 1; i < run.size(); ++i) EXPECT_EQ(run[i].x() - run[i - 1].x(), 900000.0) << i;
    EXPECT_TRUE(picture.readoutAt(static_cast<double>(at(2026, 3, 29, 2, 31)))
                    .startsWith("2026-03-29 02:30   Flow m3/h: 1"));
    QStringList labels;
    for (const TimeTick& tick : timeTicks(at(2026, 3, 29, 1, 30), at(2026, 3, 29, 3, 0), 2))
        labels << tick.label;
    EXPECT_EQ(labels, (QStringList{"03-29 02:00", "03-29 03:00"}));
    if (zone.isNull()) {
        qunsetenv("TZ");
    } else {
        qputenv("TZ", zone);
    }
    tzset();
}

// The read-out of every channel at a record: two records of one stamp after the clock was set
// back, missing values, over-range marks; and the differences between two records.
TEST_F(ChartData_, ReadoutShowsEveryChannelAndTheDifferences) {
    const LogTable table{{"Flow m3/h", "Total m3", "Pressure bar", "Temp C"},
                         {{"03/15/26 10:00:00", " 1", " 1104962", " 3.5", " 8"},
                          {"03/15/26 10:15:00", " 2", " 1104970", "", ""},
                          {"03/15/26 10:30:00", " 1E+37", " 1104980", " 3.6", ""},
                          {"03/15/26 10:00:00", " 4", " 1104990", " 3.7", " 9"},  // set back
                          {"03/15/26 10:15:00", " 5", " 1105000", "-1E-37", ""}}};
    ChartPicture picture;
    picture.setData(buildChartData(table));
    ASSERT_EQ(picture.data().breaks.size(), 1);
    const auto readout = [&](int minute) {
        return picture.readoutAt(static_cast<double>(at(2026, 3, 15, 10, minute)));
    };
    EXPECT_EQ(readout(1),
              "2026-03-15 10:00   Flow m3/h: 1 then 4   Total m3: 1104962 then "
              "1104990   Pressure bar: 3.5 then 3.7   Temp C: 8 then 9");
    EXPECT_EQ(readout(16),
              "2026-03-15 10:15   Flow m3/h: 2 then 5   Total m3: 1104970 then "
              "1105000   Pressure bar: negative underflow (-1E-37)   Temp C: missing");
    EXPECT_EQ(readout(29),
              "2026-03-15 10:30   Flow m3/h: over range (1E+37)   Total m3: 1104980"
              "   Pressure bar: 3.6   Temp C: missing");
    EXPECT_EQ(picture.differences(static_cast<double>(at(2026, 3, 15, 10, 0)),
                                  static_cast<double>(at(2026, 3, 15, 10, 30))),
              "2026-03-15 10:00 – 2026-03-15 10:30  +30 min   Flow m3/h: missing   Total m3: -10"
              "   Pressure bar: -.1   Temp C: missing");
    picture.setChannelVisible(1, false);  // a hidden channel is not read out
    EXPECT_FALSE(readout(0).contains("Total"));
}

// The first channel's blue inside the plot area: pixels, columns holding any, and the middle
// row of them.
struct Blue {
    int pixels = 0;
    int columns = 0;
    double meanRow = 0;
};
Blue blueIn(const QImage& image, const QRectF& area) {
    Blue found;
    double rows = 0;
    for (int x = static_cast<int>(area.left()) + 2; x < static_cast<int>(area.right()) - 1; ++x) {
        int column = 0;
        for (int y = static_cast<int>(area.top()) + 1; y < static_cast<int>(area.bottom()); ++y) {
            const QRgb p = image.pixel(x, y);
            // The channel's blue, or its blend with the white where the line is smoothed.
            if (qBlue(p) - qRed(p) > 40 && qBlue(p) > qGreen(p)) {
                ++column;
                rows += y;
            }
        }
        found.pixels += column;
        found.columns += column > 0 ? 1 : 0;
    }
    found.meanRow = found.pixels > 0 ? rows / found.pixels : 0;
    return found;
}

TEST_F(ChartData_, DrawsTheLinesInsideThePlotArea) {
    ChartPicture picture;
    picture.setData(buildChartData(quarterHours({"Flow m3/h"}, 120, [](int i, int) {
        return QString::number(100 + 50 * std::sin(i / 20.0));
    })));
    QImage image = picture.image(QSize(800, 400));
    const QRectF area = picture.plotArea();
    ASSERT_GT(area.width(), 600);
    ASSERT_GT(area.height(), 250);
    const Blue line = blueIn(image, area);
    EXPECT_GT(line.pixels, 500);
    EXPECT_GT(line.columns, area.width() * 0.9);  // the line crosses the whole width
    picture.setChannelVisible(0, false);          // hidden, the channel draws nothing
    EXPECT_EQ(blueIn(picture.image(QSize(800, 400)), area).pixels, 0);

    // A channel that never changes is drawn across the middle of a range around its value; a
    // log of one record as a point there.
    for (const int hours : {12, 0}) {
        picture.setData(buildChartData(
            quarterHours({"Flow m3/h"}, hours, [](int, int) { return QStringLiteral(" 5"); })));
        image = picture.image(QSize(800, 400));
        const Blue flat = blueIn(image, picture.plotArea());
        EXPECT_GT(flat.pixels, 0) << hours;
        EXPECT_NEAR(flat.meanRow, picture.plotArea().center().y(), 2) << hours;
    }
}

TEST(ChartChoices_, KeptByCaptionAndByTheLogsShape) {
    QTemporaryDir dir;
    const QString file = dir.filePath("Tavreldwn.chart");
    ChartChoices choices;
    choices.ownLane = {"Aux 1"};
    choices.modes.insert(shapeOf({"Flow m3/h", " Total m3 "}), ChartMode::Overlay);
    QString error;
    ASSERT_TRUE(saveChartChoices(file, choices, &error)) << error.toStdString();
    EXPECT_EQ(readFile(file), "Aux 1\town\nview\toverlay\tFlow m3/h\tTotal m3\n");
    // An older file's axis sides are no lanes: skipped.
    ASSERT_TRUE(writeFile(file, readFile(file) + "Flow A\tleft\n"));
    const ChartChoices back = loadChartChoices(file);
    EXPECT_EQ(back.ownLane, choices.ownLane);
    EXPECT_EQ(back.modes, choices.modes);
}

TEST(ChartSave, TheChosenTypesSuffixIsAdded) {
    using Case = std::tuple<const char*, const char*, const char*>;
    for (const auto& [name, filter, wanted] :
         {Case{"mychart", "PNG image (*.png)", "mychart.png"},
          Case{"mychart.PNG", "PNG image (*.png)", "mychart.PNG"},
          Case{"north.v2", "PDF (*.pdf)", "north.v2.pdf"},
          Case{"shown", "CSV (*.csv)", "shown.csv"}})
        EXPECT_EQ(withSuffix(name, filter), wanted);
}

// The window over eight channels of mixed units: every visible channel in the figures, the
// export of the visible channels, the page to print, the mode remembered by the log's shape,
// and the mouse and the keys.
TEST(ChartView, WindowWorksOnTheRangeShown) {
    std::setlocale(LC_ALL, "C");
    const QStringList captions{"유량 m3/h", "적산 m3", "압력 bar", "온도 °C",
                               "Flow A",    "Aux 1",   "수위 m",   "탁도 NTU"};
    const LogTable table = quarterHours(captions, 48, [](int i, int k) {
        if (k == 0 && i == 15) return QStringLiteral(" 1E+37");
        if (k == 1) return QString::number(1104000 + i * 10);
        if (k == 7 && i == 90) return QStringLiteral("-1E-37");
        return QString::number(10.0 * (k + 1) + k * std::sin(i / 9.0), 'f', 2);
    });
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    ChartWindow window;
    window.resize(1100, 760);
    window.setLog(table, -1, "north.csv");
    LogChart* chart = window.chart();
    chart->setRange(at(2026, 3, 15, 2, 0), at(2026, 3, 15, 6, 0));
    // Records 8..24: the totaliser from 1104080 to 1104240, mean 1104160; one over-range mark
    // on the flow.
    QTableWidget* stats = window.statsTable();
    ASSERT_EQ(stats->rowCount(), 8);
    QStringList total;
    for (int c = 0; c < 5; ++c) total << stats->item(1, c)->text();
    EXPECT_EQ(total, (QStringList{"적산 m3", "1104080", "1104240", "1104160", "0"}));
    EXPECT_EQ(stats->item(0, 4)->text(), "1");
    if (qEnvironmentVariableIsSet("TAVREL_KEEP_CHART_SHOT")) {
        chart->resetZoom();
        chart->picture()
            .image(QSize(1100, 640))
            .save(qEnvironmentVariable("TAVREL_KEEP_CHART_SHOT"));
        chart->setRange(at(2026, 3, 15, 2, 0), at(2026, 3, 15, 6, 0));
    }

    // Export: the visible channels of the records shown.
    chart->setChannelVisible(2, false);
    const QString shown = dir.filePath("shown.csv");
    QString error;
    ASSERT_TRUE(window.exportShownRange(shown, &error)) << error.toStdString();
    LogTable back;
    ASSERT_TRUE(readLogCsv(readFile(shown), &back, &error)) << error.toStdString();
    QStringList wantedCaptions = captions;
    wantedCaptions.removeAt(2);
    EXPECT_EQ(back.captions, wantedCaptions);
    ASSERT_EQ(back.rows.size(), 17);
    QStringList row8 = table.rows[8];
    row8.removeAt(3);
    EXPECT_EQ(back.rows[0], row8);
    EXPECT_EQ(stats->rowCount(), 7);

    // The page to print, as a PDF.
    ASSERT_TRUE(chart->picture().saveReport(dir.filePath("report.pdf"), &error));
    const QByteArray report = readFile(dir.filePath("report.pdf"));
    EXPECT_TRUE(report.startsWith("%PDF-"));
    EXPECT_TRUE(report.trimmed().endsWith("%%EOF"));

    // The mode, remembered for a log of these captions.
    window.setMode(ChartMode::Overlay);
    ChartWindow again;
    again.setLog(table);
    EXPECT_EQ(again.chart()->picture().mode(), ChartMode::Overlay);
    EXPECT_EQ(again.findChild<QComboBox*>()->currentIndex(), 1);

    // Keys, a click on a caption, a zoom box, a pinned cursor.
    window.setMode(ChartMode::Lanes);
    window.show();
    chart->resetZoom();
    QCoreApplication::processEvents();
    const auto [whole0, whole1] = chart->picture().wholeRange();
    const qint64 span = whole1 - whole0;
    QTest::keyClick(chart, Qt::Key_Plus);
    EXPECT_NEAR(static_cast<double>(chart->rangeTo() - chart->rangeFrom()), span / 1.25, 1000);
    const qint64 from = chart->rangeFrom();
    QTest::keyClick(chart, Qt::Key_Right);
    EXPECT_NEAR(static_cast<double>(chart->rangeFrom() - from), span / 1.25 / 10, 1000);
    QTest::keyClick(chart, Qt::Key_Home);
    EXPECT_EQ(chart->rangeFrom(), whole0);
    EXPECT_EQ(chart->rangeTo(), whole1);
    chart->repaint();
    const QRectF area = chart->picture().plotArea();
    const auto xAt = [&](qint64 t) {
        return static_cast<int>(std::lround(chart->picture().xOf(static_cast<double>(t))));
    };
    const int y = static_cast<int>(area.center().y());
    QTest::mousePress(chart, Qt::LeftButton, Qt::ShiftModifier,
                      QPoint(xAt(at(2026, 3, 15, 6, 0)), y));
    QTest::mouseMove(chart, QPoint(xAt(at(2026, 3, 15, 18, 0)), y));
    QTest::mouseRelease(chart, Qt::LeftButton, Qt::ShiftModifier,
                        QPoint(xAt(at(2026, 3, 15, 18, 0)), y));
    // Pixel-exact ends: within the time a pixel stands for.
    const double pixel = static_cast<double>(span) / area.width();
    EXPECT_NEAR(static_cast<double>(chart->rangeFrom()), static_cast<double>(at(2026, 3, 15, 6, 0)),
                pixel);
    EXPECT_NEAR(static_cast<double>(chart->rangeTo()), static_cast<double>(at(2026, 3, 15, 18, 0)),
                pixel);
    chart->repaint();
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(xAt(at(2026, 3, 15, 8, 0)), y));
    QTest::mouseMove(chart, QPoint(xAt(at(2026, 3, 15, 9, 0)), y));
    EXPECT_TRUE(window.readoutLabel()->text().startsWith("2026-03-15 09:00   유량 m3/h: "))
        << window.readoutLabel()->text().toStdString();
    EXPECT_TRUE(window.readoutLabel()->text().contains(
        "2026-03-15 08:00 – 2026-03-15 09:00  +1 h   유량 m3/h: "))
        << window.readoutLabel()->text().toStdString();
    EXPECT_TRUE(window.readoutLabel()->text().contains("적산 m3: +40"));
    // The legend: a click on a caption hides its channel.
    chart->repaint();
    QPoint caption;
    for (int x = 0; x < chart->width() && caption.isNull(); ++x)
        for (int yy = 0; yy < 80 && caption.isNull(); ++yy)
            if (chart->picture().legendAt(QPointF(x, yy)) == 3) caption = QPoint(x, yy);
    ASSERT_FALSE(caption.isNull());
    QTest::mouseClick(chart, Qt::LeftButton, {}, caption);
    EXPECT_FALSE(chart->channelVisible(3));

    // A plain drag pans: the moves gathered, one pan once the loop runs.
    QTest::keyClick(chart, Qt::Key_Plus);  // room to pan both ways
    chart->repaint();
    const qint64 before = chart->rangeFrom();
    const double perPixel = static_cast<double>(chart->rangeTo() - chart->rangeFrom()) /
                            chart->picture().plotArea().width();
    const QPoint start = chart->picture().plotArea().center().toPoint();
    QTest::mousePress(chart, Qt::LeftButton, {}, start);
    for (int step = 1; step <= 4; ++step) {
        const QPointF to(start - QPoint(step * 25, 0));
        QMouseEvent move(QEvent::MouseMove, to, chart->mapToGlobal(to), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(chart, &move);
    }
    EXPECT_EQ(chart->rangeFrom(), before);  // not yet: one pan a pass of the loop
    QCoreApplication::processEvents();
    QTest::mouseRelease(chart, Qt::LeftButton, {}, start - QPoint(100, 0));
    EXPECT_NEAR(static_cast<double>(chart->rangeFrom() - before), 100 * perPixel, perPixel);
    QDir::setCurrent(QDir::tempPath());
}

}  // namespace
}  // namespace tavrel::test
