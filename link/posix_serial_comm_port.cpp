#include "serial_comm_port.h"

#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace tavrel {

namespace {

constexpr qsizetype kReadPiece = 4096;

struct Speed {
    int baud;
    speed_t code;
};
constexpr Speed kSpeeds[] = {{300, B300},     {600, B600},      {1200, B1200},   {2400, B2400},
                             {4800, B4800},   {9600, B9600},    {19200, B19200}, {38400, B38400},
                             {57600, B57600}, {115200, B115200}};

QString systemText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

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

PosixSerialCommPort::~PosixSerialCommPort() { setPortOpen(false); }

void PosixSerialCommPort::setPortOpen(bool open) {
    if (!open) {
        if (fd_ >= 0) ::close(fd_);  // also drops the lock
        fd_ = -1;
        buffer_.clear();
        head_ = 0;
        pending_.clear();
        return;
    }
    if (fd_ >= 0) return;
    LineSettings ls;
    if (!parseLineSettings(settings_, ls)) {
        error_ = QStringLiteral("bad settings text \"%1\"").arg(settings_);
        return;
    }
    const QByteArray path = deviceName().toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        QString why = systemText(e);
        if (e == ENOENT || e == ENXIO || e == ENODEV) {
            why = QStringLiteral("no such device");
        } else if (e == EACCES || e == EPERM) {
            why = QStringLiteral(
                "permission denied (serial devices belong to the dialout group: "
                "sudo usermod -aG dialout $USER, then log in again)");
        } else if (e == EBUSY) {
            why = QStringLiteral("in use by another program");
        }
        error_ = QStringLiteral("%1: %2").arg(deviceName(), why);
        return;
    }
    auto fail = [&](const QString& why) {
        ::close(fd);
        error_ = QStringLiteral("%1: %2").arg(deviceName(), why);
    };
    // One program at a time on a device: the advisory lock other serial programs honour too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        fail(QStringLiteral("in use by another program"));
        return;
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        fail(QStringLiteral("not a serial device (%1)").arg(systemText(errno)));
        return;
    }
    const auto speed = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                    [&](const Speed& s) { return s.baud == ls.baud; });
    if (speed == std::end(kSpeeds)) {
        fail(QStringLiteral("line settings %1 refused (no such speed)").arg(settings_));
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
    cfsetispeed(&t, speed->code);
    cfsetospeed(&t, speed->code);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        fail(QStringLiteral("line settings %1 refused (%2)").arg(settings_, systemText(errno)));
        return;
    }
    // Some drivers accept a setting and keep the old one: read it back.
    termios back{};
    const QString kept = tcgetattr(fd, &back) == 0 ? termiosMismatch(back, ls) : QString();
    if (!kept.isEmpty()) {
        fail(QStringLiteral("line settings %1 refused (%2)").arg(settings_, kept));
        return;
    }
    fd_ = fd;
    buffer_.clear();
    head_ = 0;
    seen_ = 0;
    pending_.clear();
    answeredSinceWrite_ = false;
    error_.clear();
}

void PosixSerialCommPort::lose(const QString& why) {
    error_ = QStringLiteral("%1: %2").arg(deviceName(), why);
    setPortOpen(false);
}

bool PosixSerialCommPort::drain() {
    if (fd_ < 0) return false;
    if (head_ > 0 && head_ == buffer_.size()) {
        buffer_.clear();
        head_ = 0;
    }
    for (;;) {
        const qsizetype at = buffer_.size();
        buffer_.resize(at + kReadPiece);
        const ssize_t n = ::read(fd_, buffer_.data() + at, static_cast<std::size_t>(kReadPiece));
        buffer_.resize(at + std::max<qsizetype>(n, 0));
        if (n > 0) {
            if (n < kReadPiece) return true;
            continue;  // maybe more
        }
        // With VMIN = VTIME = 0 a terminal says "nothing now" with 0, not with EAGAIN.
        if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
        // EIO and the like: the device went away (a pty whose far end closed, an unplugged
        // adapter).
        lose(QStringLiteral("port lost (%1)").arg(systemText(errno)));
        return false;
    }
}

int PosixSerialCommPort::inBufferCount() {
    if (fd_ < 0) return 0;
    // Ask the driver only when fewer bytes are buffered than the next input takes: a reply
    // parsed byte by byte costs no system call a byte.
    if (buffer_.size() - head_ < std::max(inputLen_, 1) && !drain()) return 0;
    seen_ = buffer_.size() - head_;
    return static_cast<int>(std::min<qsizetype>(seen_, 32767));
}

void PosixSerialCommPort::discardInput() {
    if (fd_ < 0) return;
    // tcflush waits for the driver's receive work to settle; asking how much is waiting does
    // not, and on a quiet line (every transaction's start) nothing is.
    int waiting = 0;
    if (ioctl(fd_, TIOCINQ, &waiting) != 0 || waiting > 0) tcflush(fd_, TCIFLUSH);
    buffer_.clear();
    head_ = 0;
    seen_ = 0;
}

void PosixSerialCommPort::discardOutput() {
    if (fd_ < 0) return;
    pending_.clear();
    // Once bytes came back after our last write, the instrument had the whole request and the
    // driver's queue is empty: nothing to flush (a system call less on every transaction).
    if (!answeredSinceWrite_) tcflush(fd_, TCOFLUSH);
}

int PosixSerialCommPort::outBufferCount() {
    if (fd_ < 0) return 0;
    push();
    int queued = 0;
    if (fd_ >= 0) ioctl(fd_, TIOCOUTQ, &queued);
    return static_cast<int>(std::min<qsizetype>(pending_.size() + queued, 32767));
}

void PosixSerialCommPort::push() {
    while (fd_ >= 0 && !pending_.isEmpty()) {
        const ssize_t n =
            ::write(fd_, pending_.constData(), static_cast<std::size_t>(pending_.size()));
        if (n > 0) {
            pending_.remove(0, static_cast<qsizetype>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        lose(QStringLiteral("port lost (%1)").arg(systemText(errno)));
        return;
    }
}

void PosixSerialCommPort::output(QByteArrayView bytes) {
    if (fd_ < 0) return;
    answeredSinceWrite_ = false;
    pending_.append(bytes.data(), bytes.size());
    push();
}

QByteArray PosixSerialCommPort::input() {
    QByteArray bytes;
    inputInto(bytes);
    return bytes;
}

void PosixSerialCommPort::inputInto(QByteArray& out) {
    if (fd_ < 0) {
        out.clear();
        return;
    }
    const qsizetype have = buffer_.size() - head_;
    const qsizetype n = inputLen_ <= 0 ? have : std::min<qsizetype>(inputLen_, have);
    out.resize(n);
    std::memcpy(out.data(), buffer_.constData() + head_, static_cast<std::size_t>(n));
    head_ += n;
    seen_ = buffer_.size() - head_;
    if (n > 0) answeredSinceWrite_ = true;
}

void PosixSerialCommPort::waitForBytes(std::chrono::milliseconds limit) {
    if (fd_ < 0) {
        std::this_thread::sleep_for(limit);  // nothing can arrive; do not spin
        return;
    }
    push();
    // Bytes that came in since the caller last counted need no wait.
    if (buffer_.size() - head_ > seen_) return;
    pollfd p{fd_, static_cast<short>(POLLIN | (pending_.isEmpty() ? 0 : POLLOUT)), 0};
    const int r = ::poll(&p, 1, static_cast<int>(limit.count()));
    if (r > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) drain();
    if (r > 0 && (p.revents & POLLNVAL) != 0) lose(QStringLiteral("port lost"));
}

}  // namespace tavrel

#endif
