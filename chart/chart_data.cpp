#include "chart_data.h"

#include <algorithm>
#include <cmath>

namespace tavrel {

namespace {

// A step back longer than this is the log crossing New Year (Jan after Dec of one year).
constexpr qint64 kNewYearStep = 300LL * 24 * 3600 * 1000;

struct Record {
    StampReader::Stamp stamp;
    qint64 x = 0;
    QList<std::optional<double>> values;
    int row = 0;
};

std::optional<double> valueOf(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

// The over-range marks the instrument writes for a value it cannot hold.
int overRangeOf(double v) {
    if (std::fabs(v) >= 9.99e36) return v > 0 ? 1 : -1;
    if (static_cast<float>(v) == -1e-37F) return -1;  // a negative underflow
    return 0;
}

}  // namespace

QString unitOf(const QString& caption) {
    static const QStringList units{
        QStringLiteral("m3/h"), QStringLiteral("m3/s"), QStringLiteral("m3/min"),
        QStringLiteral("m3"),   QStringLiteral("l/s"),  QStringLiteral("l/min"),
        QStringLiteral("l/h"),  QStringLiteral("l"),    QStringLiteral("bar"),
        QStringLiteral("mbar"), QStringLiteral("kPa"),  QStringLiteral("MPa"),
        QStringLiteral("Pa"),   QStringLiteral("psi"),  QStringLiteral("°C"),
        QStringLiteral("C"),    QStringLiteral("degC"), QStringLiteral("K"),
        QStringLiteral("m"),    QStringLiteral("mm"),   QStringLiteral("cm"),
        QStringLiteral("m/s"),  QStringLiteral("%"),    QStringLiteral("ppm"),
        QStringLiteral("mg/l"), QStringLiteral("pH"),   QStringLiteral("NTU"),
        QStringLiteral("mA"),   QStringLiteral("V"),    QStringLiteral("kW"),
        QStringLiteral("kWh"),  QStringLiteral("MWh"),  QStringLiteral("Hz"),
        QStringLiteral("t/h"),  QStringLiteral("kg/h"), QStringLiteral("t"),
        QStringLiteral("kg"),   QStringLiteral("m3/d"), QStringLiteral("l/d")};
    const QString trimmed = caption.trimmed();
    const qsizetype blank = trimmed.lastIndexOf(u' ');
    if (blank < 0) return {};
    QString word = trimmed.mid(blank + 1);
    if (word.startsWith(u'[') && word.endsWith(u']')) word = word.mid(1, word.size() - 2);
    for (const QString& unit : units)
        if (word.compare(unit, Qt::CaseInsensitive) == 0) return unit;
    return {};
}

ChartData buildChartData(const LogTable& table) {
    const qsizetype channels = table.captions.size();
    // Merge the rows of one stamp; skip rows whose stamp cannot be read.
    QList<Record> records;
    QString lastStamp;
    StampReader reader;
    for (qsizetype i = 0; i < table.rows.size(); ++i) {
        const QStringList& row = table.rows[i];
        const QString& stamp = row.value(0);
        if (records.isEmpty() || stamp != lastStamp) {
            const auto when = reader.read(stamp);
            if (!when) continue;
            records.append(Record{*when, reader.msecs(*when),
                                  QList<std::optional<double>>(channels), static_cast<int>(i + 1)});
            lastStamp = stamp;
        }
        Record& r = records.last();
        for (qsizetype c = 0; c < channels; ++c) {
            if (const auto v = valueOf(row.value(c + 1))) r.values[c] = v;
        }
    }

    ChartData data;
    data.records = static_cast<int>(records.size());
    // New Year steps: each moves every earlier record back one year.
    QList<qsizetype> wraps;
    for (qsizetype i = 1; i < records.size(); ++i) {
        if (records[i].x - records[i - 1].x < -kNewYearStep) wraps.append(i);
    }
    qsizetype next = 0;
    for (qsizetype i = 0; i < records.size(); ++i) {
        while (next < wraps.size() && wraps[next] <= i) ++next;
        const qsizetype yearsBack = wraps.size() - next;
        if (yearsBack == 0) continue;
        Record& r = records[i];
        r.stamp.date = r.stamp.date.addYears(-static_cast<int>(yearsBack));
        r.x = reader.msecs(r.stamp);
    }

    data.channels.resize(channels);
    for (qsizetype c = 0; c < channels; ++c) {
        data.channels[c].caption = table.captions[c];
        data.channels[c].unit = unitOf(table.captions[c]);
    }
    std::vector<bool> open(static_cast<std::size_t>(channels), false);
    for (qsizetype i = 0; i < records.size(); ++i) {
        const qint64 x = records[i].x;
        if (i > 0) {
            const qint64 previous = records[i - 1].x;
            if (x < previous || wraps.contains(i)) {
                data.breaks.append(ChartBreak{x, records[i].row, wraps.contains(i)});
                if (x < previous) std::fill(open.begin(), open.end(), false);
            }
        }
        data.first = i == 0 ? x : std::min(data.first, x);
        data.last = i == 0 ? x : std::max(data.last, x);
        for (qsizetype c = 0; c < channels; ++c) {
            ChannelLine& line = data.channels[c];
            const auto& v = records[i].values[c];
            const auto k = static_cast<std::size_t>(c);
            if (!v) {
                open[k] = false;
                continue;
            }
            if (const int side = overRangeOf(*v); side != 0) {
                line.overRange.append(QPointF(static_cast<double>(x), side));
                open[k] = false;  // the line breaks there
                continue;
            }
            if (!line.used()) line.min = line.max = *v;
            if (!open[k]) line.runs.append(QVector<QPointF>());
            line.min = std::min(line.min, *v);
            line.max = std::max(line.max, *v);
            line.runs.last().append(QPointF(static_cast<double>(x), *v));
            open[k] = true;
        }
    }
    return data;
}

QVector<QPointF> decimate(const QVector<QPointF>& points, double x0, double x1, int columns) {
    if (points.size() <= std::max(8, columns * 2) || x1 <= x0 || columns < 1) return points;
    const auto begin = std::lower_bound(points.begin(), points.end(), x0,
                                        [](const QPointF& p, double x) { return p.x() < x; });
    const auto end = std::upper_bound(points.begin(), points.end(), x1,
                                      [](double x, const QPointF& p) { return x < p.x(); });
    QVector<QPointF> out;
    out.reserve(columns * 2 + 2);
    if (begin != points.begin()) out.append(*(begin - 1));
    const double width = (x1 - x0) / columns;
    // A point right on x1 belongs to the last bucket, not to one of its own.
    auto bucket = [&](double x) {
        return std::min(static_cast<long long>(std::floor((x - x0) / width)),
                        static_cast<long long>(columns - 1));
    };
    auto it = begin;
    while (it != end) {
        const long long column = bucket(it->x());
        const QPointF* low = &*it;
        const QPointF* high = low;
        for (++it; it != end && bucket(it->x()) == column; ++it) {
            if (it->y() < low->y()) low = &*it;
            if (it->y() > high->y()) high = &*it;
        }
        // The lowest and the highest, in their own order, each once.
        out.append(*std::min(low, high));
        if (low != high) out.append(*std::max(low, high));
    }
    if (end != points.end()) out.append(*end);
    return out;
}

}  // namespace tavrel
