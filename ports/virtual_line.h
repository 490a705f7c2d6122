#pragma once
// A serial line in memory between the tool's port and a simulated device. Each byte reaches
// the other end at the time the baud rate allows (10 bit times per byte, both directions
// independent), measured on the given Clock, so the same line serves tests on a virtual clock
// and the demo mode in real time. Bytes are handed over lazily whenever either side looks,
// so a device never answers from inside the tool's write call.

#include <QByteArray>
#include <QByteArrayView>
#include <deque>

namespace tavrel {

class Clock;

// The far end of the line.
class LineDevice {
  public:
    virtual ~LineDevice() = default;
    // One byte has fully arrived at the device at time `at` (line seconds).
    virtual void receive(unsigned char byte, double at) = 0;
    // Time has moved on to `now`; a device with delayed work does it here.
    virtual void poll(double now) { (void)now; }
};

class VirtualLine {
  public:
    explicit VirtualLine(const Clock& clock);

    // 0 = unthrottled (bytes arrive at once).
    void setBaud(int baud);
    int baud() const { return baud_; }
    void attachDevice(LineDevice* device) { device_ = device; }
    // A cut line delivers nothing more and swallows everything written.
    void setConnected(bool connected);
    bool connected() const { return connected_; }

    double now() const;
    double byteTime() const { return baud_ > 0 ? 10.0 / baud_ : 0.0; }

    // Host (tool) side.
    void hostWrite(QByteArrayView bytes);
    int hostAvailable();
    QByteArray hostRead(int count);  // count 0 = all
    void hostDiscardInput();
    void hostDiscardOutput();
    // The cable is pulled: whatever is on the wire either way, or waiting unread, is lost.
    void cut();
    // Seconds until the next byte reaches the host, or a negative number when none is on the way.
    double secondsToNextHostByte();

    // Device side: queue bytes that start leaving the device no earlier than `startAt`.
    void deviceWrite(QByteArrayView bytes, double startAt);
    void deviceWrite(QByteArrayView bytes) { deviceWrite(bytes, now()); }

    // Hands over every byte that is due and lets the device see the time.
    void deliver();

  private:
    struct Timed {
        double at;
        unsigned char byte;
    };
    void schedule(std::deque<Timed>& queue, double& last, QByteArrayView bytes, double startAt);

    const Clock& clock_;
    LineDevice* device_ = nullptr;
    int baud_ = 0;
    bool connected_ = true;
    bool delivering_ = false;
    std::deque<Timed> toDevice_;
    std::deque<Timed> toHost_;
    double lastToDevice_ = 0;
    double lastToHost_ = 0;
    QByteArray hostInbox_;
};

}  // namespace tavrel
