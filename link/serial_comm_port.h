#pragma once
// The comm port on a real serial device through QSerialPort.

#include <QSerialPort>
#include <memory>

#include "comm_port.h"
#include "port_map.h"

#ifndef _WIN32
#include <termios.h>
#endif

namespace tavrel {

class SerialCommPort final : public CommPort {
  public:
    explicit SerialCommPort(PortMap map = {});
    ~SerialCommPort() override;

    void setCommPort(int number) override { commPort_ = number; }
    void setSettings(const QString& text) override { settings_ = text; }
    void setInputLen(int length) override { inputLen_ = length; }
    void setBinaryMode(bool binary) override { binary_ = binary; }
    bool portOpen() const override;
    void setPortOpen(bool open) override;
    int inBufferCount() override;
    void discardInput() override;
    void discardOutput() override;
    void output(QByteArrayView bytes) override;
    QByteArray input() override;
    void waitForBytes(std::chrono::milliseconds limit) override;
    QString errorText() const override { return error_; }

    QString deviceName() const { return map_.deviceFor(commPort_); }

  private:
    void checkLost();
    // Empty when the device took the settings, else what it kept instead.
    QString lineSettingsMismatch(const LineSettings& wanted) const;
    QString openFailureText() const;

    PortMap map_;
    std::unique_ptr<QSerialPort> port_;
    int commPort_ = 0;
    QString settings_;
    int inputLen_ = 0;
    qint64 seen_ = 0;  // bytes buffered when the caller last counted
    bool binary_ = false;
    QString error_;
};

#ifndef _WIN32
// What a terminal kept other than the wanted speed and frame; empty when it took them all.
QString termiosMismatch(const termios& t, const LineSettings& wanted);
#endif

}  // namespace tavrel
