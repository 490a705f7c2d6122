#include "archive.h"

#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "local_text.h"
#include "record_decoding.h"
#include "whole_file.h"

namespace tavrel::archive {

namespace {
constexpr int kStep = 256;
std::atomic<int> connections{0};
const QString kStampFormat = QStringLiteral("yyyy-MM-dd HH:mm");

// A text column is never NULL: an empty text binds as ''.
QVariant text(const QString& s) { return s.isNull() ? QVariant(QString("")) : QVariant(s); }
QVariant joined(const QStringList& captions) { return text(captions.join(u'\t')); }
QStringList split(const QString& captions) {
    QStringList out = captions.isEmpty() ? QStringList() : captions.split(u'\t');
    while (out.size() < 8) out.append(QString());
    return out;
}
}  // namespace

QString stampKey(const QDateTime& stamp) { return stamp.toString(kStampFormat); }
QDateTime stampFromKey(const QString& key) { return QDateTime::fromString(key, kStampFormat); }

Archive::Archive()
    : connection_(QStringLiteral("tavrel-archive-%1").arg(connections.fetch_add(1))) {}

Archive::~Archive() {
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection_);
    }
}

bool Archive::fail(const QString& what, const QString& why) {
    error_ = why.isEmpty() ? what : what + QStringLiteral(": ") + why;
    return false;
}

bool Archive::exec(const QString& sql) {
    QSqlQuery q(db_);
    return q.exec(sql) || fail(sql.section(u' ', 0, 2), q.lastError().text());
}

