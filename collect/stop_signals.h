#pragma once
// SIGINT and SIGTERM (Ctrl+C, a scheduler's stop) brought into the event loop: while one of
// these lives, the first signal runs `onStop` at the next pass of whatever waits (every wait
// of the tool runs pending events); the second ends the program at once, as usual.

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace tavrel::collect {

class StopSignals {
  public:
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    bool fired() const { return fired_; }

  private:
    std::function<void()> onStop_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool fired_ = false;
};

}  // namespace tavrel::collect
