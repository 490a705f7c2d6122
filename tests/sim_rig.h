#pragma once
// A link wired to the simulated instrument on the virtual clock: what most suites run against.

#include <QString>
#include <memory>
#include <ostream>

#include "clock.h"
#include "files.h"
#include "link.h"
#include "simulated_line.h"
#include "virtual_pump.h"

namespace tavrel::test {

struct SimRig {
    explicit SimRig(const sim::SimulatedLineOptions& options = {}, double timeOfDay = 12 * 3600.0,
                    std::chrono::microseconds step = std::chrono::milliseconds(1))
        : clock(timeOfDay),
          sim(clock, options),
          pump(clock, step),
          link(state, sim.port(), clock, pump) {
        state.CommPort = 1;
        state.CommBaud = "38400";
        state.CommSlaveID = 1;
    }

    sim::FaultPlan& faults() { return sim.meter().faults(); }
    // Fault rules separated by ";" (none for an empty text); false when one does not parse.
    bool addFaults(const char* rules) {
        for (const QString& rule : QString::fromLatin1(rules).split(u';', Qt::SkipEmptyParts))
            if (!faults().add(rule, nullptr)) return false;
        return true;
    }
    long requests() const { return const_cast<SimRig*>(this)->sim.meter().requestCount(); }
    // Times the tool put a request on the line (repeats included), whether answered or not.
    long sends() const { return link.counters().sends; }
    double now() const { return clock.elapsedSeconds(); }

    VirtualClock clock;
    sim::SimulatedLine sim;
    sim::VirtualPump pump;
    ProgramState state;
    Link link;
};

inline QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

}  // namespace tavrel::test

// Test failures show texts as texts, not as arrays of 16-bit code units.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
