#include "qt_tcp_comm_port.h"

#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>

#include <cerrno>
#endif

namespace tavrel {

QtTcpCommPort::QtTcpCommPort() : socket_(std::make_unique<QTcpSocket>()) {}
QtTcpCommPort::~QtTcpCommPort() = default;

void QtTcpCommPort::setPortOpen(bool open) {
    if (!open) {
        socket_->abort();
        pending_.clear();
        open_ = false;
        return;
    }
    if (open_) return;
    const DeviceServerAddress server = parseDeviceServer(url_, settings_, error_);
    if (server.host.isEmpty()) return;
    socket_->connectToHost(server.host, static_cast<quint16>(server.port));
    if (!socket_->waitForConnected(3000)) {
        error_ = QStringLiteral("%1: %2").arg(url_, socket_->errorString());
        socket_->abort();
        return;
    }
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    open_ = true;
    error_.clear();
}

void QtTcpCommPort::checkLost() {
    if (open_ && socket_->state() != QAbstractSocket::ConnectedState) {
        error_ = QStringLiteral("%1: connection lost").arg(url_);
        open_ = false;
    }
}

int QtTcpCommPort::inBufferCount() {
    if (!open_) return 0;
    socket_->waitForReadyRead(0);
    checkLost();
    seen_ = socket_->bytesAvailable();
    return static_cast<int>(std::min<qint64>(seen_, 32767));
}

void QtTcpCommPort::discardInput() {
    if (!open_) return;
    socket_->waitForReadyRead(0);
    socket_->readAll();
}

void QtTcpCommPort::push() {
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

int QtTcpCommPort::outBufferCount() {
    push();
    return static_cast<int>(std::min<qsizetype>(pending_.size(), 32767));
}

void QtTcpCommPort::output(QByteArrayView bytes) {
    if (!open_) return;
    pending_.append(bytes.data(), bytes.size());
    push();
    checkLost();
}

QByteArray QtTcpCommPort::input() {
    if (!open_) return {};
    QByteArray bytes = inputLen_ <= 0 ? socket_->readAll() : socket_->read(inputLen_);
    seen_ = socket_->bytesAvailable();
    return bytes;
}

void QtTcpCommPort::waitForBytes(std::chrono::milliseconds limit) {
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

}  // namespace tavrel
