// Opening an archive: the connection (SQLite file or PostgreSQL), its limits, read-only use, and
// the schema created or brought up to date.

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>
#include <atomic>

#include "archive.h"
#include "archive_sql.h"

namespace tavrel::archive {

namespace {
std::atomic<int> connections{0};
// A server that takes the connection and never answers must not hold a nightly round for ever;
// SQLite waits as long for another collector's transaction.
constexpr int kConnectSeconds = 10;

// libpq's and SQLite's messages can run over lines; a log line is one.
QString oneLine(const QString& text) { return text.simplified(); }
}  // namespace

QString shownAddress(const QString& where) {
    if (where.startsWith(QStringLiteral("postgresql://")) ||
        where.startsWith(QStringLiteral("postgres://")))
        return QUrl(where).toString(QUrl::RemovePassword);
    static const QRegularExpression password(QStringLiteral("\\s*password\\s*=\\s*('[^']*'|\\S*)"));
    QString shown = where;
    return shown.remove(password).trimmed();
}

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
    error_ = oneLine(why.isEmpty() ? what : what + QStringLiteral(": ") + why);
    if (!password_.isEmpty()) error_.replace(password_, QStringLiteral("***"));
    return false;
}

bool Archive::exec(const QString& sql) {
    QSqlQuery q(db_);
    return q.exec(sql) || fail(sql.section(u' ', 0, 2), q.lastError().text());
}

QString Archive::stampOut(const QString& column) const {
    return postgres_ ? QStringLiteral("to_char(%1, 'YYYY-MM-DD HH24:MI:SS.MS')").arg(column)
                     : column;
}

bool Archive::openDatabase(const QString& where, Mode mode, bool immutable) {
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection_);
    }
    db_ = QSqlDatabase::addDatabase(postgres_ ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                    connection_);
    if (!db_.isValid()) {
        return fail(QStringLiteral("this build cannot reach %1 archives (no Qt SQL driver %2)")
                        .arg(postgres_ ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite"),
                             postgres_ ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE")),
                    {});
    }
    int connectSeconds = kConnectSeconds;
    const bool url = where.startsWith(QStringLiteral("postgresql://")) ||
                     where.startsWith(QStringLiteral("postgres://"));
    if (url) {
        const QUrl u(where);
        const QUrlQuery query(u);
        db_.setUserName(u.userName());
        password_ = u.password();
        db_.setPassword(password_);
        db_.setDatabaseName(u.path().mid(1));
        const QString socketHost = query.queryItemValue(QStringLiteral("host"));
        db_.setHostName(!socketHost.isEmpty() ? socketHost : u.host());
        if (u.port() > 0) db_.setPort(u.port());
        if (query.hasQueryItem(QStringLiteral("connect_timeout")))
            connectSeconds = query.queryItemValue(QStringLiteral("connect_timeout")).toInt();
    } else if (postgres_) {
        // libpq's key=value form: the keys Qt's driver takes apart.
        for (const QString& pair : where.split(u' ', Qt::SkipEmptyParts)) {
            const QString key = pair.section(u'=', 0, 0);
            const QString value = pair.section(u'=', 1);
            if (key == QStringLiteral("host")) db_.setHostName(value);
            if (key == QStringLiteral("port")) db_.setPort(value.toInt());
            if (key == QStringLiteral("dbname")) db_.setDatabaseName(value);
            if (key == QStringLiteral("user")) db_.setUserName(value);
            if (key == QStringLiteral("password")) password_ = value;
            if (key == QStringLiteral("connect_timeout")) connectSeconds = value.toInt();
        }
        db_.setPassword(password_);
    }
    if (postgres_) {
        db_.setConnectOptions(
            QStringLiteral("connect_timeout=%1").arg(connectSeconds > 0 ? connectSeconds : 10));
    } else {
        QStringList options{QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kConnectSeconds * 1000)};
        if (mode == Mode::ReadOnly) options << QStringLiteral("QSQLITE_OPEN_READONLY");
        if (immutable) options << QStringLiteral("QSQLITE_OPEN_URI");
        db_.setConnectOptions(options.join(u';'));
        db_.setDatabaseName(immutable ? QStringLiteral("file:%1?immutable=1")
                                            .arg(QString::fromUtf8(QUrl::toPercentEncoding(
                                                QFileInfo(where).absoluteFilePath(), "/")))
                                      : where);
    }
    if (!db_.open()) return fail(QStringLiteral("cannot open"), db_.lastError().text());
    return true;
}

