#include "hayes_modem.h"

namespace tavrel::sim {

HayesModemSim::HayesModemSim(const ModemConfig& config, SimDevice& instrument)
    : config_(config), instrument_(instrument) {
    instrument_.setOutput([this](const QByteArray& bytes, double at) {
        if (online_ && dataMode_) send(bytes, at);
    });
}

void HayesModemSim::result(const QByteArray& text, double at) const {
    if (!config_.silent) send("\r\n" + text + "\r\n", at);
}

void HayesModemSim::toInstrument(const QByteArray& bytes, double at) {
    for (const char c : bytes) instrument_.receive(static_cast<unsigned char>(c), at);
}

void HayesModemSim::receive(unsigned char byte, double at) {
    if (dataMode_) {
        // "+++" counts only after a guard time of silence; anything else is data.
        if (byte == '+' && (pluses_ > 0 || at - lastDataAt_ >= config_.guardTime) && pluses_ < 3) {
            ++pluses_;
            lastPlusAt_ = at;
            return;
        }
        if (pluses_ > 0) toInstrument(QByteArray(pluses_, '+'), at);
        pluses_ = 0;
        lastDataAt_ = at;
        toInstrument(QByteArray(1, static_cast<char>(byte)), at);
        return;
    }
    if (!config_.silent) send(QByteArray(1, static_cast<char>(byte)), at);  // echo
    if (byte == '\r') {
        const QByteArray line = line_.trimmed();
        line_.clear();
        if (!line.isEmpty()) command(line, at);
    } else if (byte != '\n' && line_.size() < 256) {
        line_.append(static_cast<char>(byte));
    }
}

void HayesModemSim::poll(double now) {
    // Results go out at the time they fell due, however late the line looks at us.
    if (pendingAt_ >= 0 && now >= pendingAt_) {
        const QByteArray text = pendingResult_;
        const double due = pendingAt_;
        pendingAt_ = -1;
        if (text.startsWith("CONNECT") || text.startsWith("Connect")) {
            online_ = true;
            dataMode_ = true;
            lastDataAt_ = due;
        }
        result(text, due);
    }
    if (dataMode_ && pluses_ == 3 && now - lastPlusAt_ >= config_.guardTime) {
        pluses_ = 0;
        dataMode_ = false;
        result(config_.lowercaseOk ? "ok" : "OK", lastPlusAt_ + config_.guardTime);
    }
}

void HayesModemSim::command(const QByteArray& line, double at) {
    commands_.append(QString::fromLatin1(line));
    const QByteArray upper = line.toUpper();
    const QByteArray ok = config_.lowercaseOk ? "ok" : "OK";
    if (!upper.startsWith("AT")) {
        result("ERROR", at);
        return;
    }
    const QByteArray rest = upper.mid(2).trimmed();
    if (rest.startsWith("DT") || rest.startsWith("DP") || rest.startsWith('D')) {
        const int skip = rest.startsWith("DT") || rest.startsWith("DP") ? 2 : 1;
        dialed_ = QString::fromLatin1(line.mid(2).trimmed().mid(skip).trimmed());
        if (config_.busyNumbers.contains(dialed_)) {
            pendingResult_ = "BUSY";
        } else if (config_.noCarrierNumbers.contains(dialed_)) {
            pendingResult_ = "NO CARRIER";
        } else {
            pendingResult_ = (config_.mixedConnect ? "Connect " : "CONNECT ") +
                             QByteArray::number(config_.connectBaud);
        }
        pendingAt_ = at + config_.connectDelay;
        return;
    }
    if (rest.startsWith('H')) {
        online_ = false;
        dataMode_ = false;
        pendingAt_ = -1;
    } else if (rest.startsWith('O') && online_) {
        dataMode_ = true;
        result((config_.mixedConnect ? "Connect " : "CONNECT ") +
                   QByteArray::number(config_.connectBaud),
               at);
        return;
    }
    result(ok, at);
}

}  // namespace tavrel::sim
