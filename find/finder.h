#pragma once
// Finding the instrument when nobody remembers its port, speed or slave ID: every candidate port
// (the serial devices that exist, device servers named by the user) is probed at each speed and
// slave ID with the size-register read, under a short limit of its own (the request's and reply's
// line time plus a margin, not the download's 30 s), most likely first. What answers is confirmed
// as this instrument by one channel set-up record (function 96); a device that answers function
// 3 but rejects function 96 is another Modbus device. Ports are probed at the same time, each in a
// thread of its own.

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "comm_port.h"

namespace tavrel::find {

struct Candidate {
    QString device;  // what opens it: /dev/ttyUSB0, COM3, tcp://host:port
    QString stable;  // a name that survives replugging (/dev/serial/by-id/...), if any
    QString label;   // the adapter's maker and model, or the system's friendly name
    // The name to keep it by: the stable one where there is one.
    QString kept() const { return stable.isEmpty() ? device : stable; }
};

// The serial devices this machine has: ttyS with a UART behind it, ttyUSB, ttyACM (with their
// /dev/serial/by-id names and the adapter's maker and model), or the COM ports Windows lists.
QList<Candidate> systemPorts();

struct Hit {
    enum Kind { Meter, OtherDevice, PortInUse, PortError };
    Kind kind = Meter;
    Candidate port;
    int baud = 0;
    int slave = 0;
    int records = 0;       // data-record count (meters)
    QStringList captions;  // the eight captions (meters)
    QString why;           // for PortInUse and PortError
};

struct FindOptions {
    QList<Candidate> ports;
    QList<int> bauds;   // in the order to try
    QList<int> slaves;  // in the order to try
    bool all = false;   // go on after the first meter of a port
};

// The speeds and IDs in their most likely order: 38400, 9600, 19200, then the rest; IDs 1 to 10
// first, then the rest of `first`..`last`.
QList<int> likelyBauds(const QList<int>& wanted = {});
QList<int> likelySlaves(int first, int last);
// The settings' port number (1..4) a device is without a mapping: COM1..COM4 on Windows,
// /dev/ttyS0..ttyS3 elsewhere; 0 for any other device (a USB adapter, a device server).
int portNumberOf(const QString& device);

// "1-247", "7", "1-10,20": false when malformed.
bool parseSlaves(const QString& text, QList<int>* out);

class Finder {
  public:
    // Told from the probing threads (under a lock): progress (port, baud, slave) and each hit.
    std::function<void(const QString& port, int baud, int slave)> onProbe;
    std::function<void(const Hit& hit)> onHit;
    // The port a candidate is probed through: the device itself (tests put their own in).
    std::function<std::unique_ptr<CommPort>(const Candidate& candidate)> makePort;

    // Probes every port at once; returns when all are done or `stop` became true.
    QList<Hit> run(const FindOptions& options, const std::atomic<bool>& stop);

    // The limit of one probe at `baud`: request and reply on the line, the instrument's
    // turnaround and an adapter's latency.
    static int probeMilliseconds(int baud, int requestBytes, int replyBytes);

  private:
    void probePort(const Candidate& port, const FindOptions& options,
                   const std::atomic<bool>& stop);
    void report(const Hit& hit);

    std::mutex lock_;
    QList<Hit> hits_;
};

}  // namespace tavrel::find
