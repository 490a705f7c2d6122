#pragma once
// Dialing the instrument's modem with Hayes AT commands and hanging up. After a dial the port
// stays open and carries the Modbus traffic of everything else through the connection.

#include <QString>
#include <functional>

namespace tavrel {

class Link;

class ModemView {
  public:
    virtual ~ModemView() = default;
    virtual void setModemStatus(const QString& text) = 0;  // Label6
    virtual QString modemStatus() const = 0;
    virtual void setHangUpVisible(bool visible) = 0;  // Command5
    // The speed the line carries once connected (0 when hung up), for a tooltip or a line.
    virtual void setLineSpeed(int baud) { (void)baud; }
};

class Modem {
  public:
    Modem(Link& link, ModemView& view);

    // Command4 clicked: dial the text of Text5(0), read when the dial command goes out (the
    // user may edit the box during the modem check). Returns false when the port was taken by
    // another operation and nothing was done.
    bool DialModem(const std::function<QString()>& phoneNumberText);
    bool DialModem(const QString& number) {
        return DialModem([number] { return number; });
    }
    // Command5 clicked. Runs also while another operation waits on the port (a dial, a
    // download, a poll): that operation stops at its next pass. Returns false only when a
    // hang-up is already running.
    bool HangUp();

    bool dialing() const { return dialing_; }
    // The last dial put "ATDT" on the line: whatever it ended in, a CONNECT may still come,
    // so the line wants hanging up.
    bool dialSent() const { return dialSent_; }

    // A round over many meters need not wait out the 90 s once the modem has said the call
    // failed: with this set, a dial ends at the modem's refusal ("Could not connect" as ever).
    void setStopAtRefusal(bool stop) { stopAtRefusal_ = stop; }
    // The result words a modem ends a failed call with, in lower case ("busy", "no carrier",
    // "no answer", "no dial tone", "error"); empty when `reply` holds none of them.
    static QString refusal(const QString& reply);
    // The speed a connect report names ("CONNECT 2400", "CONNECT 9600/ARQ"); 0 when it names
    // none ("CONNECT" alone: the line runs at the port's speed).
    static int connectSpeed(const QString& reply);

  private:
    // A command to the modem (not Modbus): on the line, noted as traffic, traced as modem.
    void command(const QByteArray& bytes);
    // The modem's replies collected since the last call, as modem lines of the trace.
    void traceReplies();
    // One pass of a dial loop: let events run, wait for the line no later than `until`
    // (elapsed-clock seconds, the loop's next limit) and take at most one modem byte into the
    // reply text and the status line. Returns false when the port was closed under the loop.
    bool takeOneByte(QString& reply, double until);

    Link& link_;
    ModemView& view_;
    bool dialing_ = false;
    bool hangingUp_ = false;
    bool dialSent_ = false;
    bool stopAtRefusal_ = false;
};

}  // namespace tavrel
