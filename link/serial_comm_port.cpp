#include "serial_comm_port.h"

#include <thread>

namespace tavrel {

namespace {
constexpr qint64 kPullBelow = 256;
}  // namespace

bool parseLineSettings(const QString& text, LineSettings& out) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 4) return false;
    bool ok = false;
    out.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || out.baud <= 0) return false;
    const QString parity = parts[1].trimmed().toUpper();
    if (parity.size() != 1 || !QStringLiteral("NEOMS").contains(parity)) return false;
    out.parity = parity[0].toLatin1();
    out.dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || out.dataBits < 5 || out.dataBits > 8) return false;
    out.stopBits = parts[3].trimmed().toInt(&ok);
    return ok && (out.stopBits == 1 || out.stopBits == 2);
}

SerialCommPort::SerialCommPort(PortMap map)
    : map_(std::move(map)), port_(std::make_unique<QSerialPort>()) {}

SerialCommPort::~SerialCommPort() = default;

bool SerialCommPort::portOpen() const { return port_->isOpen(); }

void SerialCommPort::setPortOpen(bool open) {
    if (!open) {
        if (port_->isOpen()) port_->close();
        return;
    }
    if (port_->isOpen()) return;
    LineSettings ls;
    if (!parseLineSettings(settings_, ls)) {
        error_ = QStringLiteral("bad settings text \"%1\"").arg(settings_);
        return;
    }
    port_->setPortName(deviceName());
    if (!port_->open(QIODevice::ReadWrite)) {
        error_ = QStringLiteral("%1: %2").arg(deviceName(), port_->errorString());
        return;
    }
    // A pseudo-terminal or a USB adapter may refuse some of these; the port stays usable.
    port_->setBaudRate(ls.baud);
    port_->setDataBits(static_cast<QSerialPort::DataBits>(ls.dataBits));
    switch (ls.parity) {
        case 'E':
            port_->setParity(QSerialPort::EvenParity);
            break;
        case 'O':
            port_->setParity(QSerialPort::OddParity);
            break;
        case 'M':
            port_->setParity(QSerialPort::MarkParity);
            break;
        case 'S':
            port_->setParity(QSerialPort::SpaceParity);
            break;
        default:
            port_->setParity(QSerialPort::NoParity);
            break;
    }
    port_->setStopBits(ls.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    port_->clearError();
    error_.clear();
}

void SerialCommPort::checkLost() {
    const auto err = port_->error();
    if (port_->isOpen() &&
        (err == QSerialPort::ResourceError || err == QSerialPort::PermissionError)) {
        error_ = QStringLiteral("%1: %2").arg(deviceName(), port_->errorString());
        port_->close();
    }
}

int SerialCommPort::inBufferCount() {
    if (!port_->isOpen()) return 0;
    // Pull in whatever the driver holds without needing a Qt event loop pass; while a good
    // run of bytes is already buffered (a reply being parsed byte by byte) that system call
    // can wait, since waitForBytes() pulls in more whenever a wait loop asks.
    if (port_->bytesAvailable() < kPullBelow) port_->waitForReadyRead(0);
    checkLost();
    if (!port_->isOpen()) return 0;
    return static_cast<int>(std::min<qint64>(port_->bytesAvailable(), 32767));
}

void SerialCommPort::discardInput() {
    if (!port_->isOpen()) return;
    port_->waitForReadyRead(0);
    port_->clear(QSerialPort::Input);
    port_->readAll();
    checkLost();
}

void SerialCommPort::discardOutput() {
    if (port_->isOpen()) port_->clear(QSerialPort::Output);
}

void SerialCommPort::output(QByteArrayView bytes) {
    if (!port_->isOpen()) return;
    port_->write(bytes.data(), bytes.size());
    port_->flush();
    checkLost();
}

QByteArray SerialCommPort::input() {
    if (!port_->isOpen()) return {};
    return inputLen_ <= 0 ? port_->readAll() : port_->read(inputLen_);
}

void SerialCommPort::waitForBytes(std::chrono::milliseconds limit) {
    if (!port_->isOpen()) {
        std::this_thread::sleep_for(limit);  // nothing can arrive; do not spin
        return;
    }
    // Blocks until more bytes come (or the limit passes), also when some are buffered: the
    // caller waits for more than it has.
    port_->waitForReadyRead(static_cast<int>(limit.count()));
    checkLost();
}

}  // namespace tavrel
