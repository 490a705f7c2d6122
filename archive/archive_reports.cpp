// What the archive tells: its meters, a meter's series, an export of any range, the conflicts
// kept, and each meter's standing for the morning's status page.

#include <QHash>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <limits>

#include "archive.h"
#include "local_text.h"
#include "record_decoding.h"
#include "whole_file.h"

namespace tavrel::archive {

namespace {
// More than this in the PC's future: the instrument's clock runs ahead.
constexpr qint64 kAheadSeconds = 15 * 60;

QStringList captionsOf(const QString& joined) {
    QStringList out = joined.isEmpty() ? QStringList() : joined.split(u'\t');
    while (out.size() < 8) out.append(QString());
    return out;
}
bool inUse(const QString& caption) {
    return !caption.isEmpty() && caption != QStringLiteral("Not used");
}
// A bound of a range as the archive's key; no bound is the whole calendar.
QString bound(const QDateTime& t, bool upper) {
    if (t.isValid()) return stampKey(t);
    return upper ? QStringLiteral("9999-12-31 23:59:59.999")
                 : QStringLiteral("0001-01-01 00:00:00");
}
QString duration(qint64 seconds) {
    const qint64 a = std::abs(seconds);
    if (a >= 2 * 86400) return QStringLiteral("%1 days").arg(a / 86400);
    if (a >= 2 * 3600) return QStringLiteral("%1 h").arg(a / 3600);
    return QStringLiteral("%1 min").arg(a / 60);
}
}  // namespace

QList<MeterSummary> Archive::meters() {
    QList<MeterSummary> out;
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("SELECT m.name, m.place, %1, %2, COUNT(r.stamp), (SELECT "
                               "MAX(v.started) FROM visits v WHERE v.meter_id = m.id), (SELECT "
                               "COUNT(*) FROM series s2 WHERE s2.meter_id = m.id) FROM meters m "
                               "LEFT JOIN series s ON s.meter_id = m.id LEFT JOIN records r ON "
                               "r.series_id = s.id GROUP BY m.id, m.name, m.place ORDER BY m.name")
                    .arg(stampOut(QStringLiteral("MIN(r.stamp)")),
                         stampOut(QStringLiteral("MAX(r.stamp)")))))
        return fail(QStringLiteral("listing meters"), q.lastError().text()), out;
    while (q.next()) {
        MeterSummary m;
        m.name = q.value(0).toString();
        m.place = q.value(1).toString();
        m.firstRecord = stampFromKey(q.value(2).toString());
        m.lastRecord = stampFromKey(q.value(3).toString());
        m.records = q.value(4).toLongLong();
        m.lastVisit = wallFromText(q.value(5).toString());
        m.series = q.value(6).toInt();
        out.append(m);
    }
    QSqlQuery result(db_);
    result.prepare(
        QStringLiteral("SELECT v.result FROM visits v JOIN meters m ON m.id = "
                       "v.meter_id WHERE m.name = ? ORDER BY v.started DESC, v.id DESC"));
    for (MeterSummary& m : out) {
        result.addBindValue(m.name);
        if (result.exec() && result.next()) m.lastResult = result.value(0).toString();
        result.finish();
    }
    return out;
}

QList<SeriesInfo> Archive::series(const QString& meter) {
    QList<SeriesInfo> out;
    QSqlQuery q(db_);
    q.prepare(
        QStringLiteral("SELECT s.id, s.number, s.started, s.why, s.captions FROM series s "
                       "JOIN meters m ON m.id = s.meter_id WHERE m.name = ? ORDER BY "
                       "s.number"));
    q.addBindValue(meter);
    if (!q.exec()) return fail(QStringLiteral("reading series"), q.lastError().text()), out;
    while (q.next()) {
        out.append(SeriesInfo{q.value(0).toLongLong(), q.value(1).toInt(),
                              wallFromText(q.value(2).toString()), q.value(3).toString(),
                              captionsOf(q.value(4).toString())});
    }
    return out;
}

