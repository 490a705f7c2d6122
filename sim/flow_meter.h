#pragma once
// The simulated flow meter: a Modbus RTU slave with the registers, set-up records and log
// blocks the tool reads, the key register and front panel it drives, and fault injection.

#include <QByteArray>
#include <array>
#include <vector>

#include "faults.h"
#include "log_generator.h"
#include "panel_sim.h"
#include "sim_device.h"

namespace tavrel::sim {

struct FlowMeterConfig {
    int slave = 1;
    LogShape log;
    // Seconds between the end of a request and the reply: the 3.5-character silence Modbus RTU
    // asks for above 19200 baud.
    double turnaround = 0.00175;
};

class FlowMeterSim final : public SimDevice {
  public:
    explicit FlowMeterSim(const FlowMeterConfig& config = {});

    void receive(unsigned char byte, double at) override;
    void poll(double now) override;

    FaultPlan& faults() { return faults_; }
    const LogGenerator& log() const { return log_; }
    PanelSim& panel() { return panel_; }
    int slave() const { return config_.slave; }

    // Every request frame addressed to this instrument, in order of arrival.
    const std::vector<QByteArray>& requests() const { return requests_; }
    long requestCount() const { return requestCount_; }
    // The holding register as a function 3 read would return it at time `now`.
    std::uint16_t holdingRegister(int address, double now) const;

    // The well-formed answer to one request frame (CRC included), or empty for no answer.
    QByteArray answer(const QByteArray& request, double now);

  private:
    void takeFrames(double at);
    void handle(const QByteArray& frame, double at);
    QByteArray readRegisters(const QByteArray& f, double now) const;
    QByteArray writeRegisters(const QByteArray& f);
    QByteArray readBlock(const QByteArray& f) const;
    QByteArray exception(int function, int code) const;

    FlowMeterConfig config_;
    LogGenerator log_;
    PanelSim panel_;
    FaultPlan faults_;
    QByteArray rx_;
    double lastRx_ = 0;
    double startedAt_ = -1;
    std::vector<QByteArray> requests_;
    long requestCount_ = 0;
    std::array<std::uint16_t, 256> written_{};
};

}  // namespace tavrel::sim
