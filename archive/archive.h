#pragma once
// One history per meter in a real database, through Qt SQL: SQLite by default (a file, nothing to
// set up), PostgreSQL for an office server. One schema for both, created and upgraded here.
//
// What it holds: meters (name, where, slave ID, the eight captions as last seen, with every
// change kept), records (meter, channel, time stamp with its year, value: one row per meter,
// channel and stamp), visits (start, end, result, cause, line speed, bytes on the wire, records
// new and already known, whole or new-only read and why) and conflicts (a stamp seen again with
// another value: the archived value stays). Besides, for each meter, the raw bytes of its last
// 256-byte step of log and the stream state there, so the next visit can read only what is new.
//
// An Archive is one connection: make one per thread.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

#include "log_stream.h"

namespace tavrel::archive {

inline constexpr int kSchemaVersion = 1;
inline const QString kDefaultArchive = QStringLiteral("tavrel.db");

// What the archive knows of a meter's log, for the next visit's choice of where to read from.
struct MeterLog {
    bool known = false;  // the meter has a row
    qint64 id = 0;
    QStringList captions;        // eight, as last seen
    qint32 logBytes = 0;         // the log's size at the last visit
    qint32 lastBlockAt = 0;      // where `lastBlock` starts (a multiple of 256)
    QByteArray lastBlock;        // the raw log bytes from lastBlockAt to logBytes
    StreamState lastBlockState;  // the stream's state where lastBlock starts
};

// One visit to add: what was read and how.
struct VisitData {
    QString meter;
    QString place;
    int slave = 1;
    QStringList captions;  // eight
    QDateTime started;
    QDateTime ended;
    QString result;  // "ok", "empty", "failed"
    QString cause;
    int lineBaud = 0;
    qint64 wireBytes = 0;
    QString readKind;         // "full" or "new-only"
    QString readWhy;          // why a whole read ("first visit", "captions changed", ...)
    qint32 logBytes = 0;      // the log's size this visit
    qint32 readFrom = 0;      // where this visit's bytes start (a multiple of 256)
    QByteArray bytes;         // the raw log bytes read, from readFrom
    StreamState stateAtRead;  // the stream's state at readFrom
};

struct VisitOutcome {
    int recordsNew = 0;
    int recordsKnown = 0;
    int conflicts = 0;
    QString error;  // empty when the visit was stored
};

struct MeterSummary {
    QString name;
    QString place;
    QDateTime firstRecord;
    QDateTime lastRecord;
    qint64 records = 0;
    QDateTime lastVisit;
    QString lastResult;
};

// A meter's standing for the morning's status page.
struct MeterStatus {
    QString name;
    QDateTime lastGood;  // the last visit that read the log (invalid: never)
    QString lastResult;  // of the last visit
    QString lastCause;
    int roundsFailed = 0;  // nights in a row whose visits all failed, up to the last
    int recordsNew = 0;    // at the last visit
    qint64 wireBytes = 0;  // of the last visit
    double seconds = 0;    // of the last visit
    int gaps = 0;          // missing logging intervals in the history
    int conflicts = 0;
    QStringList nights;  // the last N nights, oldest first: "ok", "failed", "empty", ""
};

// A row of an export: one time stamp, the value of each channel (NaN: none at that stamp).
struct ExportRow {
    QDateTime stamp;
    std::array<double, 9> values{};  // index 1..8
};

class Archive {
  public:
    Archive();
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // "tavrel.db" or any file path: SQLite. "postgresql://USER@HOST[:PORT]/DB" (a socket folder
    // as ?host=/path) or a libpq string "host=... dbname=...": PostgreSQL. Creates or upgrades
    // the schema. False with `error` set when it cannot.
    bool open(const QString& where, QString* error);
    bool isPostgres() const { return postgres_; }
    QString errorText() const { return error_; }

    MeterLog meterLog(const QString& meter);
    // Everything of one visit in one transaction: the meter's row, a caption change, every
    // record (one already archived with the same value is counted as known, with another value
    // as a conflict, and the archived value stays), the conflicts, the visit row and the
    // meter's last block. All of it or none of it.
    VisitOutcome addVisit(const VisitData& visit);
    // A visit that read nothing (a failed dial, a silent meter): its row alone.
    bool addFailedVisit(const VisitData& visit);

    QList<MeterSummary> meters();
    // The meter's records from `from` to `to` (invalid: no bound), one row per stamp, and its
    // captions (eight) for the header.
    QList<ExportRow> exportRows(const QString& meter, const QDateTime& from, const QDateTime& to,
                                QStringList* captions);

    // Those rows as the tool's own CSV (the header and the number and stamp texts of a
    // download, the channels in use as last named) into `file`, written whole or not at all.
    // The number of rows, or -1 with `error` (no such meter, the file not written).
    int writeCsv(const QString& meter, const QDateTime& from, const QDateTime& to,
                 const QString& file, QString* error);

    // A fleet of collectors on one PostgreSQL: a meter more than one can reach is visited by
    // one of them. The claim is a session lock of this connection, so it goes with the
    // connection when its collector ends or is killed. Busy: another collector holds it now;
    // DoneToday: a visit read it today already (then the claim is let go at once).
    enum class Claim { Mine, Busy, DoneToday };
    Claim claim(const QString& meter, const QDate& today, bool force);
    void releaseClaim(const QString& meter);

    // Per meter, worst first: failing the most nights in a row, then the longest since a good
    // visit. `nights` of history for the strip, up to `today`.
    QList<MeterStatus> status(int nights, const QDate& today);
    // Nights in a row, up to the last visit, on which every visit to the meter failed.
    int roundsFailed(const QString& meter);

    // Told as records are stored (done, of total), e.g. for a progress line.
    std::function<void(int done, int total)> onRecords;

  private:
    bool exec(const QString& sql);
    bool createSchema();
    qint64 meterId(const VisitData& visit, const MeterLog& before);
    qint64 insertVisit(qint64 meter, const VisitData& visit, const VisitOutcome& outcome);
    bool fail(const QString& what, const QString& why);

    QString connection_;
    QSqlDatabase db_;
    bool postgres_ = false;
    QString error_;
};

// The stamp as the archive keeps it: "2026-03-15 09:30", sortable in both engines.
QString stampKey(const QDateTime& stamp);
QDateTime stampFromKey(const QString& key);

}  // namespace tavrel::archive