ExportTable Archive::exportTable(const QString& meter, const QDateTime& from, const QDateTime& to,
                                 int seriesNumber) {
    ExportTable table;
    error_.clear();
    if (!meterLog(meter).known) {
        fail(QStringLiteral("the archive has no meter named %1").arg(meter), {});
        return table;
    }
    QList<SeriesInfo> all = series(meter);
    if (seriesNumber > 0) {
        all.removeIf([&](const SeriesInfo& s) { return s.number != seriesNumber; });
        if (all.isEmpty()) {
            fail(QStringLiteral("%1 has no series %2").arg(meter).arg(seriesNumber), {});
            return table;
        }
    }
    if (all.isEmpty()) return table;
    QMap<qint64, int> order;  // series id -> its place in `all`
    QStringList ids;
    for (qsizetype i = 0; i < all.size(); ++i) {
        order.insert(all[i].id, static_cast<int>(i));
        ids << QString::number(all[i].id);
    }
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1, series_id, channel, value FROM records WHERE series_id "
                             "IN (%2) AND stamp >= ? AND stamp <= ? ORDER BY stamp, series_id, "
                             "channel")
                  .arg(stampOut(QStringLiteral("stamp")), ids.join(u',')));
    q.addBindValue(bound(from, false));
    q.addBindValue(bound(to, true));
    if (!q.exec()) {
        fail(QStringLiteral("exporting"), q.lastError().text());
        return table;
    }
    struct Value {
        int row;
        int series;  // index into `all`
        int channel;
        double value;
    };
    QList<Value> values;
    QList<std::array<bool, 9>> used(all.size(), std::array<bool, 9>{});
    QString last;
    while (q.next()) {
        const QString stamp = q.value(0).toString();
        if (stamp != last || table.rows.isEmpty()) {
            table.rows.append(ExportRow{stampFromKey(stamp), {}});
            last = stamp;
        }
        const int s = order.value(q.value(1).toLongLong());
        const int channel = q.value(2).toInt();
        if (channel < 1 || channel > 8) continue;
        used[s][static_cast<std::size_t>(channel)] = true;
        values.append({static_cast<int>(table.rows.size() - 1), s, channel, q.value(3).toDouble()});
    }
    // The columns: every channel in use of each series with records here (of the newest series
    // when there are none), by series then channel; one caption is one column.
    QMap<QString, int> columnOf;
    QHash<int, int> place;  // series index x 16 + channel -> column
    bool any = false;
    for (const auto& u : used) any = any || std::find(u.begin(), u.end(), true) != u.end();
    for (qsizetype s = 0; s < all.size(); ++s) {
        const bool has = std::find(used[s].begin(), used[s].end(), true) != used[s].end();
        if (!(has || (!any && s + 1 == all.size()))) continue;
        for (int k = 1; k <= 8; ++k) {
            QString caption = all[s].captions[k - 1];
            if (!inUse(caption) && !used[s][static_cast<std::size_t>(k)]) continue;
            if (!inUse(caption)) caption = QStringLiteral("Channel %1").arg(k);
            if (!columnOf.contains(caption)) {
                columnOf.insert(caption, static_cast<int>(table.columns.size()));
                table.columns.append(ExportColumn{caption, all[s].id, k});
            }
            place.insert(static_cast<int>(s) * 16 + k, columnOf.value(caption));
        }
    }
    const double none = std::numeric_limits<double>::quiet_NaN();
    for (ExportRow& row : table.rows) row.values = QList<double>(table.columns.size(), none);
    for (const Value& v : values) {
        // The same caption of two series at one stamp: the newer instrument's value.
        table.rows[v.row].values[place.value(v.series * 16 + v.channel)] = v.value;
    }
    return table;
}

int Archive::writeCsv(const QString& meter, const QDateTime& from, const QDateTime& to,
                      const QString& file, QString* error, int seriesNumber) {
    const ExportTable table = exportTable(meter, from, to, seriesNumber);
    if (!error_.isEmpty()) {
        *error = error_;
        return -1;
    }
    QByteArray out = "Date / Time";
    for (const ExportColumn& c : table.columns) out += ',' + encodeLocal(c.caption);
    out += "\r\n";
    for (const ExportRow& row : table.rows) {
        appendLocal(out, stampText(row.stamp));
        for (const double v : row.values) {
            out += ',';
            if (!std::isnan(v)) appendLocal(out, numberText(v));
        }
        out += "\r\n";
    }
    if (!writeWholeFile(file, out, error)) return -1;
    return static_cast<int>(table.rows.size());
}

QList<ConflictRow> Archive::conflicts(const QString& meter) {
    QList<ConflictRow> out;
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("SELECT m.name, s.number, %1, c.channel, s.captions, c.archived, "
                             "c.offered, v.started FROM conflicts c JOIN series s ON s.id = "
                             "c.series_id JOIN meters m ON m.id = s.meter_id LEFT JOIN visits v "
                             "ON v.id = c.visit_id WHERE ? = '' OR m.name = ? ORDER BY "
                             "v.started, m.name, c.stamp, c.channel")
                  .arg(stampOut(QStringLiteral("c.stamp"))));
    q.addBindValue(meter.isNull() ? QString("") : meter);
    q.addBindValue(meter.isNull() ? QString("") : meter);
    if (!q.exec()) return fail(QStringLiteral("reading conflicts"), q.lastError().text()), out;
    while (q.next()) {
        ConflictRow c;
        c.meter = q.value(0).toString();
        c.series = q.value(1).toInt();
        c.stamp = stampFromKey(q.value(2).toString());
        c.channel = q.value(3).toInt();
        c.caption = captionsOf(q.value(4).toString()).value(c.channel - 1);
        c.archived = q.value(5).toDouble();
        c.offered = q.value(6).toDouble();
        c.visit = wallFromText(q.value(7).toString());
        out.append(c);
    }
    return out;
}

