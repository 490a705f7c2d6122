#include "gui_pump.h"

#include <QCoreApplication>
#include <algorithm>
#include <thread>

#include "comm_port.h"

namespace tavrel {

namespace {
// Below a quarter millisecond nobody sees the difference, but a transaction on a fast line
// passes its steps every few microseconds, and each event-loop pass is a system call or two.
constexpr auto kEventsEvery = std::chrono::microseconds(250);
// The longest a waiting pass blocks on the port before the window's events run again.
constexpr auto kLongestPass = std::chrono::milliseconds(10);
}  // namespace

void GuiPump::runPending() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastEvents_ < kEventsEvery) return;
    lastEvents_ = now;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void GuiPump::idle(std::chrono::milliseconds atMost) {
    // A pass that waits for the line always lets events run first.
    lastEvents_ = std::chrono::steady_clock::now();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    port_.waitForBytes(std::clamp(atMost, std::chrono::milliseconds(0), kLongestPass));
}

void GuiPump::pause(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace tavrel
