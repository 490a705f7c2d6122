#pragma once
// A simulated instrument (optionally behind a modem) wired to a VirtualLine and a
// VirtualCommPort: what the tests plug into the link, and what `--demo` puts behind COM1.

#include <memory>

#include "flow_meter.h"
#include "hayes_modem.h"
#include "virtual_comm_port.h"
#include "virtual_line.h"

namespace tavrel {
class Clock;
}

namespace tavrel::sim {

struct SimulatedLineOptions {
    FlowMeterConfig meter;
    FaultPlan faults;
    bool modem = false;
    ModemConfig modemConfig;
    int baud = 0;           // line pacing; 0 = follow the port's settings
    bool realTime = false;  // demo mode: waits sleep in real time
};

// The simulated flow meter with its faults, and the modem in front of it when asked for: what
// sits at the far end of the line, whichever transport carries it.
class SimulatedInstrument {
  public:
    explicit SimulatedInstrument(const SimulatedLineOptions& options);

    FlowMeterSim& meter() { return meter_; }
    HayesModemSim* modem() { return modem_.get(); }
    // The device the line talks to: the modem when there is one, else the meter.
    SimDevice& front() { return modem_ ? static_cast<SimDevice&>(*modem_) : meter_; }

  private:
    FlowMeterSim meter_;
    std::unique_ptr<HayesModemSim> modem_;
};

class SimulatedLine {
  public:
    SimulatedLine(const Clock& clock, const SimulatedLineOptions& options = {});

    VirtualLine& line() { return line_; }
    VirtualCommPort& port() { return port_; }
    FlowMeterSim& meter() { return instrument_.meter(); }
    HayesModemSim* modem() { return instrument_.modem(); }

  private:
    VirtualLine line_;
    VirtualCommPort port_;
    SimulatedInstrument instrument_;
};

}  // namespace tavrel::sim