bool Archive::open(const QString& where, QString* error) {
    const bool url = where.startsWith(QStringLiteral("postgresql://")) ||
                     where.startsWith(QStringLiteral("postgres://"));
    postgres_ = url || where.contains(QStringLiteral("dbname=")) ||
                where.startsWith(QStringLiteral("host="));
    db_ = QSqlDatabase::addDatabase(postgres_ ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                    connection_);
    if (!db_.isValid()) {
        *error = QStringLiteral("this build cannot reach %1 archives (no Qt SQL driver %2)")
                     .arg(postgres_ ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite"),
                          postgres_ ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"));
        return false;
    }
    if (url) {
        const QUrl u(where);
        db_.setUserName(u.userName());
        db_.setPassword(u.password());
        db_.setDatabaseName(u.path().mid(1));
        const QString socketHost = QUrlQuery(u).queryItemValue(QStringLiteral("host"));
        db_.setHostName(!socketHost.isEmpty() ? socketHost : u.host());
        if (u.port() > 0) db_.setPort(u.port());
    } else if (postgres_) {
        // libpq's key=value form: the keys Qt's driver takes apart.
        for (const QString& pair : where.split(u' ', Qt::SkipEmptyParts)) {
            const QString key = pair.section(u'=', 0, 0);
            const QString value = pair.section(u'=', 1);
            if (key == QStringLiteral("host")) db_.setHostName(value);
            if (key == QStringLiteral("port")) db_.setPort(value.toInt());
            if (key == QStringLiteral("dbname")) db_.setDatabaseName(value);
            if (key == QStringLiteral("user")) db_.setUserName(value);
            if (key == QStringLiteral("password")) db_.setPassword(value);
        }
    } else {
        db_.setDatabaseName(where);
        // Collectors in parallel threads write one file: wait for each other's transactions.
        db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
    }
    if (!db_.open()) {
        *error =
            QStringLiteral("cannot open the archive %1: %2").arg(where, db_.lastError().text());
        return false;
    }
    if (!postgres_ && (!exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
                       !exec(QStringLiteral("PRAGMA synchronous=NORMAL")))) {
        *error = error_;
        return false;
    }
    if (!createSchema()) {
        *error = QStringLiteral("archive %1: %2").arg(where, error_);
        return false;
    }
    return true;
}

bool Archive::createSchema() {
    const QString id =
        postgres_ ? QStringLiteral("BIGSERIAL PRIMARY KEY") : QStringLiteral("INTEGER PRIMARY KEY");
    const QString blob = postgres_ ? QStringLiteral("BYTEA") : QStringLiteral("BLOB");
    if (!db_.transaction()) return fail(QStringLiteral("begin"), db_.lastError().text());
    // Two collectors starting at once must not both create the tables.
    const bool ok =
        (!postgres_ || exec(QStringLiteral("SELECT pg_advisory_xact_lock(727001)"))) &&
        exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)")) &&
        exec(QStringLiteral("CREATE TABLE IF NOT EXISTS meters (id %1, name TEXT NOT NULL UNIQUE, "
                            "place TEXT NOT NULL DEFAULT '', slave INTEGER NOT NULL DEFAULT 1, "
                            "captions TEXT NOT NULL DEFAULT '', log_bytes INTEGER NOT NULL "
                            "DEFAULT 0, last_block_at INTEGER NOT NULL DEFAULT 0, last_block %2, "
                            "last_block_state TEXT NOT NULL DEFAULT '')")
                 .arg(id, blob)) &&
        exec(QStringLiteral("CREATE TABLE IF NOT EXISTS caption_changes (meter_id BIGINT NOT "
                            "NULL, seen TEXT NOT NULL, captions TEXT NOT NULL)")) &&
        exec(QStringLiteral("CREATE TABLE IF NOT EXISTS records (meter_id BIGINT NOT NULL, "
                            "channel INTEGER NOT NULL, stamp TEXT NOT NULL, value DOUBLE "
                            "PRECISION NOT NULL, PRIMARY KEY (meter_id, channel, stamp))")) &&
        exec(QStringLiteral("CREATE TABLE IF NOT EXISTS visits (id %1, meter_id BIGINT NOT NULL, "
                            "started TEXT NOT NULL, ended TEXT NOT NULL, result TEXT NOT NULL, "
                            "cause TEXT NOT NULL DEFAULT '', line_baud INTEGER NOT NULL DEFAULT "
                            "0, wire_bytes BIGINT NOT NULL DEFAULT 0, records_new INTEGER NOT "
                            "NULL DEFAULT 0, records_known INTEGER NOT NULL DEFAULT 0, conflicts "
                            "INTEGER NOT NULL DEFAULT 0, read_kind TEXT NOT NULL DEFAULT '', "
                            "read_why TEXT NOT NULL DEFAULT '')")
                 .arg(id)) &&
        exec(QStringLiteral("CREATE TABLE IF NOT EXISTS conflicts (meter_id BIGINT NOT NULL, "
                            "channel INTEGER NOT NULL, stamp TEXT NOT NULL, archived DOUBLE "
                            "PRECISION NOT NULL, offered DOUBLE PRECISION NOT NULL, visit_id "
                            "BIGINT NOT NULL)")) &&
        exec(QStringLiteral("CREATE INDEX IF NOT EXISTS visits_by_meter ON visits (meter_id, "
                            "started)"));
    QSqlQuery version(db_);
    int found = -1;
    if (ok && version.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) &&
        version.next() && !version.value(0).isNull())
        found = version.value(0).toInt();
    if (!ok) {
        db_.rollback();
        return false;
    }
    if (found > kSchemaVersion) {
        db_.rollback();
        return fail(QStringLiteral("it was made by a newer tool (schema %1, this tool knows %2)")
                        .arg(found)
                        .arg(kSchemaVersion),
                    {});
    }
    // Later schemas add their steps here, from `found` up to kSchemaVersion.
    if (found < 0 && !exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)")
                               .arg(kSchemaVersion))) {
        db_.rollback();
        return false;
    }
    return db_.commit() || fail(QStringLiteral("commit"), db_.lastError().text());
}

MeterLog Archive::meterLog(const QString& meter) {
    MeterLog log;
    QSqlQuery q(db_);
    q.prepare(
        QStringLiteral("SELECT id, captions, log_bytes, last_block_at, last_block, "
                       "last_block_state FROM meters WHERE name = ?"));
    q.addBindValue(meter);
    if (!q.exec() || !q.next()) return log;
    log.known = true;
    log.id = q.value(0).toLongLong();
    log.captions = split(q.value(1).toString());
    log.logBytes = q.value(2).toInt();
    log.lastBlockAt = q.value(3).toInt();
    log.lastBlock = q.value(4).toByteArray();
    log.lastBlockState = StreamState::fromText(q.value(5).toString());
    return log;
}

