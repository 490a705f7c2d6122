// tavrel-sim: the simulated flow meter (and, on request, a Hayes modem in front of it) served
// on a pseudo-terminal or on a loopback TCP port, for training, demos and tests without
// hardware. Point the tool at the printed device with `--port 1=DEVICE`.

#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QTextStream>
#include <csignal>
#include <cstdio>

#include <memory>

#include "replay_device.h"
#include "sim_options.h"
#include "stream_server.h"
#include "tavrel_version.h"

namespace {
std::atomic<bool> gStop{false};
void onSignal(int /*signal*/) { gStop.store(true); }
}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrel-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION_TEXT));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated flow meter with an eight-channel data logger, answering Modbus RTU\n"
        "(functions 3, 16 and 96) like the real instrument.\n"
        "Exit codes: 0 stopped by a signal, 1 the pty or port cannot be opened, 64 usage."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("pty"),
         QStringLiteral("Serve on a new pseudo-terminal and print its device path.")},
        {QStringLiteral("tcp"),
         QStringLiteral("Serve raw bytes on 127.0.0.1:PORT, one client at a time."),
         QStringLiteral("PORT")},
        {QStringLiteral("replay"),
         QStringLiteral("Answer as the instrument (and modem) of a recorded session did: "
                        "TRACE is a file the tool wrote with --trace."),
         QStringLiteral("TRACE")},
        {QStringLiteral("replay-speed"),
         QStringLiteral("With --replay: 1 keeps the recorded delays, 2 halves them, 0 answers "
                        "at once (default 1)."),
         QStringLiteral("X"), QStringLiteral("1")},
    });
    tavrel::sim::addSimOptions(parser);
    parser.process(app);

    tavrel::sim::SimulatedLineOptions options;
    QString error;
    if (!tavrel::sim::readSimOptions(parser, options, &error) ||
        parser.isSet(QStringLiteral("pty")) == parser.isSet(QStringLiteral("tcp"))) {
        std::fprintf(stderr, "tavrel-sim: %s\n",
                     qPrintable(error.isEmpty() ? QStringLiteral("give either --pty or --tcp PORT")
                                                : error));
        return 64;
    }
    // No SA_RESTART: a signal must break a blocking accept() so the program can end.
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // The reply follows the request after the 3.5-character silence of Modbus RTU (1.75 ms
    // above 19200 baud); an unpaced line has no character time, so no silence either.
    options.meter.turnaround = options.baud == 0      ? 0.0
                               : options.baud > 19200 ? 0.00175
                                                      : 35.0 / options.baud;
    tavrel::sim::SimulatedInstrument instrument(options);
    tavrel::sim::SimDevice* front = &instrument.front();
    std::unique_ptr<tavrel::sim::ReplayDevice> replay;
    if (parser.isSet(QStringLiteral("replay"))) {
        std::vector<tavrel::sim::TraceEvent> events;
        bool speedOk = false;
        const double speed = parser.value(QStringLiteral("replay-speed")).toDouble(&speedOk);
        if (!speedOk || speed < 0) {
            std::fprintf(stderr, "tavrel-sim: --replay-speed wants a number from 0 up\n");
            return 64;
        }
        if (!tavrel::sim::readTrace(parser.value(QStringLiteral("replay")), &events, &error)) {
            std::fprintf(stderr, "tavrel-sim: %s\n", qPrintable(error));
            return 64;
        }
        replay = std::make_unique<tavrel::sim::ReplayDevice>(std::move(events), speed);
        front = replay.get();
    }

    if (parser.isSet(QStringLiteral("pty"))) {
        QString path;
        int keep = -1;
        const int master = tavrel::sim::openPseudoTerminal(&path, &keep, &error);
        if (master < 0) {
            std::fprintf(stderr, "tavrel-sim: cannot open a pseudo-terminal: %s\n",
                         qPrintable(error));
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
        std::fflush(stdout);
        const bool ok = tavrel::sim::serveStream(*front, master, options.baud, gStop, keep);
        ::close(master);
        if (keep >= 0) ::close(keep);
        return ok ? 0 : 1;
    }

    bool ok = false;
    const int port = parser.value(QStringLiteral("tcp")).toInt(&ok);
    const int listener = ok ? tavrel::sim::listenLoopback(port, &error) : -1;
    if (listener < 0) {
        std::fprintf(stderr, "tavrel-sim: cannot listen on 127.0.0.1:%s: %s\n",
                     qPrintable(parser.value(QStringLiteral("tcp"))), qPrintable(error));
        return 1;
    }
    std::printf("tcp://127.0.0.1:%d\n", port);
    std::fflush(stdout);
    while (!gStop.load()) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0) continue;
        tavrel::sim::serveStream(*front, client, options.baud, gStop);
        ::close(client);
    }
    ::close(listener);
    return 0;
}
