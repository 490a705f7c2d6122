#include "link.h"

#include <algorithm>
#include <array>

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

void Link::idleUntil(double deadline) { pump_.idle(passLimit(deadline - now())); }

void Link::shutDown() {
    shuttingDown_ = true;
    port_.setPortOpen(false);
}

bool Link::OpenCommPort() {
    if (shuttingDown_ || lock_.operationCancelled()) return false;
    if (!port_.portOpen()) {
        port_.setCommPort(state_.CommPort);
        port_.setSettings(state_.CommBaud + QStringLiteral(",N,8,1"));
        port_.setInputLen(0);
        port_.setBinaryMode(true);
        port_.setPortOpen(true);
        openedBaud_ = state_.CommBaud.toInt();
        modemBaud_ = 0;  // a port opened anew is a direct line until a dial connects
    }
    return port_.portOpen();
}

int Link::lineBaud() const {
    const int port = port_.portOpen() && openedBaud_ > 0 ? openedBaud_ : state_.CommBaud.toInt();
    return modemBaud_ > 0 && (port <= 0 || modemBaud_ < port) ? modemBaud_ : port;
}

bool Link::ReceiveReply(int count) {
    port_.setInputLen(count);
    // The start mark is taken when the first look finds too few bytes: a byte already waiting
    // (the common case while a reply is parsed) needs no clock.
    double start = -1;
    for (;;) {
        if (port_.inBufferCount() >= count) break;
        if (start < 0) start = markNow();
        // A port closed under us (device pulled, hang-up) can deliver nothing more.
        if (!port_.portOpen()) return false;
        idleUntil(start + 2.0);
        const double t = now();
        if (t < start) start = markNow();  // midnight passed
        if (t > start + 2.0) return false;
    }
    port_.inputInto(state_.ReplyBuffer);
    counters_.bytesReceived += state_.ReplyBuffer.size();
    if (trace_ != nullptr) traceRx_.append(state_.ReplyBuffer);
    return true;
}

int Link::takeWaiting(int most) {
    if (most <= 0) return 0;
    const int waiting = std::min(port_.inBufferCount(), most);
    if (waiting <= 0) return 0;
    port_.setInputLen(waiting);
    port_.inputInto(state_.ReplyBuffer);
    const auto taken = static_cast<int>(state_.ReplyBuffer.size());
    counters_.bytesReceived += taken;
    state_.ReplyData.append(state_.ReplyBuffer);
    if (trace_ != nullptr) traceRx_.append(state_.ReplyBuffer);
    // ReplyBuffer ends as a byte-by-byte parse leaves it: holding the last byte taken.
    state_.ReplyBuffer = state_.ReplyBuffer.right(1);
    return taken;
}

void Link::noteTraffic() { lastTraffic_ = clock_.elapsedSeconds(); }

void Link::noteModemBytes(qsizetype sent, qsizetype received) {
    counters_.bytesSent += sent;
    counters_.bytesReceived += received;
}

QByteArray Link::takeTracedRx() {
    QByteArray bytes;
    bytes.swap(traceRx_);
    return bytes;
}

namespace {
// The eight shift-and-xor steps on a low byte, done once for all 256: what they xor into the
// CRC and the bit the eighth step shifts out (which depends on the low byte alone).
struct CrcSteps {
    std::array<std::uint16_t, 256> xorWith{};
    std::array<std::int16_t, 256> lastLowBit{};
    CrcSteps() {
        for (int x = 0; x < 256; ++x) {
            std::int32_t crc = x;
            std::int16_t low = 0;
            for (int i = 0; i < 8; ++i) {
                low = static_cast<std::int16_t>(crc & 1);
                crc /= 2;
                if (low == 1) crc ^= 0xA001;
            }
            xorWith[static_cast<std::size_t>(x)] = static_cast<std::uint16_t>(crc);
            lastLowBit[static_cast<std::size_t>(x)] = low;
        }
    }
};
const CrcSteps kCrcSteps;
}  // namespace

