#pragma once
// One history per meter in a real database, through Qt SQL: SQLite by default (a file, nothing to
// set up), PostgreSQL for an office server. One schema for both, created and upgraded here.
//
// What it holds: meters (name, where, slave ID, the eight captions as last seen); series (one
// per instrument seen at a meter's name, with its captions: another instrument there starts a
// new series instead of mixing into the old one); records (series, channel, the instrument's
// wall-clock stamp with its year, value: one row per series, channel and stamp); visits (start
// and end on the PC's wall clock to the millisecond, result, cause, line speed, bytes on the
// wire, records new and already known, whole or new-only read and why, how far the instrument's
// last record lay from the PC's clock) and conflicts (a stamp seen again with another value: the
// archived value stays). Besides, for each meter, the raw bytes of its last 256-byte step of log
// and the stream state there, so the next visit can read only what is new.
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
#include "wall_clock.h"

namespace tavrel::archive {

inline constexpr int kSchemaVersion = 2;
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
    qint64 series = 0;           // the instrument's series now (0: none yet)
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
    QString newSeries;        // why this is another instrument (empty: the same one)
    qint64 visitId = 0;       // the row beginVisit made (0: none yet)
};

struct VisitOutcome {
    int recordsNew = 0;
    int recordsKnown = 0;
    int conflicts = 0;
    int series = 0;             // the series' number at the meter (1, 2, ...)
    QString newSeries;          // why this visit started a series of its own (not the first)
    qint64 clockLead = 0;       // seconds the last record lies after the PC's clock
    bool hasClockLead = false;  // the visit read a record
    QString error;              // empty when the visit was stored
};

struct MeterSummary {
    QString name;
    QString place;
    int series = 0;
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
    qint64 intervalSeconds = 0;  // the logging step seen most often (0: not known)
    bool hasClockLead = false;   // the last visit that read the log measured it
    qint64 clockLead = 0;        // seconds its last record lay after the PC's clock
    QString clockNote;           // "clock runs ahead", "clock behind or not logging", or empty
    int series = 0;              // instruments seen at this name
    QString seriesNote;          // the newest series: since when and why (more than one)
    QStringList nights;          // the last N nights, oldest first: "ok", "failed", "empty", ""
};

// A series of a meter: one instrument's history there.
struct SeriesInfo {
    qint64 id = 0;
    int number = 0;
    QDateTime started;  // the visit that found it
    QString why;        // why it is another instrument (empty for the first)
    QStringList captions;
};

// An export: its columns (each a series' channel with the caption it had) and rows.
struct ExportColumn {
    QString caption;
    qint64 series = 0;
    int channel = 0;
};
struct ExportRow {
    QDateTime stamp;
    QList<double> values;  // per column; NaN: none at that stamp
};
struct ExportTable {
    QList<ExportColumn> columns;
    QList<ExportRow> rows;
};

struct ConflictRow {
    QString meter;
    int series = 0;
    QDateTime stamp;
    int channel = 0;
    QString caption;
    double archived = 0;
    double offered = 0;
    QDateTime visit;
};

class Archive {
  public:
    Archive();
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // "tavrel.db" or any file path: SQLite. "postgresql://USER@HOST[:PORT]/DB" (a socket folder
    // as ?host=/path, ?connect_timeout=S) or a libpq string "host=... dbname=...": PostgreSQL.
    // Creates or upgrades the schema. False with `error` set when it cannot: one line, never the
    // password. Read-only: changes nothing (an older schema is upgraded only where it may be
    // written).
    enum class Mode { ReadWrite, ReadOnly };
    bool open(const QString& where, QString* error, Mode mode = Mode::ReadWrite);
    bool isPostgres() const { return postgres_; }
    QString errorText() const { return error_; }

    MeterLog meterLog(const QString& meter);
    // The visit's row, written before the line is used, as "interrupted": a collector killed
    // during the visit leaves it so, and the status page shows it. Sets visit.visitId.
    bool beginVisit(VisitData& visit);
    // Everything of one visit in one transaction: the meter's row, a new series when it is
    // another instrument, every record (one already archived with the same value is counted as
    // known, with another value as a conflict, and the archived value stays), the conflicts,
    // the visit row and the meter's last block. All of it or none of it.
    VisitOutcome addVisit(const VisitData& visit);
    // A visit that read nothing (a failed dial, a silent meter), or whose records could not be
    // stored: its row alone.
    bool addFailedVisit(const VisitData& visit);

    QList<MeterSummary> meters();
    QList<SeriesInfo> series(const QString& meter);
    // The meter's records from `from` to `to` (invalid: no bound; both inclusive), one row per
    // stamp; the columns are the channels each series in that range had, with its captions
    // (the same caption of two series is one column). `series` > 0: that series alone.
    // Empty columns and `error` set when there is no such meter or series.
    ExportTable exportTable(const QString& meter, const QDateTime& from, const QDateTime& to,
                            int series = 0);

    // That table as the tool's own CSV (the header and the number and stamp texts of a
    // download) into `file`, written whole or not at all. The number of rows, or -1 with
    // `error` (no such meter, the archive not read, the file not written).
    int writeCsv(const QString& meter, const QDateTime& from, const QDateTime& to,
                 const QString& file, QString* error, int series = 0);
    // The conflicts kept (all meters when `meter` is empty), oldest visit first.
    QList<ConflictRow> conflicts(const QString& meter);

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
    bool upgradeFrom1();
    int schemaFound();
    bool openDatabase(const QString& where, Mode mode, bool immutable);
    qint64 meterId(const VisitData& visit, const MeterLog& before);
    qint64 newSeries(qint64 meter, const VisitData& visit);
    bool writeVisit(qint64 meter, qint64 series, const VisitData& visit,
                    const VisitOutcome& outcome, qint64* id);
    bool fail(const QString& what, const QString& why);
    // A stamp column as text both engines give alike.
    QString stampOut(const QString& column) const;

    QString connection_;
    QSqlDatabase db_;
    bool postgres_ = false;
    QString password_;  // kept out of every message
    QString error_;
};

// Why a visit's log is not the instrument the archive knows at the meter's name: other
// captions, or other bytes where the last visit stopped reading. Empty: the same instrument.
QString anotherInstrument(const MeterLog& known, const VisitData& visit);

// An archive's address fit to be shown: a URL or libpq string without its password.
QString shownAddress(const QString& where);

}  // namespace tavrel::archive
