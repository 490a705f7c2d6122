#pragma once
// Everything one run of the tool talks through: the program state, the clock, the port (a real
// device, a mapped TCP device server, or the built-in simulated instrument of demo mode), the
// pump and the link, with the optional support trace. The window and the CLI each make one.

#include <memory>

#include "clock.h"
#include "gui_pump.h"
#include "link.h"
#include "port_map.h"
#include "program_state.h"
#include "simulated_line.h"
#include "trace.h"

namespace tavrel {

struct SessionOptions {
    PortMap ports;
    bool demo = false;
    sim::SimulatedLineOptions demoOptions;
    QString tracePath;  // empty = no trace; "-" = stderr
};

class Session {
  public:
    explicit Session(const SessionOptions& options);
    ~Session();

    ProgramState& state() { return state_; }
    Link& link() { return *link_; }
    CommPort& port() { return *port_; }
    const Clock& clock() const { return clock_; }
    // Empty when all went well; otherwise why the trace file could not be opened.
    QString traceError() const { return traceError_; }
    sim::SimulatedLine* demoLine() { return demo_.get(); }

  private:
    ProgramState state_;
    SystemClock clock_;
    std::unique_ptr<sim::SimulatedLine> demo_;
    std::unique_ptr<CommPort> ownPort_;
    CommPort* port_ = nullptr;
    std::unique_ptr<GuiPump> pump_;
    std::unique_ptr<Link> link_;
    std::unique_ptr<Trace> trace_;
    QString traceError_;
};

}  // namespace tavrel
