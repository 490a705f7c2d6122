// tavrel-plot: the chart drawing of tavrel-cli, in a module of its own so that only a run that
// draws loads the GUI libraries (a plain download starts as fast as ever).

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>

#include "chart_picture.h"
#include "cli_views.h"
#include "plot_request.h"

namespace tavrel::cli {

namespace {

constexpr int kUsage = 64;
constexpr int kNotWritten = 3;

int fail(int code, const QString& message) {
    std::fprintf(stderr, "tavrel-cli: %s\n", console(message).constData());
    return code;
}

// A time from --from / --to: 2026-03-15, 2026-03-15T09:30 or "2026-03-15 09:30", on the
// instrument's clock as the log's stamps are (see chart_data.h).
std::optional<qint64> timeOption(const QString& text, bool end) {
    QString t = text.trimmed();
    t.replace(u' ', u'T');
    QDateTime when = QDateTime::fromString(t, Qt::ISODate);
    if (when.isValid()) {
        when = QDateTime(when.date(), when.time(), Qt::UTC);
    } else {
        const QDate day = QDate::fromString(t, Qt::ISODate);
        if (!day.isValid()) return std::nullopt;
        when = QDateTime(day, end ? QTime(23, 59, 59) : QTime(0, 0), Qt::UTC);
    }
    return when.toMSecsSinceEpoch();
}

// Draws `data` as the options say into `out`.
int draw(const PlotRequest& request, ChartData data) {
    const QString& out = request.out;
    const QString suffix = QFileInfo(out).suffix().toLower();
#ifdef TAVREL_HAVE_SVG
    if (suffix != QStringLiteral("png") && suffix != QStringLiteral("svg") &&
        suffix != QStringLiteral("pdf"))
        return fail(kUsage, QStringLiteral("%1: the image is .png, .svg or .pdf").arg(out));
#else
    if (suffix != QStringLiteral("png") && suffix != QStringLiteral("pdf"))
        return fail(
            kUsage,
            QStringLiteral("%1: the image is .png or .pdf (this build has no SVG)").arg(out));
#endif
    QSize size(1200, 600);
    if (!request.size.isEmpty()) {
        const QStringList wh = request.size.toLower().split(u'x');
        bool okW = false;
        bool okH = false;
        size = QSize(wh.value(0).toInt(&okW), wh.value(1).toInt(&okH));
        if (wh.size() != 2 || !okW || !okH || size.width() < 200 || size.height() < 150 ||
            size.width() > 10000 || size.height() > 10000)
            return fail(kUsage, QStringLiteral("--size wants WIDTHxHEIGHT, e.g. 1200x600"));
    }
    QList<bool> shown(data.channels.size(), true);
    if (!request.channels.isEmpty()) {
        shown.fill(false);
        for (const QString& item : request.channels.split(u',', Qt::SkipEmptyParts)) {
            bool number = false;
            const int n = item.toInt(&number);
            qsizetype index = number ? n - 1 : -1;
            for (qsizetype k = 0; !number && k < data.channels.size(); ++k) {
                if (data.channels[k].caption.trimmed().compare(item.trimmed(),
                                                               Qt::CaseInsensitive) == 0)
                    index = k;
            }
            // Else the start of one caption ("Total" for "Total m3"), when only one starts so.
            for (qsizetype k = 0; !number && index < 0 && k < data.channels.size(); ++k) {
                if (!data.channels[k].caption.trimmed().startsWith(item.trimmed(),
                                                                   Qt::CaseInsensitive))
                    continue;
                const bool another = std::any_of(
                    data.channels.begin() + k + 1, data.channels.end(), [&](const auto& c) {
                        return c.caption.trimmed().startsWith(item.trimmed(), Qt::CaseInsensitive);
                    });
                if (!another) index = k;
                break;
            }
            if (index < 0 || index >= data.channels.size()) {
                QStringList names;
                for (qsizetype k = 0; k < data.channels.size(); ++k)
                    names.append(QStringLiteral("%1 \"%2\"")
                                     .arg(k + 1)
                                     .arg(data.channels[k].caption.trimmed()));
                return fail(kUsage, QStringLiteral("--channels: no channel \"%1\" (the log has %2)")
                                        .arg(item, names.join(QStringLiteral(", "))));
            }
            shown[index] = true;
        }
    }
    qint64 from = data.first;
    qint64 to = data.last;
    for (const auto& [name, text, end, target] : {std::tuple{"from", &request.from, false, &from},
                                                  std::tuple{"to", &request.to, true, &to}}) {
        if (text->isEmpty()) continue;
        const auto t = timeOption(*text, end);
        if (!t) {
            return fail(kUsage, QStringLiteral("--%1 wants a time such as 2026-03-15T09:30")
                                    .arg(QLatin1String(name)));
        }
        *target = *t;
    }
    // Only what the user gave can be the wrong way round: a log of one record starts and ends
    // at one time.
    if (!request.from.isEmpty() && !request.to.isEmpty() && to <= from)
        return fail(kUsage, QStringLiteral("--to must come after --from"));
    const auto inRange = [&](const QPointF& p) {
        return p.x() >= static_cast<double>(from) && p.x() <= static_cast<double>(to);
    };
    const bool any = std::any_of(data.channels.begin(), data.channels.end(), [&](const auto& c) {
        return std::any_of(c.overRange.begin(), c.overRange.end(), inRange) ||
               std::any_of(c.runs.begin(), c.runs.end(), [&](const QVector<QPointF>& run) {
                   return std::any_of(run.begin(), run.end(), inRange);
               });
    });
    if (!any) {
        return fail(
            1, QStringLiteral("no records between %1 and %2").arg(stampText(from), stampText(to)));
    }

    // As the window last left a log of these captions: its mode and the lanes of their own.
    const ChartChoices choices = loadChartChoices(chartChoicesFile());
    QStringList captions;
    for (const ChannelLine& line : data.channels) captions.append(line.caption);
    ChartPicture chart;
    chart.setMode(choices.modes.value(shapeOf(captions), ChartMode::Lanes));
    for (qsizetype k = 0; k < data.channels.size(); ++k)
        chart.setOwnLane(static_cast<int>(k),
                         choices.ownLane.contains(data.channels[k].caption.trimmed()));
    chart.setData(std::move(data));
    chart.setSubject(QFileInfo(request.csv).completeBaseName());
    for (qsizetype k = 0; k < shown.size(); ++k)
        chart.setChannelVisible(static_cast<int>(k), shown[k]);
    // The records' own range when none was asked for (the whole log without the margin).
    if (request.from.isEmpty() && request.to.isEmpty()) {
        chart.resetRange();
    } else {
        chart.setRange(from, to);
    }
    QString error;
    if (!chart.save(out, size, &error))
        return fail(kNotWritten, QStringLiteral("cannot write %1: %2").arg(out, error));
    std::printf("Chart in %s\n", console(out).constData());
    return 0;
}

}  // namespace

}  // namespace tavrel::cli

using tavrel::cli::PlotRequest;

// The application object a chart needs: a QGuiApplication (fonts), never a screen. Windows
// always has its own platform and the system's fonts; elsewhere the offscreen platform.
extern "C" Q_DECL_EXPORT QCoreApplication* tavrelPlotApplication(int* argc, char** argv) {
#ifndef _WIN32
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    return new QGuiApplication(*argc, argv);
}

// 0 drawn, 3 the image could not be written, 64 not a log the tool wrote or a bad option.
extern "C" Q_DECL_EXPORT int tavrelPlot(const PlotRequest* request) {
    using namespace tavrel;
    QFile in(request->csv);
    if (!in.open(QIODevice::ReadOnly)) {
        return cli::fail(cli::kUsage,
                         QStringLiteral("cannot read %1: %2").arg(request->csv, in.errorString()));
    }
    LogTable table;
    QString error;
    if (!readLogCsv(in.readAll(), &table, &error))
        return cli::fail(cli::kUsage, QStringLiteral("%1: %2").arg(request->csv, error));
    return cli::draw(*request, buildChartData(table));
}
