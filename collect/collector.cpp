#include "collector.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#endif

#include "meter_session.h"
#include "schedule.h"
#include "stop_signals.h"

namespace tavrel::collect {

namespace {

constexpr const char* kPartSuffix = ".part";
constexpr double kClaimWaitSeconds = 5.0;

#ifndef _WIN32
void syncPath(const QString& path, int flags) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}
#endif

// The finished log under its final name: on disk first, then renamed in one step, so a reader
// never sees half a log. The name is free (a second log of the same minute has a name of its
// own), so the rename replaces nothing.
bool publish(const QString& part, const QString& final, QString* error) {
#ifndef _WIN32
    syncPath(part, O_RDONLY);
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(final).constData()) !=
        0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    syncPath(QFileInfo(final).absolutePath(), O_RDONLY | O_DIRECTORY);
    return true;
#else
    QFile::remove(final);
    if (QFile::rename(part, final)) return true;
    *error = QStringLiteral("cannot rename the finished file");
    return false;
#endif
}

QString seconds(double s) { return QString::number(s, 'f', 1); }

struct Running {
    int meter = 0;
    QThread* thread = nullptr;
    std::shared_ptr<std::atomic<int>> percent;
    std::shared_ptr<std::atomic<bool>> stop;
    std::shared_ptr<Visit> visit;
    QElapsedTimer timer;
    QString part;
    QString final;
};

class Round {
  public:
    Round(const QList<Meter>& meters, const CollectOptions& options, CollectProgress& progress,
          QList<MeterReport>& reports)
        : meters_(meters), options_(options), progress_(progress), reports_(reports) {}

