#include "archive_sql.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "archive.h"

namespace tavrel::archive {

namespace sql {

QString recordsTable(const Dialect& d, const QString& name) {
    return QStringLiteral(
               "CREATE TABLE %1 (series_id BIGINT NOT NULL, channel INTEGER NOT NULL, stamp %2 "
               "NOT NULL, value DOUBLE PRECISION NOT NULL, PRIMARY KEY (series_id, channel, "
               "stamp))")
        .arg(name, d.stamp());
}

QString conflictsTable(const Dialect& d, const QString& name) {
    return QStringLiteral(
               "CREATE TABLE %1 (series_id BIGINT NOT NULL, channel INTEGER NOT NULL, stamp %2 "
               "NOT NULL, archived DOUBLE PRECISION NOT NULL, offered DOUBLE PRECISION NOT "
               "NULL, visit_id BIGINT NOT NULL)")
        .arg(name, d.stamp());
}

QString seriesTable(const Dialect& d) {
    return QStringLiteral(
               "CREATE TABLE series (id %1, meter_id BIGINT NOT NULL, number INTEGER NOT NULL, "
               "started TEXT NOT NULL, why TEXT NOT NULL DEFAULT '', captions TEXT NOT NULL)")
        .arg(d.id());
}

QStringList createStatements(const Dialect& d) {
    return {
        QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE meters (id %1, name TEXT NOT NULL UNIQUE, place TEXT NOT "
                       "NULL DEFAULT '', slave INTEGER NOT NULL DEFAULT 1, captions TEXT NOT NULL "
                       "DEFAULT '', log_bytes INTEGER NOT NULL DEFAULT 0, last_block_at INTEGER "
                       "NOT NULL DEFAULT 0, last_block %2, last_block_state TEXT NOT NULL DEFAULT "
                       "'', series_id BIGINT NOT NULL DEFAULT 0)")
            .arg(d.id(), d.blob()),
        seriesTable(d),
        recordsTable(d, QStringLiteral("records")),
        QStringLiteral("CREATE TABLE visits (id %1, meter_id BIGINT NOT NULL, started TEXT NOT "
                       "NULL, ended TEXT NOT NULL, result TEXT NOT NULL, cause TEXT NOT NULL "
                       "DEFAULT '', line_baud INTEGER NOT NULL DEFAULT 0, wire_bytes BIGINT NOT "
                       "NULL DEFAULT 0, records_new INTEGER NOT NULL DEFAULT 0, records_known "
                       "INTEGER NOT NULL DEFAULT 0, conflicts INTEGER NOT NULL DEFAULT 0, "
                       "read_kind TEXT NOT NULL DEFAULT '', read_why TEXT NOT NULL DEFAULT '', "
                       "series_id BIGINT NOT NULL DEFAULT 0, clock_lead BIGINT, new_series TEXT "
                       "NOT NULL DEFAULT '')")
            .arg(d.id()),
        conflictsTable(d, QStringLiteral("conflicts")),
        QStringLiteral("CREATE INDEX visits_by_meter ON visits (meter_id, started)"),
    };
}

}  // namespace sql

// From the first schema: records and conflicts were kept by meter with the stamp as text
// "2026-03-15 09:30", a caption change as a row of its own. Each meter becomes one series whose
// caption for a channel is the last one it was seen with in use, so channels an instrument
// stopped using can still be exported; the stamps become wall-clock stamps.
bool Archive::upgradeFrom1() {
    const sql::Dialect d{postgres_};
    if (!exec(sql::seriesTable(d)) ||
        !exec(QStringLiteral("ALTER TABLE meters ADD COLUMN series_id BIGINT NOT NULL DEFAULT 0")))
        return false;
    QSqlQuery meters(db_);
    if (!meters.exec(QStringLiteral("SELECT id, captions FROM meters ORDER BY id")))
        return fail(QStringLiteral("upgrading"), meters.lastError().text());
    QList<QPair<qint64, QString>> all;
    while (meters.next()) all.append({meters.value(0).toLongLong(), meters.value(1).toString()});
    meters.finish();
    QSqlQuery changes(db_);
    changes.prepare(QStringLiteral(
        "SELECT captions, seen FROM caption_changes WHERE meter_id = ? ORDER BY seen"));
    QSqlQuery first(db_);
    first.prepare(QStringLiteral("SELECT MIN(started) FROM visits WHERE meter_id = ?"));
    QSqlQuery add(db_);
    add.prepare(
        QStringLiteral("INSERT INTO series (meter_id, number, started, why, captions) "
                       "VALUES (?, 1, ?, '', ?) RETURNING id"));
    QSqlQuery link(db_);
    link.prepare(QStringLiteral("UPDATE meters SET series_id = ? WHERE id = ?"));
    for (const auto& [id, current] : all) {
        QStringList captions = current.split(u'\t');
        while (captions.size() < 8) captions.append(QString());
        changes.addBindValue(id);
        if (!changes.exec()) return fail(QStringLiteral("upgrading"), changes.lastError().text());
        while (changes.next()) {
            const QStringList seen = changes.value(0).toString().split(u'\t');
            for (qsizetype k = 0; k < seen.size() && k < 8; ++k) {
                const bool inUse = !seen[k].isEmpty() && seen[k] != QStringLiteral("Not used");
                const bool nowUnused =
                    captions[k].isEmpty() || captions[k] == QStringLiteral("Not used");
                if (inUse && nowUnused) captions[k] = seen[k];
            }
        }
        changes.finish();
        first.addBindValue(id);
        QString started;
        if (first.exec() && first.next()) started = first.value(0).toString();
        first.finish();
        add.addBindValue(id);
        add.addBindValue(started.isNull() ? QString("") : started);
        add.addBindValue(captions.join(u'\t'));
        if (!add.exec() || !add.next())
            return fail(QStringLiteral("upgrading"), add.lastError().text());
        link.addBindValue(add.value(0).toLongLong());
        link.addBindValue(id);
        add.finish();
        if (!link.exec()) return fail(QStringLiteral("upgrading"), link.lastError().text());
    }
    // "2026-03-15 09:30" was local time on the PC that archived it, but only its parts were
    // ever used: they are the instrument's wall clock.
    const QString stamp = postgres_ ? QStringLiteral("CAST(x.stamp AS TIMESTAMP)")
                                    : QStringLiteral("x.stamp || ':00'");
    return exec(sql::recordsTable(d, QStringLiteral("records_v2"))) &&
           exec(QStringLiteral("INSERT INTO records_v2 (series_id, channel, stamp, value) SELECT "
                               "m.series_id, x.channel, %1, x.value FROM records x JOIN meters m "
                               "ON m.id = x.meter_id")
                    .arg(stamp)) &&
           exec(QStringLiteral("DROP TABLE records")) &&
           exec(QStringLiteral("ALTER TABLE records_v2 RENAME TO records")) &&
           exec(sql::conflictsTable(d, QStringLiteral("conflicts_v2"))) &&
           exec(QStringLiteral("INSERT INTO conflicts_v2 (series_id, channel, stamp, archived, "
                               "offered, visit_id) SELECT m.series_id, x.channel, %1, "
                               "x.archived, x.offered, x.visit_id FROM conflicts x JOIN meters m "
                               "ON m.id = x.meter_id")
                    .arg(stamp)) &&
           exec(QStringLiteral("DROP TABLE conflicts")) &&
           exec(QStringLiteral("ALTER TABLE conflicts_v2 RENAME TO conflicts")) &&
           exec(QStringLiteral("ALTER TABLE visits ADD COLUMN series_id BIGINT NOT NULL DEFAULT "
                               "0")) &&
           exec(QStringLiteral("ALTER TABLE visits ADD COLUMN clock_lead BIGINT")) &&
           exec(QStringLiteral("ALTER TABLE visits ADD COLUMN new_series TEXT NOT NULL DEFAULT "
                               "''")) &&
           exec(QStringLiteral("UPDATE visits SET series_id = (SELECT m.series_id FROM meters m "
                               "WHERE m.id = visits.meter_id)")) &&
           exec(QStringLiteral("DROP TABLE caption_changes")) &&
           exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(kSchemaVersion));
}

}  // namespace tavrel::archive