qint64 Archive::meterId(const VisitData& v, const MeterLog& before) {
    QSqlQuery q(db_);
    if (!before.known) {
        q.prepare(
            QStringLiteral("INSERT INTO meters (name, place, slave, captions) VALUES "
                           "(?, ?, ?, ?) RETURNING id"));
        q.addBindValue(v.meter);
        q.addBindValue(text(v.place));
        q.addBindValue(v.slave);
        q.addBindValue(joined(v.captions));
        if (!q.exec() || !q.next())
            return fail(QStringLiteral("adding the meter"), q.lastError().text()), -1;
        return q.value(0).toLongLong();
    }
    q.prepare(QStringLiteral("UPDATE meters SET place = ?, slave = ?, captions = ? WHERE id = ?"));
    q.addBindValue(text(v.place));
    q.addBindValue(v.slave);
    q.addBindValue(v.captions.isEmpty() ? joined(before.captions) : joined(v.captions));
    q.addBindValue(before.id);
    if (!q.exec()) return fail(QStringLiteral("updating the meter"), q.lastError().text()), -1;
    return before.id;
}

qint64 Archive::insertVisit(qint64 meter, const VisitData& v, const VisitOutcome& o) {
    QSqlQuery q(db_);
    q.prepare(QStringLiteral(
        "INSERT INTO visits (meter_id, started, ended, result, cause, line_baud, wire_bytes, "
        "records_new, records_known, conflicts, read_kind, read_why) VALUES (?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?, ?, ?) RETURNING id"));
    for (const QVariant& value :
         {QVariant(meter), text(v.started.toString(Qt::ISODate)),
          text(v.ended.toString(Qt::ISODate)), text(v.result), text(v.cause), QVariant(v.lineBaud),
          QVariant(v.wireBytes), QVariant(o.recordsNew), QVariant(o.recordsKnown),
          QVariant(o.conflicts), text(v.readKind), text(v.readWhy)})
        q.addBindValue(value);
    if (!q.exec() || !q.next())
        return fail(QStringLiteral("adding the visit"), q.lastError().text()), -1;
    return q.value(0).toLongLong();
}