QList<MeterStatus> Archive::status(int nights, const QDate& today) {
    QList<MeterStatus> out;
    QSqlQuery meters(db_);
    if (!meters.exec(QStringLiteral("SELECT id, name FROM meters ORDER BY name")))
        return fail(QStringLiteral("status"), meters.lastError().text()), out;
    QSqlQuery visits(db_);
    visits.prepare(
        QStringLiteral("SELECT started, ended, result, cause, records_new, wire_bytes, "
                       "clock_lead FROM visits WHERE meter_id = ? ORDER BY started, id"));
    QSqlQuery stamps(db_);
    stamps.setForwardOnly(true);
    stamps.prepare(QStringLiteral("SELECT r.series_id, %1 FROM records r JOIN series s ON s.id = "
                                  "r.series_id WHERE s.meter_id = ? GROUP BY r.series_id, "
                                  "r.stamp ORDER BY r.series_id, r.stamp")
                       .arg(stampOut(QStringLiteral("r.stamp"))));
    QSqlQuery conflicts(db_);
    conflicts.prepare(
        QStringLiteral("SELECT COUNT(*) FROM conflicts c JOIN series s ON s.id = "
                       "c.series_id WHERE s.meter_id = ?"));
    while (meters.next()) {
        const qint64 id = meters.value(0).toLongLong();
        MeterStatus m;
        m.name = meters.value(1).toString();
        // Each night's outcome: good if any visit that day read the log.
        QMap<QDate, QString> byNight;
        visits.addBindValue(id);
        visits.exec();
        while (visits.next()) {
            const QDateTime started = wallFromText(visits.value(0).toString());
            const QDateTime ended = wallFromText(visits.value(1).toString());
            const QString result = visits.value(2).toString();
            const bool good = result == QStringLiteral("ok") || result == QStringLiteral("empty");
            if (good) m.lastGood = started;
            m.lastResult = good ? result : QStringLiteral("failed");
            m.lastCause = visits.value(3).toString();
            m.recordsNew = visits.value(4).toInt();
            m.wireBytes = visits.value(5).toLongLong();
            m.seconds = static_cast<double>(started.msecsTo(ended)) / 1000.0;
            if (!visits.value(6).isNull()) {
                m.hasClockLead = true;
                m.clockLead = visits.value(6).toLongLong();
            }
            QString& night = byNight[started.date()];
            if (night != QStringLiteral("ok")) night = good ? result : QStringLiteral("failed");
        }
        visits.finish();
        for (auto it = byNight.constEnd(); it != byNight.constBegin();) {
            --it;
            if (it.value() != QStringLiteral("failed")) break;
            ++m.roundsFailed;
        }
        for (int n = nights - 1; n >= 0; --n) m.nights.append(byNight.value(today.addDays(-n)));
        // Gaps: steps longer than the logging interval (the step seen most often), within
        // each instrument's own history.
        stamps.addBindValue(id);
        stamps.exec();
        QList<qint64> steps;
        QDateTime previous;
        qint64 previousSeries = -1;
        while (stamps.next()) {
            const qint64 s = stamps.value(0).toLongLong();
            const QDateTime t = stampFromKey(stamps.value(1).toString());
            if (previous.isValid() && s == previousSeries) steps.append(previous.secsTo(t));
            previous = t;
            previousSeries = s;
        }
        stamps.finish();
        QMap<qint64, int> seen;
        for (const qint64 step : steps) ++seen[step];
        qint64 interval = 0;
        for (auto it = seen.constBegin(); it != seen.constEnd(); ++it)
            if (interval == 0 || it.value() > seen.value(interval)) interval = it.key();
        m.intervalSeconds = interval;
        for (const qint64 step : steps)
            if (interval > 0 && step > interval) m.gaps += static_cast<int>(step / interval - 1);
        if (m.hasClockLead && m.clockLead > kAheadSeconds) {
            m.clockNote = QStringLiteral("clock runs ahead (last record %1 in the future)")
                              .arg(duration(m.clockLead));
        } else if (m.hasClockLead && interval > 0 && m.clockLead < -2 * interval) {
            m.clockNote = QStringLiteral("last record %1 old: clock behind or not logging")
                              .arg(duration(m.clockLead));
        }
        conflicts.addBindValue(id);
        if (conflicts.exec() && conflicts.next()) m.conflicts = conflicts.value(0).toInt();
        conflicts.finish();
        out.append(m);
    }
    for (MeterStatus& m : out) {
        const QList<SeriesInfo> all = series(m.name);
        m.series = static_cast<int>(all.size());
        if (all.size() > 1) {
            m.seriesNote =
                QStringLiteral("another instrument since %1: %2")
                    .arg(all.last().started.toString(QStringLiteral("yyyy-MM-dd")), all.last().why);
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const MeterStatus& a, const MeterStatus& b) {
        if (a.roundsFailed != b.roundsFailed) return a.roundsFailed > b.roundsFailed;
        return a.lastGood < b.lastGood;
    });
    return out;
}

}  // namespace tavrel::archive
