// The chart of a log: the lines built from the grid's rows (gaps, split stamps, time stepping
// back, unused channels), decimation that keeps every spike, the CSV read back under real
// locales, and one chart drawn offscreen.

#include <gtest/gtest.h>

#include <tuple>

#include <QCategoryAxis>
#include <QMenu>
#include <QScatterSeries>
#include <QTableWidget>
#include <QValueAxis>

#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <random>

#include "chart_data.h"
#include "driver_download.h"
#include "log_chart.h"
#include "sim_rig.h"

namespace tavrel::test {
namespace {

qint64 at(int year, int month, int day, int hour, int minute) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute)).toMSecsSinceEpoch();
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
    EXPECT_EQ(d.first, at(2026, 3, 15, 9, 30));
    EXPECT_EQ(d.last, at(2026, 3, 15, 10, 15));
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

// Ticks on round local times, the step the smallest usual one that fits; the label says what
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

// Eight channels with Korean captions and the instrument's over-range marks: one value axis a
// side (the first real unit left, the rest on a plain value axis), numbers people read, the
// over-range values as marks that stretch no axis, a "Time" axis and a title.
TEST(ChartView, EightChannelsStayReadable) {
    std::setlocale(LC_ALL, "C");
    const QStringList captions{"유량 m3/h", "적산 m3", "압력 bar", "온도 °C",
                               "Flow A",    "Aux 1",   "수위 m",   "탁도 NTU"};
    QList<QStringList> rows;
    for (int i = 0; i < 200; ++i) {
        const QDateTime t = QDateTime(QDate(2026, 3, 15), QTime(0, 0)).addSecs(i * 900);
        QStringList row{t.toString("MM/dd/yy HH:mm:ss")};
        for (int k = 0; k < 8; ++k) row << QString::number(10.0 * (k + 1) + std::sin(i / 9.0));
        if (i == 50) row[1] = " 1E+37";  // over range on the flow
        if (i == 90) row[2] = "-1E-37";  // a negative underflow
        if (i == 120) row[3] = "-1E+37";
        rows.append(row);
    }
    EXPECT_EQ(unitOf("Flow A"), QString());
    EXPECT_EQ(unitOf("Aux 1"), QString());
    EXPECT_EQ(unitOf("유량 m3/h"), "m3/h");
    LogChart chart;
    chart.setData(buildChartData(LogTable{captions, rows}));
    chart.setSubject("north");
    const QImage image = chart.image(QSize(1000, 500));
    // The visible axes, by side and title; the value axes' ranges and label format.
    const auto axes = [&chart] {
        QStringList out;
        for (QAbstractAxis* axis : chart.chart()->axes()) {
            if (!axis->isVisible()) continue;
            out << QString("LRB"[axis->alignment() == Qt::AlignLeft    ? 0
                                 : axis->alignment() == Qt::AlignRight ? 1
                                                                       : 2]) +
                       ':' + axis->titleText();
            auto* values = qobject_cast<QValueAxis*>(axis);
            if (values != nullptr && axis->alignment() != Qt::AlignBottom) {
                EXPECT_LT(values->max(), 1e6) << values->titleText().toStdString();  // no 1E+37
                EXPECT_GT(values->min(), -1e6) << values->titleText().toStdString();
                EXPECT_EQ(values->labelFormat(), "%.6g");
            }
        }
        out.sort();
        return out;
    };
    EXPECT_EQ(axes(), (QStringList{"B:Time", "L:m3/h", "R:Value"}));
    EXPECT_TRUE(chart.chart()->title().startsWith("north: 2026-03-15 00:00 – "))
        << chart.chart()->title().toStdString();
    // The marks sit on the plot's edge: three of them.
    int marks = 0;
    for (QAbstractSeries* series : chart.chart()->series())
        if (auto* scatter = qobject_cast<QScatterSeries*>(series))
            marks += static_cast<int>(scatter->count());
    EXPECT_EQ(marks, 3);
    // Their meaning in the read-out, at the record of each.
    const QRectF area = chart.chart()->plotArea();
    const auto xOf = [&](int record) {
        return area.left() + area.width() * record / 199.0;  // the range is the whole log
    };
    EXPECT_TRUE(chart.readoutAt(xOf(50)).contains("유량 m3/h: over range (1E+37)"))
        << chart.readoutAt(xOf(50)).toStdString();
    EXPECT_TRUE(chart.readoutAt(xOf(90)).contains("적산 m3: negative underflow (-1E-37)"));
    // Time ticks on round times: 50 hours on some 800 pixels of plot hold seven labels, so
    // every twelve hours from midnight (six would need eight).
    auto* timeAxis = qobject_cast<QCategoryAxis*>(chart.chart()->axes(Qt::Horizontal)[0]);
    ASSERT_NE(timeAxis, nullptr);
    EXPECT_EQ(timeAxis->categoriesLabels().mid(0, 3),
              (QStringList{"03-15 12:00", "03-16 00:00", "03-16 12:00"}));
    if (qEnvironmentVariableIsSet("TAVREL_KEEP_CHART_SHOT"))
        image.save(qEnvironmentVariable("TAVREL_KEEP_CHART_SHOT"));

    // The user's placements: "Flow A" to the left joins m3/h there (two kinds: "Value"), "Aux 1"
    // on a scale of its own has no axis shown; the choices outlive the window by caption.
    chart.setPlacement(4, Placement::Left);
    chart.setPlacement(5, Placement::Own);
    chart.image(QSize(1000, 500));
    EXPECT_EQ(axes(), (QStringList{"B:Time", "L:Value", "R:Value"}));
    QTemporaryDir dir;
    const QString file = dir.filePath("Tavreldwn.chart");
    QString error;
    ASSERT_TRUE(savePlacements(file, chart.placements(), &error)) << error.toStdString();
    EXPECT_EQ(readFile(file), "Aux 1\town\nFlow A\tleft\n");
    EXPECT_EQ(loadPlacements(file), chart.placements());
}

