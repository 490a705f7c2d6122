// The simulated instrument and modem: golden answers, the number format, every fault doing what
// it says, and the front panel moving through its menu. (The log it serves: the download tests,
// by hand.)

#include <gtest/gtest.h>

#include <tuple>

#include "replay_device.h"

#include "golden_frames.h"
#include "instrument_number.h"
#include "record_decoding.h"
#include "scripted_device.h"
#include "sim_crc.h"
#include "sim_rig.h"

namespace tavrel::test {
namespace {

using sim::FaultKind;
using sim::FaultRule;
using sim::FlowMeterSim;

TEST(SimInstrument, AnswersTheGoldenRequestsAndRejectsTheRest) {
    FlowMeterSim meter;
    for (const GoldenFrame& g : kGoldenFrames) {
        const QByteArray reply = meter.answer(hex(g.request), 0);
        ASSERT_TRUE(sim::crcValid(reply)) << g.name;
        EXPECT_EQ(reply.left(2), hex(g.request).left(2)) << g.name;
        if (*g.reply != '\0') {
            EXPECT_EQ(reply, hex(g.reply)) << g.name;
        }
    }
    // What it does not know, it rejects with an exception.
    struct Case {
        const char* request;
        int function, code;
    };
    for (const Case& c : {Case{"01 04 00 00 00 01", 4, 1}, Case{"01 03 00 FF 00 02", 3, 2},
                          Case{"01 03 00 00 00 00", 3, 3}, Case{"01 60 07 80 00 00 10", 96, 2}}) {
        const QByteArray reply = meter.answer(sim::sealed(hex(c.request)), 0);
        EXPECT_EQ(reply, sim::sealed(sim::frameOf({1, c.function | 0x80, c.code}))) << c.request;
    }
}

TEST(SimInstrument, NumberFormatRoundTripsThroughTheToolsDecoder) {
    // Over one mantissa stride and every exponent: decode, encode, decode.
    for (int e = 2; e <= 252; e += 5) {
        for (int m = 0; m < (1 << 23); m += 104729) {
            const int b1 = e >> 1;
            const int b2 = ((e & 1) << 7) | (m >> 16);
            const float v = DecodeFloat(b1, b2, (m >> 8) & 0xFF, m & 0xFF);
            const auto again = sim::encodeNumber(v);
            ASSERT_EQ(DecodeFloat(again[0], again[1], again[2], again[3]), v) << e << " " << m;
        }
    }
}

TEST(SimFaults, EachFaultDoesWhatItSays) {
    const QByteArray good = sim::sealed(hex("01 03 02 12 34"));
    using Case = std::tuple<const char*, long, QByteArray, double>;
    const QByteArray swapped = good.left(5) + good.mid(6, 1) + good.mid(5, 1);
    const std::vector<Case> cases{
        {"silence", 1, {}, 0},
        {"silence@2-3", 1, good, 0},
        {"silence@2-3", 3, {}, 0},
        {"late=1.5", 1, good, 1.5},
        {"swap-crc", 1, swapped, 0},
        {"truncate=3", 1, good.left(3), 0},
        {"extra=2", 1, good + hex("55 55"), 0},
        {"exception=4", 1, sim::sealed(hex("01 83 04")), 0},
        {"wrong-slave", 1, sim::sealed(hex("02 03 02 12 34")), 0},
        {"silence:16", 1, good, 0},
        {"silence/3", 2, good, 0},
        {"silence/3", 6, {}, 0},
        {"silence@4/3", 3, good, 0},
        {"silence:3@4-9/3", 9, {}, 0},
    };
    for (const auto& [rule, request, expected, wantedDelay] : cases) {
        sim::FaultPlan plan;
        QString error;
        ASSERT_TRUE(plan.add(QString::fromLatin1(rule), &error)) << rule;
        double delay = -1;
        EXPECT_EQ(plan.apply(request, 3, good, &delay), expected) << rule;
        EXPECT_EQ(delay, wantedDelay) << rule;
    }
    sim::FaultPlan plan;
    plan.add(FaultRule{FaultKind::CorruptCrc});
    double delay = 0;
    const QByteArray corrupt = plan.apply(1, 3, good, &delay);
    EXPECT_EQ(corrupt.size(), good.size());
    EXPECT_FALSE(sim::crcValid(corrupt));
    for (const char* bad :
         {"sillence", "late=x", "silence@0", "truncate:abc", "silence/0", "silence/x"}) {
        EXPECT_FALSE(plan.add(QString::fromLatin1(bad), nullptr)) << bad;
    }
}

// Presses keys, then returns the four lines (as shown at time 0).
std::array<QByteArray, 4> press(sim::PanelSim& panel, const char* keys) {
    for (const char* k = keys; *k != '\0'; ++k) panel.key(*k);
    return panel.lines(0);
}

// Through the menu and the second layer; the settings page shows the simulator's real settings
// and takes a value with decimals; the channel page agrees with the log (the whole caption, the
// latest record's value to the digits shown) for every channel.
TEST(SimFrontPanel, MenuSettingsAndChannelsAgreeWithTheInstrument) {
    sim::LogShape shape;
    shape.channels = {1, 2, 3, 4, 5, 6, 7, 8};
    shape.records = 40;
    shape.intervalMinutes = 5;
    const sim::LogGenerator log(shape);
    sim::PanelSim panel(log, 17);
    auto lines = press(panel, "M");
    EXPECT_EQ(lines[0], QByteArray("\x02"
                                   "FLOW RATE          "));
    EXPECT_EQ(lines[3], QByteArray(" SETTINGS           "));  // blanks, not unlit 0x00 cells
    lines = press(panel, "NE");
    EXPECT_EQ(lines[1], QByteArray("\x02SLAVE ID         17"));
    EXPECT_EQ(lines[2], QByteArray(" INTERVAL      5 MIN"));
    press(panel, "E12E");  // the slave ID is shown only: Enter starts no entry
    EXPECT_EQ(panel.setting(0), 17.0);
    lines = press(panel, "LE30");
    EXPECT_EQ(lines[2], QByteArray("\x02INTERVAL    30_ MIN"));
    press(panel, "ELE1.7.5EE9FE");  // one point, one decimal kept; 2nd Enter leaves it
    EXPECT_EQ(panel.setting(1), 30.0);
    EXPECT_EQ(panel.setting(2), 1.8);
    press(panel, "FM");  // 2nd Menu: home
    EXPECT_EQ(panel.page(), sim::PanelSim::Page::Main);
    lines = press(panel, "MLLE");
    EXPECT_EQ(panel.page(), sim::PanelSim::Page::Channels);
    for (int k = 1; k <= 8; ++k) {
        EXPECT_EQ(lines[1].trimmed(), log.caption(k).toUtf8()) << k;
        const QByteArray shown = lines[2].mid(5).trimmed();
        EXPECT_NEAR(shown.toDouble(), log.value(k, 39), 0.005) << k << " " << shown.constData();
        EXPECT_TRUE(lines[3].endsWith(log.stamp(39).toString("dd/MM HH:mm").toLatin1()));
        for (const QByteArray& line : lines) EXPECT_EQ(line.size(), 20);
        lines = press(panel, "L");
    }
    lines = press(panel, "F");  // the second-function layer shows until its key
    EXPECT_TRUE(panel.secondFunction());
    EXPECT_TRUE(lines[0].endsWith("2nd"));
    lines = press(panel, "L");  // 2nd Down: the last channel
    EXPECT_EQ(lines[0], QByteArray("CHANNEL 8/8    Up/Dn"));
    press(panel, "FE");  // 2nd Enter: back to the menu
    EXPECT_EQ(panel.page(), sim::PanelSim::Page::Menu);
    press(panel, "FMM.");  // outside an entry "." is Help
    EXPECT_EQ(panel.page(), sim::PanelSim::Page::Help);
}

// The modem in front of the instrument: "+++" inside the escape's guard time of silence is
// data; after it, the modem leaves data mode and takes commands again.
TEST(SimModem, TheEscapeWantsItsGuardTime) {
    sim::SimulatedLineOptions options;
    options.modem = true;
    options.modemConfig.connectDelay = 0.5;
    SimRig rig(options);
    ASSERT_TRUE(rig.link.OpenCommPort());
    auto say = [&](const QByteArray& text, double seconds) {
        rig.sim.port().output(text);
        rig.pump.pause(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
        rig.sim.port().setInputLen(0);
        return rig.sim.port().input();
    };
    EXPECT_EQ(say("ATDT 1234\r", 1.0), QByteArray("ATDT 1234\r\r\nCONNECT 38400\r\n"));
    EXPECT_EQ(say("+++", 1.5), QByteArray());  // right after the dial's bytes: data
    EXPECT_TRUE(rig.sim.modem()->dataMode());
    EXPECT_EQ(say("+++", 1.5), QByteArray("\r\nOK\r\n"));
    EXPECT_FALSE(rig.sim.modem()->dataMode());
    EXPECT_EQ(say("ATH0\r", 0.1), QByteArray("ATH0\r\r\nOK\r\n"));
    EXPECT_FALSE(rig.sim.modem()->online());
}

// A trace that is not one, or a broken line, is refused with the line named.
TEST(ReplayTrace, ParsingNamesTheBadLine) {
    using Case =
        std::tuple<const char*, const char*, std::size_t>;  // text, error ("": parses), events
    const Case cases[] = {
        {"# tavrel trace 1\n10:00:00.000 TX 01 03\n10:00:00.010 RX 01 ! no reply\n"
         "10:00:00.010 -- ReadHoldingRegisters false (no reply)\n",
         "", 2},
        {"TX 01\n", "line 1: not a tavrel trace", 0},
        {"# tavrel trace 1\nTX 01\n", "line 2: no time stamp", 0},
        {"# tavrel trace 1\n10:00:00.000 ZX 01\n", "line 2: unknown direction", 0},
        {"# tavrel trace 1\n\n10:00:00.000 TX 0G\n", "line 3: bad hex bytes", 0},
    };
    for (const auto& [text, wanted, count] : cases) {
        std::vector<sim::TraceEvent> events;
        QString error;
        const bool ok = sim::parseTrace(QByteArray(text), &events, &error);
        EXPECT_EQ(ok, *wanted == '\0') << text;
        EXPECT_TRUE(ok || error.startsWith(QString::fromLatin1(wanted))) << error.toStdString();
        EXPECT_TRUE(!ok || events.size() == count) << text;
    }
}

}  // namespace
}  // namespace tavrel::test
