#include "chart_data.h"

#include <QCoreApplication>

#include "record_decoding.h"

#include <QDateTime>
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
    QVector<qsizetype> recordOf(table.rows.size(), -1);
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
        recordOf[i] = records.size() - 1;
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

    data.rowTimes.reserve(recordOf.size());
    for (const qsizetype r : recordOf)
        data.rowTimes.append(r < 0 ? ChartData::kNoTime : records[r].x);
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
            if (overRangeOf(*v) != 0) {
                line.overRange.append(QPointF(static_cast<double>(x), *v));
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

QString chartNumber(double v) { return numberText(v).trimmed(); }

QString stampText(qint64 msecs) {
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString overRangeMeaning(double mark) {
    if (mark > 0) return QCoreApplication::translate("ChartData", "over range (1E+37)");
    if (mark < -1) return QCoreApplication::translate("ChartData", "over range, negative (-1E+37)");
    return QCoreApplication::translate("ChartData", "negative underflow (-1E-37)");
}

QList<TimeTick> timeTicks(qint64 from, qint64 to, int most) {
    enum Unit { Minute, Day, Week, Month, Year };
    struct Step {
        Unit unit;
        int n;
        double approx;  // msecs
    };
    constexpr double kMinute = 60e3;
    constexpr double kDay = 86400e3;
    static const Step steps[] = {
        {Minute, 1, kMinute},         {Minute, 2, 2 * kMinute},     {Minute, 5, 5 * kMinute},
        {Minute, 10, 10 * kMinute},   {Minute, 15, 15 * kMinute},   {Minute, 30, 30 * kMinute},
        {Minute, 60, 60 * kMinute},   {Minute, 120, 120 * kMinute}, {Minute, 180, 180 * kMinute},
        {Minute, 360, 360 * kMinute}, {Minute, 720, 720 * kMinute}, {Day, 1, kDay},
        {Day, 2, 2 * kDay},           {Week, 1, 7 * kDay},          {Week, 2, 14 * kDay},
        {Month, 1, 30.44 * kDay},     {Month, 2, 60.9 * kDay},      {Month, 3, 91.3 * kDay},
        {Month, 6, 182.6 * kDay},     {Year, 1, 365.25 * kDay}};
    const double span = static_cast<double>(to - from);
    const Step* step = &steps[std::size(steps) - 1];
    for (const Step& s : steps) {
        if (span / s.approx <= std::max(1, most)) {
            step = &s;
            break;
        }
    }
    const QString format = step->unit == Minute  ? QStringLiteral("MM-dd HH:mm")
                           : step->unit <= Week  ? QStringLiteral("yyyy-MM-dd")
                           : step->unit == Month ? QStringLiteral("yyyy-MM")
                                                 : QStringLiteral("yyyy");
    QList<TimeTick> ticks;
    const QDate last = QDateTime::fromMSecsSinceEpoch(to, Qt::UTC).date();
    for (QDate day = QDateTime::fromMSecsSinceEpoch(from, Qt::UTC).date(); day <= last;
         day = day.addDays(1)) {
        const QDateTime midnight = day.startOfDay(Qt::UTC);
        QList<qint64> here;
        switch (step->unit) {
            case Minute:
                for (int m = 0; m < 1440; m += step->n)
                    here.append(midnight.toMSecsSinceEpoch() + qint64{m} * 60000);
                break;
            case Day:
                if (day.toJulianDay() % step->n == 0) here.append(midnight.toMSecsSinceEpoch());
                break;
            case Week:
                if (day.dayOfWeek() == 1 && (day.toJulianDay() / 7) % step->n == 0)
                    here.append(midnight.toMSecsSinceEpoch());
                break;
            case Month:
                if (day.day() == 1 && (day.month() - 1) % step->n == 0)
                    here.append(midnight.toMSecsSinceEpoch());
                break;
            case Year:
                if (day.dayOfYear() == 1) here.append(midnight.toMSecsSinceEpoch());
                break;
        }
        for (const qint64 t : here) {
            if (t < from || t > to) continue;
            ticks.append({t, QDateTime::fromMSecsSinceEpoch(t, Qt::UTC).toString(format)});
        }
    }
    return ticks;
}

RangeStats rangeStats(const ChannelLine& line, qint64 from, qint64 to) {
    RangeStats stats;
    double sum = 0;
    const auto inside = [&](const QPointF& p) {
        return p.x() >= static_cast<double>(from) && p.x() <= static_cast<double>(to);
    };
    for (const QVector<QPointF>& run : line.runs) {
        for (const QPointF& p : run) {
            if (!inside(p)) continue;
            stats.min = stats.count == 0 ? p.y() : std::min(stats.min, p.y());
            stats.max = stats.count == 0 ? p.y() : std::max(stats.max, p.y());
            sum += p.y();
            ++stats.count;
        }
    }
    if (stats.count > 0) stats.mean = sum / stats.count;
    stats.overRange =
        static_cast<int>(std::count_if(line.overRange.begin(), line.overRange.end(), inside));
    return stats;
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
