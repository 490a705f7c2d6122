// The three request/response transactions. Each follows the same shape (open, discard, send,
// wait with repeats, parse byte by byte with the CRC) and differs in its timing and layout;
// the steps below keep the tool's established order because the instrument, and the users'
// expectations of how long a silent line takes to give up, depend on it.

#include <algorithm>
#include <utility>

#include "clock.h"
#include "comm_port.h"
#include "crc.h"
#include "event_pump.h"
#include "link.h"

namespace tavrel {

namespace {
char byteChar(int value) { return static_cast<char>(value & 0xFF); }
}  // namespace

LinkCause Link::notOpenCause() const {
    return lock_.operationCancelled() ? LinkCause::PortLost : LinkCause::PortNotOpen;
}

bool Link::openAndDiscard() {
    pump_.runPending();
    if (!OpenCommPort()) return false;
    discardInput("discarded before the request");
    port_.discardOutput();
    pump_.runPending();
    return true;
}

void Link::takeRequestCrc() {
    state_.CrcLow = state_.CrcValue & 255;
    state_.CrcHigh = (state_.CrcValue & 0xFF00) / 256;
}

bool Link::waitWithRepeats(const QByteArray& request, int awaited, double limitSeconds) {
    double resendMark = markNow();
    double overallMark = resendMark;
    for (;;) {
        idleUntil(std::min(resendMark + 1.0, overallMark + limitSeconds));
        if (!port_.portOpen()) return false;
        state_.BytesWaiting = static_cast<std::int16_t>(port_.inBufferCount());
        if (state_.BytesWaiting >= awaited) return true;
        const double t = now();
        if (t < resendMark) resendMark = markNow();  // midnight passed
        if (t - resendMark <= 1.0) continue;
        if (t < overallMark) overallMark = markNow();
        if (t - overallMark >= limitSeconds) return false;
        send(request);  // again, without discarding what may already be on its way
        resendMark = markNow();
    }
}

bool Link::ReadHoldingRegisters(int slave, int addressHigh, int addressLow, int count) {
    static constexpr const char* kName = "ReadHoldingRegisters";
    TransactionGuard guard(lock_);
    if (!guard.owns()) return finish(kName, false, LinkCause::Busy);
    if (!openAndDiscard()) return finish(kName, false, notOpenCause());

    state_.CrcValue = 65535;
    state_.FunctionCode = 3;
    state_.RequestSlave = slave;
    state_.CountHigh = static_cast<std::int16_t>(count / 256);
    state_.CountLow = static_cast<std::int16_t>(count & 255);
    for (const int v : {state_.RequestSlave, state_.FunctionCode, addressHigh, addressLow,
                        static_cast<int>(state_.CountHigh), static_cast<int>(state_.CountLow)}) {
        state_.CrcValue = UpdateCrc(v);
    }
    takeRequestCrc();
    const QByteArray request =
        bytesOf({state_.RequestSlave, state_.FunctionCode, addressHigh, addressLow,
                 state_.CountHigh, state_.CountLow, state_.CrcLow, state_.CrcHigh});
    send(request);
    pump_.runPending();

    const int awaited = 2 * state_.CountLow + 5;
    if (!waitWithRepeats(request, awaited, 30.0)) {
        return finish(kName, false, port_.portOpen() ? LinkCause::NoReply : LinkCause::PortLost);
    }

    bool missed = false;
    auto next = [&]() {
        bool arrived = true;
        const int b = readReplyByte(&arrived);
        missed = missed || !arrived;
        return b;
    };
    state_.CrcValue = 65535;
    state_.ReplySlave = next();
    state_.CrcValue = UpdateCrc(state_.ReplySlave);
    state_.ReplyFunction = next();
    state_.CrcValue = UpdateCrc(state_.ReplyFunction);
    state_.ReplyByte3 = next();
    state_.CrcValue = UpdateCrc(state_.ReplyByte3);
    state_.ReplyData.clear();
    for (int i = 0; i < state_.ReplyByte3; ++i) {
        state_.ReplyByte4 = next();
        if (missed && !port_.portOpen()) return finish(kName, false, LinkCause::PortLost);
        state_.ReplyData.append(byteChar(state_.ReplyByte4));
        state_.CrcValue = UpdateCrc(state_.ReplyByte4);
    }
    const bool ok = checkCrc();
    return finish(kName, ok, missed ? LinkCause::CutShort : LinkCause::BadCrc);
}

bool Link::WriteMultipleRegisters(int slave, std::int32_t address, int count, int byteCount) {
    static constexpr const char* kName = "WriteMultipleRegisters";
    TransactionGuard guard(lock_);
    if (!guard.owns()) return finish(kName, false, LinkCause::Busy);
    if (!openAndDiscard()) return finish(kName, false, notOpenCause());

    state_.FunctionCode = 16;
    state_.RequestSlave = slave;
    state_.RequestAddress = address;
    state_.CountHigh = static_cast<std::int16_t>(count / 256);
    state_.CountLow = static_cast<std::int16_t>(count & 255);
    const int addressHigh = state_.RequestAddress / 256;
    const int addressLow = state_.RequestAddress & 255;
    state_.CrcValue = 65535;
    for (const int v :
         {state_.RequestSlave, state_.FunctionCode, addressHigh, addressLow,
          static_cast<int>(state_.CountHigh), static_cast<int>(state_.CountLow), byteCount}) {
        state_.CrcValue = UpdateCrc(v);
    }
    state_.WriteData.clear();
    // The value arrays hold 36 registers; a larger count cannot be sent.
    const int registers = std::min(count, 36);
    for (int i = 1; i <= registers; ++i) {
        const int high = state_.WriteDataHigh[i] & 0xFF;
        const int low = state_.WriteDataLow[i] & 0xFF;
        state_.WriteData.append(byteChar(high));
        state_.CrcValue = UpdateCrc(high);
        state_.WriteData.append(byteChar(low));
        state_.CrcValue = UpdateCrc(low);
    }
    takeRequestCrc();
    // The frame carries exactly two data bytes: only a one-register write is well formed.
    auto dataByte = [&](int i) {
        return state_.WriteData.size() > i ? static_cast<unsigned char>(state_.WriteData[i]) : 0;
    };
    const QByteArray request = bytesOf({state_.RequestSlave, state_.FunctionCode, addressHigh,
                                        addressLow, state_.CountHigh, state_.CountLow, byteCount,
                                        dataByte(0), dataByte(1), state_.CrcLow, state_.CrcHigh});
    send(request);
    pump_.runPending();

    const int awaited = 6 + byteCount * state_.CountLow;
    if (!waitWithRepeats(request, awaited, 3.0)) {
        return finish(kName, false, port_.portOpen() ? LinkCause::NoReply : LinkCause::PortLost);
    }

    bool missed = false;
    state_.CrcValue = 65535;
    for (std::int32_t* field : {&state_.ReplySlave, &state_.ReplyFunction, &state_.ReplyByte3,
                                &state_.ReplyByte4, &state_.ReplyByte5, &state_.ReplyByte6}) {
        bool arrived = true;
        *field = readReplyByte(&arrived);
        missed = missed || !arrived;
        if (missed && !port_.portOpen()) return finish(kName, false, LinkCause::PortLost);
        state_.CrcValue = UpdateCrc(*field);
    }
    const bool ok = checkCrc();
    return finish(kName, ok, missed ? LinkCause::CutShort : LinkCause::BadCrc);
}

bool Link::ReadLogBlock(int slave, int selector1, int selector2, int selector3, int length) {
    static constexpr const char* kName = "ReadLogBlock";
    TransactionGuard guard(lock_);
    if (!guard.owns()) return finish(kName, false, LinkCause::Busy);
    if (!openAndDiscard()) return finish(kName, false, notOpenCause());

    state_.FunctionCode = 96;
    state_.RequestSlave = slave;
    state_.CountHigh = static_cast<std::int16_t>(length / 256);
    state_.CountLow = static_cast<std::int16_t>(length & 255);
    auto buildRequest = [&]() {
        state_.CrcValue = 65535;
        for (const int v :
             {state_.RequestSlave, state_.FunctionCode, selector1, selector2, selector3,
              static_cast<int>(state_.CountHigh), static_cast<int>(state_.CountLow)}) {
            state_.CrcValue = UpdateCrc(v);
        }
        takeRequestCrc();
        return bytesOf({state_.RequestSlave, state_.FunctionCode, selector1, selector2, selector3,
                        state_.CountHigh, state_.CountLow, state_.CrcLow, state_.CrcHigh});
    };
    // The length field in 16-bit signed arithmetic, as the instrument's tool has always done.
    auto awaitedLength = [&]() {
        return static_cast<int>(
            static_cast<std::int16_t>(state_.CountHigh * 256 + state_.CountLow));
    };
    send(buildRequest());
    pump_.runPending();
    // Work that can go on while the instrument answers (the previous block's decoding), before
    // the wait's clock starts.
    if (afterSend_) std::exchange(afterSend_, {})();

    int awaited = awaitedLength();
    int repeats = 0;
    double repeatMark = markNow();
    double overallMark = repeatMark;
    for (;;) {
        // The next thing to do: the repeat while one is left, else giving up.
        idleUntil(repeats < 1 ? std::min(repeatMark + 2.0, overallMark + 5.0) : overallMark + 5.0);
        if (!port_.portOpen()) return finish(kName, false, LinkCause::PortLost);
        state_.BytesWaiting = static_cast<std::int16_t>(port_.inBufferCount());
        if (state_.BytesWaiting >= awaited) break;
        const double t = now();
        if (t < overallMark) overallMark = markNow();
        if (t < repeatMark) repeatMark = markNow();
        if (t > repeatMark + 2.0) {
            ++repeats;
            if (repeats < 2) {
                const QByteArray again = buildRequest();
                discardInput("discarded before the repeat");
                port_.discardOutput();
                pump_.runPending();
                send(again);
                pump_.runPending();
                awaited = awaitedLength();
                repeatMark = markNow();
                overallMark = repeatMark;
            }
        }
        if (now() > overallMark + 5.0) return finish(kName, false, LinkCause::NoReply);
    }

    state_.CrcValue = 65535;
    for (std::int32_t* field : {&state_.ReplySlave, &state_.ReplyFunction, &state_.ReplyByte3,
                                &state_.ReplyByte4, &state_.ReplyByte5, &state_.ReplyByte6}) {
        *field = readReplyByte();
        state_.CrcValue = UpdateCrc(*field);
    }
    const int lengthLow = readReplyByte();
    state_.CrcValue = UpdateCrc(lengthLow);
    if (!port_.portOpen()) return finish(kName, false, LinkCause::PortLost);
    state_.ReplyData.clear();
    const int n = state_.ReplyByte6 * 256 + lengthLow;
    state_.ReplyData.reserve(n);
    for (int i = 0; i < n;) {
        // Bytes already waiting are taken together: each would be taken at once anyway.
        const int ready = takeWaiting(n - i);
        if (ready > 0) {
            updateCrcOver(state_.ReplyData.constData() + state_.ReplyData.size() - ready, ready);
            i += ready;
            continue;
        }
        bool arrived = true;
        const int b = readReplyByte(&arrived);
        if (!arrived) {
            return finish(kName, false,
                          port_.portOpen() ? LinkCause::CutShort : LinkCause::PortLost);
        }
        state_.ReplyData.append(byteChar(b));
        state_.CrcValue = UpdateCrc(b);
        ++i;
    }
    const bool ok = checkCrc();
    return finish(kName, ok, LinkCause::BadCrc);
}

}  // namespace tavrel
