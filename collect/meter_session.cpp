#include "meter_session.h"

#include "archive_visit.h"

#include <QTimer>

#include "comm_port.h"
#include "download_driver.h"
#include "modem.h"
#include "session.h"

namespace tavrel::collect {

namespace {

class QuietDownloadView final : public DownloadView {
  public:
    explicit QuietDownloadView(std::atomic<int>* percent) : percent_(percent) {}
    void setDownloadStatus(const QString& text) override { (void)text; }
    void setProgress(float percent) override {
        if (percent_ != nullptr) percent_->store(static_cast<int>(percent));
    }
    void setCountText(int index, const QString& text) override { (void)index, (void)text; }
    void setDownloadEnabled(bool enabled) override { (void)enabled; }

  private:
    std::atomic<int>* percent_;
};

class QuietModemView final : public ModemView {
  public:
    void setModemStatus(const QString& text) override {
        status_ = text;
        // The reply text grows a byte at a time; keep the last one before "Could not connect".
        if (text != QStringLiteral("Could not connect")) lastReply_ = text;
    }
    QString modemStatus() const override { return status_; }
    void setHangUpVisible(bool visible) override { (void)visible; }
    const QString& lastReply() const { return lastReply_; }

  private:
    QString status_;
    QString lastReply_;
};

// Why a dial did not connect, from what the modem said last.
QString dialFailure(const QuietModemView& view, Link& link, const QString& number) {
    const QString step = QStringLiteral("dialing %1: ").arg(number);
    if (!link.port().portOpen() && !link.port().errorText().isEmpty())
        return step + QStringLiteral("port not open (") + link.port().errorText() + u')';
    const QString reply = view.lastReply().startsWith(QStringLiteral("Dialing "))
                              ? QString()  // not a byte after the dial command
                              : view.lastReply();
    const QString refusal = Modem::refusal(reply);
    if (!refusal.isEmpty()) return step + refusal;
    if (reply.trimmed().isEmpty()) return step + QStringLiteral("the modem did not answer");
    return step + QStringLiteral("no connect report within 90 s");
}

}  // namespace

Visit visitMeter(const Meter& meter, const QString& csvPath, const QString& tracePath,
                 std::atomic<int>* percent, const std::atomic<bool>* stop,
                 const ArchiveTarget& archiveTarget) {
    SessionOptions options;
    options.ports.set(1, meter.where);
    options.tracePath = tracePath;
    Session session(options);
    ProgramState& s = session.state();
    s.CommPort = 1;
    s.CommBaud = meter.baud;
    s.CommSlaveID = static_cast<std::int16_t>(meter.slave);
    s.DownloadSaveFile = csvPath;
    Link& link = session.link();
    // The round is stopped from another thread; the link belongs to this one. Its waits run
    // this thread's events, so a timer here sees the request and ends them.
    QTimer watch;
    if (stop != nullptr) {
        QObject::connect(&watch, &QTimer::timeout, [stop, &link] {
            if (stop->load()) link.shutDown();
        });
        watch.start(100);
    }
    const auto stopped = [stop] { return stop != nullptr && stop->load(); };

    Visit visit;
    // The archive is opened before the line: a wrong address fails the visit without a call.
    archive::Archive archive;
    if (!archiveTarget.where.isEmpty()) {
        QString error;
        if (!archive.open(archiveTarget.where, &error)) {
            visit.cause = error;
            return visit;
        }
        // Another collector may reach this meter too: one of them visits it. A claim held
        // elsewhere sends the meter to the back of the round (its visit may fail, or its
        // collector be killed: then this one takes it).
        const auto claim = archive.claim(meter.name, QDate::currentDate(), archiveTarget.force);
        if (claim != archive::Archive::Claim::Mine) {
            const bool done = claim == archive::Archive::Claim::DoneToday;
            visit.result = done ? Visit::Skipped : Visit::Busy;
            visit.cause = done ? QStringLiteral("collected today already")
                               : QStringLiteral("another collector is visiting it");
            return visit;
        }
    }
    // What the line carried, taken before the hang-up ends the modem's connection.
    const auto tally = [&] {
        visit.lineBaud = link.lineBaud();
        visit.wireBytes = link.counters().bytesSent + link.counters().bytesReceived;
    };
    QuietModemView modemView;
    Modem modem(link, modemView);
    modem.setStopAtRefusal(true);
    const bool dialed = !meter.phone.isEmpty();
    if (dialed) {
        modem.DialModem(meter.phone);
        const QString status = modemView.modemStatus();
        const bool connected =
            link.port().portOpen() && (status.contains(QStringLiteral("CONNECT")) ||
                                       status.contains(QStringLiteral("Connect")));
        if (!connected) {
            visit.cause = stopped() ? QStringLiteral("the round was stopped")
                                    : dialFailure(modemView, link, meter.phone);
            tally();
            if (!archiveTarget.where.isEmpty()) {
                // The night's failed call belongs to the meter's history too.
                archive::VisitData failed;
                failed.meter = meter.name;
                failed.place = meter.where;
                failed.slave = meter.slave;
                failed.started = failed.ended = archive::wallNow();
                failed.result = QStringLiteral("failed");
                failed.cause = visit.cause;
                failed.lineBaud = visit.lineBaud;
                failed.wireBytes = visit.wireBytes;
                archive.addFailedVisit(failed);
                visit.roundsFailed = archive.roundsFailed(meter.name);
            }
            // A CONNECT that comes late would hold the line open all night.
            if (modem.dialSent() && link.port().portOpen()) modem.HangUp();
            link.port().setPortOpen(false);
            return visit;
        }
    }
    QuietDownloadView view(percent);
    FlexGrid grid(kRecordsGridRows, kRecordsGridCols);
    DownloadDriver driver(link, grid, view);
    int status = -1;
    if (archiveTarget.where.isEmpty()) {
        status = driver.onDownloadClicked();
    } else {
        archive::ArchiveVisitOptions options;
        options.meter = meter.name;
        options.place = meter.where;
        options.full = archiveTarget.full;
        const archive::ArchiveVisitResult r =
            archive::visitIntoArchive(archive, driver, link, options);
        status = r.status;
        // No CSV wanted: the export's refusal of an empty file name is no failure.
        if (status == 3 && csvPath.isEmpty()) status = kDownloadOk;
        // Counts of a visit the archive did not take would be a lie: addVisit left them 0.
        visit.recordsNew = r.outcome.recordsNew;
        visit.recordsKnown = r.outcome.recordsKnown;
        visit.conflicts = r.outcome.conflicts;
        visit.read = r.visit.readKind == QStringLiteral("full")
                         ? QStringLiteral("full (%1)").arg(r.visit.readWhy)
                         : r.visit.readKind;
        if (!r.outcome.newSeries.isEmpty())
            visit.read += QStringLiteral("; another instrument, kept apart as series %1: %2")
                              .arg(r.outcome.series)
                              .arg(r.outcome.newSeries);
        if (!r.stored && (status == kDownloadOk || !r.outcome.error.isEmpty())) {
            tally();
            visit.cause = QStringLiteral("archiving: ") + r.outcome.error;
            return visit;
        }
        if (status != kDownloadOk && status != kDownloadEmpty)
            visit.roundsFailed = archive.roundsFailed(meter.name);
    }
    tally();
    if (status == kDownloadOk) {
        visit.result = Visit::Ok;
        visit.records = s.RecordRow - 1;
    } else if (status == kDownloadEmpty) {
        visit.result = Visit::Empty;
    } else {
        visit.cause = driver.failureCause();
        if (visit.cause.isEmpty()) visit.cause = QStringLiteral("download failed");
    }
    if (stopped()) {
        // Whatever the download got is not the whole log.
        visit.result = Visit::Failed;
        visit.cause = QStringLiteral("the round was stopped");
        return visit;  // the port is closed: a modem hangs up when its line drops
    }
    if (dialed) {
        modem.HangUp();
    } else {
        link.port().setPortOpen(false);
    }
    return visit;
}

}  // namespace tavrel::collect
