#pragma once
// The comm port on a serial device server: raw bytes over TCP (tcp://HOST:PORT). Line settings
// belong to the server, so the settings text is only checked, not applied. On POSIX systems the
// socket is driven like the serial device (PosixTcpCommPort, no Qt Network: loading that library
// and the dozen it pulls in cost every start of the tool about 3 ms); on Windows it is a
// QTcpSocket (QtTcpCommPort).

#include <memory>

#include "comm_port.h"

#ifndef _WIN32
#include "fd_comm_port.h"
#else
#include "qt_tcp_comm_port.h"
#endif

namespace tavrel {

#ifndef _WIN32

class PosixTcpCommPort final : public FdCommPort {
  public:
    PosixTcpCommPort() { zeroReadIsEnd_ = true; }
    void setAddress(const QString& url) { url_ = url; }
    void setCommPort(int number) override { (void)number; }
    void setPortOpen(bool open) override;

  private:
    QString name() const override { return url_; }
    void flushDriverInput() override;
    ssize_t writeSome(const char* data, size_t size) override;
    void lost(int error) override;

    QString url_;
};

using TcpCommPort = PosixTcpCommPort;

#else

using TcpCommPort = QtTcpCommPort;

#endif

// A port number that --port may point at a device path or at tcp://HOST:PORT: opens whichever
// the number is mapped to when the port is opened.
class MappedCommPort final : public CommPort {
  public:
    explicit MappedCommPort(const class PortMap& map);
    ~MappedCommPort() override;

    void setCommPort(int number) override;
    void setSettings(const QString& text) override;
    void setInputLen(int length) override;
    void setBinaryMode(bool binary) override;
    bool portOpen() const override { return active_->portOpen(); }
    void setPortOpen(bool open) override;
    int inBufferCount() override { return active_->inBufferCount(); }
    void discardInput() override { active_->discardInput(); }
    void discardOutput() override { active_->discardOutput(); }
    int outBufferCount() override { return active_->outBufferCount(); }
    void output(QByteArrayView bytes) override { active_->output(bytes); }
    QByteArray input() override { return active_->input(); }
    void inputInto(QByteArray& out) override { active_->inputInto(out); }
    void waitForBytes(std::chrono::milliseconds limit) override { active_->waitForBytes(limit); }
    QString errorText() const override { return active_->errorText(); }
    // Points port `number` at `device` from now on (the port closes; settings are set again
    // when it next opens, as every transaction does).
    void setMapping(int number, const QString& device);

  private:
    std::unique_ptr<class PortMap> map_;
    std::unique_ptr<CommPort> serial_;
    std::unique_ptr<TcpCommPort> tcp_;
    CommPort* active_;
    int number_ = 0;
};

}  // namespace tavrel
