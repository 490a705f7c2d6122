#pragma once
// For the end-to-end tests and benchmarks: tavrel-sim on a pseudo-terminal for as long as the
// object lives, and a link over a real serial device or device server (tcp://) on the real clock
// with the window's pump.
// Users define TAVREL_BIN_DIR, the build folder that holds sim/tavrel-sim.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QProcess>

#include "clock.h"
#include "gui_pump.h"
#include "link.h"
#include "port_map.h"
#include "sim_rig.h"
#include "tcp_comm_port.h"

namespace tavrel::test {

// A local TCP port nobody listens on, for tavrel-sim as a device server.
inline quint16 freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

// On a pty, or as a device server on local TCP port `tcp`; `device` is the pty or the tcp://
// address.
struct SimProcess {
    explicit SimProcess(const QStringList& args, quint16 tcp = 0) : port(tcp) {
        process.start(
            TAVREL_BIN_DIR "/sim/tavrel-sim",
            (tcp == 0 ? QStringList{"--pty"} : QStringList{"--tcp", QString::number(tcp)}) + args);
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
    quint16 port;
};

struct RealLink {
    explicit RealLink(const QString& device, const QString& baud = "38400")
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

// A program of the build (TAVREL_BIN_DIR + "/cli/tavrel-cli").
inline QString binary(const char* name) {
    return QStringLiteral(TAVREL_BIN_DIR) + QLatin1String(name);
}

// tavrel-cli run to its end in `dir` as a user runs it, with `env` ("NAME=value") added and
// optionally `under` another program (strace and its options).
struct CliRun {
    int exit = -1;
    QByteArray out;
    QByteArray err;
};
inline CliRun runCli(const QString& dir, const QStringList& args, const QStringList& env = {},
                     const QStringList& under = {}) {
    QProcess p;
    p.setWorkingDirectory(dir);
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : env) e.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    p.setProcessEnvironment(e);
    const QString cli = binary("/cli/tavrel-cli");
    if (under.isEmpty()) {
        p.start(cli, args);
    } else {
        p.start(under[0], under.mid(1) + QStringList{cli} + args);
    }
    if (!p.waitForFinished(180000)) p.kill();
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

}  // namespace tavrel::test
