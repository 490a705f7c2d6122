#include "plot_command.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstring>

#include "cli_views.h"
#include "log_chart.h"

namespace tavrel::cli {

namespace {

constexpr int kUsage = 64;
constexpr int kNotWritten = 3;

int fail(int code, const QString& message) {
    std::fprintf(stderr, "tavrel-cli: %s\n", console(message).constData());
    return code;
}

// A time from --from / --to: 2026-03-15, 2026-03-15T09:30 or "2026-03-15 09:30".
std::optional<qint64> timeOption(const QString& text, bool end) {
    QString t = text.trimmed();
    t.replace(u' ', u'T');
    QDateTime when = QDateTime::fromString(t, Qt::ISODate);
    if (!when.isValid()) {
        const QDate day = QDate::fromString(t, Qt::ISODate);
        if (!day.isValid()) return std::nullopt;
        when = end ? QDateTime(day, QTime(23, 59, 59)) : QDateTime(day, QTime(0, 0));
    }
    return when.toMSecsSinceEpoch();
}

// Draws `data` as the options say into `out`.
int draw(const QCommandLineParser& parser, ChartData data, const QString& out) {
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != QStringLiteral("png") && suffix != QStringLiteral("svg"))
        return fail(kUsage, QStringLiteral("%1: the image is .png or .svg").arg(out));
    QSize size(1200, 600);
    if (parser.isSet(QStringLiteral("size"))) {
        const QStringList wh = parser.value(QStringLiteral("size")).toLower().split(u'x');
        bool okW = false;
        bool okH = false;
        size = QSize(wh.value(0).toInt(&okW), wh.value(1).toInt(&okH));
        if (wh.size() != 2 || !okW || !okH || size.width() < 200 || size.height() < 150 ||
            size.width() > 10000 || size.height() > 10000)
            return fail(kUsage, QStringLiteral("--size wants WIDTHxHEIGHT, e.g. 1200x600"));
    }
    QList<bool> shown(data.channels.size(), true);
    if (parser.isSet(QStringLiteral("channels"))) {
        shown.fill(false);
        for (const QString& item :
             parser.value(QStringLiteral("channels")).split(u',', Qt::SkipEmptyParts)) {
            bool number = false;
            const int n = item.toInt(&number);
            qsizetype index = number ? n - 1 : -1;
            for (qsizetype k = 0; !number && k < data.channels.size(); ++k) {
                if (data.channels[k].caption.trimmed().compare(item.trimmed(),
                                                               Qt::CaseInsensitive) == 0)
                    index = k;
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
    for (const auto& [name, end, target] :
         {std::tuple{"from", false, &from}, std::tuple{"to", true, &to}}) {
        if (!parser.isSet(QLatin1String(name))) continue;
        const auto t = timeOption(parser.value(QLatin1String(name)), end);
        if (!t) {
            return fail(kUsage, QStringLiteral("--%1 wants a time such as 2026-03-15T09:30")
                                    .arg(QLatin1String(name)));
        }
        *target = *t;
    }
    if (to <= from) return fail(kUsage, QStringLiteral("--to must come after --from"));

    LogChart chart;
    chart.setData(std::move(data));
    for (qsizetype k = 0; k < shown.size(); ++k)
        chart.setChannelVisible(static_cast<int>(k), shown[k]);
    chart.setRange(from, to);
    chart.resize(size);
    QString error;
    if (!chart.saveImage(out, &error))
        return fail(kNotWritten, QStringLiteral("cannot write %1: %2").arg(out, error));
    std::printf("Chart in %s\n", console(out).constData());
    return 0;
}

}  // namespace

void addPlotOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {QStringLiteral("plot"),
         QStringLiteral("After the download, draw its chart into FILE (.png or .svg) "
                        "(download)."),
         QStringLiteral("FILE")},
        {QStringLiteral("channels"),
         QStringLiteral("Channels to draw: numbers (1 = the first column after the time) or "
                        "captions (plot)."),
         QStringLiteral("LIST")},
        {QStringLiteral("from"),
         QStringLiteral("Draw from this time, e.g. 2026-03-15T09:30 (plot)."), QStringLiteral("T")},
        {QStringLiteral("to"), QStringLiteral("Draw up to this time (plot)."), QStringLiteral("T")},
        {QStringLiteral("size"), QStringLiteral("Image size in pixels (plot, default 1200x600)."),
         QStringLiteral("WxH")},
    });
}

bool wantsPlot(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "plot") == 0 || std::strcmp(argv[i], "--plot") == 0 ||
            std::strncmp(argv[i], "--plot=", 7) == 0)
            return true;
    }
    return false;
}

int runPlotCommand(const QCommandLineParser& parser, const QString& csv) {
    QFile in(csv);
    if (!in.open(QIODevice::ReadOnly))
        return fail(kUsage, QStringLiteral("cannot read %1: %2").arg(csv, in.errorString()));
    LogTable table;
    QString error;
    if (!readLogCsv(in.readAll(), &table, &error))
        return fail(kUsage, QStringLiteral("%1: %2").arg(csv, error));
    const QString out = parser.isSet(QStringLiteral("out"))
                            ? parser.value(QStringLiteral("out"))
                            : QFileInfo(csv).path() + u'/' + QFileInfo(csv).completeBaseName() +
                                  QStringLiteral(".png");
    return draw(parser, buildChartData(table), out);
}

int plotGrid(const QCommandLineParser& parser, const FlexGrid& grid, const QString& file) {
    const LogTable table = logTableFromGrid(grid);
    if (table.rows.isEmpty()) return fail(kNotWritten, QStringLiteral("no records to draw"));
    return draw(parser, buildChartData(table), file);
}

}  // namespace tavrel::cli
