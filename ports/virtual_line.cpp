#include "virtual_line.h"

#include <algorithm>

#include "clock.h"

namespace tavrel {

VirtualLine::VirtualLine(const Clock& clock) : clock_(clock) {}

void VirtualLine::setBaud(int baud) { baud_ = std::max(0, baud); }

void VirtualLine::setConnected(bool connected) {
    connected_ = connected;
    if (!connected_) {
        toDevice_.clear();
        toHost_.clear();
    }
}

double VirtualLine::now() const { return clock_.elapsedSeconds(); }

void VirtualLine::schedule(std::deque<Timed>& queue, double& last, QByteArrayView bytes,
                           double startAt) {
    if (!connected_) return;
    double t = std::max(last, startAt);
    for (const char c : bytes) {
        t += byteTime();
        queue.push_back({t, static_cast<unsigned char>(c)});
    }
    last = t;
}

void VirtualLine::hostWrite(QByteArrayView bytes) {
    schedule(toDevice_, lastToDevice_, bytes, now());
}

void VirtualLine::deviceWrite(QByteArrayView bytes, double startAt) {
    schedule(toHost_, lastToHost_, bytes, startAt);
}

void VirtualLine::deliver() {
    if (delivering_) return;  // a device that looks at the line while being fed
    delivering_ = true;
    const double t = now();
    // Device replies written while we feed it may already be due (unthrottled line),
    // so go round until nothing more moves.
    bool moved = true;
    while (moved) {
        moved = false;
        while (!toDevice_.empty() && toDevice_.front().at <= t) {
            const Timed b = toDevice_.front();
            toDevice_.pop_front();
            if (device_ != nullptr) {
                device_->poll(b.at);  // time passed up to this byte: guard times, delays
                device_->receive(b.byte, b.at);
            }
            moved = true;
        }
        if (device_ != nullptr) device_->poll(t);
        while (!toHost_.empty() && toHost_.front().at <= t) {
            hostInbox_.append(static_cast<char>(toHost_.front().byte));
            toHost_.pop_front();
            moved = true;
        }
    }
    delivering_ = false;
}

int VirtualLine::hostAvailable() {
    deliver();
    return static_cast<int>(std::min<qsizetype>(hostInbox_.size(), 32767));
}

QByteArray VirtualLine::hostRead(int count) {
    deliver();
    const qsizetype n =
        count <= 0 ? hostInbox_.size() : std::min<qsizetype>(count, hostInbox_.size());
    QByteArray out = hostInbox_.left(n);
    hostInbox_.remove(0, n);
    return out;
}

void VirtualLine::hostDiscardInput() {
    deliver();
    hostInbox_.clear();
}

void VirtualLine::hostDiscardOutput() {
    // Bytes not yet on their way: anything still queued that has not reached the device.
    toDevice_.clear();
    lastToDevice_ = now();
}

void VirtualLine::cut() {
    toDevice_.clear();
    toHost_.clear();
    hostInbox_.clear();
    lastToDevice_ = now();
    lastToHost_ = now();
}

double VirtualLine::secondsToNextHostByte() {
    deliver();
    if (!hostInbox_.isEmpty()) return 0.0;
    if (!toHost_.empty()) return std::max(0.0, toHost_.front().at - now());
    if (!toDevice_.empty()) return std::max(0.0, toDevice_.front().at - now());
    return -1.0;
}

}  // namespace tavrel
