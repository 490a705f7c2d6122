#pragma once
// The window's way of waiting: run pending Qt events once, then block on the port until a byte
// comes, the caller's deadline passes or 10 ms (well within a frame) are up, so a wait neither
// freezes the window nor burns a core, and sees a byte the moment it arrives. Pauses sleep with
// no events at all.
//
// Why not a millisecond at a time: on a virtual machine every short sleep arms and cancels the
// processor's timer (two exits to the host), a tenth of a fast transaction; a sleep longer
// than the scheduler's tick rides on the tick already set.

#include <chrono>

#include "event_pump.h"

namespace tavrel {

class CommPort;

class GuiPump final : public EventPump {
  public:
    explicit GuiPump(CommPort& port) : port_(port) {}
    void runPending() override;
    void idle(std::chrono::milliseconds atMost) override;
    void pause(std::chrono::milliseconds duration) override;

  private:
    CommPort& port_;
    // When events last ran: the steps of a transaction that only let events run (not the
    // waiting passes) skip the event loop when it ran less than this long ago.
    std::chrono::steady_clock::time_point lastEvents_{};
};

}  // namespace tavrel
