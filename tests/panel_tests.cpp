// The remote front panel: the display conversion, the key queue and the poll, against the
// simulated instrument on the virtual clock.

#include <gtest/gtest.h>

#include "front_panel.h"
#include "sim_rig.h"

namespace tavrel::test {
namespace {

TEST(ConvertDisplayLine, EveryByteValue) {
    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
    const QByteArray shown = ConvertDisplayLine(all);
    ASSERT_EQ(shown.size(), 256);
    for (int b = 0; b < 256; ++b) {
        const auto c = static_cast<unsigned char>(shown[b]);
        if (b == 2) {
            EXPECT_EQ(c, '>');
        } else if (b >= 11 && b <= 126) {
            EXPECT_EQ(c, b);
        } else {
            EXPECT_EQ(c, kReplacedByte) << b;
        }
    }
    EXPECT_EQ(displayText(ConvertDisplayLine(hex("02 41 00 20 42"))), QStringLiteral(">A\u2592 B"));
}

struct PanelRecorder : PanelView {
    void setDisplayLine(int line, const QByteArray& converted) override {
        lines[static_cast<std::size_t>(line)] = converted;
        ++updates[static_cast<std::size_t>(line)];
    }
    void readGaveUp(const QString& what, const QString& cause) override {
        gaveUp << what + QStringLiteral(": ") + cause;
    }
    std::array<QByteArray, 4> lines;
    std::array<int, 4> updates{};
    QStringList gaveUp;
};

struct PanelRig {
    PanelRig() : panel(rig.link, view) {}
    std::vector<QByteArray> keyWrites() {
        std::vector<QByteArray> out;
        for (const QByteArray& r : rig.sim.meter().requests()) {
            if (r[1] == 16) out.push_back(r.mid(7, 2));
        }
        return out;
    }
    SimRig rig;
    PanelRecorder view;
    FrontPanel panel;
};

TEST(FrontPanel, KeysGoOutOnePerTickInOrder) {
    PanelRig p;
    for (const int key : {0, 1, 2}) p.panel.keyClicked(key);  // "1", "2", "3"
    EXPECT_EQ(p.rig.state.KeyBuffer, QByteArray("123"));
    EXPECT_TRUE(p.panel.tick());  // one key a tick, never the whole queue
    EXPECT_EQ(p.keyWrites(), std::vector<QByteArray>({hex("31 FF")}));
    EXPECT_EQ(p.rig.state.KeyBuffer, QByteArray("23"));
    for (int tick = 1; tick < 4; ++tick) EXPECT_TRUE(p.panel.tick());
    EXPECT_EQ(p.keyWrites(), std::vector<QByteArray>({hex("31 FF"), hex("32 FF"), hex("33 FF")}));
    EXPECT_TRUE(p.rig.state.KeyBuffer.isEmpty());
    EXPECT_EQ(p.rig.sim.meter().requestCount(), 3 + 4 * 4);
}

TEST(FrontPanel, AFailedWriteKeepsTheKeyAndClicksDuringTheWriteStayQueued) {
    PanelRig p;
    p.rig.faults().add(QStringLiteral("silence:16@1-3"),
                       nullptr);  // the first write goes unanswered
    p.panel.keyClicked(12);       // Menu
    bool clicked = false;
    p.rig.pump.onPass = [&] {
        if (!clicked) {
            clicked = true;
            p.panel.keyClicked(14);  // Enter, while the write waits
        }
    };
    p.panel.tick();
    EXPECT_EQ(p.rig.state.KeyBuffer, QByteArray("ME"));
    p.rig.pump.onPass = nullptr;
    p.panel.tick();
    EXPECT_EQ(p.rig.state.KeyBuffer, QByteArray("E"));
    EXPECT_EQ(p.keyWrites(),
              std::vector<QByteArray>({hex("4D FF"), hex("4D FF"), hex("4D FF"), hex("4D FF")}));
    EXPECT_EQ(p.rig.sim.meter().panel().page(), sim::PanelSim::Page::Menu);
    EXPECT_TRUE(p.view.lines[0].startsWith(">FLOW RATE"));
}

// Each tick reads the four lines from registers 24, 34, 44 and 54, ten registers each, after the
// key write, and reads them even when that write gave up.
TEST(FrontPanel, EveryTickReadsItsFourLinesAfterTheKeyWriteEvenAFailedOne) {
    PanelRig p;
    p.rig.faults().add(QStringLiteral("silence:16"), nullptr);  // no key write is answered
    p.panel.keyClicked(12);                                     // Menu
    EXPECT_TRUE(p.panel.tick());
    EXPECT_EQ(p.view.updates, (std::array<int, 4>{1, 1, 1, 1}));
    // The instrument took the key though its answers were lost: this very tick's lines show it.
    EXPECT_TRUE(p.view.lines[0].startsWith(">FLOW RATE")) << p.view.lines[0].constData();
    std::vector<QByteArray> reads;
    for (const QByteArray& r : p.rig.sim.meter().requests())
        if (r[1] == 3) reads.push_back(r.mid(2, 4));
    EXPECT_EQ(reads, std::vector<QByteArray>({hex("00 18 00 0A"), hex("00 22 00 0A"),
                                              hex("00 2C 00 0A"), hex("00 36 00 0A")}));
    EXPECT_EQ(p.rig.sim.meter().requests().front()[1], 16);  // the write went first
    EXPECT_EQ(p.rig.state.KeyBuffer, QByteArray("M"));
}

TEST(FrontPanel, OnlyTheFailedLineKeepsItsOldText) {
    PanelRig p;
    ASSERT_TRUE(p.panel.tick());
    p.view.lines[2] = "old";
    // The instrument goes quiet for exactly the read of line 3 (the third read of the tick).
    p.rig.pump.onPass = [&] {
        const long done = p.rig.link.counters().transactions;
        if (done == 6 && p.rig.faults().empty())
            p.rig.faults().add(sim::FaultRule{sim::FaultKind::Silence});
        if (done == 7) p.rig.faults().clear();
    };
    EXPECT_FALSE(p.panel.tick());
    EXPECT_EQ(p.view.lines[2], QByteArray("old"));
    EXPECT_EQ(p.view.updates, (std::array<int, 4>{2, 2, 1, 2}));
    EXPECT_EQ(p.view.gaveUp, QStringList{QStringLiteral("display line 3: no reply")});
}

TEST(FrontPanel, NoPollWhileAnotherOperationHoldsThePort) {
    PanelRig p;
    OperationGuard download(p.rig.link.portLock(), QStringLiteral("download"));
    EXPECT_FALSE(p.panel.tick());
    EXPECT_EQ(p.panel.skippedTicks(), 1);
    EXPECT_EQ(p.rig.sim.meter().requestCount(), 0);
}

TEST(FrontPanel, SlowLineTicksAreSkippedNeverStacked) {
    sim::SimulatedLineOptions options;
    options.baud = 1200;  // one poll outlasts the 750 ms interval
    SimRig rig(options);
    PanelRecorder view;
    FrontPanel panel(rig.link, view);
    double nextTick = rig.now() + 0.75;
    int depth = 0;
    int maxDepth = 0;
    rig.pump.onPass = [&] {
        if (rig.now() < nextTick) return;
        nextTick += 0.75;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        panel.tick();  // a timer tick falling due in the middle of the poll
        --depth;
    };
    EXPECT_TRUE(panel.tick());
    EXPECT_EQ(maxDepth, 1);
    EXPECT_GE(panel.skippedTicks(), 1);
    EXPECT_EQ(panel.polls(), 1);
    EXPECT_EQ(rig.sim.meter().requestCount(), 4);
}

}  // namespace
}  // namespace tavrel::test
