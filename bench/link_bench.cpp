// End-to-end timings on the real serial path (QSerialPort on a pseudo-terminal) against
// tavrel-sim: the window's pump while waiting, the delay from a byte's arrival to ReceiveReply
// returning, transaction rates, and paced block and poll times against their line time.
// Usage: link_bench rate DEVICE SECONDS   (function 3 reads only, for bench/peer_bench.sh)
//        link_bench [quick [half]]   (quick shortens the long CPU waits for a smoke run;
// half adds the two 30 s waits with half a reply buffered)

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "front_panel.h"
#include "tcp_comm_port.h"

using namespace tavrel;
using namespace tavrel::bench;

namespace {

void cpuWhileWaiting(double seconds) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    RealLink real(QString::fromLocal8Bit(::ptsname(master)));
    real.link.OpenCommPort();
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < seconds * 1000) real.link.ReceiveReply(1);  // nothing ever comes
    const double cpu = cpuSeconds() - cpu0;
    std::printf("pump, %.0f s wait for bytes that never come: CPU %.3f s = %.2f%% of one core\n",
                wall.elapsed() / 1000.0, cpu, 100.0 * cpu / (wall.elapsed() / 1000.0));
    ::close(master);
}

void arrivalToReturn() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    RealLink real(QString::fromLocal8Bit(::ptsname(master)));
    real.link.OpenCommPort();
    std::vector<double> delays;
    for (int i = 0; i < 40; ++i) {
        QElapsedTimer t;
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + (i * 7) % 30));
            t.start();
            (void)::write(master, "x", 1);
        });
        real.link.ReceiveReply(1);
        const double ms = t.nsecsElapsed() / 1e6;
        writer.join();
        delays.push_back(ms);
    }
    std::sort(delays.begin(), delays.end());
    std::printf(
        "byte arrival to ReceiveReply returning: median %.2f ms, p95 %.2f ms, max %.2f ms\n",
        delays[delays.size() / 2], delays[delays.size() * 95 / 100], delays.back());
    ::close(master);
}

void rates() {
    Sim sim({});
    RealLink real(sim.device);
    QElapsedTimer t;
    t.start();
    int reads = 0;
    while (t.elapsed() < 3000) reads += real.link.ReadHoldingRegisters(1, 0, 24, 10) ? 1 : 0;
    std::printf("function 3, 10 registers, unthrottled pty: %.0f reads/s\n",
                reads / (t.elapsed() / 1000.0));
    t.restart();
    int blocks = 0;
    while (t.elapsed() < 3000) blocks += real.link.ReadLogBlock(1, 8, 0x80, 0, 512) ? 1 : 0;
    std::printf("function 96, 1024-byte blocks, unthrottled pty: %.0f blocks/s\n",
                blocks / (t.elapsed() / 1000.0));
}

void paced() {
    Sim sim({QStringLiteral("--baud"), QStringLiteral("38400"), QStringLiteral("--records"),
             QStringLiteral("200")});
    RealLink real(sim.device);
    const double byteTime = 10.0 / 38400.0;
    std::vector<double> times;
    for (int i = 0; i < 10; ++i) {
        QElapsedTimer t;
        t.start();
        if (!real.link.ReadLogBlock(1, 8, 0x80, 0, 512)) std::printf("block read failed\n");
        times.push_back(t.nsecsElapsed() / 1e9);
    }
    std::sort(times.begin(), times.end());
    const double line = (9 + 1024 + 9) * byteTime;  // request and reply on the wire
    std::printf(
        "1024-byte block at 38400 baud: median %.1f ms against %.1f ms line time (+%.1f%%)\n",
        times[5] * 1000, line * 1000, 100.0 * (times[5] - line) / line);

    struct Lines : PanelView {
        void setDisplayLine(int, const QByteArray&) override {}
    } view;
    FrontPanel panel(real.link, view);
    std::vector<double> polls;
    for (int i = 0; i < 10; ++i) {
        real.state.KeyBuffer = "N";
        QElapsedTimer t;
        t.start();
        panel.PollFrontPanel();
        polls.push_back(t.nsecsElapsed() / 1e9);
    }
    std::sort(polls.begin(), polls.end());
    const double pollLine = (4 * (8 + 25) + 11 + 8) * byteTime;
    std::printf(
        "one poll (1 key write, 4 reads) at 38400 baud: median %.1f ms against %.1f ms line time "
        "(+%.1f ms)\n",
        polls[5] * 1000, pollLine * 1000, (polls[5] - pollLine) * 1000);
}

