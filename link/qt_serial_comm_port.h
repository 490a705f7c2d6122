#pragma once
// The comm port on a real serial device through QSerialPort: the port of Windows builds (COMn).
// It is compiled everywhere so that it keeps building, but only Windows uses it.

#include <QSerialPort>
#include <memory>

#include "comm_port.h"
#include "port_map.h"

namespace tavrel {

class QtSerialCommPort final : public CommPort {
  public:
    explicit QtSerialCommPort(PortMap map = {});
    ~QtSerialCommPort() override;

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
    QString openFailureText() const;

    PortMap map_;
    std::unique_ptr<QSerialPort> port_;
    int commPort_ = 0;
    QString settings_;
    int inputLen_ = 0;
    qint64 seen_ = 0;                  // bytes buffered when the caller last counted
    bool answeredSinceWrite_ = false;  // bytes were read after the last write
    bool binary_ = false;
    QString error_;
};

}  // namespace tavrel