std::int32_t Link::UpdateCrc(std::int32_t value) {
    state_.CrcValue ^= value;
    if (state_.CrcValue < 0 || state_.CrcValue > 0xFFFF) {
        // Outside the 16 bits the CRC lives in: the steps one by one, as they are defined.
        for (int i = 0; i < 8; ++i) {
            state_.CrcLowBit = static_cast<std::int16_t>(state_.CrcValue & 1);
            state_.CrcValue /= 2;
            if (state_.CrcLowBit == 1) state_.CrcValue ^= 0xA001;
        }
        return state_.CrcValue;
    }
    const auto low = static_cast<std::size_t>(state_.CrcValue & 0xFF);
    state_.CrcLowBit = kCrcSteps.lastLowBit[low];
    state_.CrcValue = (state_.CrcValue >> 8) ^ kCrcSteps.xorWith[low];
    return state_.CrcValue;
}

void Link::updateCrcOver(const char* bytes, qsizetype n) {
    if (n <= 0) return;
    if (state_.CrcValue < 0 || state_.CrcValue > 0xFFFF) {
        for (qsizetype i = 0; i < n; ++i) UpdateCrc(static_cast<unsigned char>(bytes[i]));
        return;
    }
    // The same steps as UpdateCrc on a local register: a block's thousand bytes without a
    // store to the state per byte.
    auto crc = static_cast<std::uint32_t>(state_.CrcValue);
    std::size_t low = 0;
    for (qsizetype i = 0; i < n; ++i) {
        low = (crc ^ static_cast<unsigned char>(bytes[i])) & 0xFF;
        crc = (crc >> 8) ^ kCrcSteps.xorWith[low];
    }
    state_.CrcValue = static_cast<std::int32_t>(crc);
    state_.CrcLowBit = kCrcSteps.lastLowBit[low];
}

void Link::send(const QByteArray& frame) {
    port_.output(frame);
    noteTraffic();
    ++counters_.sends;
    counters_.bytesSent += frame.size();
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
    noteTraffic();  // the reply's last byte, or the end of the wait for it
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

namespace {
// A failed or discarded reply's cause for the trace, naming an exception reply when it is one.
QString replyNote(const QByteArray& bytes, QString cause, bool shortOne) {
    if (bytes.size() >= 3 && (static_cast<unsigned char>(bytes[1]) & 0x80) != 0) {
        cause += QStringLiteral(" (exception %1 from slave %2)")
                     .arg(static_cast<unsigned char>(bytes[2]))
                     .arg(static_cast<unsigned char>(bytes[0]));
    } else if (!bytes.isEmpty() && shortOne) {
        cause += QStringLiteral(" (%1 bytes, short)").arg(bytes.size());
    }
    return cause;
}
}  // namespace

void Link::traceFailure() {
    // What the failed reply left waiting goes into the trace too (the next transaction discards
    // it anyway): an exception reply, a short or garbled one is then seen, not just "no reply".
    const bool ownReply = lastCause_ == LinkCause::NoReply || lastCause_ == LinkCause::BadCrc ||
                          lastCause_ == LinkCause::CutShort;
    if (ownReply && port_.portOpen() && port_.inBufferCount() > 0) {
        port_.setInputLen(0);
        traceRx_.append(port_.input());
    }
    trace_->receivedFailed(traceRx_, replyNote(traceRx_, QString::fromLatin1(causeText(lastCause_)),
                                               lastCause_ == LinkCause::NoReply));
}

void Link::discardInput(const char* why) {
    const int waiting = port_.portOpen() ? port_.inBufferCount() : 0;
    counters_.bytesReceived += waiting;
    if (trace_ != nullptr && waiting > 0) {
        port_.setInputLen(0);
        const QByteArray stale = traceRx_ + port_.input();
        traceRx_.clear();
        trace_->receivedFailed(stale, replyNote(stale, QString::fromLatin1(why), false));
    }
    port_.discardInput();
}
}  // namespace tavrel
