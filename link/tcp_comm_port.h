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
#include <QTcpSocket>
#endif

namespace tavrel {

#ifndef _WIN32

class PosixTcpCommPort final : public FdCommPort {
  public:
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

class QtTcpCommPort final : public CommPort {
  public:
    QtTcpCommPort();
    ~QtTcpCommPort() override;

    void setAddress(const QString& url) { url_ = url; }
    void setCommPort(int number) override { (void)number; }
    void setSettings(const QString& text) override { settings_ = text; }
    void setInputLen(int length) override { inputLen_ = length; }
    void setBinaryMode(bool binary) override { (void)binary; }
    bool portOpen() const override { return open_; }
    void setPortOpen(bool open) override;
    int inBufferCount() override;
    void discardInput() override;
    void discardOutput() override { pending_.clear(); }
    int outBufferCount() override;
    void output(QByteArrayView bytes) override;
    QByteArray input() override;
    void waitForBytes(std::chrono::milliseconds limit) override;
    QString errorText() const override { return error_; }

  private:
    void checkLost();
    // Hands as much of pending_ to the socket as it takes without blocking.
    void push();
    std::unique_ptr<QTcpSocket> socket_;
    // Written but not yet taken by the socket; ours (not Qt's write buffer) so that a discard
    // really drops it, as it does on a serial port.
    QByteArray pending_;
    QString url_;
    QString settings_;
    int inputLen_ = 0;
    qint64 seen_ = 0;  // bytes buffered when the caller last counted
    bool open_ = false;
    QString error_;
};

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

  private:
    std::unique_ptr<class PortMap> map_;
    std::unique_ptr<CommPort> serial_;
    std::unique_ptr<TcpCommPort> tcp_;
    CommPort* active_;
    int number_ = 0;
};

}  // namespace tavrel
