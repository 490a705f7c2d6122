#pragma once
// Time as the tool sees it: the time of day (seconds since midnight, with fractions) for the
// transactions' marks, elapsed time for the modem's limits and pauses, and today's date for
// the year of log time stamps. Tests run on VirtualClock, so a 30 s limit costs milliseconds.

#include <QDate>
#include <chrono>

namespace tavrel {

inline constexpr double kSecondsPerDay = 86400.0;

class Clock {
  public:
    virtual ~Clock() = default;
    // Seconds since local midnight, with fractions; drops back to 0 at midnight.
    virtual double timeOfDay() const = 0;
    // Monotonic time since an arbitrary origin; never jumps at midnight.
    virtual std::chrono::nanoseconds elapsed() const = 0;
    virtual QDate today() const = 0;

    double elapsedSeconds() const { return std::chrono::duration<double>(elapsed()).count(); }
};

class SystemClock final : public Clock {
  public:
    double timeOfDay() const override;
    std::chrono::nanoseconds elapsed() const override;
    QDate today() const override;

  private:
    // The local time of day of the last whole second seen: the time zone is looked up once a
    // second, not on every pass of a wait (each lookup is a stat of /etc/localtime).
    mutable long long cachedSecond_ = -1;
    mutable double cachedSinceMidnight_ = 0;
};

// A clock that moves only when told to. Time of day and date follow from a start point plus
// the elapsed time, so advancing across midnight wraps the time of day and steps the date.
class VirtualClock final : public Clock {
  public:
    explicit VirtualClock(double startTimeOfDay = 12 * 3600.0,
                          QDate startDate = QDate(2026, 6, 15));

    double timeOfDay() const override;
    std::chrono::nanoseconds elapsed() const override { return now_; }
    QDate today() const override;

    void advance(std::chrono::nanoseconds step) { now_ += step; }
    void advanceSeconds(double seconds);
    // Moves the time of day (and with it the date origin) without moving elapsed time.
    void setTimeOfDay(double seconds);

  private:
    double absoluteSeconds() const;
    std::chrono::nanoseconds now_{0};
    double start_;  // seconds since midnight of startDate_ at elapsed 0
    QDate startDate_;
};

// Rounds a time of day to whole seconds, halves to the even neighbour: the "mark" that the
// transactions and ReceiveReply take their time limits from.
double markOf(double timeOfDay);

}  // namespace tavrel
