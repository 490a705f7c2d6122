#pragma once
// The serial port as the tool uses it: the handful of operations of a classic comm control.
// SerialCommPort drives a real device; VirtualCommPort talks to a simulated instrument over a
// VirtualLine; TcpCommPort reaches a serial device server.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <chrono>

namespace tavrel {

class CommPort {
  public:
    virtual ~CommPort() = default;

    virtual void setCommPort(int number) = 0;           // COM port number
    virtual void setSettings(const QString& text) = 0;  // e.g. "38400,N,8,1"
    virtual void setInputLen(int length) = 0;           // bytes one input() returns; 0 = all
    virtual void setBinaryMode(bool binary) = 0;
    virtual bool portOpen() const = 0;
    virtual void setPortOpen(bool open) = 0;    // opening may fail: check portOpen()
    virtual int inBufferCount() = 0;            // received bytes waiting
    virtual void discardInput() = 0;            // InBufferCount = 0
    virtual void discardOutput() = 0;           // OutBufferCount = 0
    virtual int outBufferCount() { return 0; }  // written bytes not yet handed to the line
    virtual void output(QByteArrayView bytes) = 0;
    virtual QByteArray input() = 0;  // takes InputLen bytes (0 = all)
    // The same into `out`, reusing its storage (a reply parsed a byte at a time allocates
    // nothing per byte).
    virtual void inputInto(QByteArray& out) { out = input(); }

    // Blocks at most `limit` until a byte may be waiting: lets a wait loop sleep instead of spin.
    virtual void waitForBytes(std::chrono::milliseconds limit) = 0;
    // Why the port last failed to open or was lost, for status lines and traces.
    virtual QString errorText() const { return {}; }
};

// Parses a settings text "baud,parity,data,stop"; returns false when it is malformed.
struct LineSettings {
    int baud = 0;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
};
bool parseLineSettings(const QString& text, LineSettings& out);

// A device server's address, tcp://HOST:PORT, with the settings text the port is opened with
// (the line settings are the server's, but a malformed text is refused all the same). An empty
// host when either is bad, and `error` says why.
struct DeviceServerAddress {
    QString host;
    int port = 0;
};
DeviceServerAddress parseDeviceServer(const QString& url, const QString& settings, QString& error);

}  // namespace tavrel
