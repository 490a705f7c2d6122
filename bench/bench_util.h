#pragma once
// Helpers for the end-to-end measurements: tavrel-sim on a pseudo-terminal, CPU time, and a
// link on the real serial path with the window's pump.

#include <QProcess>
#include <QString>
#include <sys/resource.h>

#include "clock.h"
#include "gui_pump.h"
#include "link.h"
#include "serial_comm_port.h"

namespace tavrel::bench {

inline double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Sim {
    explicit Sim(const QStringList& args) {
        process.start(QStringLiteral(TAVREL_BIN_DIR "/sim/tavrel-sim"), QStringList{QStringLiteral("--pty")} + args);
        if (process.waitForReadyRead(5000)) device = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~Sim() {
        process.terminate();
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
    SerialCommPort port;
    GuiPump pump;
    Link link;
};

}  // namespace tavrel::bench
