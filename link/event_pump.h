#pragma once
// How the tool waits: every wait pass lets pending window events run once; the modem's fixed
// pauses run no events at all. The GUI implementation processes Qt events and then blocks on
// the port until bytes come, the caller's next deadline or a frame's time, whichever is first;
// the test implementation advances a virtual clock.

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tavrel {

class EventPump {
  public:
    virtual ~EventPump() = default;
    // Let pending events run once.
    virtual void runPending() = 0;
    // One pass of a loop that waits for the line: let events run, then give the line up to
    // `atMost` to deliver, so the loop neither spins a core nor misses a byte. A pump may come
    // back sooner (the window's does within a frame, so its events keep running), never later:
    // a caller passes the time left to its next resend or limit.
    virtual void idle(std::chrono::milliseconds atMost) {
        (void)atMost;
        runPending();
    }
    // Wait the given time while no events run.
    virtual void pause(std::chrono::milliseconds duration) = 0;
};

// `seconds` of clock time left as a pass's limit: whole milliseconds rounded up, so the pass
// ends at or just after the deadline, never a fraction before it (a pass that would find
// nothing to do); none when the time is up.
inline std::chrono::milliseconds passLimit(double seconds) {
    return std::chrono::milliseconds(
        static_cast<long>(std::clamp(std::ceil(seconds * 1000.0), 0.0, 60000.0)));
}

}  // namespace tavrel
