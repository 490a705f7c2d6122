#pragma once
// The comm port on a real serial device. On Linux and other POSIX systems the tool drives the
// terminal device itself (PosixSerialCommPort): poll() and read() straight on the descriptor,
// one system call from a byte's arrival back to the waiting loop and none per byte parsed. On
// Windows it is QSerialPort (QtSerialCommPort, COMn).

#include <QString>

#include "comm_port.h"
#include "port_map.h"

#ifndef _WIN32
#include <termios.h>
#endif

namespace tavrel {

#ifndef _WIN32

class PosixSerialCommPort final : public CommPort {
  public:
    explicit PosixSerialCommPort(PortMap map = {});
    ~PosixSerialCommPort() override;
    PosixSerialCommPort(const PosixSerialCommPort&) = delete;
    PosixSerialCommPort& operator=(const PosixSerialCommPort&) = delete;

    void setCommPort(int number) override { commPort_ = number; }
    void setSettings(const QString& text) override { settings_ = text; }
    void setInputLen(int length) override { inputLen_ = length; }
    void setBinaryMode(bool binary) override { (void)binary; }
    bool portOpen() const override { return fd_ >= 0; }
    void setPortOpen(bool open) override;
    int inBufferCount() override;
    void discardInput() override;
    void discardOutput() override;
    int outBufferCount() override;
    void output(QByteArrayView bytes) override;
    QByteArray input() override;
    void inputInto(QByteArray& out) override;
    void waitForBytes(std::chrono::milliseconds limit) override;
    QString errorText() const override { return error_; }

    QString deviceName() const { return map_.deviceFor(commPort_); }

  private:
    // Reads whatever the driver holds into buffer_ without blocking; false when the device
    // is gone (unplugged adapter, closed far end of a pty).
    bool drain();
    // Hands pending_ to the driver as far as it takes it without blocking.
    void push();
    void lose(const QString& why);

    PortMap map_;
    int commPort_ = 0;
    QString settings_;
    int inputLen_ = 0;
    int fd_ = -1;
    QByteArray buffer_;   // received, not yet taken by input()
    qsizetype head_ = 0;  // buffer_ bytes before head_ are taken
    QByteArray pending_;  // written, not yet taken by the driver
    qsizetype seen_ = 0;  // bytes buffered when the caller last counted
    bool answeredSinceWrite_ = false;
    QString error_;
};

using SerialCommPort = PosixSerialCommPort;

// What a terminal kept other than the wanted speed and frame; empty when it took them all.
QString termiosMismatch(const termios& t, const LineSettings& wanted);

#else

using SerialCommPort = class QtSerialCommPort;

#endif

}  // namespace tavrel

#ifdef _WIN32
#include "qt_serial_comm_port.h"
#endif
