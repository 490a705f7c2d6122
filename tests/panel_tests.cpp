// The remote front panel: the display conversion, the key queue and the poll, against the
// simulated instrument on the virtual clock.

#include <gtest/gtest.h>

#include "front_panel.h"
#include "sim_rig.h"

namespace tavrel::test {
namespace {

// Shown as sent: 11 to 126; 2 is the cursor ">"; everything else is the replacement byte.
TEST(ConvertDisplayLine, EveryByteValue) {
    const QByteArray shown = ConvertDisplayLine(hex("00 01 02 03 0A 0B 41 7E 7F 80 FE FF"));
    QByteArray expected = hex("00 00 3E 00 00 0B 41 7E 00 00 00 00");
    expected.replace('\0', static_cast<char>(kReplacedByte));
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(displayText(ConvertDisplayLine(hex("02 41 00 20 42"))), ">A\u2592 B");
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

// A key write that gave up keeps its key (and a click during it queues behind); the tick still
// reads the four lines after it, registers 24, 34, 44 and 54, ten each.
TEST(FrontPanel, AFailedWriteKeepsTheKeyAndClicksDuringTheWriteStayQueued) {
    PanelRig p;
    p.rig.faults().add("silence:16@1-3",
                       nullptr);  // the first write goes unanswered
    p.panel.keyClicked(12);       // Menu
    bool clicked = false;
    p.rig.pump.onPass = [&] {
        if (!clicked) {
            clicked = true;
            p.panel.keyClicked(14);  // Enter, while the write waits
        }
    };
    EXPECT_TRUE(p.panel.tick());
    EXPECT_EQ(p.rig.state.KeyBuffer, QByteArray("ME"));
    EXPECT_EQ(p.view.updates, (std::array<int, 4>{1, 1, 1, 1}));
    // The instrument took the key though its answers were lost: this very tick's lines show it.
    EXPECT_TRUE(p.view.lines[0].startsWith(">FLOW RATE")) << p.view.lines[0].constData();
    std::vector<QByteArray> reads;
    for (const QByteArray& r : p.rig.sim.meter().requests())
        if (r[1] == 3) reads.push_back(r.mid(2, 4));
    EXPECT_EQ(reads, std::vector<QByteArray>({hex("00 18 00 0A"), hex("00 22 00 0A"),
                                              hex("00 2C 00 0A"), hex("00 36 00 0A")}));
    EXPECT_EQ(p.rig.sim.meter().requests().front()[1], 16);  // the write went first
    p.rig.pump.onPass = nullptr;
    p.panel.tick();  // one key a tick, never the whole queue
    EXPECT_EQ(p.rig.state.KeyBuffer, QByteArray("E"));
    EXPECT_EQ(p.rig.sim.meter().panel().page(), sim::PanelSim::Page::Menu);
    p.panel.tick();
    EXPECT_TRUE(p.rig.state.KeyBuffer.isEmpty());
    EXPECT_EQ(p.keyWrites(), std::vector<QByteArray>({hex("4D FF"), hex("4D FF"), hex("4D FF"),
                                                      hex("4D FF"), hex("45 FF")}));
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
    EXPECT_EQ(p.view.gaveUp, QStringList{"display line 3: no reply"});
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
