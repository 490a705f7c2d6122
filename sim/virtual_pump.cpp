#include "virtual_pump.h"

#include <QCoreApplication>

namespace tavrel::sim {

void VirtualPump::runPending() {
    clock_.advance(step_);
    ++passes_;
    if (processQtEvents) QCoreApplication::processEvents();
    if (onPass) onPass();
}

void VirtualPump::pause(std::chrono::milliseconds duration) {
    clock_.advance(duration);
    ++pauses_;
}

}  // namespace tavrel::sim