// The window over the range on screen: the lowest, highest and mean of each channel, the
// records of that range exported as a CSV the tool reads back, the chart printed to PDF.
TEST(ChartView, WindowWorksOnTheRangeShown) {
    std::setlocale(LC_ALL, "C");
    QList<QStringList> rows;
    for (int i = 0; i < 48; ++i) {
        rows.append({QDateTime(QDate(2026, 3, 15), QTime(0, 0))
                         .addSecs(qint64{i} * 3600)
                         .toString("MM/dd/yy HH:mm:ss"),
                     QStringLiteral(" %1").arg(i), " 7"});
    }
    rows[15][1] = " 1E+37";
    // Numbers for people: as logged below a million, exponent form from there.
    EXPECT_EQ(chartNumber(-0.0123457), "-0.0123457");
    EXPECT_EQ(chartNumber(999999.5), "999999.5");
    EXPECT_EQ(chartNumber(1500000), "1.5e+06");
    EXPECT_EQ(chartNumber(150000000000000010790.0), "1.5e+20");
    EXPECT_EQ(chartNumber(-1234567), "-1.234567e+06");
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    ChartWindow window;
    window.setLog(LogTable{{"Flow m3/h", "Aux"}, rows});
    window.chart()->setRange(at(2026, 3, 15, 10, 0), at(2026, 3, 15, 20, 0));
    // Hours 10..20 less the over-range one: 10..20 without 15, mean 15.
    QTableWidget* stats = window.statsTable();
    ASSERT_EQ(stats->rowCount(), 2);
    QStringList first;
    for (int c = 0; c < 5; ++c) first << stats->item(0, c)->text();
    EXPECT_EQ(first, (QStringList{"Flow m3/h", "10", "20", "15", "1"}));

    const QString shown = dir.filePath("shown.csv");
    QString error;
    ASSERT_TRUE(window.exportShownRange(shown, &error)) << error.toStdString();
    LogTable back;
    ASSERT_TRUE(readLogCsv(readFile(shown), &back, &error)) << error.toStdString();
    EXPECT_EQ(back.captions, (QStringList{"Flow m3/h", "Aux"}));
    EXPECT_EQ(back.rows, rows.mid(10, 11));
    window.chart()->setRange(at(2026, 5, 1, 0, 0), at(2026, 5, 2, 0, 0));
    EXPECT_FALSE(window.exportShownRange(dir.filePath("none.csv"), &error));
    EXPECT_EQ(error, "no records in the range shown");

    const QString pdf = dir.filePath("chart.pdf");
    ASSERT_TRUE(window.chart()->saveImage(pdf, &error)) << error.toStdString();
    const QByteArray bytes = readFile(pdf);
    EXPECT_TRUE(bytes.startsWith("%PDF-")) << bytes.left(8).toStdString();
    EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));

    // A channel moved through the context menu is remembered beside the settings.
    QMenu menu;
    window.fillMenu(&menu);
    QAction* right = nullptr;
    for (QAction* channel : menu.actions())
        if (channel->text() == "Aux")
            for (QAction* choice : channel->menu()->actions())
                if (choice->text() == "Right axis") right = choice;
    ASSERT_NE(right, nullptr);
    right->trigger();
    ChartWindow again;
    again.setLog(LogTable{{"Flow m3/h", "Aux"}, rows});
    EXPECT_EQ(again.chart()->placement(1), Placement::Right);
    QDir::setCurrent(QDir::tempPath());
}

