#pragma once
// The serial link: opening the port, receiving reply bytes with their time limit, the CRC, and
// the three Modbus transactions the tool uses (function 3, function 16 and the instrument's
// function 96). All of it works on the shared ProgramState and waits cooperatively through the
// EventPump, timing everything on the Clock.

#include <cstdint>
#include <functional>

#include "port_lock.h"
#include "program_state.h"

namespace tavrel {

class Clock;
class CommPort;
class EventPump;
class Trace;

// Why the last transaction ended as it did; kept beside the flag for the trace and counters.
enum class LinkCause {
    None,         // success
    PortNotOpen,  // the port could not be opened
    NoReply,      // not enough bytes within the time limit
    BadCrc,       // the reply's CRC did not match
    CutShort,     // a data byte of a function 96 reply never came
    PortLost,     // the port closed under the transaction (device gone, hang-up)
    Busy,         // another transaction was already running
};
const char* causeText(LinkCause cause);

struct LinkCounters {
    long transactions = 0;
    long failures = 0;
    long sends = 0;  // requests put on the line, repeats included
    // Bytes on the wire both ways: every frame and modem command sent, every byte received
    // (taken or discarded).
    long long bytesSent = 0;
    long long bytesReceived = 0;
};

class Link {
  public:
    Link(ProgramState& state, CommPort& port, const Clock& clock, EventPump& pump);

    bool OpenCommPort();
    bool ReceiveReply(int count);
    std::int32_t UpdateCrc(std::int32_t value);

    bool ReadHoldingRegisters(int slave, int addressHigh, int addressLow, int count);
    bool WriteMultipleRegisters(int slave, std::int32_t address, int count, int byteCount);
    bool ReadLogBlock(int slave, int selector1, int selector2, int selector3, int length);

    // The program is ending: close the port, make every wait end at its next pass and keep
    // the port from opening again.
    void shutDown();
    bool shuttingDown() const { return shuttingDown_; }

    // Runs once, right after the next function 96 request has gone out and before its wait
    // begins: the download decodes the block before while the instrument answers. Bytes on the
    // line and the wait's limits are as without it.
    void setAfterSend(std::function<void()> work) { afterSend_ = std::move(work); }

    // The speed the line really carries, in baud: the port's as it was opened, or the speed
    // a modem reported at its CONNECT when that is slower (the telephone line sets the pace).
    int lineBaud() const;
    // The modem's connect speed (0: no modem connection, or it named none).
    void setModemBaud(int baud) { modemBaud_ = baud; }
    int modemBaud() const { return modemBaud_; }

    LinkCause lastCause() const { return lastCause_; }
    // Elapsed-clock time of the last byte put on or taken from the line (for the modem's guard
    // time before "+++"); negative when the line has been quiet since the start.
    double lastTraffic() const { return lastTraffic_; }
    void noteTraffic();
    // Modem commands and the modem's own discarded bytes, for the wire counters.
    void noteModemBytes(qsizetype sent, qsizetype received);
    // The received bytes collected for the trace since the last transaction ended, taken away
    // (the modem traces its replies as its own lines).
    QByteArray takeTracedRx();
    const LinkCounters& counters() const { return counters_; }
    void setTrace(Trace* trace) { trace_ = trace; }
    Trace* trace() const { return trace_; }

    ProgramState& state() { return state_; }
    CommPort& port() { return port_; }
    const Clock& clock() const { return clock_; }
    EventPump& pump() { return pump_; }
    PortLock& portLock() { return lock_; }

  private:
    double now() const;
    double markNow() const;
    // One waiting pass that blocks no longer than until `deadline` (time of day, seconds).
    void idleUntil(double deadline);
    void send(const QByteArray& frame);
    // UpdateCrc over a run of reply bytes.
    void updateCrcOver(const char* bytes, qsizetype n);
    // Reads one reply byte the way every parse does: ReceiveReply(1), then ReplyBuffer(0).
    int readReplyByte(bool* arrived = nullptr);
    // Takes up to `most` bytes that are already waiting into ReplyData (no wait); how many.
    int takeWaiting(int most);
    bool finish(const char* name, bool ok, LinkCause cause);
    void traceFailure();
    // Empties the input; with a trace on, what it held is traced first, with `why`.
    void discardInput(const char* why);
    // Steps 1 and 2 of every transaction: let events run, open the port, discard whatever both
    // buffers hold, let events run. False when the port cannot be opened.
    bool openAndDiscard();
    // Why a transaction found no open port: lost when a hang-up cut into its operation.
    LinkCause notOpenCause() const;
    // CrcLow and CrcHigh of the request from CrcValue.
    void takeRequestCrc();
    // The wait loop shared by functions 3 and 16: repeats about once a second until
    // `awaited` bytes wait or `limitSeconds` pass since the overall mark.
    bool waitWithRepeats(const QByteArray& request, int awaited, double limitSeconds);
    bool checkCrc();

    ProgramState& state_;
    CommPort& port_;
    const Clock& clock_;
    EventPump& pump_;
    PortLock lock_;
    Trace* trace_ = nullptr;
    bool shuttingDown_ = false;
    LinkCause lastCause_ = LinkCause::None;
    LinkCounters counters_;
    QByteArray traceRx_;
    double lastTraffic_ = -1e9;
    int openedBaud_ = 0;
    int modemBaud_ = 0;
    std::function<void()> afterSend_;
};

}  // namespace tavrel
