#pragma once
// The device-server port as a QTcpSocket: the Windows build's. Built everywhere so it keeps
// building; elsewhere the tool uses PosixTcpCommPort and nothing links this (nor Qt Network).

#include <QTcpSocket>
#include <memory>

#include "comm_port.h"

namespace tavrel {

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

}  // namespace tavrel
