#pragma once
// For the end-to-end tests and benchmarks: tavrel-sim on a pseudo-terminal for as long as the
// object lives, and a link over a real serial device or device server (tcp://) on the real clock
// with the window's pump.
// Users define TAVREL_BIN_DIR, the build folder that holds sim/tavrel-sim.

#include <QProcess>

#include "clock.h"
#include "gui_pump.h"
#include "link.h"
#include "port_map.h"
#include "tcp_comm_port.h"

namespace tavrel::test {

struct SimProcess {
    explicit SimProcess(const QStringList& args) {
        process.start(QStringLiteral(TAVREL_BIN_DIR "/sim/tavrel-sim"),
                      QStringList{QStringLiteral("--pty")} + args);
        if (process.waitForReadyRead(5000))
            device = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~SimProcess() {
        process.terminate();
        if (!process.waitForFinished(2000)) process.kill();
        process.waitForFinished(2000);
    }
    QProcess process;
    QString device;
};

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
    MappedCommPort port;
    GuiPump pump;
    Link link;
};

}  // namespace tavrel::test
