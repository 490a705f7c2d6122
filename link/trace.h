#pragma once
// Support trace: every frame sent and received, hex, with a time stamp and direction, the bytes
// of failed replies with their cause, the modem's own traffic, and the outcome of each
// transaction. A stable, line-oriented format (docs/trace.md) that `tavrel-sim --replay` plays
// back. Off unless `--trace FILE` (or `-` for stderr) is given; when off the link never formats
// anything.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>

namespace tavrel {

class Clock;

class Trace {
  public:
    explicit Trace(const Clock& clock) : clock_(clock) {}
    // "-" writes to stderr. Returns false when the file cannot be opened.
    bool open(const QString& path);
    bool isOpen() const { return file_ != nullptr; }

    void sent(const QByteArray& frame);
    void received(const QByteArray& bytes);
    // The bytes a failed transaction had (maybe none) and why it failed.
    void receivedFailed(const QByteArray& bytes, const QString& cause);
    void outcome(const char* transaction, bool ok, const char* cause);
    // AT commands and modem replies, apart from the Modbus frames.
    void modemSent(const QByteArray& bytes);
    void modemReceived(const QByteArray& bytes);

  private:
    void line(const QByteArray& text);
    const Clock& clock_;
    std::unique_ptr<QFile> file_;
};

QByteArray hexBytes(const QByteArray& bytes);

// The first line of every trace file: the format and its version.
inline constexpr const char* kTraceHeader = "# tavrel trace 1";

}  // namespace tavrel