VisitOutcome Archive::addVisit(const VisitData& v) {
    VisitOutcome outcome;
    const MeterLog before = meterLog(v.meter);
    // The log as one stream from where this visit's bytes start; the state at the last
    // 256-byte step is what the next visit needs.
    const qint32 lastAt = v.logBytes > 0 ? (v.logBytes - 1) / kStep * kStep : 0;
    const qsizetype split = std::clamp<qsizetype>(lastAt - v.readFrom, 0, v.bytes.size());
    StreamState state = v.stateAtRead;
    QList<Entry> entries = decodeStream(v.bytes.left(split), state);
    const StreamState atLast = state;
    entries += decodeStream(v.bytes.mid(split), state);
    const QList<Record> records = assignYears(entries, v.ended.isValid() ? v.ended : v.started);

    auto abandon = [&](const QString& what, const QSqlQuery* q) {
        if (q != nullptr) fail(what, q->lastError().text());
        db_.rollback();
        outcome.error = error_;
        return outcome;
    };
    if (!db_.transaction())
        return fail(QStringLiteral("begin"), db_.lastError().text()), abandon({}, nullptr);
    const qint64 meter = meterId(v, before);
    if (meter < 0) return abandon({}, nullptr);
    QSqlQuery q(db_);
    if (!v.captions.isEmpty() && (!before.known || before.captions != v.captions)) {
        q.prepare(
            QStringLiteral("INSERT INTO caption_changes (meter_id, seen, captions) VALUES "
                           "(?, ?, ?)"));
        q.addBindValue(meter);
        q.addBindValue(text(v.started.toString(Qt::ISODate)));
        q.addBindValue(joined(v.captions));
        if (!q.exec()) return abandon(QStringLiteral("noting the captions"), &q);
    }
    QSqlQuery insert(db_);
    insert.prepare(
        QStringLiteral("INSERT INTO records (meter_id, channel, stamp, value) VALUES "
                       "(?, ?, ?, ?) ON CONFLICT (meter_id, channel, stamp) DO NOTHING"));
    QSqlQuery existing(db_);
    existing.prepare(QStringLiteral(
        "SELECT value FROM records WHERE meter_id = ? AND channel = ? AND stamp = ?"));
    struct Conflict {
        int channel;
        QString stamp;
        double archived;
        double offered;
    };
    QList<Conflict> conflicts;
    for (qsizetype i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        const QString stamp = stampKey(r.stamp);
        const double value = static_cast<double>(r.value);
        insert.bindValue(0, meter);
        insert.bindValue(1, r.channel);
        insert.bindValue(2, stamp);
        insert.bindValue(3, value);
        if (!insert.exec()) return abandon(QStringLiteral("adding records"), &insert);
        if (insert.numRowsAffected() == 1) {
            ++outcome.recordsNew;
        } else {
            existing.bindValue(0, meter);
            existing.bindValue(1, r.channel);
            existing.bindValue(2, stamp);
            if (!existing.exec() || !existing.next())
                return abandon(QStringLiteral("reading an archived record"), &existing);
            const double archived = existing.value(0).toDouble();
            existing.finish();
            if (archived == value || (std::isnan(archived) && std::isnan(value))) {
                ++outcome.recordsKnown;
            } else {
                conflicts.append({r.channel, stamp, archived, value});
            }
        }
        if (onRecords && (i % 512 == 0 || i + 1 == records.size()))
            onRecords(static_cast<int>(i + 1), static_cast<int>(records.size()));
    }
    outcome.conflicts = static_cast<int>(conflicts.size());
    const qint64 visit = insertVisit(meter, v, outcome);
    if (visit < 0) return abandon({}, nullptr);
    q.prepare(
        QStringLiteral("INSERT INTO conflicts (meter_id, channel, stamp, archived, offered, "
                       "visit_id) VALUES (?, ?, ?, ?, ?, ?)"));
    for (const Conflict& c : conflicts) {
        for (const QVariant& value : {QVariant(meter), QVariant(c.channel), QVariant(c.stamp),
                                      QVariant(c.archived), QVariant(c.offered), QVariant(visit)})
            q.addBindValue(value);
        if (!q.exec()) return abandon(QStringLiteral("noting a conflict"), &q);
    }
    if (v.logBytes > 0 && !v.bytes.isEmpty()) {
        q.prepare(
            QStringLiteral("UPDATE meters SET log_bytes = ?, last_block_at = ?, last_block "
                           "= ?, last_block_state = ? WHERE id = ?"));
        q.addBindValue(v.logBytes);
        q.addBindValue(lastAt);
        q.addBindValue(v.bytes.mid(split));
        q.addBindValue(text(atLast.text()));
        q.addBindValue(meter);
        if (!q.exec()) return abandon(QStringLiteral("keeping the last block"), &q);
    }
    if (!db_.commit())
        return fail(QStringLiteral("commit"), db_.lastError().text()), abandon({}, nullptr);
    return outcome;
}

bool Archive::addFailedVisit(const VisitData& v) {
    const MeterLog before = meterLog(v.meter);
    if (!db_.transaction()) return fail(QStringLiteral("begin"), db_.lastError().text());
    const qint64 meter = meterId(v, before);
    if (meter < 0 || insertVisit(meter, v, {}) < 0) {
        db_.rollback();
        return false;
    }
    return db_.commit() || fail(QStringLiteral("commit"), db_.lastError().text());
}

