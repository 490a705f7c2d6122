#pragma once
// How the tool waits: every wait pass lets pending window events run once; the modem's fixed
// pauses run no events at all. The GUI implementation processes Qt events and then blocks for
// a millisecond or two on the port; the test implementation advances a virtual clock.

#include <chrono>

namespace tavrel {

class EventPump {
  public:
    virtual ~EventPump() = default;
    // Let pending events run once.
    virtual void runPending() = 0;
    // One pass of a loop that waits for the line: let events run, then give the line a moment
    // (up to a millisecond) to deliver, so the loop neither spins a core nor misses a byte.
    virtual void idle() { runPending(); }
    // Wait the given time while no events run.
    virtual void pause(std::chrono::milliseconds duration) = 0;
};

}  // namespace tavrel
