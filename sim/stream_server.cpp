#include "stream_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "clock.h"
#include "virtual_line.h"

namespace tavrel::sim {

namespace {
// Writes everything, or drops the rest when nobody reads the other end for a while (a
// pseudo-terminal with no client fills up): the line just loses what no one listens to.
bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    int waits = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (++waits > 25) return true;
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 20);
        } else {
            return false;
        }
    }
    return true;
}
}  // namespace

namespace {
// The speed the tool set on the pseudo-terminal, in baud (0: not known). A speed outside the
// classic table is the arbitrary-rate one, which the tool uses for 14400 only.
int toolSpeed(int slave) {
    termios t{};
    if (slave < 0 || ::tcgetattr(slave, &t) != 0) return 0;
    static const std::pair<speed_t, int> table[] = {
        {B300, 300},   {B600, 600},     {B1200, 1200},   {B2400, 2400},   {B4800, 4800},
        {B9600, 9600}, {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
    for (const auto& [code, baud] : table)
        if (cfgetospeed(&t) == code) return baud;
    return 14400;
}
}  // namespace

bool serveStream(SimDevice& device, int fd, int baud, const std::atomic<bool>& stop, int speedFd) {
    SystemClock clock;
    VirtualLine line(clock);
    line.setBaud(baud);
    line.attachDevice(&device);
    device.setOutput([&line](const QByteArray& bytes, double at) { line.deviceWrite(bytes, at); });
    char buf[4096];
    while (!stop.load()) {
        // Sleep until the next byte is due (to the microsecond, so paced replies keep their
        // timing) or the tool writes, and at most 20 ms.
        const double next = line.secondsToNextHostByte();
        const double wait = next < 0 ? 0.02 : std::min(0.02, next);
        const timespec timeout{0, static_cast<long>(wait * 1e9)};
        pollfd p{fd, POLLIN, 0};
        const int ready = ::ppoll(&p, 1, &timeout, nullptr);
        if (ready < 0 && errno != EINTR) return false;
        if (ready > 0 && (p.revents & POLLIN) != 0) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                // A UART at another speed than the line's reads noise, never a request.
                const int set = baud > 0 ? toolSpeed(speedFd) : 0;
                if (set != 0 && set != baud)
                    for (ssize_t i = 0; i < n; ++i) buf[i] = static_cast<char>(buf[i] ^ 0x5A);
                line.hostWrite(QByteArrayView(buf, n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR && errno != EIO)) {
                return n == 0;  // the peer closed
            }
        } else if (ready > 0 && (p.revents & (POLLHUP | POLLERR)) != 0) {
            return true;
        }
        const QByteArray out = line.hostRead(0);
        if (!out.isEmpty() && !writeAll(fd, out)) return false;
    }
    device.setOutput({});
    return true;
}

int openPseudoTerminal(QString* slavePath, int* keepSlave, QString* error) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        if (master >= 0) ::close(master);
        return -1;
    }
    const char* name = ::ptsname(master);
    if (name == nullptr) {
        *error = QStringLiteral("no name for the pseudo-terminal");
        ::close(master);
        return -1;
    }
    *slavePath = QString::fromLocal8Bit(name);
    *keepSlave = ::open(name, O_RDWR | O_NOCTTY);
    if (*keepSlave >= 0) {
        termios t{};
        if (::tcgetattr(*keepSlave, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(*keepSlave, TCSANOW, &t);
        }
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    return master;
}

int listenLoopback(int port, QString* error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 1) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace tavrel::sim
