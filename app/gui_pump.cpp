#include "gui_pump.h"

#include <QCoreApplication>
#include <thread>

#include "comm_port.h"

namespace tavrel {

void GuiPump::runPending() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void GuiPump::idle() {
    runPending();
    port_.waitForBytes(std::chrono::milliseconds(1));
}

void GuiPump::pause(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace tavrel
