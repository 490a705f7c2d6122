#include "virtual_pump.h"

#include <QCoreApplication>
#include <algorithm>

namespace tavrel::sim {

void VirtualPump::runPending() {
    clock_.advance(step_);
    ++passes_;
    if (processQtEvents) QCoreApplication::processEvents();
    if (onPass) onPass();
}

void VirtualPump::idle(std::chrono::milliseconds atMost) {
    if (!sleepsThroughWaits) {
        runPending();
        return;
    }
    if (atMost.count() <= 0) ++noTimeLeft_;
    clock_.advance(std::max<std::chrono::microseconds>(atMost, step_) - step_);
    runPending();
}

void VirtualPump::pause(std::chrono::milliseconds duration) {
    clock_.advance(duration);
    ++pauses_;
}

}  // namespace tavrel::sim
