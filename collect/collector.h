#pragma once
// A collect round: every meter visited once (again after failures, as the schedule allows),
// each log written to DIR/NAME/YYYY-MM-DD_HHMM.csv under a temporary name first and renamed
// when complete, and a report of how each meter fared.

#include <QList>
#include <QString>

#include "meters.h"

namespace tavrel::collect {

struct CollectOptions {
    QString outDir = QStringLiteral(".");
    int parallel = 0;  // visits at once; 0 = one per line
    int retries = 2;   // further attempts after a failed one
    double backoffSeconds = 60;
    bool force = false;  // visit meters that already have today's file too
    bool trace = false;  // a trace of every visit beside its CSV
    QString archive;     // add every visit to this archive (empty: none)
    bool noCsv = false;  // the archive alone, no CSV files
    bool full = false;   // read whole logs even where the archive could read new records only
};

struct MeterReport {
    QString name;
    QString result;  // "ok", "empty", "failed", "skipped" (collected earlier today)
    int records = 0;
    double seconds = 0;       // on the line, all attempts together
    int lineBaud = 0;         // of the last attempt
    long long wireBytes = 0;  // on the wire, all attempts together
    int retries = 0;
    QString cause;       // of the last failure
    int recordsNew = 0;  // into the archive
    int recordsKnown = 0;
    int conflicts = 0;
    QString read;  // "new-only" or "full (why)"
    QString file;  // the CSV (for "skipped", today's newest)
};

// What the round tells the operator while it runs.
class CollectProgress {
  public:
    virtual ~CollectProgress() = default;
    // Something happened to one meter: a line that stays.
    virtual void event(const QString& text) = 0;
    // What runs now: a line that the next one replaces.
    virtual void status(const QString& text) = 0;
};

// Runs the round; false (with `error`) when it could not start at all: the folder cannot be
// made, or another round is collecting into it.
bool runCollect(const QList<Meter>& meters, const CollectOptions& options,
                CollectProgress& progress, QList<MeterReport>* reports, QString* error);

// The report as JSON (the --report file).
QByteArray reportJson(const QList<MeterReport>& reports, const QString& started,
                      const QString& finished);

// Today's CSV files of a meter's folder, newest last.
QStringList collectedOn(const QString& meterDir, const QString& day);

}  // namespace tavrel::collect
