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

TEST(Crc, PublishedCheckValues) {
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

// Each transaction against the instrument's faults: how it ends, after how many sends and how
// long, why, the request byte for byte whatever the fault, and the next transaction works.
TEST(Transactions, EndAsDocumentedAndTheNextWorks) {
    struct Case {
        int function;  // 3: display line 1; 16: the key "1"; 96: channel 1's set-up record
        const char* fault;
        bool ok;
        long sends;
        double minSeconds, maxSeconds;
        LinkCause cause;
    };
    const Case cases[] = {
        {3, "", true, 1, 0, 0.1, LinkCause::None},
        {3, "silence@1-2", true, 3, 1.0, 3.2, LinkCause::None},  // the third send answered
        {3, "late=0.8", true, 1, 0.8, 0.9, LinkCause::None},     // late, but no repeat
        {3, "corrupt-crc", false, 1, 0, 0.1, LinkCause::BadCrc},
        {3, "swap-crc", false, 1, 0, 0.1, LinkCause::BadCrc},
        {3, "wrong-slave", true, 1, 0, 0.1, LinkCause::None},  // another slave accepted
        // Five 5-byte exception replies pile up to the awaited 25 bytes.
        {3, "exception=2", false, 5, 4.0, 4.2, LinkCause::BadCrc},
        {3, "exception@1-1;silence@2", false, 30, 30.0, 30.1, LinkCause::NoReply},
        {3, "extra=7", true, 1, 0, 0.1, LinkCause::None},     // bytes after the reply
        {3, "noise=1", false, 1, 0, 0.1, LinkCause::BadCrc},  // a byte before it
        // Three 12-byte pieces pile up past 25 bytes and fail the CRC.
        {3, "truncate=12", false, 3, 2.0, 2.2, LinkCause::BadCrc},
        {16, "", true, 1, 0, 0.1, LinkCause::None},
        {16, "exception@1-1;silence@2", false, 3, 2.5, 3.6, LinkCause::NoReply},
        {16, "exception", false, 2, 1.0, 1.2, LinkCause::BadCrc},  // two 5-byte replies pass 8
        {16, "corrupt-crc", false, 1, 0, 0.1, LinkCause::BadCrc},
        {16, "wrong-slave", true, 1, 0, 0.1, LinkCause::None},
        {16, "silence@1-1", true, 2, 1.0, 2.6, LinkCause::None},
        {96, "", true, 1, 0, 0.2, LinkCause::None},
        {96, "silence@1-1", true, 2, 1.5, 2.7, LinkCause::None},
        {96, "truncate=150", false, 1, 1.5, 2.7, LinkCause::CutShort},
        {96, "swap-crc", false, 1, 0, 0.2, LinkCause::BadCrc},
        {96, "wrong-slave", true, 1, 0, 0.2, LinkCause::None},
    };
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.function) + " " + c.fault;
        SimRig rig;
        ASSERT_TRUE(rig.addFaults(c.fault)) << name;
        rig.state.WriteDataHigh[1] = 0x31;
        rig.state.WriteDataLow[1] = 255;
        const double start = rig.now();
        const bool ok = c.function == 3    ? rig.link.ReadHoldingRegisters(1, 0, 24, 10)
                        : c.function == 16 ? rig.link.WriteMultipleRegisters(1, 209, 1, 2)
                                           : rig.link.ReadLogBlock(1, 24, 0x81, 0, 100);
        EXPECT_EQ(ok, c.ok) << name;
        EXPECT_EQ(rig.sends(), c.sends) << name;
        EXPECT_GE(rig.now() - start, c.minSeconds) << name;
        EXPECT_LE(rig.now() - start, c.maxSeconds) << name;
        EXPECT_EQ(rig.link.lastCause(), c.cause) << name;
        const int golden = c.function == 3 ? 0 : c.function == 16 ? 5 : 6;
        EXPECT_EQ(rig.sim.meter().requests()[0], hex(kGoldenFrames[golden].request)) << name;
        if (ok && c.function == 3) {  // the data in the display's order
            EXPECT_EQ(rig.state.ReplyData, rig.sim.meter().panel().lines(0)[0]) << name;
        } else if (ok && c.function == 96) {  // the caption at 64
            EXPECT_EQ(rig.state.ReplyData.size(), 200) << name;
            EXPECT_TRUE(rig.state.ReplyData.mid(64, 32).startsWith("Flow m3/h")) << name;
        }
        rig.faults().clear();
        rig.pump.pause(std::chrono::milliseconds(100));  // whatever was still on the wire arrives
        EXPECT_TRUE(rig.link.ReadHoldingRegisters(1, 0, 76, 8)) << name << ": next transaction";
        EXPECT_EQ(rig.state.ReplyData.size(), 16) << name;
    }
    // A block of no length at all.
    SimRig rig;
    EXPECT_TRUE(rig.link.ReadLogBlock(1, 24, 0x81, 0, 0));
}

// Replies the instrument never makes by itself: empty, short of its byte count, and from another
// slave with another function code (the CRC is the only check of a reply). (A reply that comes
// in pieces: every paced one; within the first second: the late one among the transactions.)
TEST(ReadHoldingRegisters, ScriptedReplyShapes) {
    struct Case {
        const char* name;
        std::vector<ScriptedDevice::Piece> pieces;
        bool ok;
        QByteArray data;
        double maxSeconds;
    };
    const QByteArray empty = sim::sealed(hex("01 03 00"));
    const std::vector<Case> cases{
        {"byte count 0", {{0.01, empty + QByteArray(2, '\0')}}, true, "", 0.1},
        {"fewer bytes than announced", {{0.01, hex("01 03 04 00 01 00 02")}}, false, {}, 9.0},
        {"slave 7, function 4", {{0.01, sim::sealed(hex("07 04 02 48 69"))}}, true, "Hi", 0.1},
    };
    for (const Case& c : cases) {
        SimRig rig;
        ScriptedDevice device;
        device.scripts = {c.pieces};
        device.setOutput(
            [&](const QByteArray& b, double at) { rig.sim.line().deviceWrite(b, at); });
        rig.sim.line().attachDevice(&device);
        const double start = rig.now();
        EXPECT_EQ(rig.link.ReadHoldingRegisters(1, 0, 24, 1), c.ok) << c.name;
        EXPECT_EQ(device.received.size(), 1U) << c.name << ": no repeat";
        EXPECT_LE(rig.now() - start, c.maxSeconds) << c.name;
        if (c.ok) {
            EXPECT_EQ(rig.state.ReplyData, c.data) << c.name;
        }
    }
}

// (Bytes left on the line before a request: the transactions' "extra" rows.)
TEST(ReadHoldingRegisters, AnUnopenablePortSendsNothing) {
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
