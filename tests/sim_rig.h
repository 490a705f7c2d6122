#pragma once
// A link wired to the simulated instrument on the virtual clock: what most suites run against.

#include <QFile>
#include <QString>
#include <memory>
#include <ostream>

#include "clock.h"
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

inline bool writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The file's bytes, or a text that no test expects when it cannot be read.
inline QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : "<cannot read " + name.toUtf8() + '>';
}

}  // namespace tavrel::test

// Test failures show texts as texts, not as arrays of 16-bit code units.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
