// Dialing and hanging up through the simulated Hayes modem, on the virtual clock.

#include <gtest/gtest.h>

#include <tuple>

#include "driver_download.h"
#include "front_panel.h"
#include "modem.h"
#include "scripted_device.h"
#include "sim_rig.h"

namespace tavrel::test {
namespace {

struct StatusRecorder : ModemView {
    void setModemStatus(const QString& text) override {
        status = text;
        history << text;
    }
    QString modemStatus() const override { return status; }
    void setHangUpVisible(bool visible) override { hangUpVisible = visible; }
    QString status = "정상";
    QStringList history;
    bool hangUpVisible = false;
};

sim::SimulatedLineOptions withModem(double connectDelay = 2.0) {
    sim::SimulatedLineOptions o;
    o.modem = true;
    o.modemConfig.connectDelay = connectDelay;
    return o;
}

// A far end that answers the modem check with given bytes and then stays quiet.
struct ModemRig {
    explicit ModemRig(const sim::SimulatedLineOptions& options = withModem(),
                      double timeOfDay = 12 * 3600.0)
        : rig(options, timeOfDay), modem(rig.link, view) {}
    SimRig rig;
    StatusRecorder view;
    Modem modem;
};

// The modem check's reply in the forms modems give it. A modem that says anything else, or
// nothing at all, never gets the dial command: "Could not connect" 90 s after the check; also
// with a pump that sleeps all each pass allows (the window's on a silent line: a few long passes,
// none of them asked to wait no time at all over and over) and across midnight, where the time
// of day starts again from 0.
TEST(DialModem, ModemCheckReplyForms) {
    // reply (nullptr: none), dialed, the pump sleeping through waits, the time of day
    using Case = std::tuple<const char*, bool, bool, double>;
    for (const auto& [reply, passes, sleeping, timeOfDay] :
         {Case{"AT\r\r\nOK\r\n", true, false, 43200}, Case{"ok", true, false, 43200},
          Case{"Ok", true, false, 43200}, Case{"oK", false, false, 43200},
          Case{"ERROR\r\n", false, false, 43200}, Case{nullptr, false, false, 43200},
          Case{nullptr, false, true, 43200}, Case{nullptr, false, false, 86370}}) {
        const std::string name = std::string(reply != nullptr ? reply : "silent") +
                                 (sleeping ? " sleeping" : "") + " at " + std::to_string(timeOfDay);
        SimRig rig({}, timeOfDay);
        rig.pump.sleepsThroughWaits = sleeping;
        ScriptedDevice device;
        device.terminator = '\r';  // first the lone CR, then "AT" CR
        if (reply != nullptr) device.scripts = {{}, {{0.05, QByteArray(reply)}}, {}};
        device.setOutput(
            [&](const QByteArray& b, double at) { rig.sim.line().deviceWrite(b, at); });
        rig.sim.line().attachDevice(&device);
        StatusRecorder view;
        Modem modem(rig.link, view);
        const double start = rig.now();
        modem.DialModem("1234");
        EXPECT_EQ(view.history.contains("Dialing 1234"), passes) << name;
        if (passes) continue;
        EXPECT_EQ(view.status, "Could not connect") << name;
        EXPECT_EQ(device.received.size(), 2U) << name;  // the check's two lines, no dial
        EXPECT_FALSE(view.hangUpVisible) << name;
        EXPECT_TRUE(rig.sim.port().portOpen()) << name;
        EXPECT_NEAR(rig.now() - start, 1.0 + 90.0, 0.1) << name;
        if (sleeping) {
            EXPECT_LT(rig.pump.passes(), 20);
            EXPECT_LE(rig.pump.passesWithNoTimeLeft(), 1);
        }
    }
}

// The number is read when the dial command goes out: an edit during the modem check counts.
TEST(DialModem, ConnectLineTenSecondsAfterDialing) {
    ModemRig m(withModem(10.0));
    double dialedAt = -1;
    QString box = "111";
    m.rig.pump.onPass = [&] {
        box = "0311234567";
        if (dialedAt < 0 && m.view.hangUpVisible) dialedAt = m.rig.now();
    };
    m.modem.DialModem([&] { return box; });
    // The whole text of the dial phase: the rest of the modem check's line, the echo, the connect.
    EXPECT_EQ(m.view.status, "\r\nATDT 0311234567\r\r\nCONNECT 38400\r\n");
    EXPECT_NEAR(m.rig.now() - dialedAt, 10.0 + 3.0, 0.1);
    EXPECT_EQ(m.rig.sim.port().inBufferCount(), 0);
    EXPECT_TRUE(m.rig.sim.port().portOpen());
    EXPECT_EQ(m.rig.sim.modem()->dialedNumber(), "0311234567");
    // Status history: empty, the modem check growing a byte at a time, then dialing.
    EXPECT_EQ(m.view.history.first(), QString());
    EXPECT_TRUE(m.view.history.contains("A"));
    EXPECT_TRUE(m.view.history.contains("Dialing 0311234567"));
    // And Modbus now runs over the connection.
    EXPECT_TRUE(m.rig.link.ReadHoldingRegisters(1, 0, 24, 10));
}

// A collect round stops at the modem's refusal and names it; the window's dial waits its 90 s
// whatever the modem said (an empty number goes out as "ATDT" and CR).
TEST(DialModem, StopAtRefusalEndsTheDialAtTheModemsWord) {
    sim::SimulatedLineOptions options = withModem(1.0);
    options.modemConfig.busyNumbers = {"111", QString()};
    options.modemConfig.noCarrierNumbers = {"222"};
    for (const char* number : {"111", "222", ""}) {
        ModemRig m(options);
        const bool window = *number == '\0';
        m.modem.setStopAtRefusal(!window);
        const double start = m.rig.now();
        m.modem.DialModem(QString::fromLatin1(number));
        EXPECT_EQ(m.view.status, "Could not connect") << number;
        if (window) {
            EXPECT_EQ(m.rig.sim.modem()->commands().last(), "ATDT");
            EXPECT_GT(m.rig.now() - start, 91.0);
            continue;
        }
        EXPECT_LT(m.rig.now() - start, 10.0) << number;
        const QString reply = m.view.history.value(m.view.history.size() - 2);
        EXPECT_EQ(Modem::refusal(reply), QLatin1String(number[0] == '1' ? "busy" : "no carrier"));
    }
}

// What a modem's reply says: the refusal it names, or the speed it connected at.
TEST(DialModem, RepliesNameTheRefusalOrTheSpeed) {
    // reply, the refusal ("" none), the speed (0 none)
    using Case = std::tuple<const char*, const char*, int>;
    for (const auto& [reply, refusal, speed] :
         {Case{"\r\nBUSY\r\n", "busy", 0}, Case{"NO DIALTONE", "no dial tone", 0},
          Case{"NO ANSWER", "no answer", 0}, Case{"NO CARRIER", "no carrier", 0},
          Case{"busy", "", 0}, Case{"ATDT 5551234\r", "", 0}, Case{"CONNECT 2400", "", 2400},
          Case{"CONNECT 9600/ARQ", "", 9600}, Case{"\r\nCONNECT\r\n", "", 0},
          Case{"Connect 1200", "", 1200}}) {
        EXPECT_EQ(Modem::refusal(QString::fromLatin1(reply)), QLatin1String(refusal)) << reply;
        EXPECT_EQ(Modem::connectSpeed(QString::fromLatin1(reply)), speed) << reply;
    }
}

// The hang-up's 6 s and its closed port; straight after a Modbus reply the modem would take
// "+++" as data and stay on line, so the escape's guard time of silence comes first.
TEST(HangUp, TimingGuardTimeAndClosedPort) {
    for (const bool traffic : {false, true}) {
        ModemRig m;
        m.modem.DialModem("1");
        ASSERT_TRUE(m.rig.sim.modem()->dataMode());
        ASSERT_TRUE(!traffic || m.rig.link.ReadHoldingRegisters(1, 0, 24, 10));
        const double start = m.rig.now();
        EXPECT_TRUE(m.modem.HangUp());
        EXPECT_EQ(m.view.history.mid(m.view.history.size() - 2),
                  QStringList({"Hanging up Line", "Okay"}));
        EXPECT_NEAR(m.rig.now() - start, traffic ? 1.2 + 6.0 : 6.0, 0.05) << traffic;
        EXPECT_FALSE(m.rig.sim.port().portOpen());
        m.rig.sim.line().deliver();  // what went on the wire before the close reaches the modem
        EXPECT_FALSE(m.rig.sim.modem()->online());
        EXPECT_EQ(m.rig.sim.modem()->commands().last(), "ATH0");
    }
}

// The hang-up cuts into whatever holds the port, so a call to a meter that stopped answering
// does not run up the bill: the operation ends at its next pass with its own failure and the
// line is hung up. On a closed port it is harmless.
TEST(HangUp, CutsIntoAnyOperation) {
    // connectFirst: dial, then make the meter silent and run the operation
    using Case = std::tuple<const char*, bool, bool, double>;
    for (const auto& [title, silentModem, connectFirst, after] :
         {Case{"modem check", true, false, 5.0}, Case{"dial", false, false, 1.6},
          Case{"download", false, true, 10.0}, Case{"poll", false, true, 10.0},
          Case{"closed port", false, false, -1.0}}) {
        sim::SimulatedLineOptions options = withModem(connectFirst ? 2.0 : 30.0);
        options.modemConfig.silent = silentModem;
        ModemRig m(options);
        const QString name = QString::fromLatin1(title);
        if (connectFirst) {
            m.modem.DialModem("1");
            ASSERT_TRUE(m.rig.sim.modem()->dataMode());
            m.rig.faults().add(sim::FaultRule{sim::FaultKind::Silence});
        }
        bool hung = false;
        const double start = m.rig.now();
        m.rig.pump.onPass = [&, after = after, title = title] {
            if (!hung && after >= 0 && m.rig.now() - start > after) {
                hung = true;
                EXPECT_TRUE(m.modem.HangUp()) << title;
            }
        };
        QuietDownloadView downloadView;
        FlexGrid grid(kRecordsGridRows, kRecordsGridCols);
        DownloadDriver driver(m.rig.link, grid, downloadView);
        struct : PanelView {
            void setDisplayLine(int, const QByteArray&) override {}
        } panelView;
        FrontPanel panel(m.rig.link, panelView);
        if (name == "download") {
            EXPECT_EQ(driver.onDownloadClicked(), kDownloadFailed);
            EXPECT_TRUE(driver.failureCause().contains("hung up"))
                << driver.failureCause().toStdString();
        } else if (name == "poll") {
            EXPECT_FALSE(panel.tick());
        } else if (name == "closed port") {
            EXPECT_TRUE(m.modem.HangUp());
        } else {
            m.modem.DialModem("1");
        }
        EXPECT_EQ(hung, after >= 0) << title;
        EXPECT_EQ(m.view.status, "Okay") << title;
        EXPECT_FALSE(m.rig.sim.port().portOpen()) << title;
        EXPECT_FALSE(m.rig.link.portLock().operationBusy()) << title;
        // At most the 1.2 s escape guard after the last byte, then the 6 s hang-up.
        EXPECT_LT(m.rig.now() - start, std::max(after, 0.0) + 1.2 + 6.5) << title;
        if (after >= 0 && !silentModem) {
            m.rig.sim.line().deliver();
            EXPECT_FALSE(m.rig.sim.modem()->online()) << title;
        }
    }
}

// A connect report's speed sets the pace of the line when it is slower than the port.
TEST(DialModem, ConnectSpeedSetsTheLineSpeed) {
    sim::SimulatedLineOptions options = withModem();
    options.modemConfig.connectBaud = 2400;
    ModemRig m(options);
    m.modem.DialModem("1");
    EXPECT_EQ(m.rig.link.lineBaud(), 2400);
    m.modem.HangUp();  // a direct line afterwards runs at the port's speed again
    EXPECT_EQ(m.rig.link.lineBaud(), 38400);
}

TEST(DialModem, RefusedWhileAnotherOperationHoldsThePort) {
    ModemRig m;
    OperationGuard poll(m.rig.link.portLock(), "front panel");
    EXPECT_FALSE(m.modem.DialModem("1"));
    EXPECT_TRUE(m.rig.sim.modem()->commands().isEmpty());
}

}  // namespace
}  // namespace tavrel::test
