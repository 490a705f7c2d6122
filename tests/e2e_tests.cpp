// End to end in real time over pseudo-terminals and sockets: the real port code on a pty and on
// a TCP connection, tavrel-sim serving the instrument, and tavrel-cli run as a user would run it.

#include <gtest/gtest.h>

#include <tuple>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <cstring>
#include <ctime>
#include <thread>

#include "crc.h"
#include "real_link.h"

namespace tavrel::test {
namespace {

class EndToEnd : public ::testing::Test {};

// The port's failure in words a technician can act on: no such device, a device another program
// holds, and (run as an unprivileged user) a device the user may not open.
TEST_F(EndToEnd, PortFailuresSayWhy) {
    RealLink missing("/dev/tavrel-no-such-device");
    EXPECT_FALSE(missing.link.ReadHoldingRegisters(1, 0, 24, 10));
    EXPECT_TRUE(missing.port.errorText().contains("tavrel-no-such-device"));
    SimProcess sim({});
    RealLink first(sim.device);
    ASSERT_TRUE(first.link.OpenCommPort());
    RealLink second(sim.device);
    EXPECT_FALSE(second.link.OpenCommPort());
    EXPECT_TRUE(second.port.errorText().endsWith("in use by another program"))
        << second.port.errorText().toStdString();
    first.port.setPortOpen(false);

    const QByteArray device = QFile::encodeName(sim.device);
    EXPECT_EXIT(
        {
            ::chmod(device.constData(), 0600);
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(3);
            RealLink denied(sim.device);
            const bool hint =
                !denied.link.OpenCommPort() && denied.port.errorText().contains("dialout");
            std::fprintf(stderr, "%s\n", qPrintable(denied.port.errorText()));
            std::_Exit(hint ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// A device server (tavrel-sim on a TCP port): one that cannot be reached is named with why (a
// name that does not resolve is left out: without a name server here it would wait on DNS).
// Bytes that trailed an earlier answer are dropped before the next request. After quick replies
// a silent write still gives up after its three sends, and the wait that watches for a quick
// reply gives that up within a fraction of a millisecond: the core stays next to idle.
TEST_F(EndToEnd, ADeviceServerOverTcp) {
    const quint16 closedPort = freePort();
    RealLink refused(QStringLiteral("tcp://127.0.0.1:%1").arg(closedPort));
    EXPECT_FALSE(refused.link.OpenCommPort());
    EXPECT_EQ(refused.port.errorText(),
              QStringLiteral("tcp://127.0.0.1:%1: %2")
                  .arg(closedPort)
                  .arg(QString::fromLocal8Bit(std::strerror(ECONNREFUSED))));

    // At 1200 baud the seven bytes after the first answer are still coming when the link has it.
    SimProcess server({"--baud", "1200", "--fault", "extra=7@1-1", "--fault", "silence@21-23"},
                      freePort());
    RealLink tcp(server.device, "1200");
    tcp.state.WriteDataHigh[1] = '1';
    tcp.state.WriteDataLow[1] = static_cast<char>(0xFF);
    ASSERT_TRUE(tcp.link.WriteMultipleRegisters(1, 209, 1, 2))
        << tcp.port.errorText().toStdString();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the trailing bytes are in
    for (int i = 1; i < 20; ++i) ASSERT_TRUE(tcp.link.WriteMultipleRegisters(1, 209, 1, 2)) << i;
    EXPECT_EQ(tcp.link.counters().sends, 20);

    timespec cpu0{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(tcp.link.WriteMultipleRegisters(1, 209, 1, 2));
    timespec cpu1{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    const double cpu = static_cast<double>(cpu1.tv_sec - cpu0.tv_sec) +
                       static_cast<double>(cpu1.tv_nsec - cpu0.tv_nsec) / 1e9;
    EXPECT_GE(t.elapsed(), 2400);
    EXPECT_LE(t.elapsed(), 3700);
    EXPECT_EQ(tcp.link.counters().sends, 23);
    EXPECT_LT(cpu, 0.1 * static_cast<double>(t.elapsed()) / 1000.0);
}

// The far end gone half-way through an answer, a pseudo-terminal's or a device server's: the
// transaction ends (a device server's at once, a pty's within its wait), the port closed and the
// loss named (no resends on a dead line).
TEST_F(EndToEnd, FarEndClosedInTheMiddleOfABlock) {
    for (const quint16 tcp : {quint16{0}, freePort()}) {
        auto sim = std::make_unique<SimProcess>(QStringList{"--baud", "9600"}, tcp);
        RealLink real(sim->device, "9600");
        ASSERT_TRUE(real.link.OpenCommPort()) << real.port.errorText().toStdString();
        QElapsedTimer t;
        t.start();
        // The 1033-byte reply takes about a second at 9600 baud; end the far end half-way.
        QTimer::singleShot(500, [&] { sim->process.kill(); });
        EXPECT_FALSE(real.link.ReadLogBlock(1, 8, 0x80, 0, 512)) << tcp;
        EXPECT_LT(t.elapsed(), tcp == 0 ? 4000 : 1500) << tcp;
        EXPECT_LT(real.state.ReplyData.size(), 1024) << tcp;
        EXPECT_FALSE(real.port.portOpen()) << tcp;
        EXPECT_TRUE(real.port.errorText().contains(" lost")) << real.port.errorText().toStdString();
    }
}

// The exit status and words of each outcome. A dial the modem refused still hangs up (a CONNECT
// may come late), and Ctrl+C ends a download or a poll of a silent meter with exit 130; a run
// that fails leaves the old CSV as it was.
TEST_F(EndToEnd, CliExitStatuses) {
    struct Case {
        QStringList simArgs;
        QStringList cliArgs;
        int exit;             // 130: interrupted with Ctrl+C well into the first wait
        const char* text;     // said on stdout (on stderr when interrupted)
        QByteArray ini = {};  // a settings file in the folder, and the CSV it names
        const char* made = nullptr;
    };
    const std::vector<Case> cases{
        {{"--empty-log"}, {"download"}, 1, "0 Records Available"},
        // The settings file gives the slave ID and the CSV's name.
        {{"--slave", "17", "--records", "5"},
         {"download"},
         0,
         "Finished. Data in File",
         "[Commport]=2\r\n[CommBaud]=9600\r\n[CommFlow]=Hardware\r\n[CommSlaveID]=017\r\n"
         "[DownloadSaveFile]=from-settings.csv\r\n",
         "from-settings.csv"},
        {{"--channels", QString()}, {"download"}, 2, "Error in Downloading!!"},
        {{}, {"download", "--out", "/no/such/dir/x.csv"}, 3, "Error putting into file!!"},
        {{}, {"download", "--baud", "300"}, 64, ""},
        {{}, {"panel", "--keys", "M", "--polls", "2"}, 0, "|>FLOW RATE"},
        // Real time at 2400 baud, paced by the simulator: blocks small enough to beat the repeat.
        {{"--baud", "2400", "--records", "40"},
         {"download", "--baud", "2400"},
         0,
         "Finished. Data in File"},
        // One key a poll: more keys than polls is refused, no --polls runs one poll a key.
        {{}, {"panel", "--keys", "MLLE", "--polls", "1"}, 64, ""},
        {{}, {"panel", "--keys", "MN"}, 0, "-- poll 2\n"},
        {{"--modem", "--busy", "5"}, {"download", "--dial", "5"}, 2, "Could not connect"},
        {{"--fault", "silence"}, {"download"}, 130, "download interrupted"},
        {{"--fault", "silence"}, {"panel", "--polls", "9"}, 130, "panel interrupted"},
    };
    for (const Case& c : cases) {
        SimProcess sim(c.simArgs);
        QTemporaryDir dir;
        ASSERT_TRUE(writeFile(dir.filePath("Logdata.csv"), "old\r\n"));
        if (!c.ini.isEmpty()) {
            ASSERT_TRUE(writeFile(dir.filePath("Tavreldwn.ini"), c.ini));
        }
        QProcess cli;
        cli.setWorkingDirectory(dir.path());
        cli.start(binary("/cli/tavrel-cli"),
                  c.cliArgs + QStringList{"--port", sim.device, "--trace", "trace.txt"});
        ASSERT_TRUE(cli.waitForStarted());
        if (c.exit == 130) {
            QThread::msleep(1500);
            ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
        }
        ASSERT_TRUE(cli.waitForFinished(120000));
        const QByteArray out = cli.readAllStandardOutput();
        const QByteArray err = cli.readAllStandardError();
        const std::string what = c.cliArgs.join(u' ').toStdString() + "\n" + out.toStdString();
        EXPECT_EQ(cli.exitCode(), c.exit) << what;
        EXPECT_TRUE((c.exit == 130 ? err : out).contains(c.text)) << what << err.constData();
        if (c.made != nullptr) {
            EXPECT_TRUE(QFile::exists(dir.filePath(c.made))) << c.made;
        }
        if (c.exit != 0) {
            EXPECT_EQ(readFile(dir.filePath("Logdata.csv")), QByteArray("old\r\n")) << what;
        }
        if (c.simArgs.contains("--modem")) {  // the modem's traffic traced, none as Modbus bytes
            const QByteArray trace = readFile(dir.filePath("trace.txt"));
            for (const char* sent : {" MTX 41 54 0D\n", " MTX 2B 2B 2B\n", " MTX 41 54 48 30 0D\n"})
                EXPECT_TRUE(trace.contains(sent)) << sent << trace.constData();
            EXPECT_TRUE(trace.contains(" MRX ") && !trace.contains(" RX ")) << trace.constData();
        }
    }
}

// A technician's session, recorded with --trace and played back by tavrel-sim --replay in the
// office: the download writes the same CSV, the panel shows the same display lines.
TEST_F(EndToEnd, ARecordedSessionReplaysToTheSameCsvAndDisplay) {
    QTemporaryDir dir;
    const QStringList download{"download", "--out", "live.csv", "--trace", "download.trace"};
    const QStringList panel{"panel", "--keys", "MN", "--trace", "panel.trace"};
    CliRun liveDownload;
    CliRun livePanel;
    {
        SimProcess live({"--records", "300", "--fault", "exception=2:96@3-3"});
        liveDownload = runCli(dir.path(), download + QStringList{"--port", live.device});
        livePanel = runCli(dir.path(), panel + QStringList{"--port", live.device});
        ASSERT_EQ(liveDownload.exit + livePanel.exit, 0) << liveDownload.out.constData();
        // Piped, every step of the channel pass is a line: a slow instrument never looks hung.
        EXPECT_TRUE(liveDownload.err.contains("reading the set-up of channel 8\n"));
    }
    for (const char* name : {"download", "panel"}) {
        SimProcess replay({"--replay", dir.filePath(QString::fromLatin1(name) + ".trace"),
                           "--replay-speed", "0"});
        ASSERT_FALSE(replay.device.isEmpty()) << name;
        const bool isDownload = QByteArray(name) == "download";
        const CliRun r =
            runCli(dir.path(), (isDownload ? QStringList{"download", "--out", "replayed.csv"}
                                           : QStringList{"panel", "--keys", "MN"}) +
                                   QStringList{"--port", replay.device});
        EXPECT_EQ(r.exit, 0) << r.out.constData();
        EXPECT_EQ(r.out, (isDownload ? liveDownload : livePanel).out);
    }
    EXPECT_EQ(readFile(dir.filePath("replayed.csv")), readFile(dir.filePath("live.csv")));

    // A hand-made trace of an instrument whose display holds bytes that would act on a
    // terminal (ESC, CR, VT): the CLI prints them escaped.
    QByteArray trace = "# tavrel trace 1\n";
    for (int n = 0; n < 4; ++n) {
        const QByteArray request =
            withCrc(QByteArray::fromHex("010300") + QByteArray(1, static_cast<char>(24 + 10 * n)) +
                    QByteArray::fromHex("000A"));
        const QByteArray data =
            n == 1 ? QByteArray("A\x1B[2JB\rC\x0B").leftJustified(20, ' ') : QByteArray(20, ' ');
        const QByteArray reply = withCrc(QByteArray::fromHex("010314") + data);
        trace += "10:00:00.000 TX " + request.toHex(' ').toUpper() + "\n";
        trace += "10:00:00.010 RX " + reply.toHex(' ').toUpper() + "\n";
    }
    ASSERT_TRUE(writeFile(dir.filePath("escapes.trace"), trace));
    SimProcess replay({"--replay", dir.filePath("escapes.trace"), "--replay-speed", "0"});
    const QByteArray out = runCli(dir.path(), {"panel", "--port", replay.device}).out;
    EXPECT_TRUE(out.contains("|A\\x1B[2JB\\x0DC\\x0B           |\n")) << out.constData();
    EXPECT_FALSE(out.contains('\x1B'));
}

// tavrel-cli find: meters at other speeds and IDs, a silent line, a generic Modbus slave and a
// port another program holds; each meter with its settings, nothing else called a meter. Then
// --save, and a download with no options at all reaches the meter found.
TEST_F(EndToEnd, FindTellsEachMetersPortSpeedAndId) {
    SimProcess nine({"--baud", "9600", "--slave", "7"});
    SimProcess slow({"--baud", "2400", "--slave", "3", "--records", "10"});
    SimProcess silent({"--fault", "silence"});
    SimProcess generic({"--baud", "19200", "--fault", "exception=1:96"});
    SimProcess held({});
    const int holder = ::open(held.device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    QTemporaryDir dir;
    const QStringList ports{nine.device, slow.device, silent.device, generic.device, held.device};
    const CliRun found = runCli(dir.path(), {"find", "--ports", ports.join(u','), "--slaves",
                                             "1-10", "--bauds", "38400,9600,19200,2400"});
    ::close(holder);
    const QString out = QString::fromLocal8Bit(found.out);
    EXPECT_EQ(found.exit, 0) << out.toStdString();
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    auto line = [&](const QString& start) {
        const QStringList found = lines.filter(start);
        return found.size() == 1 ? found[0] : QStringLiteral("%1 lines").arg(found.size());
    };
    EXPECT_TRUE(
        line("Meter on " + nine.device + ":").contains(": 9600 baud, slave ID 7, 120 records"))
        << out.toStdString();
    EXPECT_TRUE(
        line("Meter on " + slow.device + ":")
            .contains(": 2400 baud, slave ID 3, 10 records; channels: Flow m3/h, Total m3,"))
        << out.toStdString();
    EXPECT_TRUE(line("Other Modbus device on " + generic.device + ":")
                    .contains(": 19200 baud, slave ID 1 "))
        << out.toStdString();
    EXPECT_EQ(line(held.device + ": in use by another program"),
              held.device + ": in use by another program, skipped");
    EXPECT_TRUE(lines.filter(silent.device).isEmpty()) << out.toStdString();
    EXPECT_EQ(lines.size(), 4) << out.toStdString();

    EXPECT_EQ(runCli(dir.path(), {"find", "--ports", nine.device, "--save"}).exit, 0);
    const CliRun download = runCli(dir.path(), {"download"});
    EXPECT_EQ(download.exit, 0) << download.out.constData();
}

// tavrel-cli plot and download --plot: a chart from a CSV the tool wrote in a Korean locale,
// clear refusals (64) for what is not such a file or a bad option, and no image half-written.
TEST_F(EndToEnd, CliPlotsTheCsvItWrote) {
    QTemporaryDir dir;
    auto run = [&](const QStringList& args) {
        const CliRun r = runCli(dir.path(), args, {"LC_ALL=ko_KR.UTF-8"});
        return std::pair{r.exit, r.err};
    };
    const auto download = run(
        {"download", "--demo", "--sim-records", "400", "--out", "log.csv", "--plot", "after.svg"});
    ASSERT_EQ(download.first, 0) << download.second.constData();
    EXPECT_TRUE(readFile(dir.filePath("after.svg")).startsWith("<?xml"));
    // made: the image that must exist afterwards, or nullptr for none
    using Case = std::tuple<QStringList, int, const char*, const char*>;
    ASSERT_TRUE(writeFile(dir.filePath("notes.csv"), "name,phone\r\nnorth,555\r\n"));
    // A log of one record: its header and first line.
    const QList<QByteArray> lines = readFile(dir.filePath("log.csv")).split('\n');
    ASSERT_TRUE(writeFile(dir.filePath("one.csv"), lines[0] + '\n' + lines[1] + '\n'));
    const std::vector<Case> cases{
        {{"plot", "log.csv"}, 0, "log.png", ""},
        {{"plot", "log.csv", "--out", "part.svg", "--channels", "1,Temp C", "--from", "2026-03-16",
          "--to", "2026-03-17T06:00", "--size", "640x360"},
         0,
         "part.svg",
         ""},
        {{"plot", "notes.csv", "--out", "notes.png"}, 64, nullptr, "not a log the tool wrote"},
        {{"plot", "missing.csv", "--out", "missing.png"}, 64, nullptr, "cannot read missing.csv"},
        {{"plot", "log.csv", "--out", "x.jpg"}, 64, nullptr, ".png, .svg or .pdf"},
        {{"plot", "log.csv", "--out", "y.png", "--channels", "9"}, 64, nullptr, "no channel \"9\""},
        {{"plot", "log.csv", "--out", "z.png", "--size", "10x10"}, 64, nullptr, "--size"},
        {{"plot", "log.csv", "--out", "w.png", "--from", "tomorrow"}, 64, nullptr, "--from"},
        {{"plot", "log.csv", "--out", "r.png", "--from", "2026-03-17", "--to", "2026-03-16"},
         64,
         nullptr,
         "--to must come after --from"},
        // One record starts and ends at one time: a point, not a usage error.
        {{"plot", "one.csv", "--out", "one.pdf"}, 0, "one.pdf", ""},
        {{"plot", "log.csv", "--out", "no/such/dir/v.png"}, 3, nullptr, "cannot write"},
        {{"plot"}, 64, nullptr, "say plot CSV"},
        // A caption's unique start names its channel ("Total" for "Total m3"); a range that
        // holds no record draws nothing.
        {{"plot", "log.csv", "--out", "total.png", "--channels", "total"}, 0, "total.png", ""},
        {{"plot", "log.csv", "--out", "u.png", "--from", "2027-01-01", "--to", "2027-02-01"},
         1,
         nullptr,
         "no records between 2027-01-01 00:00 and 2027-02-01"},
    };
    for (const auto& [args, wantedExit, made, error] : cases) {
        const auto [exit, err] = run(args);
        EXPECT_EQ(exit, wantedExit) << args.join(u' ').toStdString() << "\n" << err.constData();
        EXPECT_TRUE(err.contains(error)) << err.constData();
        if (made != nullptr) {
            EXPECT_TRUE(QFile::exists(dir.filePath(QLatin1String(made)))) << made;
        }
    }
    EXPECT_TRUE(readFile(dir.filePath("log.png")).startsWith("\x89PNG"));
    // Nothing of a refused or failed image is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
              (QStringList{"after.svg", "log.csv", "log.png", "notes.csv", "one.csv", "one.pdf",
                           "part.svg", "total.png"}));
}

}  // namespace
}  // namespace tavrel::test
