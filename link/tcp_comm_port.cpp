#include "tcp_comm_port.h"

#include <QUrl>
#include <thread>

#include "port_map.h"
#include "serial_comm_port.h"

namespace tavrel {

TcpCommPort::TcpCommPort() : socket_(std::make_unique<QTcpSocket>()) {}
TcpCommPort::~TcpCommPort() = default;

void TcpCommPort::setPortOpen(bool open) {
    if (!open) {
        socket_->abort();
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
    return static_cast<int>(std::min<qint64>(socket_->bytesAvailable(), 32767));
}

void TcpCommPort::discardInput() {
    if (!open_) return;
    socket_->waitForReadyRead(0);
    socket_->readAll();
}

void TcpCommPort::output(QByteArrayView bytes) {
    if (!open_) return;
    socket_->write(bytes.data(), bytes.size());
    socket_->flush();
    checkLost();
}

QByteArray TcpCommPort::input() {
    if (!open_) return {};
    return inputLen_ <= 0 ? socket_->readAll() : socket_->read(inputLen_);
}

void TcpCommPort::waitForBytes(std::chrono::milliseconds limit) {
    if (!open_) {
        std::this_thread::sleep_for(limit);
        return;
    }
    if (socket_->bytesAvailable() == 0) socket_->waitForReadyRead(static_cast<int>(limit.count()));
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
