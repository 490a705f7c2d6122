#pragma once
// The test pump: every "let events run" moves the virtual clock on by one small step (and,
// where a test asks for it, runs a hook, e.g. a click in the middle of a wait, or Qt's events
// for widget tests); a pause moves it on by the whole pause.

#include <functional>

#include "clock.h"
#include "event_pump.h"

namespace tavrel::sim {

class VirtualPump final : public EventPump {
  public:
    explicit VirtualPump(VirtualClock& clock,
                         std::chrono::microseconds step = std::chrono::milliseconds(1))
        : clock_(clock), step_(step) {}

    void runPending() override;
    void idle(std::chrono::milliseconds atMost) override;
    void pause(std::chrono::milliseconds duration) override;

    // Waiting passes move the clock on by all the time the caller allows (as a blocking wait
    // on a silent line does) instead of one step; passes allowed no time at all are counted.
    bool sleepsThroughWaits = false;
    long passesWithNoTimeLeft() const { return noTimeLeft_; }

    // Runs on every pass, after the clock has moved.
    std::function<void()> onPass;
    // Also run Qt's pending events on every pass (widget tests).
    bool processQtEvents = false;

    long passes() const { return passes_; }
    long pauses() const { return pauses_; }

  private:
    VirtualClock& clock_;
    std::chrono::microseconds step_;
    long passes_ = 0;
    long pauses_ = 0;
    long noTimeLeft_ = 0;
};

}  // namespace tavrel::sim
