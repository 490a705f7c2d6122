#include "qt_serial_comm_port.h"

#include <algorithm>
#include <thread>

namespace tavrel {

QString QtSerialCommPort::openFailureText() const {
    QString qt = port_->errorString();
    // Qt reports a device another program holds (its lock file, or the driver's EBUSY) in
    // its own words; say it the way a technician can act on.
    if (qt.contains(QStringLiteral("lock"), Qt::CaseInsensitive) ||
        qt.contains(QStringLiteral("busy"), Qt::CaseInsensitive))
        return QStringLiteral("in use by another program");
    switch (port_->error()) {
        case QSerialPort::PermissionError:
#ifdef _WIN32
            return QStringLiteral("in use by another program");
#else
            return QStringLiteral(
                "permission denied (serial devices belong to the dialout group: "
                "sudo usermod -aG dialout $USER, then log in again)");
#endif
        case QSerialPort::DeviceNotFoundError:
            return QStringLiteral("no such device");
        default:
            return qt;
    }
}

QtSerialCommPort::QtSerialCommPort(PortMap map)
    : map_(std::move(map)), port_(std::make_unique<QSerialPort>()) {}

QtSerialCommPort::~QtSerialCommPort() = default;

bool QtSerialCommPort::portOpen() const { return port_->isOpen(); }

void QtSerialCommPort::setPortOpen(bool open) {
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
        error_ = QStringLiteral("%1: %2").arg(deviceName(), openFailureText());
        return;
    }
    // A speed or frame the driver refuses is a failed open: left at its old speed the port
    // would only ever show "no reply".
    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (ls.parity) {
        case 'E':
            parity = QSerialPort::EvenParity;
            break;
        case 'O':
            parity = QSerialPort::OddParity;
            break;
        case 'M':
            parity = QSerialPort::MarkParity;
            break;
        case 'S':
            parity = QSerialPort::SpaceParity;
            break;
        default:
            break;
    }
    const bool applied =
        port_->setBaudRate(ls.baud) &&
        port_->setDataBits(static_cast<QSerialPort::DataBits>(ls.dataBits)) &&
        port_->setParity(parity) &&
        port_->setStopBits(ls.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
        port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!applied) {
        error_ = QStringLiteral("%1: line settings %2 refused (%3)")
                     .arg(deviceName(), settings_, port_->errorString());
        port_->close();
        return;
    }
    port_->clearError();
    error_.clear();
}

void QtSerialCommPort::checkLost() {
    const auto err = port_->error();
    if (port_->isOpen() &&
        (err == QSerialPort::ResourceError || err == QSerialPort::PermissionError)) {
        error_ = QStringLiteral("%1: %2").arg(deviceName(), port_->errorString());
        port_->close();
    }
}

int QtSerialCommPort::inBufferCount() {
    if (!port_->isOpen()) return 0;
    // Pull in whatever the driver holds without needing a Qt event loop pass, but only when
    // fewer bytes are buffered than the next input takes: a reply parsed byte by byte then costs
    // no system call a byte, and a wait loop's waitForBytes() pulls in more on every pass.
    if (port_->bytesAvailable() < std::max(inputLen_, 1)) port_->waitForReadyRead(0);
    checkLost();
    if (!port_->isOpen()) return 0;
    seen_ = port_->bytesAvailable();
    return static_cast<int>(std::min<qint64>(seen_, 32767));
}

void QtSerialCommPort::discardInput() {
    if (!port_->isOpen()) return;
    // The driver's queue is flushed by clear(); what Qt already holds is read away.
    port_->clear(QSerialPort::Input);
    port_->readAll();
    checkLost();
}

void QtSerialCommPort::discardOutput() {
    // Once bytes came back after our last write, the instrument had the whole request: the
    // driver's output queue is empty and there is nothing to flush (one system call less on
    // every transaction).
    if (port_->isOpen() && !(answeredSinceWrite_ && port_->bytesToWrite() == 0))
        port_->clear(QSerialPort::Output);
}

void QtSerialCommPort::output(QByteArrayView bytes) {
    if (!port_->isOpen()) return;
    answeredSinceWrite_ = false;
    port_->write(bytes.data(), bytes.size());
    port_->flush();
    checkLost();
}

QByteArray QtSerialCommPort::input() {
    if (!port_->isOpen()) return {};
    QByteArray bytes = inputLen_ <= 0 ? port_->readAll() : port_->read(inputLen_);
    seen_ = port_->bytesAvailable();
    if (!bytes.isEmpty()) answeredSinceWrite_ = true;
    return bytes;
}

void QtSerialCommPort::waitForBytes(std::chrono::milliseconds limit) {
    if (!port_->isOpen()) {
        std::this_thread::sleep_for(limit);  // nothing can arrive; do not spin
        return;
    }
    // Bytes that came in since the caller last counted (the event loop may have read them)
    // need no wait. Otherwise block until more come or the limit passes, also when some are
    // buffered: the caller waits for more than it has.
    if (port_->bytesAvailable() > seen_) return;
    port_->waitForReadyRead(static_cast<int>(limit.count()));
    checkLost();
}

}  // namespace tavrel
