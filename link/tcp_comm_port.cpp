#include "tcp_comm_port.h"

#include <QUrl>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#include <cerrno>
#endif

#include "port_map.h"
#include "serial_comm_port.h"

namespace tavrel {

TcpCommPort::TcpCommPort() : socket_(std::make_unique<QTcpSocket>()) {}
TcpCommPort::~TcpCommPort() = default;

void TcpCommPort::setPortOpen(bool open) {
    if (!open) {
        socket_->abort();
        pending_.clear();
        open_ = false;
        return;
    }
    if (open_) return;
    LineSettings ls;
    if (!parseLineSettings(settings_, ls)) {
        error_ = QStringLiteral("bad settings text \"%1\"").arg(settings_);
        return;
    }
    const QUrl url(url_);
    if (url.scheme() != QStringLiteral("tcp") || url.host().isEmpty() || url.port() <= 0) {
        error_ = QStringLiteral("%1 is not tcp://HOST:PORT").arg(url_);
        return;
    }
    socket_->connectToHost(url.host(), static_cast<quint16>(url.port()));
    if (!socket_->waitForConnected(3000)) {
        error_ = QStringLiteral("%1: %2").arg(url_, socket_->errorString());
        socket_->abort();
        return;
    }
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    open_ = true;
    error_.clear();
}

void TcpCommPort::checkLost() {
    if (open_ && socket_->state() != QAbstractSocket::ConnectedState) {
        error_ = QStringLiteral("%1: connection lost").arg(url_);
        open_ = false;
    }
}

int TcpCommPort::inBufferCount() {
    if (!open_) return 0;
    socket_->waitForReadyRead(0);
    checkLost();
    seen_ = socket_->bytesAvailable();
    return static_cast<int>(std::min<qint64>(seen_, 32767));
}

void TcpCommPort::discardInput() {
    if (!open_) return;
    socket_->waitForReadyRead(0);
    socket_->readAll();
}

void TcpCommPort::push() {
    if (!open_ || pending_.isEmpty()) return;
    const auto fd = socket_->socketDescriptor();
#ifdef _WIN32
    const int sent =
        ::send(static_cast<SOCKET>(fd), pending_.constData(), static_cast<int>(pending_.size()), 0);
    const bool failed = sent < 0 && WSAGetLastError() != WSAEWOULDBLOCK;
#else
    const ssize_t sent = ::send(static_cast<int>(fd), pending_.constData(),
                                static_cast<std::size_t>(pending_.size()), MSG_NOSIGNAL);
    const bool failed = sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
#endif
    if (sent > 0) pending_.remove(0, static_cast<qsizetype>(sent));
    if (failed) {
        error_ = QStringLiteral("%1: connection lost").arg(url_);
        socket_->abort();
        pending_.clear();
        open_ = false;
    }
}

int TcpCommPort::outBufferCount() {
    push();
    return static_cast<int>(std::min<qsizetype>(pending_.size(), 32767));
}

void TcpCommPort::output(QByteArrayView bytes) {
    if (!open_) return;
    pending_.append(bytes.data(), bytes.size());
    push();
    checkLost();
}

QByteArray TcpCommPort::input() {
    if (!open_) return {};
    QByteArray bytes = inputLen_ <= 0 ? socket_->readAll() : socket_->read(inputLen_);
    seen_ = socket_->bytesAvailable();
    return bytes;
}

void TcpCommPort::waitForBytes(std::chrono::milliseconds limit) {
    if (!open_) {
        std::this_thread::sleep_for(limit);
        return;
    }
    push();
    // Bytes that came in since the caller last counted need no wait. Otherwise block until more
    // come or the limit passes, also when some are already buffered: the caller is waiting for
    // more than it has (half a reply must not spin a core).
    if (socket_->bytesAvailable() > seen_) return;
    socket_->waitForReadyRead(static_cast<int>(limit.count()));
    checkLost();
}

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

}  // namespace tavrel
