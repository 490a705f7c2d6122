// The serial link: CRC and frames, opening the port, receiving with its time limit, and the
// three transactions against the simulated instrument and its faults, all on the virtual clock.

#include <gtest/gtest.h>

#include <tuple>

#include <QTemporaryDir>

#include "crc.h"
#include "golden_frames.h"
#include "scripted_device.h"
#include "sim_crc.h"
#include "sim_rig.h"
#include "trace.h"

namespace tavrel::test {
namespace {

TEST(Crc, PublishedCheckValuesAndGoldenFrames) {
    using Case = std::tuple<QByteArray, std::uint16_t>;
    for (const auto& [input, crc] :
         {Case{"123456789", 0x4B37}, Case{"abc", 0x5749}, Case{"", 0xFFFF}}) {
        SimRig rig;
        rig.state.CrcValue = 65535;
        for (const char ch : input)
            rig.state.CrcValue = rig.link.UpdateCrc(static_cast<unsigned char>(ch));
        EXPECT_EQ(rig.state.CrcValue, crc) << input.constData();
        EXPECT_EQ(crc16(input), crc);
        EXPECT_EQ(sim::modbusCrc(input), crc);
    }
    // The golden frames carry theirs low byte first.
    for (const GoldenFrame& g : kGoldenFrames) {
        for (const char* text : {g.request, g.reply}) {
            const QByteArray frame = hex(text);
            if (frame.isEmpty()) continue;
            EXPECT_EQ(withCrc(frame.left(frame.size() - 2)), frame) << g.name;
            EXPECT_TRUE(sim::crcValid(frame)) << g.name;
        }
    }
}

TEST(OpenCommPort, AppliesSettingsOnce) {
    SimRig rig;
    rig.state.CommPort = 2;
    rig.state.CommBaud = "9600";
    ASSERT_TRUE(rig.link.OpenCommPort());
    EXPECT_EQ(rig.sim.port().commPort(), 2);
    EXPECT_EQ(rig.sim.port().settings(), "9600,N,8,1");
    EXPECT_EQ(rig.sim.port().inputLen(), 0);
    EXPECT_TRUE(rig.sim.port().binaryMode());

    // Open already: nothing is set again, even though the program state changed.
    rig.state.CommPort = 3;
    rig.state.CommBaud = "1200";
    EXPECT_TRUE(rig.link.OpenCommPort());
    EXPECT_EQ(rig.sim.port().settings(), "9600,N,8,1");
    EXPECT_EQ(rig.sim.port().openCount(), 1);
}

TEST(ReceiveReply, TakesWaitingBytesAtOnceWithoutRunningEvents) {
    SimRig rig;
    ASSERT_TRUE(rig.link.OpenCommPort());
    rig.sim.line().deviceWrite(hex("AA BB CC"), rig.now());
    rig.pump.pause(std::chrono::milliseconds(10));  // all three are in
    const long passes = rig.pump.passes();
    ASSERT_TRUE(rig.link.ReceiveReply(1));
    EXPECT_EQ(rig.state.ReplyBuffer, hex("AA"));
    EXPECT_EQ(rig.sim.port().inBufferCount(), 2);
    EXPECT_EQ(rig.pump.passes(), passes);
}

// The limit runs from the start mark (time of day rounded to whole seconds, halves to even)
// to strictly more than two seconds past it.
TEST(ReceiveReply, TimeLimitFollowsTheRoundedStartMark) {
    using Case = std::tuple<double, double>;
    for (const auto& [startTimeOfDay, expectedWait] :
         {Case{100.0, 2.0}, Case{100.4, 1.6}, Case{100.6, 2.4}, Case{100.5, 1.5}, Case{101.5, 2.5},
          Case{86399.0, 3.0} /* midnight: mark taken anew */}) {
        SimRig rig({}, startTimeOfDay);
        ASSERT_TRUE(rig.link.OpenCommPort());
        rig.state.ReplyBuffer = hex("77");
        const double start = rig.now();
        EXPECT_FALSE(rig.link.ReceiveReply(1));
        EXPECT_NEAR(rig.now() - start, expectedWait, 0.01) << "start " << startTimeOfDay;
        EXPECT_EQ(rig.state.ReplyBuffer, hex("77"));
    }
}

// ---- Function 3 ----------------------------------------------------------------------------

struct Fn3Case {
    const char* name;
    const char* fault;  // simulated instrument fault rule, or empty
    bool ok;
    long minSends, maxSends;
    double minSeconds, maxSeconds;
};

class ReadHoldingRegistersFaults : public ::testing::TestWithParam<Fn3Case> {};

TEST_P(ReadHoldingRegistersFaults, EndsAsDocumentedAndTheNextReadWorks) {
    const Fn3Case& c = GetParam();
    SimRig rig;
    ASSERT_TRUE(rig.addFaults(c.fault)) << c.fault;
    const double start = rig.now();
    EXPECT_EQ(rig.link.ReadHoldingRegisters(1, 0, 24, 10), c.ok);
    const double took = rig.now() - start;
    EXPECT_GE(rig.sends(), c.minSends);
    EXPECT_LE(rig.sends(), c.maxSends);
    EXPECT_GE(took, c.minSeconds);
    EXPECT_LE(took, c.maxSeconds);
    if (c.ok) {
        EXPECT_EQ(rig.state.ReplyData.size(), 20);
    }
    if (*c.fault == '\0') {  // the request byte for byte, the data in the display's order
        EXPECT_EQ(rig.sim.meter().requests()[0], hex(kGoldenFrames[0].request));
        EXPECT_EQ(rig.state.ReplyData, rig.sim.meter().panel().lines(0)[0]);
    }
    rig.faults().clear();
    rig.pump.pause(std::chrono::milliseconds(100));  // whatever was still on the wire arrives
    EXPECT_TRUE(rig.link.ReadHoldingRegisters(1, 0, 76, 8));
    EXPECT_EQ(rig.state.ReplyData.size(), 16);
}

INSTANTIATE_TEST_SUITE_P(
    Link, ReadHoldingRegistersFaults,
    ::testing::Values(Fn3Case{"clean", "", true, 1, 1, 0, 0.1},
                      Fn3Case{"silent", "silence", false, 30, 30, 30.0, 30.1},
                      Fn3Case{"third send answered", "silence@1-2", true, 3, 3, 1.0, 3.2},
                      Fn3Case{"late by 0.8 s, no repeat", "late=0.8", true, 1, 1, 0.8, 0.9},
                      Fn3Case{"corrupted CRC", "corrupt-crc", false, 1, 1, 0, 0.1},
                      Fn3Case{"CRC bytes swapped", "swap-crc", false, 1, 1, 0, 0.1},
                      Fn3Case{"another slave accepted", "wrong-slave", true, 1, 1, 0, 0.1},
                      // Five 5-byte exception replies pile up to the awaited 25 bytes.
                      Fn3Case{"exception to every send", "exception=2", false, 5, 5, 4.0, 4.2},
                      Fn3Case{"exception once then silence", "exception@1-1;silence@2", false, 30,
                              30, 30.0, 30.1},
                      Fn3Case{"extra bytes after the reply", "extra=7", true, 1, 1, 0, 0.1},
                      Fn3Case{"noise byte before the reply", "noise=1", false, 1, 1, 0, 0.1},
                      // Three 12-byte pieces pile up past 25 bytes and fail the CRC.
                      Fn3Case{"every reply cut after 12 bytes", "truncate=12", false, 3, 3, 2.0,
                              2.2}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return n;
    });

// Replies the instrument never makes by itself: in pieces, empty, short of its byte count, and
// from another slave with another function code (the CRC is the only check of a reply).
TEST(ReadHoldingRegisters, ScriptedReplyShapes) {
    struct Case {
        const char* name;
        std::vector<ScriptedDevice::Piece> pieces;
        int count;
        bool ok;
        QByteArray data;
        double maxSeconds;
    };
    const QByteArray twoBytes = sim::sealed(hex("01 03 02 48 69"));
    const QByteArray empty = sim::sealed(hex("01 03 00"));
    const std::vector<Case> cases{
        {"in pieces within the first second",
         {{0.1, twoBytes.left(2)}, {0.5, twoBytes.mid(2, 2)}, {0.9, twoBytes.mid(4)}},
         1,
         true,
         "Hi",
         1.0},
        {"byte count 0", {{0.01, empty + QByteArray(2, '\0')}}, 1, true, "", 0.1},
        {"fewer bytes than announced", {{0.01, hex("01 03 04 00 01 00 02")}}, 1, false, {}, 9.0},
        {"slave 7, function 4", {{0.01, sim::sealed(hex("07 04 02 48 69"))}}, 1, true, "Hi", 0.1},
    };
    for (const Case& c : cases) {
        SimRig rig;
        ScriptedDevice device;
        device.scripts = {c.pieces};
        device.setOutput(
            [&](const QByteArray& b, double at) { rig.sim.line().deviceWrite(b, at); });
        rig.sim.line().attachDevice(&device);
        const double start = rig.now();
        EXPECT_EQ(rig.link.ReadHoldingRegisters(1, 0, 24, c.count), c.ok) << c.name;
        EXPECT_EQ(device.received.size(), 1U) << c.name << ": no repeat";
        EXPECT_LE(rig.now() - start, c.maxSeconds) << c.name;
        if (c.ok) {
            EXPECT_EQ(rig.state.ReplyData, c.data) << c.name;
        }
    }
}

TEST(ReadHoldingRegisters, StaleBytesAreDiscardedAndUnopenablePortSendsNothing) {
    SimRig rig;
    ASSERT_TRUE(rig.link.OpenCommPort());
    rig.sim.line().deviceWrite(hex("01 03 02 FF FF 00 00"), rig.now());
    rig.pump.pause(std::chrono::milliseconds(10));
    EXPECT_TRUE(rig.link.ReadHoldingRegisters(1, 0, 24, 10));
    EXPECT_EQ(rig.state.ReplyData.size(), 20);

    SimRig missing;
    missing.sim.port().setAvailablePort(2);
    missing.state.ReplyData = "kept";
    EXPECT_FALSE(missing.link.ReadHoldingRegisters(1, 0, 24, 10));
    EXPECT_EQ(missing.sends(), 0);
    EXPECT_EQ(missing.state.ReplyData, QByteArray("kept"));
    EXPECT_EQ(missing.link.lastCause(), LinkCause::PortNotOpen);
}

// The limits count from the start mark, the time of day rounded to the whole second (halves to
// the even one), and each resend from its own rounded mark: a silent line takes exactly its
// sends, and its limit plus (mark - start), from wherever in the second it starts. The same
// holds when each waiting pass sleeps as long as the link allows (the window's pump on a
// silent line): the link asks for no more than the time to its next resend or limit, and
// never loops on passes with no time left (a spinning core).
TEST(SilentLine, EveryTransactionTakesItsSendsAndLimitFromTheRoundedMark) {
    using Case = std::tuple<const char*, long, double>;
    const Case transactions[] = {
        {"function 3", 30, 30.0}, {"function 16", 3, 3.0}, {"function 96", 2, 7.0}};
    for (const bool sleeping : {false, true}) {
        for (const double fraction : {0.0, 0.3, 0.7, 0.9}) {
            const double mark = fraction < 0.5 ? 0.0 : 1.0;
            for (const auto& [name, sends, limit] : transactions) {
                SimRig rig({}, 12 * 3600.0 + fraction);
                rig.pump.sleepsThroughWaits = sleeping;
                rig.faults().add(sim::FaultRule{sim::FaultKind::Silence});
                const double start = rig.now();
                bool ok = true;
                if (sends == 30) {
                    ok = rig.link.ReadHoldingRegisters(1, 0, 24, 10);
                } else if (sends == 3) {
                    ok = rig.link.WriteMultipleRegisters(1, 209, 1, 2);
                } else {
                    ok = rig.link.ReadLogBlock(1, 24, 0x81, 0, 100);
                }
                EXPECT_FALSE(ok);
                EXPECT_EQ(rig.sends(), sends) << name << " from +" << fraction;
                EXPECT_NEAR(rig.now() - start, limit + mark - fraction, 0.005)
                    << name << " from +" << fraction << (sleeping ? " sleeping" : "");
                if (sleeping) {
                    EXPECT_LT(rig.pump.passes(), 8 * sends + 8) << name;
                    EXPECT_LE(rig.pump.passesWithNoTimeLeft(), sends + 1) << name;
                }
            }
        }
    }
}

// At midnight the time of day drops to 0: the marks are taken anew, so the thirty seconds
// count again from midnight instead of never running out (or running out at once).
TEST(ReadHoldingRegisters, SilentAcrossMidnightCountsThirtySecondsFromMidnight) {
    SimRig rig({}, 86400.0 - 12.3);
    rig.faults().add(sim::FaultRule{sim::FaultKind::Silence});
    const double start = rig.now();
    EXPECT_FALSE(rig.link.ReadHoldingRegisters(1, 0, 24, 10));
    EXPECT_GT(rig.now() - start, 12.3 + 29.5);
    EXPECT_LT(rig.now() - start, 12.3 + 31.6);
}

TEST(ReadHoldingRegisters, ASecondTransactionDuringTheWaitIsRefused) {
    SimRig rig;
    rig.faults().add(sim::FaultRule{sim::FaultKind::Late, 0.5});
    bool inner = true;
    rig.pump.onPass = [&] {
        rig.pump.onPass = nullptr;
        inner = rig.link.ReadHoldingRegisters(1, 0, 34, 10);
        EXPECT_EQ(rig.link.lastCause(), LinkCause::Busy);
    };
    EXPECT_TRUE(rig.link.ReadHoldingRegisters(1, 0, 24, 10));
    EXPECT_FALSE(inner);
    EXPECT_EQ(rig.sim.meter().requestCount(), 1);
}

// ---- Function 16 ---------------------------------------------------------------------------

TEST(WriteMultipleRegisters, GoldenKeyWriteAndFailureTimings) {
    struct Case {
        const char* fault;
        bool ok;
        long sends;
        double minSeconds, maxSeconds;
    };
    for (const Case& c :
         {Case{"", true, 1, 0, 0.1}, Case{"silence", false, 3, 2.5, 3.6},
          Case{"exception@1-1;silence@2", false, 3, 2.5, 3.6},
          Case{"exception", false, 2, 1.0, 1.2} /* two 5-byte replies pass 8 */,
          Case{"corrupt-crc", false, 1, 0, 0.1}, Case{"wrong-slave", true, 1, 0, 0.1},
          Case{"silence@1-1", true, 2, 1.0, 2.6}}) {
        SimRig rig;
        ASSERT_TRUE(rig.addFaults(c.fault)) << c.fault;
        rig.state.WriteDataHigh[1] = 0x31;
        rig.state.WriteDataLow[1] = 255;
        const double start = rig.now();
        EXPECT_EQ(rig.link.WriteMultipleRegisters(1, 209, 1, 2), c.ok) << c.fault;
        EXPECT_EQ(rig.sends(), c.sends) << c.fault;
        EXPECT_GE(rig.now() - start, c.minSeconds) << c.fault;
        EXPECT_LE(rig.now() - start, c.maxSeconds) << c.fault;
        EXPECT_EQ(rig.sim.meter().requests().front(), hex(kGoldenFrames[5].request)) << c.fault;
        EXPECT_EQ(rig.state.WriteData, hex("31 FF"));
    }
}

// ---- Function 96 ---------------------------------------------------------------------------

TEST(ReadLogBlock, FaultsAndTimings) {
    struct Case {
        const char* fault;
        int length;
        bool ok;
        long sends;
        double minSeconds, maxSeconds;
        LinkCause cause;
    };
    const Case cases[] = {
        {"", 100, true, 1, 0, 0.2, LinkCause::None},
        {"silence", 100, false, 2, 6.5, 7.6, LinkCause::NoReply},
        {"silence@1-1", 100, true, 2, 1.5, 2.7, LinkCause::None},
        {"truncate=150", 100, false, 1, 1.5, 2.7, LinkCause::CutShort},
        {"swap-crc", 100, false, 1, 0, 0.2, LinkCause::BadCrc},
        {"wrong-slave", 100, true, 1, 0, 0.2, LinkCause::None},
        {"", 0, true, 1, 0, 0.2, LinkCause::None},
    };
    for (const Case& c : cases) {
        SimRig rig;
        ASSERT_TRUE(rig.addFaults(c.fault)) << c.fault;
        const double start = rig.now();
        EXPECT_EQ(rig.link.ReadLogBlock(1, 24, 0x81, 0, c.length), c.ok) << c.fault;
        EXPECT_EQ(rig.sends(), c.sends) << c.fault;
        EXPECT_GE(rig.now() - start, c.minSeconds) << c.fault;
        EXPECT_LE(rig.now() - start, c.maxSeconds) << c.fault;
        EXPECT_EQ(rig.link.lastCause(), c.cause) << c.fault;
        if (c.ok) {
            EXPECT_EQ(rig.state.ReplyData.size(), 2 * c.length) << c.fault;
        }
        if (c.length == 100) {  // the set-up request of channel 1, its caption at 64
            EXPECT_EQ(rig.sim.meter().requests()[0], hex(kGoldenFrames[6].request)) << c.fault;
            EXPECT_TRUE(!c.ok || rig.state.ReplyData.mid(64, 32).startsWith("Flow m3/h"));
        }
        rig.faults().clear();
        rig.pump.pause(std::chrono::milliseconds(100));
        EXPECT_TRUE(rig.link.ReadLogBlock(1, 8, 0x80, 0, 8)) << c.fault << ": next transaction";
    }
}

TEST(ReadLogBlock, PortVanishingMidReplyEndsAtOnce) {
    sim::SimulatedLineOptions options;
    options.baud = 9600;  // about 1 ms a byte: the reply is still coming in when the port goes
    SimRig rig(options);
    rig.pump.onPass = [&] {
        if (rig.state.ReplyData.size() > 50 && rig.sim.port().portOpen()) rig.sim.port().vanish();
    };
    const double start = rig.now();
    EXPECT_FALSE(rig.link.ReadLogBlock(1, 8, 0x80, 0, 128));
    EXPECT_GT(rig.state.ReplyData.size(), 50);
    EXPECT_EQ(rig.link.lastCause(), LinkCause::PortLost);
    EXPECT_LT(rig.now() - start, 1.0);
}

// The download decodes a block while the next is answered: that work runs once, after the
// request is out and before the wait's clock starts, and a repeat does not run it again.
TEST(ReadLogBlock, WorkAfterTheRequestRunsOnceBeforeTheWait) {
    SimRig rig;
    rig.faults().add(sim::FaultRule{sim::FaultKind::Silence, 0, 96, 1, 1});  // first send lost
    int calls = 0;
    long sendsThen = -1;
    const double start = rig.now();
    rig.link.setAfterSend([&] {
        ++calls;
        sendsThen = rig.sends();
        rig.clock.advanceSeconds(
            0.5);  // slow work: the repeat still comes 2 s after it, not before
    });
    ASSERT_TRUE(rig.link.ReadLogBlock(1, 8, 0x80, 0, 8));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(sendsThen, 1);
    EXPECT_EQ(rig.sends(), 2);
    EXPECT_GE(rig.now() - start, 2.5);
    ASSERT_TRUE(rig.link.ReadLogBlock(1, 8, 0x80, 0, 8));
    EXPECT_EQ(calls, 1);  // once only
}

// The trace's lines for the replies a technician needs to see: a good one, an exception reply
// left waiting when the limit ran out, a garbled one, and one discarded before a repeat.
TEST(Trace, RecordsRepliesGoodAndBadWithTheirCause) {
    // line: expected after the time stamp
    using Case = std::tuple<const char*, int, const char*>;
    const Case cases[] = {
        {"", 3, "RX 01 03 10 00 00 00 00 00 00 0E F8 42 EF FF FF 42 F5 FF FF 78 AE\n"},
        {"exception=2@1-1;silence@2", 3,
         "RX 01 83 02 C0 F1 ! no reply (exception 2 from slave 1)\n"},
        {"truncate=3@1-1;silence@2", 3, "RX 01 03 10 ! no reply (3 bytes, short)\n"},
        {"exception=2:96@1-1", 96,
         "RX 01 E0 02 E8 01 ! discarded before the repeat (exception 2 from slave 1)\n"},
    };
    for (const auto& [fault, function, line] : cases) {
        QTemporaryDir dir;
        SimRig rig;
        ASSERT_TRUE(rig.addFaults(fault)) << fault;
        Trace trace(rig.clock);
        ASSERT_TRUE(trace.open(dir.filePath("trace.txt")));
        rig.link.setTrace(&trace);
        if (function == 3) {
            rig.link.ReadHoldingRegisters(1, 0, 76, 8);
        } else {
            rig.link.ReadLogBlock(1, 24, 0x81, 0, 100);
        }
        rig.link.setTrace(nullptr);
        QFile file(dir.filePath("trace.txt"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));  // CR LF on Windows
        const QByteArray text = file.readAll();
        EXPECT_TRUE(text.startsWith("# tavrel trace 1\n")) << fault;
        EXPECT_TRUE(text.contains(" " + QByteArray(line))) << fault << "\n" << text.constData();
    }
}

}  // namespace
}  // namespace tavrel::test
