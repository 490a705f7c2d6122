#pragma once
// The comm port on a real serial device. On Linux and other POSIX systems the tool drives the
// terminal device itself (PosixSerialCommPort): poll() and read() straight on the descriptor,
// one system call from a byte's arrival back to the waiting loop and none per byte parsed. On
// Windows it is the COM device driven through Win32 (Win32SerialCommPort, \\.\COMn).

#include <QString>

#include "comm_port.h"
#include "port_map.h"

#ifndef _WIN32
#include <termios.h>

#include "fd_comm_port.h"
#endif

namespace tavrel {

#ifndef _WIN32

class PosixSerialCommPort final : public FdCommPort {
  public:
    explicit PosixSerialCommPort(PortMap map = {});

    void setCommPort(int number) override { commPort_ = number; }
    void setPortOpen(bool open) override;

    QString deviceName() const { return map_.deviceFor(commPort_); }

  private:
    QString name() const override { return deviceName(); }
    void flushDriverInput() override;
    void flushDriverOutput() override;
    void lost(int error) override;

    PortMap map_;
    int commPort_ = 0;
};

using SerialCommPort = PosixSerialCommPort;

// What a terminal kept other than the wanted speed and frame; empty when it took them all.
QString termiosMismatch(const termios& t, const LineSettings& wanted);

#else

using SerialCommPort = class Win32SerialCommPort;

#endif

}  // namespace tavrel

#ifdef _WIN32
#include "win32_serial_comm_port.h"
#endif
