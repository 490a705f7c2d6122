#pragma once
// The comm port on a Windows COM device (\\.\COMn, so COM10 and above work too), driven through
// Win32 directly: a DCB for the speed and 8N1, a receive buffer of our own filled by ReadFile,
// PurgeComm for the discards.
//
// Waiting without spinning: a read with ReadIntervalTimeout and ReadTotalTimeoutMultiplier at
// MAXDWORD and a constant limit returns as soon as one byte is there (with all that are), or
// after the limit with none: the wait sleeps in the driver and wakes at the first byte. This is
// the documented COMMTIMEOUTS mode, and it works where WaitCommEvent does not (under wine a
// pseudo-terminal's EV_RXCHAR never completes).

#ifdef _WIN32

#include <QByteArray>
#include <QString>
#include <chrono>

#include "comm_port.h"
#include "port_map.h"

namespace tavrel {

class Win32SerialCommPort final : public CommPort {
  public:
    explicit Win32SerialCommPort(PortMap map = {});
    ~Win32SerialCommPort() override;
    Win32SerialCommPort(const Win32SerialCommPort&) = delete;
    Win32SerialCommPort& operator=(const Win32SerialCommPort&) = delete;

    void setCommPort(int number) override { commPort_ = number; }
    void setSettings(const QString& text) override { settings_ = text; }
    void setInputLen(int length) override { inputLen_ = length; }
    void setBinaryMode(bool binary) override { (void)binary; }
    bool portOpen() const override { return handle_ != nullptr; }
    void setPortOpen(bool open) override;
    int inBufferCount() override;
    void discardInput() override;
    void discardOutput() override;
    void output(QByteArrayView bytes) override;
    QByteArray input() override;
    void inputInto(QByteArray& out) override;
    void waitForBytes(std::chrono::milliseconds limit) override;
    QString errorText() const override { return error_; }

    QString deviceName() const { return map_.deviceFor(commPort_); }
    // "COM12" -> "\\.\COM12"; a name that is already a device path stays as it is.
    static QString devicePath(const QString& name);

  private:
    // Reads what the driver holds (waiting at most `limit` for the first byte); false when the
    // device is gone.
    bool readInto(std::chrono::milliseconds limit);
    bool setReadLimit(unsigned long milliseconds);
    void close();
    void fail(const QString& why);
    void lost(unsigned long error);

    PortMap map_;
    void* handle_ = nullptr;  // HANDLE; null when closed
    int commPort_ = 0;
    QString settings_;
    int inputLen_ = 0;
    QByteArray buffer_;    // received, not yet taken by input()
    qsizetype head_ = 0;   // buffer_ bytes before head_ are taken
    long readLimit_ = -1;  // the read time-out now set on the device, ms
    QString error_;
};

// The text of a Windows error code, in the user's language.
QString windowsErrorText(unsigned long error);

}  // namespace tavrel

#endif