QList<MeterSummary> Archive::meters() {
    QList<MeterSummary> out;
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral(
            "SELECT m.name, m.place, MIN(r.stamp), MAX(r.stamp), COUNT(r.stamp), "
            "(SELECT MAX(v.started) FROM visits v WHERE v.meter_id = m.id) FROM meters m LEFT "
            "JOIN records r ON r.meter_id = m.id GROUP BY m.id, m.name, m.place ORDER BY m.name")))
        return fail(QStringLiteral("listing meters"), q.lastError().text()), out;
    while (q.next()) {
        MeterSummary m;
        m.name = q.value(0).toString();
        m.place = q.value(1).toString();
        m.firstRecord = stampFromKey(q.value(2).toString());
        m.lastRecord = stampFromKey(q.value(3).toString());
        m.records = q.value(4).toLongLong();
        m.lastVisit = QDateTime::fromString(q.value(5).toString(), Qt::ISODate);
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

QList<ExportRow> Archive::exportRows(const QString& meter, const QDateTime& from,
                                     const QDateTime& to, QStringList* captions) {
    QList<ExportRow> rows;
    const MeterLog log = meterLog(meter);
    if (captions != nullptr) *captions = log.captions;
    if (!log.known) return rows;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT stamp, channel, value FROM records WHERE meter_id = ? AND "
                       "stamp >= ? AND stamp <= ? ORDER BY stamp, channel"));
    q.addBindValue(log.id);
    q.addBindValue(from.isValid() ? stampKey(from) : QStringLiteral("0000"));
    q.addBindValue(to.isValid() ? stampKey(to) : QStringLiteral("9999"));
    if (!q.exec()) return fail(QStringLiteral("exporting"), q.lastError().text()), rows;
    QString last;
    while (q.next()) {
        const QString stamp = q.value(0).toString();
        if (stamp != last || rows.isEmpty()) {
            ExportRow row;
            row.stamp = stampFromKey(stamp);
            row.values.fill(std::numeric_limits<double>::quiet_NaN());
            rows.append(row);
            last = stamp;
        }
        const int channel = q.value(1).toInt();
        if (channel >= 1 && channel <= 8)
            rows.last().values[static_cast<std::size_t>(channel)] = q.value(2).toDouble();
    }
    return rows;
}

int Archive::writeCsv(const QString& meter, const QDateTime& from, const QDateTime& to,
                      const QString& file, QString* error) {
    QStringList captions;
    const QList<ExportRow> rows = exportRows(meter, from, to, &captions);
    if (captions.isEmpty()) {  // exportRows found no such meter
        *error = QStringLiteral("the archive has no meter named %1").arg(meter);
        return -1;
    }
    QList<int> channels;
    QByteArray out = "Date / Time";
    for (int k = 1; k <= 8; ++k) {
        const QString& c = captions[k - 1];
        if (c.isEmpty() || c == QStringLiteral("Not used")) continue;
        channels.append(k);
        out += ',' + encodeLocal(c);
    }
    out += "\r\n";
    for (const ExportRow& row : rows) {
        appendLocal(out, dateTimeText(row.stamp.date(), row.stamp.time()));
        for (const int k : channels) {
            out += ',';
            const double v = row.values[static_cast<std::size_t>(k)];
            if (!std::isnan(v)) appendLocal(out, numberText(v));
        }
        out += "\r\n";
    }
    if (!writeWholeFile(file, out, error)) return -1;
    return static_cast<int>(rows.size());
}

Archive::Claim Archive::claim(const QString& meter, const QDate& today, bool force) {
    if (postgres_) {
        QSqlQuery lock(db_);
        lock.prepare(QStringLiteral("SELECT pg_try_advisory_lock(727002, hashtext(?))"));
        lock.addBindValue(meter);
        if (!lock.exec() || !lock.next() || !lock.value(0).toBool()) return Claim::Busy;
    }
    if (force) return Claim::Mine;
    QSqlQuery done(db_);
    done.prepare(
        QStringLiteral("SELECT COUNT(*) FROM visits v JOIN meters m ON m.id = v.meter_id "
                       "WHERE m.name = ? AND v.result IN ('ok', 'empty') AND v.started "
                       ">= ?"));
    done.addBindValue(meter);
    done.addBindValue(today.toString(Qt::ISODate));
    if (done.exec() && done.next() && done.value(0).toInt() > 0) {
        releaseClaim(meter);
        return Claim::DoneToday;
    }
    return Claim::Mine;
}

