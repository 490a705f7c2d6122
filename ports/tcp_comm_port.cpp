#include "tcp_comm_port.h"

#include "port_map.h"
#include "serial_comm_port.h"

#ifndef _WIN32

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace tavrel {

namespace {

constexpr auto kConnectLimit = std::chrono::milliseconds(3000);

// Connects a non-blocking socket to one address within the time left; the socket, or -1 with
// `error` set.
int connectOne(const addrinfo& a, std::chrono::steady_clock::time_point deadline, int& error) {
    const int fd =
        ::socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (::connect(fd, a.ai_addr, a.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
            ::close(fd);
            return -1;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLOUT, 0};
        int r = 0;
        do {
            r = ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        } while (r < 0 && errno == EINTR);
        int result = ETIMEDOUT;
        socklen_t size = sizeof result;
        if (r > 0) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size);
        if (result != 0) {
            error = result;
            ::close(fd);
            return -1;
        }
    }
    // A request is a handful of bytes: send it now, not after the last one was acknowledged.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

void PosixTcpCommPort::setPortOpen(bool open) {
    if (!open) {
        closeFd();
        return;
    }
    if (portOpen()) return;
    const DeviceServerAddress server = parseDeviceServer(url_, settings_, error_);
    if (server.host.isEmpty()) return;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(server.host.toUtf8().constData(),
                                 QByteArray::number(server.port).constData(), &hints, &found);
    if (rc != 0) {
        fail(QStringLiteral("host not found (%1)").arg(QString::fromLocal8Bit(gai_strerror(rc))));
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + kConnectLimit;
    int error = ETIMEDOUT;
    int fd = -1;
    for (const addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        if (std::chrono::steady_clock::now() >= deadline) break;
        fd = connectOne(*a, deadline, error);
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        fail(systemErrorText(error));
        return;
    }
    adopt(fd);
}

void PosixTcpCommPort::flushDriverInput() {
    char scratch[4096];
    for (;;) {
        const ssize_t n = ::recv(fd(), scratch, sizeof scratch, MSG_DONTWAIT);
        if (n > 0) continue;
        if (n == 0) lost(0);
        return;  // nothing more now, or gone (seen by the next read)
    }
}

ssize_t PosixTcpCommPort::writeSome(const char* data, size_t size) {
    return ::send(fd(), data, size, MSG_NOSIGNAL);
}

void PosixTcpCommPort::lost(int error) {
    (void)error;
    fail(QStringLiteral("connection lost"));
    closeFd();
}

}  // namespace tavrel

#endif

namespace tavrel {

MappedCommPort::MappedCommPort(const PortMap& map)
    : map_(std::make_unique<PortMap>(map)),
      serial_(std::make_unique<SerialCommPort>(map)),
      tcp_(std::make_unique<TcpCommPort>()),
      active_(serial_.get()) {}

MappedCommPort::~MappedCommPort() = default;

void MappedCommPort::setCommPort(int number) {
    number_ = number;
    serial_->setCommPort(number);
    tcp_->setCommPort(number);
}

void MappedCommPort::setSettings(const QString& text) {
    serial_->setSettings(text);
    tcp_->setSettings(text);
}

void MappedCommPort::setInputLen(int length) {
    serial_->setInputLen(length);
    tcp_->setInputLen(length);
}

void MappedCommPort::setBinaryMode(bool binary) {
    serial_->setBinaryMode(binary);
    tcp_->setBinaryMode(binary);
}

void MappedCommPort::setPortOpen(bool open) {
    if (open && !active_->portOpen()) {
        const QString device = map_->deviceFor(number_);
        if (device.startsWith(QStringLiteral("tcp://"))) {
            tcp_->setAddress(device);
            active_ = tcp_.get();
        } else {
            active_ = serial_.get();
        }
    }
    active_->setPortOpen(open);
}

void MappedCommPort::setMapping(int number, const QString& device) {
    active_->setPortOpen(false);  // the next transaction opens the device now meant
    map_->set(number, device);
    serial_ = std::make_unique<SerialCommPort>(*map_);
    serial_->setCommPort(number_);
    active_ = serial_.get();
}

}  // namespace tavrel