// Part of a reply waits (12 of 25 bytes) and the rest never comes: function 3 runs its whole
// 30 s limit with bytes buffered, on a pty and on a tcp:// device server.
void halfReplyWait(bool tcp) {
    const QStringList faults{QStringLiteral("--fault"), QStringLiteral("truncate=12@1-1"),
                             QStringLiteral("--fault"), QStringLiteral("silence@2")};
    QProcess server;
    std::unique_ptr<Sim> sim;
    PortMap map;
    if (tcp) {
        server.start(QStringLiteral(TAVREL_BIN_DIR "/sim/tavrel-sim"),
                     QStringList{QStringLiteral("--tcp"), QStringLiteral("47653")} + faults);
        server.waitForReadyRead(5000);
        map.set(1, QString::fromLocal8Bit(server.readLine()).trimmed());
    } else {
        sim = std::make_unique<Sim>(faults);
        map.set(1, sim->device);
    }
    ProgramState state;
    state.CommPort = 1;
    state.CommBaud = QStringLiteral("38400");
    SystemClock clock;
    MappedCommPort port(map);
    GuiPump pump(port);
    Link link(state, port, clock, pump);
    link.OpenCommPort();
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    link.ReadHoldingRegisters(1, 0, 24, 10);
    const double cpu = cpuSeconds() - cpu0;
    std::printf(
        "%s, 12 of 25 bytes waiting, function 3 gives up after %.1f s: CPU %.2f%% of one "
        "core\n",
        tcp ? "tcp://" : "pty", t.elapsed() / 1000.0, 100.0 * cpu / (t.elapsed() / 1000.0));
    server.terminate();
    server.waitForFinished(2000);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc > 3 && QByteArray(argv[1]) == "rate") {
        // The peer comparison: function 3 reads on a device someone else serves.
        RealLink real(QString::fromLocal8Bit(argv[2]));
        const double seconds = QByteArray(argv[3]).toDouble();
        QElapsedTimer t;
        t.start();
        long reads = 0;
        long failures = 0;
        while (t.elapsed() < seconds * 1000)
            (real.link.ReadHoldingRegisters(1, 0, 24, 10) ? reads : failures) += 1;
        std::printf("tavrel link: function 3, 10 registers: %.0f reads/s (%ld failed)\n",
                    reads / (t.elapsed() / 1000.0), failures);
        return 0;
    }
    const bool quick = argc > 1 && QByteArray(argv[1]) == "quick";
    cpuWhileWaiting(quick ? 2.0 : 10.0);
    arrivalToReturn();
    rates();
    paced();
    if (!quick || (argc > 2 && QByteArray(argv[2]) == "half")) {
        halfReplyWait(false);
        halfReplyWait(true);
    }
    if (!quick) {
        // A silent instrument: ReadHoldingRegisters runs its whole 30 s with the window's pump.
        Sim sim({QStringLiteral("--fault"), QStringLiteral("silence")});
        RealLink real(sim.device);
        const double cpu0 = cpuSeconds();
        QElapsedTimer t;
        t.start();
        real.link.ReadHoldingRegisters(1, 0, 24, 10);
        const double cpu = cpuSeconds() - cpu0;
        std::printf("silent instrument, function 3 gives up after %.1f s: CPU %.2f%% of one core\n",
                    t.elapsed() / 1000.0, 100.0 * cpu / (t.elapsed() / 1000.0));
    }
    return 0;
}
