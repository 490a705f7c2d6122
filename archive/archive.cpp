// Storing visits: the meter's row, its series, the records of a visit in one transaction, and
// the claims of a fleet of collectors.

#include "archive.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <cmath>

namespace tavrel::archive {

namespace {
constexpr int kStep = 256;

// A text column is never NULL: an empty text binds as ''.
QVariant text(const QString& s) { return s.isNull() ? QVariant(QString("")) : QVariant(s); }
QVariant joined(const QStringList& captions) { return text(captions.join(u'\t')); }
QStringList split(const QString& captions) {
    QStringList out = captions.isEmpty() ? QStringList() : captions.split(u'\t');
    while (out.size() < 8) out.append(QString());
    return out;
}
}  // namespace

MeterLog Archive::meterLog(const QString& meter) {
    MeterLog log;
    QSqlQuery q(db_);
    q.prepare(
        QStringLiteral("SELECT id, captions, log_bytes, last_block_at, last_block, "
                       "last_block_state, series_id FROM meters WHERE name = ?"));
    q.addBindValue(meter);
    if (!q.exec() || !q.next()) return log;
    log.known = true;
    log.id = q.value(0).toLongLong();
    log.captions = split(q.value(1).toString());
    log.logBytes = q.value(2).toInt();
    log.lastBlockAt = q.value(3).toInt();
    log.lastBlock = q.value(4).toByteArray();
    log.lastBlockState = StreamState::fromText(q.value(5).toString());
    log.series = q.value(6).toLongLong();
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
    const bool noCaptions = v.captions.join(QString()).isEmpty();
    q.addBindValue(noCaptions ? joined(before.captions) : joined(v.captions));
    q.addBindValue(before.id);
    if (!q.exec()) return fail(QStringLiteral("updating the meter"), q.lastError().text()), -1;
    return before.id;
}

// The instrument now at the meter's name starts a history of its own.
qint64 Archive::newSeries(qint64 meter, const VisitData& v) {
    QSqlQuery q(db_);
    q.prepare(QStringLiteral(
        "INSERT INTO series (meter_id, number, started, why, captions) VALUES (?, (SELECT "
        "COALESCE(MAX(number), 0) + 1 FROM series WHERE meter_id = ?), ?, ?, ?) RETURNING id"));
    for (const QVariant& value : {QVariant(meter), QVariant(meter), text(wallText(v.started)),
                                  text(v.newSeries), joined(v.captions)})
        q.addBindValue(value);
    if (!q.exec() || !q.next())
        return fail(QStringLiteral("adding a series"), q.lastError().text()), -1;
    const qint64 id = q.value(0).toLongLong();
    q.finish();
    q.prepare(QStringLiteral("UPDATE meters SET series_id = ? WHERE id = ?"));
    q.addBindValue(id);
    q.addBindValue(meter);
    if (!q.exec()) return fail(QStringLiteral("adding a series"), q.lastError().text()), -1;
    return id;
}

bool Archive::writeVisit(qint64 meter, qint64 series, const VisitData& v, const VisitOutcome& o,
                         qint64* id) {
    QSqlQuery q(db_);
    const QList<QVariant> values{
        QVariant(meter),
        text(wallText(v.started)),
        text(wallText(v.ended)),
        text(v.result),
        text(v.cause),
        QVariant(v.lineBaud),
        QVariant(v.wireBytes),
        QVariant(o.recordsNew),
        QVariant(o.recordsKnown),
        QVariant(o.conflicts),
        text(v.readKind),
        text(v.readWhy),
        QVariant(series),
        o.hasClockLead ? QVariant(o.clockLead) : QVariant(QMetaType(QMetaType::LongLong)),
        text(v.newSeries)};
    const QString columns = QStringLiteral(
        "meter_id, started, ended, result, cause, line_baud, wire_bytes, records_new, "
        "records_known, conflicts, read_kind, read_why, series_id, clock_lead, new_series");
    if (v.visitId > 0) {
        q.prepare(QStringLiteral("UPDATE visits SET (%1) = (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                 "?, ?) WHERE id = ?")
                      .arg(columns));
    } else {
        q.prepare(QStringLiteral("INSERT INTO visits (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                 "?, ?, ?, ?, ?) RETURNING id")
                      .arg(columns));
    }
    for (const QVariant& value : values) q.addBindValue(value);
    if (v.visitId > 0) q.addBindValue(v.visitId);
    if (!q.exec() || (v.visitId <= 0 && !q.next()))
        return fail(QStringLiteral("adding the visit"), q.lastError().text());
    *id = v.visitId > 0 ? v.visitId : q.value(0).toLongLong();
    return true;
}

bool Archive::beginVisit(VisitData& v) {
    const MeterLog before = meterLog(v.meter);
    if (!db_.transaction()) return fail(QStringLiteral("begin"), db_.lastError().text());
    VisitData running = v;
    running.result = QStringLiteral("interrupted");
    running.cause = QStringLiteral(
        "the visit never finished (its collector ended or lost the "
        "archive during it)");
    running.ended = running.started;
    running.visitId = 0;
    const qint64 meter = meterId(running, before);
    qint64 id = 0;
    if (meter < 0 || !writeVisit(meter, before.series, running, {}, &id)) {
        db_.rollback();
        return false;
    }
    if (!db_.commit()) return fail(QStringLiteral("commit"), db_.lastError().text());
    v.visitId = id;
    return true;
}

// Why the log offered is not the instrument the archive knows at this name (empty: it is).
QString anotherInstrument(const MeterLog& known, const VisitData& v) {
    if (!known.known || known.series == 0) return {};
    if (!v.captions.join(QString()).isEmpty() && v.captions != known.captions)
        return QStringLiteral("the captions changed");
    // The archived last step, where this visit's bytes cover it and the log has not shrunk.
    const qint64 at = qint64{known.lastBlockAt} - v.readFrom;
    if (!known.lastBlock.isEmpty() && v.logBytes >= known.logBytes && at >= 0 &&
        at + known.lastBlock.size() <= v.bytes.size() &&
        v.bytes.mid(at, known.lastBlock.size()) != known.lastBlock)
        return QStringLiteral("the log differs where the last visit stopped reading");
    return {};
}

VisitOutcome Archive::addVisit(const VisitData& offered) {
    VisitOutcome outcome;
    const MeterLog before = meterLog(offered.meter);
    VisitData v = offered;
    if (v.newSeries.isEmpty()) v.newSeries = anotherInstrument(before, v);
    // The log as one stream from where this visit's bytes start; the state at the last
    // 256-byte step is what the next visit needs.
    const qint32 lastAt = v.logBytes > 0 ? (v.logBytes - 1) / kStep * kStep : 0;
    const qsizetype split = std::clamp<qsizetype>(lastAt - v.readFrom, 0, v.bytes.size());
    StreamState state = v.stateAtRead;
    QList<Entry> entries = decodeStream(v.bytes.left(split), state);
    const StreamState atLast = state;
    entries += decodeStream(v.bytes.mid(split), state);
    const QDateTime pc = v.ended.isValid() ? v.ended : v.started;
    const QList<Record> records = assignYears(entries, pc);
    if (!records.isEmpty()) {
        outcome.hasClockLead = true;
        // From the moment the meter was called: the visit's own length is no clock fault.
        outcome.clockLead =
            asWall(v.started.isValid() ? v.started : pc).secsTo(records.last().stamp);
    }

    auto abandon = [&](const QString& what, const QSqlQuery* q) {
        if (q != nullptr) fail(what, q->lastError().text());
        db_.rollback();
        outcome.error = error_;
        outcome.recordsNew = outcome.recordsKnown = outcome.conflicts = 0;
        outcome.newSeries.clear();
        return outcome;
    };
    if (!db_.transaction())
        return fail(QStringLiteral("begin"), db_.lastError().text()), abandon({}, nullptr);
    const qint64 meter = meterId(v, before);
    if (meter < 0) return abandon({}, nullptr);
    qint64 series = before.series;
    if (series == 0 || !v.newSeries.isEmpty()) {
        series = newSeries(meter, v);
        if (series < 0) return abandon({}, nullptr);
        outcome.newSeries = v.newSeries;
    }
    QSqlQuery q(db_);
    QSqlQuery insert(db_);
    insert.prepare(
        QStringLiteral("INSERT INTO records (series_id, channel, stamp, value) VALUES "
                       "(?, ?, ?, ?) ON CONFLICT (series_id, channel, stamp) DO NOTHING"));
    QSqlQuery existing(db_);
    existing.prepare(QStringLiteral(
        "SELECT value FROM records WHERE series_id = ? AND channel = ? AND stamp = ?"));
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
        insert.bindValue(0, series);
        insert.bindValue(1, r.channel);
        insert.bindValue(2, stamp);
        insert.bindValue(3, value);
        if (!insert.exec()) return abandon(QStringLiteral("adding records"), &insert);
        if (insert.numRowsAffected() == 1) {
            ++outcome.recordsNew;
        } else {
            existing.bindValue(0, series);
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
    qint64 visit = 0;
    if (!writeVisit(meter, series, v, outcome, &visit)) return abandon({}, nullptr);
    q.prepare(
        QStringLiteral("INSERT INTO conflicts (series_id, channel, stamp, archived, offered, "
                       "visit_id) VALUES (?, ?, ?, ?, ?, ?)"));
    for (const Conflict& c : conflicts) {
        for (const QVariant& value : {QVariant(series), QVariant(c.channel), QVariant(c.stamp),
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
    q.prepare(QStringLiteral("SELECT number FROM series WHERE id = ?"));
    q.addBindValue(series);
    if (q.exec() && q.next()) outcome.series = q.value(0).toInt();
    q.finish();
    if (!db_.commit())
        return fail(QStringLiteral("commit"), db_.lastError().text()), abandon({}, nullptr);
    return outcome;
}

bool Archive::addFailedVisit(const VisitData& v) {
    const MeterLog before = meterLog(v.meter);
    if (!db_.transaction()) return fail(QStringLiteral("begin"), db_.lastError().text());
    const qint64 meter = meterId(v, before);
    qint64 id = 0;
    if (meter < 0 || !writeVisit(meter, before.series, v, {}, &id)) {
        db_.rollback();
        return false;
    }
    return db_.commit() || fail(QStringLiteral("commit"), db_.lastError().text());
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
        const QString result = q.value(1).toString();
        if (result == QStringLiteral("ok") || result == QStringLiteral("empty")) break;
        const QDate day = wallFromText(q.value(0).toString()).date();
        if (day != night) ++rounds;
        night = day;
    }
    return rounds;
}

}  // namespace tavrel::archive
