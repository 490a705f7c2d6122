#include "flow_meter.h"

#include "sim_crc.h"

namespace tavrel::sim {

namespace {
constexpr int kKeyRegister = 209;
constexpr int kDisplayFirst = 24;
constexpr int kDisplayLast = 63;
constexpr int kSizeFirst = 76;
constexpr int kSizeLast = 83;
// A partial frame older than this is line noise and is dropped.
constexpr double kFrameGap = 0.05;

int u8(const QByteArray& f, int i) { return static_cast<unsigned char>(f[i]); }
int u16(const QByteArray& f, int i) { return u8(f, i) * 256 + u8(f, i + 1); }
}  // namespace

FlowMeterSim::FlowMeterSim(const FlowMeterConfig& config)
    : config_(config), log_(config.log), panel_(log_, config.slave) {}

void FlowMeterSim::receive(unsigned char byte, double at) {
    if (startedAt_ < 0) startedAt_ = at;
    if (!rx_.isEmpty() && at - lastRx_ > kFrameGap) rx_.clear();
    rx_.append(static_cast<char>(byte));
    lastRx_ = at;
    takeFrames(at);
}

void FlowMeterSim::poll(double now) {
    if (startedAt_ < 0) startedAt_ = now;
    if (rx_.size() < 2 || now - lastRx_ <= kFrameGap) return;
    // A frame of a function the instrument does not know: it ends where the line goes quiet.
    if (crcValid(rx_)) handle(rx_, lastRx_);
    rx_.clear();
}

void FlowMeterSim::takeFrames(double at) {
    while (rx_.size() >= 2) {
        const int fn = u8(rx_, 1);
        qsizetype needed = -1;
        if (fn == 3 || fn == 6 || fn == 96) {
            needed = fn == 96 ? 9 : 8;
        } else if (fn == 16) {
            if (rx_.size() < 7) return;
            needed = 9 + u8(rx_, 6);
        }
        if (needed < 0 || rx_.size() < needed) return;  // unknown function: wait for the gap
        const QByteArray frame = rx_.left(needed);
        if (crcValid(frame)) {
            rx_.remove(0, needed);
            handle(frame, at);
        } else {
            rx_.remove(0, 1);  // out of step: look for a frame one byte later
        }
    }
}

void FlowMeterSim::handle(const QByteArray& frame, double at) {
    if (u8(frame, 0) != config_.slave) return;  // another instrument's, or a broadcast
    requests_.push_back(frame);
    ++requestCount_;
    QByteArray reply = answer(frame, at);
    double delay = 0;
    reply = faults_.apply(requestCount_, u8(frame, 1), reply, &delay);
    send(reply, at + config_.turnaround + delay);
}

QByteArray FlowMeterSim::answer(const QByteArray& f, double now) {
    switch (u8(f, 1)) {
        case 3:
            return readRegisters(f, now);
        case 6: {
            // Write single register, as generic Modbus masters write the key register.
            const QByteArray asMultiple =
                frameOf({u8(f, 0), 16, u8(f, 2), u8(f, 3), 0, 1, 2, u8(f, 4), u8(f, 5)});
            const QByteArray reply = writeRegisters(asMultiple);
            return u8(reply, 1) == 16 ? sealed(f.left(6)) : exception(6, u8(reply, 2));
        }
        case 16:
            return writeRegisters(f);
        case 96:
            return readBlock(f);
        default:
            return exception(u8(f, 1), 1);
    }
}

QByteArray FlowMeterSim::exception(int function, int code) const {
    return sealed(frameOf({config_.slave, function | 0x80, code}));
}

std::uint16_t FlowMeterSim::holdingRegister(int address, double now) const {
    if (address >= kDisplayFirst && address <= kDisplayLast) {
        const int offset = address - kDisplayFirst;
        const auto lines = panel_.lines(now - std::max(0.0, startedAt_));
        const QByteArray& line = lines[static_cast<std::size_t>(offset / 10)];
        const int at = (offset % 10) * 2;
        return static_cast<std::uint16_t>(u8(line, at) * 256 + u8(line, at + 1));
    }
    if (address >= kSizeFirst && address <= kSizeLast) {
        const auto r = log_.sizeRegisters();
        const auto at = static_cast<std::size_t>(address - kSizeFirst) * 2;
        return static_cast<std::uint16_t>(r[at] * 256 + r[at + 1]);
    }
    if (address >= 0 && address < 256) return written_[static_cast<std::size_t>(address)];
    return 0;
}

QByteArray FlowMeterSim::readRegisters(const QByteArray& f, double now) const {
    const int address = u16(f, 2);
    const int count = u16(f, 4);
    if (count < 1 || count > 125) return exception(3, 3);
    if (address + count > 256) return exception(3, 2);
    QByteArray reply = frameOf({config_.slave, 3, 2 * count});
    for (int i = 0; i < count; ++i) {
        const std::uint16_t v = holdingRegister(address + i, now);
        reply.append(static_cast<char>(v >> 8));
        reply.append(static_cast<char>(v & 0xFF));
    }
    return sealed(reply);
}

QByteArray FlowMeterSim::writeRegisters(const QByteArray& f) {
    const int address = u16(f, 2);
    const int count = u16(f, 4);
    const int bytes = u8(f, 6);
    if (count < 1 || count > 123 || bytes != 2 * count) return exception(16, 3);
    if (address + count > 256) return exception(16, 2);
    for (int i = 0; i < count; ++i) {
        const std::uint16_t v = static_cast<std::uint16_t>(u16(f, 7 + 2 * i));
        written_.at(static_cast<std::size_t>(address) + static_cast<std::size_t>(i)) = v;
        if (address + i == kKeyRegister && (v & 0xFF) == 0xFF)
            panel_.key(static_cast<char>(v >> 8));
    }
    return sealed(f.left(6));
}

QByteArray FlowMeterSim::readBlock(const QByteArray& f) const {
    const int s1 = u8(f, 2);
    const int s2 = u8(f, 3);
    const int s3 = u8(f, 4);
    const int length = 2 * u16(f, 5);
    QByteArray data;
    // The selectors of the set-up records, (24, 0x81..0x88, 0), are also those of log page 16
    // (positions 262144 and up); the set-up records are told apart by their length of 100 words,
    // which no 1024-byte log block has.
    if (s1 == 24 && s2 >= 0x81 && s2 <= 0x88 && s3 == 0 && length == 200) {
        // Channel set-up record: a short tag at 3..18 and the caption at 65..96, padded.
        const int channel = s2 - 0x80;
        QByteArray record(std::max(length, 96), '\0');
        const QByteArray tag = QByteArray("CH") + QByteArray::number(channel) + " SETUP";
        QByteArray tagField = tag.left(16);
        while (tagField.size() < 16)
            tagField.append(static_cast<char>(tagField.size() % 2 == 0 ? 0xFE : 0xFF));
        record.replace(2, 16, tagField);
        QByteArray caption = log_.captionBytes(channel);
        while (caption.size() < 32)
            caption.append(static_cast<char>(caption.size() % 2 == 0 ? 0xFF : 0xFE));
        record.replace(64, 32, caption);
        data = record.left(length);
    } else if (s1 >= 8 && s2 >= 0x80 && s2 < 0xC0 && s3 == 0) {
        const qsizetype position =
            static_cast<qsizetype>(s1 - 8) * 16384 + static_cast<qsizetype>(s2 - 0x80) * 256;
        data = log_.bytes().mid(position, length);
        data.append(QByteArray(length - data.size(), '\xFF'));  // past the end of the log
    } else {
        return exception(96, 2);
    }
    QByteArray reply = frameOf({config_.slave, 96, s1, s2, s3, static_cast<int>(data.size() >> 8),
                                static_cast<int>(data.size() & 0xFF)});
    reply.append(data);
    return sealed(reply);
}

}  // namespace tavrel::sim
