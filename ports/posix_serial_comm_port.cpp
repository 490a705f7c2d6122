#include "serial_comm_port.h"

#include "custom_speed.h"

#ifndef _WIN32

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tavrel {

namespace {

struct Speed {
    int baud;
    speed_t code;
};
constexpr Speed kSpeeds[] = {{300, B300},     {600, B600},      {1200, B1200},   {2400, B2400},
                             {4800, B4800},   {9600, B9600},    {19200, B19200}, {38400, B38400},
                             {57600, B57600}, {115200, B115200}};

}  // namespace

QString termiosMismatch(const termios& t, const LineSettings& wanted) {
    for (const auto& s : kSpeeds) {
        if (s.baud == wanted.baud && (cfgetospeed(&t) != s.code || cfgetispeed(&t) != s.code))
            return QStringLiteral("the device kept another speed");
    }
    const tcflag_t size = wanted.dataBits == 8   ? CS8
                          : wanted.dataBits == 7 ? CS7
                          : wanted.dataBits == 6 ? CS6
                                                 : CS5;
    if ((t.c_cflag & CSIZE) != size) return QStringLiteral("the device kept another data size");
    if (((t.c_cflag & PARENB) != 0) != (wanted.parity != 'N'))
        return QStringLiteral("the device kept another parity");
    if (((t.c_cflag & CSTOPB) != 0) != (wanted.stopBits == 2))
        return QStringLiteral("the device kept another stop-bit count");
    return {};
}

PosixSerialCommPort::PosixSerialCommPort(PortMap map) : map_(std::move(map)) {}

void PosixSerialCommPort::setPortOpen(bool open) {
    if (!open) {
        closeFd();  // also drops the lock
        return;
    }
    if (portOpen()) return;
    LineSettings ls;
    if (!parseLineSettings(settings_, ls)) {
        error_ = QStringLiteral("bad settings text \"%1\"").arg(settings_);
        return;
    }
    const QByteArray path = deviceName().toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        QString why = systemErrorText(e);
        if (e == ENOENT || e == ENXIO || e == ENODEV) {
            why = QStringLiteral("no such device");
        } else if (e == EACCES || e == EPERM) {
            why = QStringLiteral(
                "permission denied (serial devices belong to the dialout group: "
                "sudo usermod -aG dialout $USER, then log in again)");
        } else if (e == EBUSY) {
            why = QStringLiteral("in use by another program");
        }
        fail(why);
        return;
    }
    auto refuse = [&](const QString& why) {
        ::close(fd);
        fail(why);
    };
    // One program at a time on a device: the advisory lock other serial programs honour too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        refuse(QStringLiteral("in use by another program"));
        return;
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        refuse(QStringLiteral("not a serial device (%1)").arg(systemErrorText(errno)));
        return;
    }
    const auto speed = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                    [&](const Speed& s) { return s.baud == ls.baud; });
    // Outside the table (14400): the frame is set with a placeholder speed, then the real
    // rate through the arbitrary-rate interface.
    const bool custom = speed == std::end(kSpeeds);
    if (custom && ls.baud <= 0) {
        refuse(QStringLiteral("line settings %1 refused (no such speed)").arg(settings_));
        return;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= ls.dataBits == 8 ? CS8 : ls.dataBits == 7 ? CS7 : ls.dataBits == 6 ? CS6 : CS5;
    if (ls.parity != 'N') t.c_cflag |= PARENB;
    if (ls.parity == 'O' || ls.parity == 'M') t.c_cflag |= PARODD;
#ifdef CMSPAR
    if (ls.parity == 'M' || ls.parity == 'S') t.c_cflag |= CMSPAR;
#endif
    if (ls.stopBits == 2) t.c_cflag |= CSTOPB;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, custom ? B38400 : speed->code);
    cfsetospeed(&t, custom ? B38400 : speed->code);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        refuse(
            QStringLiteral("line settings %1 refused (%2)").arg(settings_, systemErrorText(errno)));
        return;
    }
    if (custom) {
        if (const int e = setCustomSpeed(fd, ls.baud); e != 0) {
            refuse(QStringLiteral("line settings %1 refused (the driver does not run at %2 baud: "
                                  "%3)")
                       .arg(settings_)
                       .arg(ls.baud)
                       .arg(systemErrorText(e)));
            return;
        }
    }
    // Some drivers accept a setting and keep the old one: read it back.
    termios back{};
    const QString kept = tcgetattr(fd, &back) == 0 ? termiosMismatch(back, ls) : QString();
    if (!kept.isEmpty()) {
        refuse(QStringLiteral("line settings %1 refused (%2)").arg(settings_, kept));
        return;
    }
    adopt(fd);
}

void PosixSerialCommPort::lost(int error) {
    fail(error == 0 ? QStringLiteral("port lost")
                    : QStringLiteral("port lost (%1)").arg(systemErrorText(error)));
    closeFd();
}

void PosixSerialCommPort::flushDriverInput() { tcflush(fd(), TCIFLUSH); }

void PosixSerialCommPort::flushDriverOutput() { tcflush(fd(), TCOFLUSH); }

}  // namespace tavrel

#endif
