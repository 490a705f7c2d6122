#pragma once
// A visit into the archive: the download as ever, but reading only what is new when the meter
// has history, and adding the visit to the archive in one transaction.
//
// A meter with history is read with the size registers and the eight set-up records; if the
// captions are as archived and the log has not shrunk, the block pass starts at the 256-byte
// step that holds the last archived record. The bytes read there must equal the archived last
// block byte for byte; then only the rest is new. Anything else (first visit, `full`, captions
// changed, the log cleared or shrunk, a different instrument, the overlap differs) reads the
// whole log and says why.

#include <QString>

#include "archive.h"

namespace tavrel {
class DownloadDriver;
class Link;
}  // namespace tavrel

namespace tavrel::archive {

struct ArchiveVisitOptions {
    QString meter;
    QString place;
    bool full = false;  // a whole read whatever the archive holds
};

struct ArchiveVisitResult {
    int status = -1;  // the download's result (0 done, 1 empty log, 2 failed, 3 CSV not written)
    VisitData visit;
    VisitOutcome outcome;
    bool stored = false;  // the visit is in the archive
};

// Runs `driver`'s download (the window's, the CLI's or a collect visit's) against the archive.
ArchiveVisitResult visitIntoArchive(Archive& archive, DownloadDriver& driver, Link& link,
                                    const ArchiveVisitOptions& options);

}  // namespace tavrel::archive
