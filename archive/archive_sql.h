#pragma once
// The archive's tables, written once for both engines: where SQLite and PostgreSQL differ (row
// ids, raw bytes, the wall-clock stamp's type) the dialect says which.

#include <QString>
#include <QStringList>

namespace tavrel::archive::sql {

struct Dialect {
    bool postgres = false;
    QString id() const {
        return postgres ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                        : QStringLiteral("INTEGER PRIMARY KEY");
    }
    QString blob() const { return postgres ? QStringLiteral("BYTEA") : QStringLiteral("BLOB"); }
    // The instrument's wall clock: PostgreSQL's timestamp without time zone; in SQLite the ISO
    // text "2026-03-15 09:30:00", which sorts as the stamps do.
    QString stamp() const {
        return postgres ? QStringLiteral("TIMESTAMP(3) WITHOUT TIME ZONE") : QStringLiteral("TEXT");
    }
};

// The statements that make today's schema in an empty database, in order.
QStringList createStatements(const Dialect& d);
QString seriesTable(const Dialect& d);
// Today's records and conflicts tables under another name (the upgrade fills them first).
QString recordsTable(const Dialect& d, const QString& name);
QString conflictsTable(const Dialect& d, const QString& name);

}  // namespace tavrel::archive::sql
