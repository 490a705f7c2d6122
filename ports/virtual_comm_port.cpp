#include "virtual_comm_port.h"

#include <algorithm>
#include <thread>

namespace tavrel {

void VirtualCommPort::setPortOpen(bool open) {
    if (!open) {
        open_ = false;
        return;
    }
    if (open_) return;
    LineSettings ls;
    if (!parseLineSettings(settings_, ls)) {
        error_ = QStringLiteral("bad settings text \"%1\"").arg(settings_);
        return;
    }
    if ((availablePort_ != 0 && commPort_ != availablePort_) || !line_.connected() || !present_) {
        error_ = QStringLiteral("COM%1 does not exist").arg(commPort_);
        return;
    }
    if (pace_) line_.setBaud(ls.baud);
    line_.hostDiscardInput();
    open_ = true;
    ++openCount_;
    error_.clear();
}

int VirtualCommPort::inBufferCount() {
    if (!open_) return 0;
    return line_.hostAvailable();
}

void VirtualCommPort::discardInput() {
    if (open_) line_.hostDiscardInput();
}

void VirtualCommPort::discardOutput() {
    if (open_) line_.hostDiscardOutput();
}

void VirtualCommPort::output(QByteArrayView bytes) {
    if (open_) line_.hostWrite(bytes);
}

QByteArray VirtualCommPort::input() {
    if (!open_) return {};
    return line_.hostRead(inputLen_);
}

void VirtualCommPort::waitForBytes(std::chrono::milliseconds limit) {
    if (!realTime_) return;
    const double next = open_ ? line_.secondsToNextHostByte() : -1.0;
    auto wait = std::chrono::duration<double>(limit);
    if (next >= 0.0) wait = std::min(wait, std::chrono::duration<double>(next));
    if (wait.count() > 0) std::this_thread::sleep_for(wait);
}

void VirtualCommPort::vanish() {
    line_.cut();  // an answer on its way went with the adapter
    open_ = false;
    present_ = false;
    error_ = QStringLiteral("the device was removed");
}

}  // namespace tavrel
