// chart_bench: the chart of a full log — 16 382 records x 8 channels in the records grid, the
// texts the download writes — from the grid to the first drawn frame, then every interaction at
// every zoom. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/chart_bench

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "chart_data.h"
#include "download_driver.h"
#include "log_chart.h"
#include "record_decoding.h"

namespace {

double ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

void fillGrid(tavrel::FlexGrid& grid, int records) {
    const char* captions[8] = {"Flow m3/h", "Total m3",   "Pressure bar", "Temp C",
                               "Level m",   "Flow2 m3/h", "Velocity m/s", "Battery V"};
    grid.setText(1, 1, QStringLiteral("Date / Time"));
    for (int c = 0; c < 8; ++c) grid.setText(1, c + 2, QString::fromLatin1(captions[c]));
    const QDateTime start(QDate(2026, 3, 15), QTime(9, 30));
    tavrel::StampTexts stamps;
    for (int r = 0; r < records; ++r) {
        const QDateTime t = start.addSecs(static_cast<qint64>(r) * 900);
        grid.setText(r + 2, 1, stamps.text(t.date(), t.time()));
        for (int c = 0; c < 8; ++c) {
            const double v = 100.0 * (c + 1) + 40.0 * std::sin(r / (30.0 + c)) +
                             ((r * 7919 + c) % 97 == 0 ? 300.0 : 0.0);  // the odd spike
            grid.setText(r + 2, c + 2, tavrel::numberText(v));
        }
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kRecords = 16382;
    tavrel::FlexGrid grid(tavrel::kRecordsGridRows, tavrel::kRecordsGridCols);
    fillGrid(grid, kRecords);

    QElapsedTimer t;
    t.start();
    const tavrel::LogTable table = tavrel::logTableFromGrid(grid);
    const double tableMs = ms(t);
    t.restart();
    tavrel::ChartData data = tavrel::buildChartData(table);
    const double buildMs = ms(t);
    t.restart();
    tavrel::ChartWindow window;
    window.resize(1200, 700);
    window.setLog(table);  // builds the lines again, as the window does
    window.show();
    QCoreApplication::processEvents();
    const QImage first = window.grab().toImage();
    const double frameMs = ms(t);
    std::printf("%d records x 8 channels\n", kRecords);
    std::printf("grid -> table:           %7.1f ms\n", tableMs);
    std::printf("table -> lines:          %7.1f ms (stamps read back with the C library)\n",
                buildMs);
    std::printf("window+lines, 1st frame: %7.1f ms (%dx%d)\n", frameMs, first.width(),
                first.height());
    std::printf("from the grid in total:  %7.1f ms (target < 300 ms)\n", tableMs + frameMs);

    // Every interaction at each zoom, from the whole log down to the narrowest range: a pan
    // step, a zoom step in and out around the middle, each with its frame; then a reset.
    tavrel::LogChart* chart = window.chart();
    const auto frame = [chart] { chart->repaint(); };
    const auto middle = [chart] { return chart->picture().plotArea().center().x(); };
    const qint64 whole = data.last - data.first;
    const std::pair<const char*, qint64> zooms[] = {
        {"whole log", whole},        {"a quarter", whole / 4},     {"a week", qint64{7} * 86400000},
        {"a day", qint64{86400000}}, {"an hour", qint64{3600000}}, {"a minute", qint64{60000}}};
    constexpr int kSteps = 30;
    std::printf("%-10s %10s %10s %10s (ms a step, median of %d)\n", "in view", "pan", "zoom in",
                "zoom out", kSteps);
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    for (const auto& [name, span] : zooms) {
        const qint64 from = data.first + (whole - span) / 2;
        std::vector<double> pan, in, out;
        for (int i = 0; i < kSteps; ++i) {
            chart->setRange(from, from + span);
            frame();
            t.restart();
            chart->panBy(i % 2 == 0 ? 8.0 : -8.0);
            frame();
            pan.push_back(ms(t));
            t.restart();
            chart->zoomAt(middle(), 1.25);
            frame();
            in.push_back(ms(t));
            chart->setRange(from, from + span);
            frame();
            t.restart();
            chart->zoomAt(middle(), 1 / 1.25);
            frame();
            out.push_back(ms(t));
        }
        std::printf("%-10s %10.2f %10.2f %10.2f\n", name, median(pan), median(in), median(out));
    }
    std::vector<double> reset;
    for (int i = 0; i < kSteps; ++i) {
        chart->setRange(data.first, data.first + 3600000);
        frame();
        t.restart();
        chart->resetZoom();
        frame();
        reset.push_back(ms(t));
    }
    std::printf("reset from an hour to the whole log: %.2f ms\n", median(reset));

    // The cursor under the mouse: the read-out of every channel and a frame, at a day's zoom.
    chart->setRange(data.first + whole / 2, data.first + whole / 2 + 86400000);
    std::vector<double> cursor;
    for (int i = 0; i < kSteps; ++i) {
        const QPointF at(chart->picture().plotArea().left() + 20 + i * 20,
                         chart->picture().plotArea().center().y());
        QMouseEvent move(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        t.restart();
        QCoreApplication::sendEvent(chart, &move);
        frame();
        cursor.push_back(ms(t));
    }
    std::printf("cursor move (read-out + frame), a day in view: %.2f ms\n", median(cursor));
    return 0;
}
