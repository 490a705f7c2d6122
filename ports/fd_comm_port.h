#pragma once
// What the tool's own POSIX ports share: a non-blocking descriptor read into a buffer of our
// own (one read() takes a whole reply, none is made per byte parsed), written from a queue of
// our own (so a discard really drops what the driver has not taken), and poll() for the waits:
// one system call from a byte's arrival back to the waiting loop. PosixSerialCommPort puts a
// terminal device behind it, PosixTcpCommPort the socket of a serial device server.
//
// A wait for a reply whose start is due within a fraction of a millisecond (a pseudo-terminal,
// a device server next door) would spend much of that time falling asleep and being woken: when
// the last reply began within kQuickReply of its request, the wait for the next one looks at the
// descriptor without sleeping until that much time has passed since the request, then sleeps.
// A line slower than that (every real serial line: 25 bytes take 2 ms at 115200 baud) never
// waits that way, and a reply that did not come in time turns it off until one does.

#ifndef _WIN32

#include <sys/types.h>

#include <chrono>

#include "comm_port.h"

namespace tavrel {

class FdCommPort : public CommPort {
  public:
    FdCommPort() = default;
    ~FdCommPort() override;
    FdCommPort(const FdCommPort&) = delete;
    FdCommPort& operator=(const FdCommPort&) = delete;

    void setSettings(const QString& text) override { settings_ = text; }
    void setInputLen(int length) override { inputLen_ = length; }
    void setBinaryMode(bool binary) override { (void)binary; }
    bool portOpen() const override { return fd_ >= 0; }
    int inBufferCount() override;
    void discardInput() override;
    void discardOutput() override;
    int outBufferCount() override;
    void output(QByteArrayView bytes) override;
    QByteArray input() override;
    void inputInto(QByteArray& out) override;
    void waitForBytes(std::chrono::milliseconds limit) override;
    QString errorText() const override { return error_; }

  protected:
    // Makes an open, non-blocking descriptor the port's: buffers empty, error cleared.
    void adopt(int fd);
    // Closes the descriptor (which also drops a lock held on it) and forgets what was buffered.
    void closeFd();
    // Records why the port failed or was lost, prefixed with its name.
    void fail(const QString& why);
    int fd() const { return fd_; }

    // The device path or address error texts start with.
    virtual QString name() const = 0;
    // Drops what the driver holds for us unread.
    virtual void flushDriverInput() = 0;
    // Drops what the driver has taken from us but not yet put on the line.
    virtual void flushDriverOutput() {}
    // One non-blocking write; a socket must not raise SIGPIPE on a closed far end.
    virtual ssize_t writeSome(const char* data, size_t size);
    // Ends the port after a failed read or write (errno `error`; 0: the far end closed).
    virtual void lost(int error) = 0;

    QString settings_;
    int inputLen_ = 0;
    // A terminal with VMIN = VTIME = 0 answers "nothing now" with a read of 0 bytes; on a
    // socket a read of 0 bytes means the far end has closed.
    bool zeroReadIsEnd_ = false;
    QString error_;

  private:
    static constexpr std::chrono::microseconds kQuickReply{200};

    // Reads whatever the driver holds into buffer_ without blocking; false when the port is
    // gone.
    bool drain();
    // Looks for the reply's first bytes without sleeping until kQuickReply after the request
    // (or `limit`, if sooner); true when they came.
    bool watchForQuickReply(std::chrono::milliseconds limit);
    // Hands pending_ to the driver as far as it takes it without blocking.
    void push();

    int fd_ = -1;
    QByteArray buffer_;   // received, not yet taken by input()
    qsizetype head_ = 0;  // buffer_ bytes before head_ are taken
    QByteArray pending_;  // written, not yet taken by the driver
    qsizetype seen_ = 0;  // bytes buffered when the caller last counted
    bool answeredSinceWrite_ = false;
    std::chrono::steady_clock::time_point sentAt_{};  // the last request's write
    bool awaitingReply_ = false;  // a request went out and nothing came back since
    bool quickReplies_ = false;   // the last reply began within kQuickReply of its request
};

// The text of a system error number, in the user's language.
QString systemErrorText(int error);

}  // namespace tavrel

#endif
