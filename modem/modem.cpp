#include "modem.h"

#include "clock.h"
#include "comm_port.h"
#include "event_pump.h"
#include "link.h"
#include "local_text.h"
#include "trace.h"

namespace tavrel {

namespace {
using std::chrono::milliseconds;
constexpr double kPhaseLimit = 90.0;
constexpr double kAfterConnect = 3.0;
// A Hayes modem takes "+++" as the escape only after this much silence on the line (S12 = 50,
// in fiftieths of a second); a little more covers bytes still leaving the port's queue.
constexpr double kEscapeGuard = 1.2;
const QString kNoConnect = QStringLiteral("Could not connect");
}  // namespace

Modem::Modem(Link& link, ModemView& view) : link_(link), view_(view) {}

QString Modem::refusal(const QString& reply) {
    static const char* const kWords[] = {"BUSY",        "NO CARRIER",   "NO ANSWER",
                                         "NO DIALTONE", "NO DIAL TONE", "ERROR"};
    for (const char* word : kWords) {
        if (reply.contains(QLatin1String(word))) {
            return QString::fromLatin1(word).toLower().replace(QStringLiteral("dialtone"),
                                                               QStringLiteral("dial tone"));
        }
    }
    return {};
}

int Modem::connectSpeed(const QString& reply) {
    for (const QString& word : {QStringLiteral("CONNECT"), QStringLiteral("Connect")}) {
        const qsizetype at = reply.indexOf(word);
        if (at < 0) continue;
        qsizetype i = at + word.size();
        while (i < reply.size() && reply[i] == u' ') ++i;
        qsizetype end = i;
        while (end < reply.size() && reply[end].isDigit()) ++end;
        bool ok = false;
        const int speed = reply.mid(i, end - i).toInt(&ok);
        return ok && speed >= 300 ? speed : 0;
    }
    return 0;
}

void Modem::command(const QByteArray& bytes) {
    link_.port().output(bytes);
    link_.noteTraffic();
    link_.noteModemBytes(bytes.size(), 0);
    if (link_.trace() != nullptr) link_.trace()->modemSent(bytes);
}

void Modem::traceReplies() {
    if (link_.trace() == nullptr) return;
    const QByteArray rx = link_.takeTracedRx();
    if (!rx.isEmpty()) link_.trace()->modemReceived(rx);
}

bool Modem::takeOneByte(QString& reply, double until) {
    link_.pump().idle(passLimit(until - link_.clock().elapsedSeconds()));
    CommPort& port = link_.port();
    if (!port.portOpen()) return false;  // hung up (or lost) under the dial
    ProgramState& s = link_.state();
    s.BytesWaiting = static_cast<std::int16_t>(port.inBufferCount());
    if (s.BytesWaiting >= 1 && link_.ReceiveReply(1)) {
        link_.noteTraffic();
        reply.append(QChar(static_cast<unsigned char>(s.ReplyBuffer[0])));
        view_.setModemStatus(reply);
    }
    return true;
}

bool Modem::DialModem(const std::function<QString()>& phoneNumberText) {
    OperationGuard guard(link_.portLock(), QStringLiteral("dial"));
    if (!guard.owns()) return false;
    dialing_ = true;
    dialSent_ = false;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{dialing_};

    if (!link_.OpenCommPort()) return true;
    CommPort& port = link_.port();
    EventPump& pump = link_.pump();
    const Clock& clock = link_.clock();
    QString reply;
    view_.setModemStatus(QString());

    command("\r");
    pump.runPending();
    pump.pause(milliseconds(1000));
    if (!port.portOpen()) return true;
    link_.noteModemBytes(0, port.inBufferCount());
    port.discardInput();
    port.discardOutput();
    pump.runPending();
    command("AT\r");
    pump.runPending();

    double start = clock.elapsedSeconds();
    for (;;) {
        pump.runPending();
        if (clock.elapsedSeconds() - start > kPhaseLimit) {
            traceReplies();
            view_.setModemStatus(kNoConnect);
            return true;  // port left open, buffers as they are
        }
        if (!takeOneByte(reply, start + kPhaseLimit)) return true;
        const QString status = view_.modemStatus();
        if (status.contains(QStringLiteral("OK")) || status.contains(QStringLiteral("Ok")) ||
            status.contains(QStringLiteral("ok"))) {
            break;
        }
    }
    traceReplies();

    view_.setModemStatus(QStringLiteral("Dialing ") + phoneNumberText());
    pump.runPending();
    if (!port.portOpen()) return true;
    const QString number = phoneNumberText();
    command(QByteArray("ATDT ") + encodeLocal(number) + "\r");
    dialSent_ = true;
    view_.setHangUpVisible(true);
    pump.runPending();

    start = clock.elapsedSeconds();
    reply.clear();
    bool connected = false;
    double connectTime = 0.0;
    for (;;) {
        if (clock.elapsedSeconds() - start > kPhaseLimit) {
            view_.setModemStatus(kNoConnect);
            break;
        }
        if (!takeOneByte(reply, connected ? connectTime + kAfterConnect : start + kPhaseLimit))
            return true;
        const QString status = view_.modemStatus();
        if (status.contains(QStringLiteral("Connect")) ||
            status.contains(QStringLiteral("CONNECT"))) {
            if (!connected) connectTime = clock.elapsedSeconds();
            connected = true;
        }
        if (connected && clock.elapsedSeconds() - connectTime > kAfterConnect) break;
        if (stopAtRefusal_ && !connected && !refusal(status).isEmpty()) {
            view_.setModemStatus(kNoConnect);
            break;
        }
    }
    traceReplies();
    if (connected) {
        link_.setModemBaud(connectSpeed(reply));
        view_.setLineSpeed(link_.lineBaud());
    }
    link_.noteModemBytes(0, port.inBufferCount());
    port.discardInput();
    port.discardOutput();
    pump.runPending();
    return true;
}

bool Modem::HangUp() {
    if (hangingUp_) return false;
    // The hang-up cuts into whatever holds the port (a dial, a download, a poll of a silent
    // meter): the call must not run up the bill behind a wait. That operation's transaction
    // finds the port closed at its next pass and the operation ends with its own failure.
    OperationGuard guard(link_.portLock(), QStringLiteral("hang-up"));
    if (!guard.owns()) link_.portLock().cancelOperation();
    hangingUp_ = true;
    CommPort& port = link_.port();
    EventPump& pump = link_.pump();
    const Clock& clock = link_.clock();
    view_.setModemStatus(QStringLiteral("Hanging up Line"));
    // Right after Modbus traffic the escape would be taken as data: let the guard time pass
    // (events run meanwhile; the port stays ours).
    while (port.portOpen() && clock.elapsedSeconds() - link_.lastTraffic() < kEscapeGuard)
        pump.idle(passLimit(link_.lastTraffic() + kEscapeGuard - clock.elapsedSeconds()));
    command("+++");
    pump.runPending();
    pump.pause(milliseconds(2000));
    command("ATH0\r");
    pump.runPending();
    pump.pause(milliseconds(2000));
    traceReplies();
    port.setPortOpen(false);
    link_.setModemBaud(0);
    view_.setLineSpeed(0);
    pump.pause(milliseconds(2000));
    view_.setModemStatus(QStringLiteral("Okay"));
    hangingUp_ = false;
    return true;
}

}  // namespace tavrel
