#include "schedule.h"

#include <QSet>
#include <algorithm>
#include <cmath>

namespace tavrel::collect {

namespace {
// A meter never waits longer than this many back-offs, however often it failed.
constexpr double kMostBackoffs = 16.0;
}  // namespace

int distinctLines(const QList<QString>& lineKeys) {
    return static_cast<int>(QSet<QString>(lineKeys.begin(), lineKeys.end()).size());
}

Schedule::Schedule(const QList<QString>& lineKeys, int parallel, int retries, double backoffSeconds)
    : parallel_(std::max(1, parallel)), retries_(std::max(0, retries)), backoff_(backoffSeconds) {
    for (const QString& line : lineKeys) entries_.append(Entry{line});
}

bool Schedule::lineBusy(const QString& line) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const Entry& e) { return e.state == State::Running && e.line == line; });
}

double Schedule::backoffAfter(int failures) const {
    return backoff_ * std::min(kMostBackoffs, std::pow(2.0, std::max(0, failures - 1)));
}

QList<int> Schedule::startNow(double now) {
    QList<int> ready;
    for (int i = 0; i < entries_.size(); ++i) {
        if (entries_[i].state == State::Waiting && entries_[i].notBefore <= now) ready.append(i);
    }
    std::stable_sort(ready.begin(), ready.end(),
                     [&](int a, int b) { return entries_[a].notBefore < entries_[b].notBefore; });
    QList<int> started;
    for (const int i : ready) {
        if (running_ >= parallel_) break;
        if (lineBusy(entries_[i].line)) continue;
        entries_[i].state = State::Running;
        ++entries_[i].attempts;
        ++running_;
        started.append(i);
    }
    return started;
}

void Schedule::finished(int meter, bool failed, double now) {
    Entry& e = entries_[meter];
    if (e.state != State::Running) return;
    --running_;
    if (failed && e.attempts <= retries_) {
        e.state = State::Waiting;
        e.notBefore = now + backoffAfter(e.attempts);
    } else {
        e.state = State::Done;
    }
}

void Schedule::later(int meter, double now, double wait) {
    Entry& e = entries_[meter];
    if (e.state != State::Running) return;
    --running_;
    --e.attempts;  // it was not tried: another collector holds it
    e.state = State::Waiting;
    e.notBefore = now + wait;
}

bool Schedule::done() const {
    return std::all_of(entries_.begin(), entries_.end(),
                       [](const Entry& e) { return e.state == State::Done; });
}

double Schedule::nextReady() const {
    double next = -1;
    for (const Entry& e : entries_) {
        if (e.state == State::Waiting && (next < 0 || e.notBefore < next)) next = e.notBefore;
    }
    return next;
}

}  // namespace tavrel::collect
