#pragma once
// A Hayes modem in front of the simulated instrument: command mode with echo, "AT" -> OK,
// "ATDT number" -> CONNECT (or BUSY / NO CARRIER) after a delay, data mode that carries bytes
// both ways, "+++" with guard time back to command mode, "ATH0" to hang up.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "sim_device.h"

namespace tavrel::sim {

struct ModemConfig {
    double connectDelay = 2.0;  // seconds from the dial command to the result
    double guardTime = 1.0;     // silence around "+++"
    int connectBaud = 38400;
    QStringList busyNumbers;
    QStringList noCarrierNumbers;
    bool lowercaseOk = false;   // answers "ok" instead of "OK"
    bool mixedConnect = false;  // answers "Connect" instead of "CONNECT"
    bool silent = false;        // a modem that answers nothing at all
};

class HayesModemSim final : public SimDevice {
  public:
    HayesModemSim(const ModemConfig& config, SimDevice& instrument);

    void receive(unsigned char byte, double at) override;
    void poll(double now) override;

    bool online() const { return online_; }
    bool dataMode() const { return dataMode_; }
    QStringList commands() const { return commands_; }  // every command line received
    QString dialedNumber() const { return dialed_; }

  private:
    void result(const QByteArray& text, double at) const;
    void command(const QByteArray& line, double at);
    void toInstrument(const QByteArray& bytes, double at);

    ModemConfig config_;
    SimDevice& instrument_;
    bool online_ = false;
    bool dataMode_ = false;
    QByteArray line_;
    QStringList commands_;
    QString dialed_;
    double pendingAt_ = -1;  // when the dial result is due
    QByteArray pendingResult_;
    // "+++" detection in data mode.
    double lastDataAt_ = -1e9;
    int pluses_ = 0;
    double lastPlusAt_ = 0;
};

}  // namespace tavrel::sim
