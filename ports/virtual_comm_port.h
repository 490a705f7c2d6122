#pragma once
// The comm port on a VirtualLine: what the tests and the demo mode plug in instead of a device.

#include "comm_port.h"
#include "virtual_line.h"

namespace tavrel {

class VirtualCommPort final : public CommPort {
  public:
    explicit VirtualCommPort(VirtualLine& line) : line_(line) {}

    void setCommPort(int number) override { commPort_ = number; }
    void setSettings(const QString& text) override { settings_ = text; }
    void setInputLen(int length) override { inputLen_ = length; }
    void setBinaryMode(bool binary) override { binary_ = binary; }
    bool portOpen() const override { return open_; }
    void setPortOpen(bool open) override;
    int inBufferCount() override;
    void discardInput() override;
    void discardOutput() override;
    void output(QByteArrayView bytes) override;
    QByteArray input() override;
    void waitForBytes(std::chrono::milliseconds limit) override;
    QString errorText() const override { return error_; }

    // What the tool last set, for tests.
    int commPort() const { return commPort_; }
    QString settings() const { return settings_; }
    int inputLen() const { return inputLen_; }
    bool binaryMode() const { return binary_; }
    int openCount() const { return openCount_; }

    // Only this port number opens; others behave like a missing device (0 = any).
    void setAvailablePort(int number) { availablePort_ = number; }
    // Follow the settings' baud rate with the line's pacing.
    void setPaceFromSettings(bool pace) { pace_ = pace; }
    // Sleep in real time in waitForBytes (demo mode); tests on a virtual clock must not.
    void setRealTime(bool realTime) { realTime_ = realTime; }
    // The device vanished: the port closes under the tool, as a pulled USB adapter does, and
    // cannot be opened again until it is back.
    void vanish();
    void setPresent(bool present) { present_ = present; }

  private:
    VirtualLine& line_;
    int commPort_ = 0;
    QString settings_;
    int inputLen_ = 0;
    bool binary_ = false;
    bool open_ = false;
    int openCount_ = 0;
    int availablePort_ = 0;
    bool pace_ = false;
    bool realTime_ = false;
    bool present_ = true;
    QString error_;
};

}  // namespace tavrel
