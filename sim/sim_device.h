#pragma once
// A simulated device on a line: it is fed bytes with their arrival times and answers through
// its output, which the line (or a modem in front of it) delivers later. It never answers from
// inside the caller's write.

#include <QByteArray>
#include <functional>

#include "virtual_line.h"

namespace tavrel::sim {

class SimDevice : public LineDevice {
  public:
    using Output = std::function<void(const QByteArray& bytes, double startAt)>;
    void setOutput(Output output) { output_ = std::move(output); }

  protected:
    void send(const QByteArray& bytes, double startAt) const {
        if (output_ && !bytes.isEmpty()) output_(bytes, startAt);
    }

  private:
    Output output_;
};

}  // namespace tavrel::sim
