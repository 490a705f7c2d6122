#include "archive_visit.h"

#include <QTimeZone>

#include "clock.h"
#include "download_driver.h"
#include "link.h"

namespace tavrel::archive {

namespace {
qint64 wireBytes(const Link& link) {
    return link.counters().bytesSent + link.counters().bytesReceived;
}
// Now on the link's clock (the simulated instrument's virtual one in tests), as the PC's wall
// clock: the night the clocks go forward has no 02:30 in local time, but a visit can start then.
QDateTime now(const Link& link) {
    return asWall(QDateTime(link.clock().today(),
                            QTime::fromMSecsSinceStartOfDay(
                                static_cast<int>(link.clock().timeOfDay() * 1000.0) % 86400000),
                            QTimeZone::utc()));
}
}  // namespace

ArchiveVisitResult visitIntoArchive(Archive& archive, DownloadDriver& driver, Link& link,
                                    const ArchiveVisitOptions& options) {
    ArchiveVisitResult r;
    VisitData& v = r.visit;
    v.meter = options.meter;
    v.place = options.place;
    v.slave = link.state().CommSlaveID;
    v.started = now(link);
    const qint64 bytesBefore = wireBytes(link);
    const MeterLog known = archive.meterLog(options.meter);
    // The visit is in the archive before the line is used: a collector killed during it
    // leaves it as "interrupted", and an archive that cannot be written costs no call.
    v.captions = known.captions;
    if (!archive.beginVisit(v)) {
        r.status = kDownloadFailed;
        r.outcome.error = archive.errorText();
        return r;
    }

    bool newOnly = false;
    driver.setStartChooser([&](const LogShape& shape) -> std::int32_t {
        newOnly = false;
        if (options.full) {
            v.readWhy = QStringLiteral("a whole read was asked for");
        } else if (!known.known || known.lastBlock.isEmpty()) {
            v.readWhy = QStringLiteral("first visit");
        } else if (known.captions != shape.captionList()) {
            v.readWhy = QStringLiteral("captions changed");
        } else if (shape.total < known.logBytes) {
            v.readWhy = QStringLiteral("the log shrank (%1 bytes, were %2): cleared or restarted")
                            .arg(shape.total)
                            .arg(known.logBytes);
        } else {
            newOnly = true;
            return known.lastBlockAt;
        }
        return 0;
    });
    r.status = driver.onDownloadClicked();
    if (r.status == kDownloadOk && newOnly && !driver.logBytes().startsWith(known.lastBlock)) {
        // Not the log the archive knows there: a different instrument, or one rewritten.
        newOnly = false;
        driver.setStartChooser([](const LogShape&) { return 0; });
        r.status = driver.onDownloadClicked();
        v.readWhy = QStringLiteral("the bytes at the last archived record differ");
    }
    driver.setStartChooser({});
    v.ended = now(link);
    v.lineBaud = link.lineBaud();
    v.wireBytes = wireBytes(link) - bytesBefore;
    if (!driver.shape().captionList().join(QString()).isEmpty())
        v.captions = driver.shape().captionList();
    v.readKind = newOnly ? QStringLiteral("new-only") : QStringLiteral("full");
    if (r.status == kDownloadOk || r.status == 3) {
        v.result = QStringLiteral("ok");
        v.logBytes = driver.shape().total;
        v.readFrom = driver.readFrom();
        v.bytes = driver.logBytes();
        v.stateAtRead = newOnly ? known.lastBlockState : StreamState{};
        r.outcome = archive.addVisit(v);
        r.stored = r.outcome.error.isEmpty();
        if (!r.stored) {
            // The records could not be stored: the night is a failed visit on the status page.
            VisitData failed = v;
            failed.result = QStringLiteral("failed");
            failed.cause = QStringLiteral("archiving: ") + r.outcome.error;
            failed.newSeries.clear();
            archive.addFailedVisit(failed);
        }
    } else {
        v.result = r.status == kDownloadEmpty ? QStringLiteral("empty") : QStringLiteral("failed");
        v.cause = driver.failureCause();
        v.newSeries.clear();
        r.stored = archive.addFailedVisit(v);
        if (!r.stored) r.outcome.error = archive.errorText();
    }
    return r;
}

}  // namespace tavrel::archive
