#include "clock.h"

#include <QDateTime>
#include <QTime>
#include <cfenv>
#include <cmath>
#include <ctime>

namespace tavrel {

double SystemClock::timeOfDay() const {
#ifdef _WIN32
    const QTime t = QTime::currentTime();
    return t.msecsSinceStartOfDay() / 1000.0;
#else
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec != cachedSecond_) {
        tm local{};
        const time_t second = now.tv_sec;
        localtime_r(&second, &local);
        cachedSecond_ = now.tv_sec;
        cachedSinceMidnight_ = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    }
    return cachedSinceMidnight_ + static_cast<double>(now.tv_nsec) / 1e9;
#endif
}

std::chrono::nanoseconds SystemClock::elapsed() const {
    return std::chrono::steady_clock::now().time_since_epoch();
}

QDate SystemClock::today() const { return QDate::currentDate(); }

VirtualClock::VirtualClock(double startTimeOfDay, QDate startDate)
    : start_(startTimeOfDay), startDate_(startDate) {}

double VirtualClock::absoluteSeconds() const {
    return start_ + std::chrono::duration<double>(now_).count();
}

double VirtualClock::timeOfDay() const {
    const double abs = absoluteSeconds();
    return abs - std::floor(abs / kSecondsPerDay) * kSecondsPerDay;
}

QDate VirtualClock::today() const {
    return startDate_.addDays(static_cast<qint64>(std::floor(absoluteSeconds() / kSecondsPerDay)));
}

void VirtualClock::advanceSeconds(double seconds) {
    now_ += std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(seconds));
}

void VirtualClock::setTimeOfDay(double seconds) {
    startDate_ = today();
    start_ = seconds - std::chrono::duration<double>(now_).count();
}

double markOf(double timeOfDay) {
    // nearbyint honours the current rounding mode, which is round-to-nearest-even by default.
    return std::nearbyint(timeOfDay);
}

}  // namespace tavrel
