#include "fd_comm_port.h"

#ifndef _WIN32

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace tavrel {

namespace {
constexpr qsizetype kReadPiece = 4096;
}  // namespace

QString systemErrorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

FdCommPort::~FdCommPort() {
    if (fd_ >= 0) ::close(fd_);
}

void FdCommPort::adopt(int fd) {
    fd_ = fd;
    buffer_.clear();
    head_ = 0;
    seen_ = 0;
    pending_.clear();
    answeredSinceWrite_ = false;
    error_.clear();
}

void FdCommPort::closeFd() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
    head_ = 0;
    pending_.clear();
}

void FdCommPort::fail(const QString& why) { error_ = QStringLiteral("%1: %2").arg(name(), why); }

ssize_t FdCommPort::writeSome(const char* data, size_t size) { return ::write(fd_, data, size); }

bool FdCommPort::drain() {
    if (fd_ < 0) return false;
    if (head_ > 0 && head_ == buffer_.size()) {
        buffer_.clear();
        head_ = 0;
    }
    for (;;) {
        const qsizetype at = buffer_.size();
        buffer_.resize(at + kReadPiece);
        const ssize_t n = ::read(fd_, buffer_.data() + at, static_cast<std::size_t>(kReadPiece));
        buffer_.resize(at + std::max<qsizetype>(n, 0));
        if (n > 0) {
            if (awaitingReply_) {
                awaitingReply_ = false;
                quickReplies_ = std::chrono::steady_clock::now() - sentAt_ <= kQuickReply;
            }
            if (n < kReadPiece) return true;
            continue;  // maybe more
        }
        if (n == 0 && !zeroReadIsEnd_) return true;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
        // EIO and the like: the device went away (a pty whose far end closed, an unplugged
        // adapter, a device server that dropped the connection).
        lost(n == 0 ? 0 : errno);
        return false;
    }
}

int FdCommPort::inBufferCount() {
    if (fd_ < 0) return 0;
    // Ask the driver only when fewer bytes are buffered than the next input takes: a reply
    // parsed byte by byte costs no system call a byte.
    if (buffer_.size() - head_ < std::max(inputLen_, 1) && !drain()) return 0;
    seen_ = buffer_.size() - head_;
    return static_cast<int>(std::min<qsizetype>(seen_, 32767));
}

void FdCommPort::discardInput() {
    if (fd_ < 0) return;
    // Flushing waits for the driver's receive work to settle; asking how much is waiting does
    // not, and on a quiet line (every transaction's start) nothing is.
    int waiting = 0;
    if (ioctl(fd_, FIONREAD, &waiting) != 0 || waiting > 0) flushDriverInput();
    buffer_.clear();
    head_ = 0;
    seen_ = 0;
}

void FdCommPort::discardOutput() {
    if (fd_ < 0) return;
    pending_.clear();
    // Once bytes came back after our last write, the instrument had the whole request and the
    // driver's queue is empty: nothing to flush (a system call less on every transaction).
    if (!answeredSinceWrite_) flushDriverOutput();
}

int FdCommPort::outBufferCount() {
    if (fd_ < 0) return 0;
    push();
    int queued = 0;
    if (fd_ >= 0) ioctl(fd_, TIOCOUTQ, &queued);
    return static_cast<int>(std::min<qsizetype>(pending_.size() + queued, 32767));
}

void FdCommPort::push() {
    while (fd_ >= 0 && !pending_.isEmpty()) {
        const ssize_t n =
            writeSome(pending_.constData(), static_cast<std::size_t>(pending_.size()));
        if (n > 0) {
            pending_.remove(0, static_cast<qsizetype>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        lost(n < 0 ? errno : EIO);
        return;
    }
}

void FdCommPort::output(QByteArrayView bytes) {
    if (fd_ < 0) return;
    answeredSinceWrite_ = false;
    sentAt_ = std::chrono::steady_clock::now();
    awaitingReply_ = true;
    pending_.append(bytes.data(), bytes.size());
    push();
}

QByteArray FdCommPort::input() {
    QByteArray bytes;
    inputInto(bytes);
    return bytes;
}

void FdCommPort::inputInto(QByteArray& out) {
    if (fd_ < 0) {
        out.clear();
        return;
    }
    const qsizetype have = buffer_.size() - head_;
    const qsizetype n = inputLen_ <= 0 ? have : std::min<qsizetype>(inputLen_, have);
    out.resize(n);
    std::memcpy(out.data(), buffer_.constData() + head_, static_cast<std::size_t>(n));
    head_ += n;
    seen_ = buffer_.size() - head_;
    if (n > 0) answeredSinceWrite_ = true;
}

bool FdCommPort::watchForQuickReply(std::chrono::milliseconds limit) {
    const auto now = std::chrono::steady_clock::now();
    const auto until =
        std::min<std::chrono::steady_clock::time_point>(sentAt_ + kQuickReply, now + limit);
    for (auto t = now; t < until; t = std::chrono::steady_clock::now()) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0) {
            drain();
            return true;
        }
    }
    // Not in time: this line answers slower than that, until a reply shows otherwise.
    if (until == sentAt_ + kQuickReply) quickReplies_ = false;
    return false;
}

void FdCommPort::waitForBytes(std::chrono::milliseconds limit) {
    if (fd_ < 0) {
        std::this_thread::sleep_for(limit);  // nothing can arrive; do not spin
        return;
    }
    push();
    // Bytes that came in since the caller last counted need no wait. Otherwise block until more
    // come or the limit passes, also when some are already buffered: the caller is waiting for
    // more than it has (half a reply must not spin a core).
    if (buffer_.size() - head_ > seen_) return;
    if (awaitingReply_ && quickReplies_ && pending_.isEmpty() && watchForQuickReply(limit)) return;
    pollfd p{fd_, static_cast<short>(POLLIN | (pending_.isEmpty() ? 0 : POLLOUT)), 0};
    const int r = ::poll(&p, 1, static_cast<int>(limit.count()));
    if (r > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) drain();
    if (r > 0 && (p.revents & POLLNVAL) != 0) lost(EBADF);
}

}  // namespace tavrel

#endif