    void run(const QList<int>& todo) {
        QList<QString> lines;
        for (const int i : todo) lines.append(lineKey(meters_[i].where));
        const int parallel = options_.parallel > 0 ? options_.parallel : distinctLines(lines);
        schedule_ =
            std::make_unique<Schedule>(lines, parallel, options_.retries, options_.backoffSeconds);
        todo_ = todo;
        clock_.start();
        wake_.setSingleShot(true);
        QObject::connect(&wake_, &QTimer::timeout, &loop_, [this] { step(); });
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, &loop_, [this] { showStatus(); });
        ticker.start(250);
        QTimer::singleShot(0, &loop_, [this] { step(); });
        loop_.exec();
    }

  private:
    double now() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; }

    // A signal asked the round to end: no visit starts, the running ones close their ports, and
    // every meter not collected is reported as such.
    void stop() {
        if (stopping_) return;
        stopping_ = true;
        progress_.event(QStringLiteral("stopping: the running visits end, no new ones start"));
        for (auto& [k, r] : running_) r->stop->store(true);
        wake_.stop();
        QTimer::singleShot(0, &loop_, [this] { step(); });
    }

    void step() {
        if (stopping_) {
            if (!running_.empty()) return;
            for (MeterReport& report : reports_) {
                if (report.result.isEmpty()) {
                    report.result = QStringLiteral("failed");
                    report.cause = QStringLiteral("not visited: the round was stopped");
                }
            }
            progress_.status(QString());
            loop_.quit();
            return;
        }
        for (const int k : schedule_->startNow(now())) start(k);
        if (schedule_->done() && running_.empty()) {
            progress_.status(QString());
            loop_.quit();
            return;
        }
        const double next = schedule_->nextReady();
        if (next > now()) {
            wake_.start(static_cast<int>(std::ceil((next - now()) * 1000.0)));
        }
        showStatus();
    }

    void start(int k) {
        const int index = todo_[k];
        const Meter& meter = meters_[index];
        MeterReport& report = reports_[index];
        const QString dir = QDir(options_.outDir).filePath(meterFolder(meter.name));
        // A forced rerun in the same minute, or a retry: never over the log already there.
        const QString minute =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HHmm"));
        QString stamp = minute;
        for (int n = 2; QFile::exists(QDir(dir).filePath(stamp + QStringLiteral(".csv"))); ++n)
            stamp = minute + QStringLiteral("-%1").arg(n);
        auto r = std::make_unique<Running>();
        r->meter = k;
        r->final = QDir(dir).filePath(stamp + QStringLiteral(".csv"));
        r->part =
            QDir(dir).filePath(u'.' + stamp + QStringLiteral(".csv") + QLatin1String(kPartSuffix));
        r->percent = std::make_shared<std::atomic<int>>(0);
        r->stop = std::make_shared<std::atomic<bool>>(false);
        r->visit = std::make_shared<Visit>();
        const int attempt = schedule_->retriesUsed(k) + 1;
        if (!QDir().mkpath(dir)) {
            r->visit->cause = QStringLiteral("cannot make the folder %1").arg(dir);
            report.retries = attempt - 1;
            finish(*r);
            return;
        }
        const QString trace =
            options_.trace
                ? QDir(dir).filePath(QStringLiteral("%1-%2.trace").arg(stamp).arg(attempt))
                : QString();
        // A meter waiting for another collector's claim is asked again quietly.
        if (!waiting_.contains(k)) {
            progress_.event(
                QStringLiteral("%1: visiting%2")
                    .arg(meter.name, attempt > 1
                                         ? QStringLiteral(" again (attempt %1)").arg(attempt)
                                         : QString()));
        }
        const ArchiveTarget archive{options_.archive, options_.full, options_.force};
        r->thread =
            QThread::create([meter, part = options_.noCsv ? QString() : r->part, trace,
                             visit = r->visit, percent = r->percent, stop = r->stop, archive] {
                *visit = visitMeter(meter, part, trace, percent.get(), stop.get(), archive);
            });
        r->timer.start();
        Running* raw = r.get();
        QObject::connect(r->thread, &QThread::finished, &loop_, [this, raw] {
            raw->thread->wait();
            finish(*raw);
        });
        r->thread->start();
        running_[k] = std::move(r);
    }

    void finish(Running& r) {
        const int k = r.meter;
        const int index = todo_[k];
        const Meter& meter = meters_[index];
        MeterReport& report = reports_[index];
        Visit visit = *r.visit;
        report.seconds +=
            r.timer.isValid() ? static_cast<double>(r.timer.nsecsElapsed()) / 1e9 : 0.0;
        report.retries = schedule_->retriesUsed(k);
        report.lineBaud = visit.lineBaud;
        report.wireBytes += visit.wireBytes;
        report.recordsNew = visit.recordsNew;
        report.recordsKnown = visit.recordsKnown;
        report.conflicts = visit.conflicts;
        report.read = visit.read;
        if (visit.result == Visit::Ok && options_.noCsv) {
            report.records = visit.records;
        } else if (visit.result == Visit::Ok) {
            QString error;
            if (publish(r.part, r.final, &error)) {
                report.file = r.final;
                report.records = visit.records;
            } else {
                visit.result = Visit::Failed;
                visit.cause = QStringLiteral("saving %1: %2").arg(r.final, error);
            }
        }
        if (visit.result != Visit::Ok) QFile::remove(r.part);
        if (visit.result == Visit::Busy) {
            // Not this collector's turn: back to the end of the round, asked again in a while
            // (the other one's visit takes seconds to minutes), said once.
            if (!waiting_.contains(k))
                progress_.event(QStringLiteral("%1: another collector is visiting it; waiting")
                                    .arg(meter.name));
            waiting_.insert(k);
            schedule_->later(k, now(), kClaimWaitSeconds);
            if (r.thread != nullptr) r.thread->deleteLater();
            running_.erase(k);
            QTimer::singleShot(0, &loop_, [this] { step(); });
            return;
        }
        const bool failed = visit.result == Visit::Failed;
        if (failed) {
            report.result = QStringLiteral("failed");
            report.cause = visit.cause;
            if (visit.roundsFailed > 1)
                report.cause +=
                    QStringLiteral("; failed %1 rounds in a row").arg(visit.roundsFailed);
        } else if (visit.result == Visit::Skipped) {
            report.result = QStringLiteral("skipped");
            report.cause = visit.cause;
        } else {
            report.result =
                visit.result == Visit::Ok ? QStringLiteral("ok") : QStringLiteral("empty");
        }
        schedule_->finished(k, failed, now());
        if (visit.result == Visit::Skipped) {
            progress_.event(QStringLiteral("%1: %2").arg(meter.name, visit.cause));
        } else if (!failed) {
            progress_.event(visit.result == Visit::Ok
                                ? QStringLiteral("%1: %2 records in %3 s -> %4")
                                      .arg(meter.name)
                                      .arg(visit.records)
                                      .arg(seconds(report.seconds), r.final)
                                : QStringLiteral("%1: 0 Records Available").arg(meter.name));
        } else if (!stopping_ && schedule_->retriesUsed(k) < options_.retries &&
                   schedule_->nextReady() >= 0) {
            progress_.event(QStringLiteral("%1: failed (%2); trying again in %3 s")
                                .arg(meter.name, visit.cause,
                                     seconds(schedule_->backoffAfter(report.retries + 1))));
        } else {
            progress_.event(QStringLiteral("%1: failed (%2)").arg(meter.name, visit.cause));
        }
        if (r.thread != nullptr) r.thread->deleteLater();
        running_.erase(k);  // r is gone from here on
        QTimer::singleShot(0, &loop_, [this] { step(); });
    }

    void showStatus() {
        QStringList parts;
        for (const auto& [k, r] : running_)
            parts.append(
                QStringLiteral("%1 %2%").arg(meters_[todo_[k]].name).arg(r->percent->load()));
        int done = 0;
        for (const MeterReport& report : reports_) done += report.result.isEmpty() ? 0 : 1;
        progress_.status(QStringLiteral("[%1/%2] %3")
                             .arg(done)
                             .arg(reports_.size())
                             .arg(parts.isEmpty() ? QStringLiteral("waiting to try again")
                                                  : parts.join(QStringLiteral(", "))));
    }

    const QList<Meter>& meters_;
    const CollectOptions& options_;
    CollectProgress& progress_;
    QList<MeterReport>& reports_;
    std::unique_ptr<Schedule> schedule_;
    QList<int> todo_;
    std::map<int, std::unique_ptr<Running>> running_;
    QEventLoop loop_;
    QTimer wake_;
    QElapsedTimer clock_;
    bool stopping_ = false;
    QSet<int> waiting_;  // meters whose claim another collector holds

  public:
    void requestStop() { stop(); }
};

}  // namespace

