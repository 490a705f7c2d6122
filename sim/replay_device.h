#pragma once
// Plays back a support trace (`--trace FILE`) as the far end of the line: each request the tool
// sends is matched, in order, against the requests of the recording (Modbus frames and modem
// commands alike), and answered with the bytes the recorded instrument or modem sent back, after
// the recorded delay (scaled) or at once. A technician's failing session can so be rerun in the
// office, byte for byte.

#include <QByteArray>
#include <QString>
#include <vector>

#include "sim_device.h"

namespace tavrel::sim {

struct TraceEvent {
    enum Kind { Request, Reply };
    Kind kind = Request;
    double time = 0;  // seconds of the recording (time of day)
    QByteArray bytes;
};

// Reads a trace file; false with `error` (naming the line) when it is not one.
bool readTrace(const QString& path, std::vector<TraceEvent>* events, QString* error);
bool parseTrace(const QByteArray& text, std::vector<TraceEvent>* events, QString* error);

class ReplayDevice final : public SimDevice {
  public:
    // `speed`: 1 = the recorded delays, 2 = twice as fast, 0 = every reply at once.
    explicit ReplayDevice(std::vector<TraceEvent> events, double speed = 1.0);

    void receive(unsigned char byte, double at) override;

    // Requests of the recording answered so far, and requests that matched none.
    int matched() const { return matched_; }
    int unmatched() const { return unmatched_; }

  private:
    std::vector<TraceEvent> events_;
    double speed_;
    std::size_t cursor_ = 0;  // the next event to look at
    QByteArray rx_;
    int matched_ = 0;
    int unmatched_ = 0;
};

}  // namespace tavrel::sim
