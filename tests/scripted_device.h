#pragma once
// A far end that answers each request with a scripted run of byte pieces at given delays,
// for the reply shapes the simulated instrument never produces by itself.

#include <QByteArray>
#include <utility>
#include <vector>

#include "sim_device.h"
#include "virtual_comm_port.h"
#include "virtual_line.h"

namespace tavrel::test {

class ScriptedDevice final : public sim::SimDevice {
  public:
    using Piece = std::pair<double, QByteArray>;  // delay after the request's last byte, bytes

    // The pieces sent after each request (the last script repeats).
    std::vector<std::vector<Piece>> scripts;
    int requestLength = 8;
    char terminator = 0;  // when set, a request ends with this byte instead of at requestLength
    std::vector<QByteArray> received;

    void receive(unsigned char byte, double at) override {
        rx_.append(static_cast<char>(byte));
        if (terminator != 0 ? static_cast<char>(byte) != terminator : rx_.size() < requestLength)
            return;
        received.push_back(rx_);
        rx_.clear();
        if (scripts.empty()) return;
        const auto& script = scripts[std::min(received.size(), scripts.size()) - 1];
        for (const auto& [delay, bytes] : script) send(bytes, at + delay);
    }

  private:
    QByteArray rx_;
};

}  // namespace tavrel::test
