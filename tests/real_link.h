#pragma once
// A link over a real serial device (a pseudo-terminal in the end-to-end tests and benchmarks)
// on the real clock, with the window's pump.

#include "clock.h"
#include "gui_pump.h"
#include "link.h"
#include "serial_comm_port.h"

namespace tavrel::test {

struct RealLink {
    explicit RealLink(const QString& device, const QString& baud = QStringLiteral("38400"))
        : port(map(device)), pump(port), link(state, port, clock, pump) {
        state.CommPort = 1;
        state.CommBaud = baud;
        state.CommSlaveID = 1;
    }
    static PortMap map(const QString& device) {
        PortMap m;
        m.set(1, device);
        return m;
    }
    ProgramState state;
    SystemClock clock;
    SerialCommPort port;
    GuiPump pump;
    Link link;
};

}  // namespace tavrel::test
