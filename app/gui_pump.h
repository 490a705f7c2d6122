#pragma once
// The window's way of waiting: run pending Qt events once, then block on the port for at most
// a millisecond, so a wait neither freezes the window nor burns a core, yet sees a byte within
// a few milliseconds of its arrival. Pauses sleep with no events at all.

#include <chrono>

#include "event_pump.h"

namespace tavrel {

class CommPort;

class GuiPump final : public EventPump {
  public:
    explicit GuiPump(CommPort& port) : port_(port) {}
    void runPending() override;
    void idle() override;
    void pause(std::chrono::milliseconds duration) override;

  private:
    CommPort& port_;
    // When events last ran: the steps of a transaction that only let events run (not the
    // waiting passes) skip the event loop when it ran less than this long ago.
    std::chrono::steady_clock::time_point lastEvents_{};
};

}  // namespace tavrel
