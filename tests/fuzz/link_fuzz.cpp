// Feeds arbitrary reply streams to the three transactions through the virtual line: whatever
// the line carries, a transaction must end (true or false) within its limits, read no byte
// past a buffer, and leave the link ready for the next one.

#include <cstddef>
#include <cstdint>

#include "scripted_device.h"
#include "sim_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    if (size < 2) return 0;
    // The scripted far end answers; the instrument behind the line needs no log.
    static const sim::SimulatedLineOptions options = [] {
        sim::SimulatedLineOptions o;
        o.meter.log.records = 0;
        return o;
    }();
    test::SimRig rig(options, 12 * 3600.0, std::chrono::milliseconds(50));  // limits: whole seconds
    test::ScriptedDevice device;
    // First byte: which transaction and how the reply is cut into pieces.
    const int choice = data[0] % 3;
    const double gap = (data[0] >> 2) * 0.05;
    const QByteArray reply(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    std::vector<test::ScriptedDevice::Piece> pieces;
    for (qsizetype at = 0, n = 0; at < reply.size(); at += 16, ++n)
        pieces.push_back({gap * n, reply.mid(at, 16)});
    device.scripts = {pieces};
    device.requestLength = choice == 0 ? 8 : choice == 1 ? 11 : 9;
    device.setOutput([&](const QByteArray& b, double at) { rig.sim.line().deviceWrite(b, at); });
    rig.sim.line().attachDevice(&device);
    rig.state.WriteDataHigh[1] = 0x31;
    rig.state.WriteDataLow[1] = 0xFF;
    switch (choice) {
        case 0:
            rig.link.ReadHoldingRegisters(1, 0, 24, 10);
            break;
        case 1:
            rig.link.WriteMultipleRegisters(1, 209, 1, 2);
            break;
        default:
            rig.link.ReadLogBlock(1, 8, 0x80, 0, 64);
            break;
    }
    // Every transaction ends within its documented limit: its wait for the awaited length (the
    // last request goes out by then), the time the far end takes to hand over its pieces after
    // that request, then at most 2.5 s for each reply byte that never comes (functions 3 and 16
    // wait out every missing byte of the length the reply announces; function 96 stops at the
    // first missing data byte). A reply that trickles in is read as long as it trickles.
    const double trickle = gap * static_cast<double>(pieces.size());
    const double limit = choice == 0   ? 31.6 + trickle + 2.5 * (3 + 255 + 2)
                         : choice == 1 ? 3.6 + trickle + 2.5 * 8
                                       : 7.6 + trickle + 2.5 * 10;
    if (rig.now() > limit + 0.1) __builtin_trap();
    return 0;
}
