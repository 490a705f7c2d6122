#pragma once
// The order of a collect round: which meter goes next, on which line, and when a failed one is
// tried again. One visit at a time per line; up to `parallel` visits at once over all lines; a
// failed meter waits its back-off (doubling each time) while the others go on, so a busy modem
// or a silent meter is tried again later in the round, not at once. Times are seconds on any
// clock the caller keeps.

#include <QList>
#include <QString>

namespace tavrel::collect {

class Schedule {
  public:
    Schedule(const QList<QString>& lineKeys, int parallel, int retries, double backoffSeconds);

    // The meters to start now, marked running: the ones waiting longest first, in list order.
    QList<int> startNow(double now);
    // A visit ended. A failed meter with retries left waits its back-off; otherwise it is done.
    void finished(int meter, bool failed, double now);
    // A visit that could not begin (another collector holds the meter): back in the queue after
    // `wait`, its attempts as they were.
    void later(int meter, double now, double wait);
    bool done() const;
    // The earliest time a waiting meter may start, or a negative value when none waits. A time
    // already past means it waits for a line or a free slot: only a visit ending frees those.
    double nextReady() const;
    int retriesUsed(int meter) const {
        return entries_[meter].attempts > 0 ? entries_[meter].attempts - 1 : 0;
    }
    int running() const { return running_; }
    // The back-off before attempt `attempt` + 1 after `attempt` failures.
    double backoffAfter(int failures) const;

  private:
    enum class State { Waiting, Running, Done };
    struct Entry {
        QString line;
        int attempts = 0;
        double notBefore = 0;
        State state = State::Waiting;
    };
    bool lineBusy(const QString& line) const;
    QList<Entry> entries_;
    int parallel_;
    int retries_;
    double backoff_;
    int running_ = 0;
};

// Meters on distinct lines: the default number of visits at once.
int distinctLines(const QList<QString>& lineKeys);

}  // namespace tavrel::collect
