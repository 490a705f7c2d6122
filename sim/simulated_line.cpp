#include "simulated_line.h"

namespace tavrel::sim {

SimulatedInstrument::SimulatedInstrument(const SimulatedLineOptions& options)
    : meter_(options.meter) {
    meter_.faults() = options.faults;
    if (options.modem) modem_ = std::make_unique<HayesModemSim>(options.modemConfig, meter_);
}

SimulatedLine::SimulatedLine(const Clock& clock, const SimulatedLineOptions& options)
    : line_(clock), port_(line_), instrument_(options) {
    SimDevice& front = instrument_.front();
    front.setOutput([this](const QByteArray& bytes, double at) { line_.deviceWrite(bytes, at); });
    line_.attachDevice(&front);
    if (options.baud > 0) {
        line_.setBaud(options.baud);
    } else {
        port_.setPaceFromSettings(true);
    }
    port_.setRealTime(options.realTime);
}

}  // namespace tavrel::sim