QStringList collectedOn(const QString& meterDir, const QString& day) {
    return QDir(meterDir).entryList({day + QStringLiteral("_*.csv")}, QDir::Files, QDir::Name);
}

bool runCollect(const QList<Meter>& meters, const CollectOptions& options,
                CollectProgress& progress, QList<MeterReport>* reports, QString* error) {
    if (!QDir().mkpath(options.outDir)) {
        *error = QStringLiteral("cannot make the folder %1").arg(options.outDir);
        return false;
    }
    // Two rounds into one folder (a slow night and the next timer) would visit the same lines.
    QLockFile lock(QDir(options.outDir).filePath(QStringLiteral(".tavrel-collect.lock")));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError) {
            // Not another round: the folder takes no file (read-only, no permission).
            *error = QStringLiteral("cannot write into the folder %1").arg(options.outDir);
            return false;
        }
        qint64 pid = 0;
        QString host;
        QString app;
        lock.getLockInfo(&pid, &host, &app);
        *error = QStringLiteral("another round is collecting into %1 (process %2)")
                     .arg(options.outDir)
                     .arg(pid);
        return false;
    }
    reports->clear();
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QList<int> todo;
    for (qsizetype i = 0; i < meters.size(); ++i) {
        MeterReport report;
        report.name = meters[i].name;
        const QString dir = QDir(options.outDir).filePath(meterFolder(meters[i].name));
        // What a round cut short (power, a kill) left behind is never a finished log.
        for (const QString& part : QDir(dir).entryList(
                 {QStringLiteral(".*") + QLatin1String(kPartSuffix)}, QDir::Files | QDir::Hidden))
            QFile::remove(QDir(dir).filePath(part));
        const QStringList earlier = collectedOn(dir, today);
        if (!options.force && !earlier.isEmpty()) {
            report.result = QStringLiteral("skipped");
            report.file = QDir(dir).filePath(earlier.last());
            QFile done(report.file);
            if (done.open(QIODevice::ReadOnly))
                report.records =
                    static_cast<int>(std::max<qsizetype>(0, done.readAll().count('\n') - 1));
            progress.event(
                QStringLiteral("%1: collected earlier today (%2)").arg(report.name, report.file));
        } else {
            todo.append(static_cast<int>(i));
        }
        reports->append(report);
    }
    if (!todo.isEmpty()) {
        Round round(meters, options, progress, *reports);
        const StopSignals stop([&round] { round.requestStop(); });
        round.run(todo);
    }
    return true;
}

QByteArray reportJson(const QList<MeterReport>& reports, const QString& started,
                      const QString& finished) {
    QJsonArray list;
    int failed = 0;
    for (const MeterReport& r : reports) {
        failed += r.result == QStringLiteral("failed") ? 1 : 0;
        list.append(QJsonObject{
            {QStringLiteral("name"), r.name},
            {QStringLiteral("result"), r.result},
            {QStringLiteral("records"), r.records},
            {QStringLiteral("seconds"), std::round(r.seconds * 10.0) / 10.0},
            {QStringLiteral("retries"), r.retries},
            {QStringLiteral("baud"), r.lineBaud},
            {QStringLiteral("bytes"), static_cast<double>(r.wireBytes)},
            {QStringLiteral("records_new"), r.recordsNew},
            {QStringLiteral("records_known"), r.recordsKnown},
            {QStringLiteral("conflicts"), r.conflicts},
            {QStringLiteral("read"), r.read},
            {QStringLiteral("cause"), r.cause},
            {QStringLiteral("file"), r.file},
        });
    }
    const QJsonObject root{
        {QStringLiteral("started"), started},
        {QStringLiteral("finished"), finished},
        {QStringLiteral("meters"), list},
        {QStringLiteral("failed"), failed},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

}  // namespace tavrel::collect