TEST(ChartView, DrawsTheLinesInsideThePlotArea) {
    std::setlocale(LC_ALL, "C");
    QList<QStringList> rows;
    for (int i = 0; i < 500; ++i) {
        const QDateTime t = QDateTime(QDate(2026, 3, 15), QTime(0, 0)).addSecs(i * 900);
        rows.append(
            {t.toString("MM/dd/yy HH:mm:ss"), QString::number(100 + 50 * std::sin(i / 20.0))});
    }
    LogChart chart;
    chart.setData(buildChartData(LogTable{{"Flow m3/h"}, rows}));
    const QImage image = chart.image(QSize(800, 400));
    const QRectF area = chart.chart()->plotArea();
    ASSERT_GT(area.width(), 400);
    ASSERT_GT(area.height(), 200);
    // The first channel's blue inside the plot area: pixels, and columns holding any.
    const auto blue = [&area](const QImage& image) {
        std::pair<int, int> found{0, 0};
        for (int x = static_cast<int>(area.left()) + 1; x < static_cast<int>(area.right()); ++x) {
            int column = 0;
            for (int y = static_cast<int>(area.top()); y < static_cast<int>(area.bottom()); ++y) {
                const QRgb p = image.pixel(x, y);
                column += qBlue(p) > 150 && qRed(p) < 120 && qGreen(p) < 160 ? 1 : 0;
            }
            found = {found.first + column, found.second + (column > 0 ? 1 : 0)};
        }
        return found;
    };
    const auto [inside, columnsHit] = blue(image);
    EXPECT_GT(inside, 500);
    EXPECT_GT(columnsHit, area.width() * 0.9);  // the line crosses the whole width
    chart.setChannelVisible(0, false);          // hidden, the channel draws nothing
    EXPECT_EQ(blue(chart.image(QSize(800, 400))).first, 0);
    // Zoom and pan keep the range's length and move it.
    chart.setChannelVisible(0, true);
    const qint64 span = chart.rangeTo() - chart.rangeFrom();
    chart.zoomAt(area.center().x(), 2.0);
    EXPECT_NEAR(static_cast<double>(chart.rangeTo() - chart.rangeFrom()), span / 2.0, 60000.0);
    const qint64 from = chart.rangeFrom();
    chart.panBy(chart.chart()->plotArea().width() / 2);  // the labels may have changed its width
    EXPECT_NEAR(static_cast<double>(chart.rangeFrom() - from), span / 4.0, 60000.0);
    EXPECT_TRUE(chart.readoutAt(area.center().x()).contains("Flow m3/h: "));

    // A drag with the mouse: the moves are gathered and panned once the loop runs.
    const qint64 before = chart.rangeFrom();
    const double width = chart.chart()->plotArea().width();
    const QPoint start = chart.chart()->plotArea().center().toPoint();
    QTest::mousePress(chart.viewport(), Qt::LeftButton, {}, start);
    for (int step = 1; step <= 4; ++step) {
        QMouseEvent move(QEvent::MouseMove, QPointF(start - QPoint(step * 25, 0)),
                         chart.viewport()->mapToGlobal(QPointF(start - QPoint(step * 25, 0))),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(chart.viewport(), &move);
    }
    EXPECT_EQ(chart.rangeFrom(), before);  // not yet: one pan per pass of the loop
    QCoreApplication::processEvents();
    QTest::mouseRelease(chart.viewport(), Qt::LeftButton, {}, start - QPoint(100, 0));
    const double expected =
        100.0 / width * static_cast<double>(chart.rangeTo() - chart.rangeFrom());
    // The axis labels may re-lay the plot area out before the pan runs: a few percent.
    EXPECT_NEAR(static_cast<double>(chart.rangeFrom() - before), expected, expected * 0.03);
}

}  // namespace
}  // namespace tavrel::test