bool Archive::open(const QString& where, QString* error, Mode mode) {
    const bool url = where.startsWith(QStringLiteral("postgresql://")) ||
                     where.startsWith(QStringLiteral("postgres://"));
    postgres_ = url || where.contains(QStringLiteral("dbname=")) ||
                where.startsWith(QStringLiteral("host="));
    const QString shown = shownAddress(where);
    auto failed = [&] {
        *error = QStringLiteral("archive %1: %2").arg(shown, error_);
        return false;
    };
    if (!postgres_ && mode == Mode::ReadOnly && !QFileInfo::exists(where)) {
        fail(QStringLiteral("no such file"), {});
        return failed();
    }
    if (!openDatabase(where, mode, false)) return failed();
    if (postgres_) {
        // CREATE ... IF NOT EXISTS and the like tell NOTICEs on stderr: not for a nightly log.
        if (!exec(QStringLiteral("SET client_min_messages TO warning"))) return failed();
    } else if (mode == Mode::ReadWrite && (!exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
                                           !exec(QStringLiteral("PRAGMA synchronous=NORMAL")))) {
        return failed();
    }
    int found = schemaFound();
    if (found == -2 && !postgres_ && mode == Mode::ReadOnly) {
        // A WAL archive in a folder this user cannot write: SQLite cannot make its shared
        // memory file there. Read it as it stands.
        if (!openDatabase(where, mode, true)) return failed();
        found = schemaFound();
    }
    if (found == -2) return failed();
    if (mode == Mode::ReadOnly) {
        if (found < 0) {
            fail(QStringLiteral("holds no archive of this tool"), {});
            return failed();
        }
        if (found > kSchemaVersion) {
            fail(QStringLiteral("it was made by a newer tool (schema %1, this tool knows %2)")
                     .arg(found)
                     .arg(kSchemaVersion),
                 {});
            return failed();
        }
        if (found == kSchemaVersion) return true;
        // An older archive: brought up to date where this user may write it.
        if (!openDatabase(where, Mode::ReadWrite, false) || !createSchema()) {
            error_ = QStringLiteral(
                         "its schema %1 must be upgraded by a download or collect "
                         "that can write it (%2)")
                         .arg(found)
                         .arg(error_);
            return failed();
        }
        return true;
    }
    if (found == kSchemaVersion) return true;  // nothing to create: nothing written
    if (!createSchema()) return failed();
    return true;
}

// The schema's version; -1 where there is none yet, -2 when the archive cannot be read.
int Archive::schemaFound() {
    QSqlQuery q(db_);
    const QString exists = postgres_
                               ? QStringLiteral(
                                     "SELECT COUNT(*) FROM information_schema.tables WHERE "
                                     "table_schema = current_schema() AND table_name = "
                                     "'schema_version'")
                               : QStringLiteral(
                                     "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND "
                                     "name = 'schema_version'");
    if (!q.exec(exists) || !q.next())
        return fail(QStringLiteral("reading"), q.lastError().text()), -2;
    if (q.value(0).toInt() == 0) return -1;
    q.finish();
    if (!q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) || !q.next())
        return fail(QStringLiteral("reading"), q.lastError().text()), -2;
    return q.value(0).isNull() ? -1 : q.value(0).toInt();
}

bool Archive::createSchema() {
    if (!db_.transaction()) return fail(QStringLiteral("begin"), db_.lastError().text());
    const auto undo = [this] {
        db_.rollback();
        return false;
    };
    // Two collectors starting at once must not both create or upgrade the tables.
    if (postgres_ && !exec(QStringLiteral("SELECT pg_advisory_xact_lock(727001)"))) return undo();
    const int found = schemaFound();
    if (found == -2) return undo();
    if (found > kSchemaVersion) {
        fail(QStringLiteral("it was made by a newer tool (schema %1, this tool knows %2)")
                 .arg(found)
                 .arg(kSchemaVersion),
             {});
        return undo();
    }
    if (found == kSchemaVersion) return db_.commit() || fail("commit", db_.lastError().text());
    const sql::Dialect d{postgres_};
    bool ok = true;
    if (found < 0) {
        for (const QString& statement : sql::createStatements(d)) ok = ok && exec(statement);
        ok = ok && exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)")
                            .arg(kSchemaVersion));
    } else {
        ok = upgradeFrom1();
    }
    if (!ok) return undo();
    return db_.commit() || fail(QStringLiteral("commit"), db_.lastError().text());
}

}  // namespace tavrel::archive
