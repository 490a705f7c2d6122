#include "link.h"

#include "clock.h"
#include "comm_port.h"
#include "event_pump.h"
#include "trace.h"

namespace tavrel {

const char* causeText(LinkCause cause) {
    switch (cause) {
        case LinkCause::None:
            return "ok";
        case LinkCause::PortNotOpen:
            return "port not open";
        case LinkCause::NoReply:
            return "no reply";
        case LinkCause::BadCrc:
            return "bad CRC";
        case LinkCause::CutShort:
            return "reply cut short";
        case LinkCause::PortLost:
            return "port lost";
        case LinkCause::Busy:
            return "port busy";
    }
    return "?";
}

Link::Link(ProgramState& state, CommPort& port, const Clock& clock, EventPump& pump)
    : state_(state), port_(port), clock_(clock), pump_(pump) {}

double Link::now() const { return clock_.timeOfDay(); }
double Link::markNow() const { return markOf(clock_.timeOfDay()); }

void Link::shutDown() {
    shuttingDown_ = true;
    port_.setPortOpen(false);
}

bool Link::OpenCommPort() {
    if (shuttingDown_) return false;
    if (!port_.portOpen()) {
        port_.setCommPort(state_.CommPort);
        port_.setSettings(state_.CommBaud + QStringLiteral(",N,8,1"));
        port_.setInputLen(0);
        port_.setBinaryMode(true);
        port_.setPortOpen(true);
    }
    return port_.portOpen();
}

bool Link::ReceiveReply(int count) {
    double start = markNow();
    port_.setInputLen(count);
    for (;;) {
        if (port_.inBufferCount() >= count) break;
        // A port closed under us (device pulled, hang-up) can deliver nothing more.
        if (!port_.portOpen()) return false;
        pump_.idle();
        const double t = now();
        if (t < start) start = markNow();  // midnight passed
        if (t > start + 2.0) return false;
    }
    state_.ReplyBuffer = port_.input();
    noteTraffic();
    if (trace_ != nullptr) traceRx_.append(state_.ReplyBuffer);
    return true;
}

void Link::noteTraffic() { lastTraffic_ = clock_.elapsedSeconds(); }

QByteArray Link::takeTracedRx() {
    QByteArray bytes;
    bytes.swap(traceRx_);
    return bytes;
}

std::int32_t Link::UpdateCrc(std::int32_t value) {
    state_.CrcValue ^= value;
    for (int i = 0; i < 8; ++i) {
        state_.CrcLowBit = static_cast<std::int16_t>(state_.CrcValue & 1);
        state_.CrcValue /= 2;
        if (state_.CrcLowBit == 1) state_.CrcValue ^= 0xA001;
    }
    return state_.CrcValue;
}

void Link::send(const QByteArray& frame) {
    port_.output(frame);
    noteTraffic();
    ++counters_.sends;
    if (trace_ != nullptr) trace_->sent(frame);
}

int Link::readReplyByte(bool* arrived) {
    const bool ok = ReceiveReply(1);
    if (arrived != nullptr) *arrived = ok;
    // On a missed byte ReplyBuffer still holds the previous one, which then stands in for it.
    return state_.ReplyBuffer.isEmpty() ? 0 : static_cast<unsigned char>(state_.ReplyBuffer[0]);
}

bool Link::checkCrc() {
    state_.CheckLow = state_.CrcValue & 0xFF;
    state_.CheckHigh = (state_.CrcValue & 0xFF00) / 256;
    const int low = readReplyByte();
    const int high = readReplyByte();
    return high == state_.CheckHigh && low == state_.CheckLow;
}

bool Link::finish(const char* name, bool ok, LinkCause cause) {
    lastCause_ = ok ? LinkCause::None : cause;
    ++counters_.transactions;
    if (!ok) ++counters_.failures;
    if (trace_ != nullptr) {
        if (ok) {
            trace_->received(traceRx_);
        } else {
            traceFailure();
        }
        traceRx_.clear();
        trace_->outcome(name, ok, causeText(lastCause_));
    }
    return ok;
}

void Link::traceFailure() {
    // What the failed reply left waiting goes into the trace too (the next transaction discards
    // it anyway): an exception reply, a short or garbled one is then seen, not just "no reply".
    const bool ownReply = lastCause_ == LinkCause::NoReply || lastCause_ == LinkCause::BadCrc ||
                          lastCause_ == LinkCause::CutShort;
    if (ownReply && port_.portOpen() && port_.inBufferCount() > 0) {
        port_.setInputLen(0);
        traceRx_.append(port_.input());
    }
    QString cause = QString::fromLatin1(causeText(lastCause_));
    if (traceRx_.size() >= 3 && (static_cast<unsigned char>(traceRx_[1]) & 0x80) != 0) {
        cause += QStringLiteral(" (exception %1 from slave %2)")
                     .arg(static_cast<unsigned char>(traceRx_[2]))
                     .arg(static_cast<unsigned char>(traceRx_[0]));
    } else if (!traceRx_.isEmpty() && lastCause_ == LinkCause::NoReply) {
        cause += QStringLiteral(" (%1 bytes, short)").arg(traceRx_.size());
    }
    trace_->receivedFailed(traceRx_, cause);
}

}  // namespace tavrel
