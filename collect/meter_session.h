#pragma once
// One visit to one meter: open its line (dialing first when it sits behind a modem), run the
// same download the window runs into `csvPath`, hang up. Runs in the calling thread with a
// session of its own, so visits on different lines can run side by side.

#include <QString>
#include <atomic>

#include "meters.h"

namespace tavrel::collect {

struct Visit {
    // Skipped: collected today already. Busy: another collector is visiting it right now.
    enum Result { Ok, Empty, Failed, Skipped, Busy };
    Result result = Failed;
    int records = 0;
    int lineBaud = 0;         // the speed the line carried (a modem's connect speed if slower)
    long long wireBytes = 0;  // bytes on the wire both ways, modem dialogue included
    // Into an archive: records new and already known, conflicts, and how the log was read.
    int recordsNew = 0;
    int recordsKnown = 0;
    int conflicts = 0;
    QString read;          // "new-only", or "full (why)"
    int roundsFailed = 0;  // after a failure: nights in a row the meter has failed, this one too
    // Why it failed, in the link's and the modem's words ("reading the log size: no reply",
    // "dialing 5551234: busy").
    QString cause;
};

// `percent` follows the download's progress (0..100) for a progress line; `tracePath` empty
// means no trace. When `stop` becomes true (the round is being stopped) the visit closes its
// port within about a tenth of a second and returns Failed.
// The archive a visit adds to (empty `where`: none) and whether to read the whole log anyway.
struct ArchiveTarget {
    QString where;
    bool full = false;
    bool force = false;  // visit a meter another collector collected today too
};

// `csvPath` empty: no CSV (the archive alone).
Visit visitMeter(const Meter& meter, const QString& csvPath, const QString& tracePath,
                 std::atomic<int>* percent, const std::atomic<bool>* stop = nullptr,
                 const ArchiveTarget& archive = {});

}  // namespace tavrel::collect
