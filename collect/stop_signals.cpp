#include "stop_signals.h"

#ifndef _WIN32
#include <unistd.h>

#include <csignal>
#endif

namespace tavrel::collect {

#ifndef _WIN32
namespace {
int stopPipe[2] = {-1, -1};
void onStopSignal(int signal) {
    const char byte = static_cast<char>(signal);
    (void)::write(stopPipe[1], &byte, 1);
    std::signal(signal, SIG_DFL);
}
}  // namespace
#endif

StopSignals::StopSignals(std::function<void()> onStop) : onStop_(std::move(onStop)) {
#ifndef _WIN32
    if (stopPipe[0] < 0 && ::pipe(stopPipe) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char byte = 0;
        (void)::read(stopPipe[0], &byte, 1);
        fired_ = true;
        if (onStop_) onStop_();
    });
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#endif
}

StopSignals::~StopSignals() {
#ifndef _WIN32
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
#endif
}

}  // namespace tavrel::collect
