#include "session.h"

#include "tcp_comm_port.h"

namespace tavrel {

Session::Session(const SessionOptions& options) {
    if (options.demo) {
        sim::SimulatedLineOptions demo = options.demoOptions;
        demo.realTime = true;
        demo_ = std::make_unique<sim::SimulatedLine>(clock_, demo);
        port_ = &demo_->port();
    } else {
        ownPort_ = std::make_unique<MappedCommPort>(options.ports);
        port_ = ownPort_.get();
    }
    pump_ = std::make_unique<GuiPump>(*port_);
    link_ = std::make_unique<Link>(state_, *port_, clock_, *pump_);
    if (!options.tracePath.isEmpty()) {
        trace_ = std::make_unique<Trace>(clock_);
        if (trace_->open(options.tracePath)) {
            link_->setTrace(trace_.get());
        } else {
            traceError_ = QStringLiteral("cannot write the trace to %1").arg(options.tracePath);
            trace_.reset();
        }
    }
}

Session::~Session() {
    if (link_) link_->setTrace(nullptr);
}

}  // namespace tavrel