void Archive::releaseClaim(const QString& meter) {
    if (!postgres_) return;
    QSqlQuery unlock(db_);
    unlock.prepare(QStringLiteral("SELECT pg_advisory_unlock(727002, hashtext(?))"));
    unlock.addBindValue(meter);
    unlock.exec();
}

int Archive::roundsFailed(const QString& meter) {
    QSqlQuery q(db_);
    q.prepare(
        QStringLiteral("SELECT v.started, v.result FROM visits v JOIN meters m ON m.id = "
                       "v.meter_id WHERE m.name = ? ORDER BY v.started DESC, v.id DESC"));
    q.addBindValue(meter);
    if (!q.exec()) return 0;
    int rounds = 0;
    QDate night;
    while (q.next()) {
        if (q.value(1).toString() != QStringLiteral("failed")) break;
        const QDate day = QDateTime::fromString(q.value(0).toString(), Qt::ISODate).date();
        if (day != night) ++rounds;
        night = day;
    }
    return rounds;
}

QList<MeterStatus> Archive::status(int nights, const QDate& today) {
    QList<MeterStatus> out;
    QSqlQuery meters(db_);
    if (!meters.exec(QStringLiteral("SELECT id, name FROM meters ORDER BY name")))
        return fail(QStringLiteral("status"), meters.lastError().text()), out;
    QSqlQuery visits(db_);
    visits.prepare(
        QStringLiteral("SELECT started, ended, result, cause, records_new, wire_bytes "
                       "FROM visits WHERE meter_id = ? ORDER BY started, id"));
    QSqlQuery stamps(db_);
    stamps.setForwardOnly(true);
    stamps.prepare(
        QStringLiteral("SELECT DISTINCT stamp FROM records WHERE meter_id = ? ORDER "
                       "BY stamp"));
    QSqlQuery conflicts(db_);
    conflicts.prepare(QStringLiteral("SELECT COUNT(*) FROM conflicts WHERE meter_id = ?"));
    while (meters.next()) {
        const qint64 id = meters.value(0).toLongLong();
        MeterStatus m;
        m.name = meters.value(1).toString();
        // Each night's outcome: good if any visit that day read the log.
        QMap<QDate, QString> byNight;
        visits.addBindValue(id);
        visits.exec();
        while (visits.next()) {
            const QDateTime started =
                QDateTime::fromString(visits.value(0).toString(), Qt::ISODate);
            const QDateTime ended = QDateTime::fromString(visits.value(1).toString(), Qt::ISODate);
            const QString result = visits.value(2).toString();
            const bool good = result != QStringLiteral("failed");
            if (good) m.lastGood = started;
            m.lastResult = result;
            m.lastCause = visits.value(3).toString();
            m.recordsNew = visits.value(4).toInt();
            m.wireBytes = visits.value(5).toLongLong();
            m.seconds = started.msecsTo(ended) / 1000.0;
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
        // Gaps: steps longer than the logging interval, the step seen most often.
        stamps.addBindValue(id);
        stamps.exec();
        QList<qint64> steps;
        QDateTime previous;
        while (stamps.next()) {
            const QDateTime t = stampFromKey(stamps.value(0).toString());
            if (previous.isValid()) steps.append(previous.secsTo(t));
            previous = t;
        }
        stamps.finish();
        QMap<qint64, int> seen;
        for (const qint64 step : steps) ++seen[step];
        qint64 interval = 0;
        for (auto it = seen.constBegin(); it != seen.constEnd(); ++it)
            if (interval == 0 || it.value() > seen.value(interval)) interval = it.key();
        for (const qint64 step : steps)
            if (interval > 0 && step > interval) m.gaps += static_cast<int>(step / interval - 1);
        conflicts.addBindValue(id);
        if (conflicts.exec() && conflicts.next()) m.conflicts = conflicts.value(0).toInt();
        conflicts.finish();
        out.append(m);
    }
    std::stable_sort(out.begin(), out.end(), [](const MeterStatus& a, const MeterStatus& b) {
        if (a.roundsFailed != b.roundsFailed) return a.roundsFailed > b.roundsFailed;
        return a.lastGood < b.lastGood;
    });
    return out;
}

}  // namespace tavrel::archive
