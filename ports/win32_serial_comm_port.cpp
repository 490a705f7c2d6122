#include "serial_comm_port.h"

#ifdef _WIN32

#include <windows.h>

#include <algorithm>

namespace tavrel {

namespace {
constexpr DWORD kReadPiece = 4096;
HANDLE handleOf(void* h) { return static_cast<HANDLE>(h); }
}  // namespace

QString windowsErrorText(unsigned long error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString out = n > 0 ? QString::fromWCharArray(text, static_cast<qsizetype>(n)).trimmed()
                        : QStringLiteral("error %1").arg(error);
    if (text != nullptr) LocalFree(text);
    return out;
}

QString Win32SerialCommPort::devicePath(const QString& name) {
    if (name.startsWith(QStringLiteral("\\\\"))) return name;
    return QStringLiteral("\\\\.\\") + name;
}

Win32SerialCommPort::Win32SerialCommPort(PortMap map) : map_(std::move(map)) {}

Win32SerialCommPort::~Win32SerialCommPort() { close(); }

void Win32SerialCommPort::fail(const QString& why) {
    error_ = QStringLiteral("%1: %2").arg(deviceName(), why);
}

void Win32SerialCommPort::close() {
    if (handle_ != nullptr) CloseHandle(handleOf(handle_));
    handle_ = nullptr;
    buffer_.clear();
    head_ = 0;
    readLimit_ = -1;
}

void Win32SerialCommPort::lost(unsigned long error) {
    fail(QStringLiteral("port lost (%1)").arg(windowsErrorText(error)));
    close();
}

void Win32SerialCommPort::setPortOpen(bool open) {
    if (!open) {
        close();
        return;
    }
    if (portOpen()) return;
    LineSettings ls;
    if (!parseLineSettings(settings_, ls)) {
        error_ = QStringLiteral("bad settings text \"%1\"").arg(settings_);
        return;
    }
    const std::wstring path = devicePath(deviceName()).toStdWString();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        if (e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION) {
            fail(QStringLiteral("in use by another program"));
        } else if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) {
            fail(QStringLiteral("no such device"));
        } else {
            fail(windowsErrorText(e));
        }
        return;
    }
    auto refuse = [&](const QString& why) {
        CloseHandle(h);
        fail(why);
    };
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        refuse(QStringLiteral("not a serial device (%1)").arg(windowsErrorText(GetLastError())));
        return;
    }
    dcb.BaudRate = static_cast<DWORD>(ls.baud);
    dcb.ByteSize = static_cast<BYTE>(ls.dataBits);
    dcb.Parity = ls.parity == 'E'   ? EVENPARITY
                 : ls.parity == 'O' ? ODDPARITY
                 : ls.parity == 'M' ? MARKPARITY
                 : ls.parity == 'S' ? SPACEPARITY
                                    : NOPARITY;
    dcb.StopBits = ls.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = ls.parity != 'N';
    // No flow control; DTR and RTS on, as a terminal program leaves them (a modem wants DTR).
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(h, &dcb)) {
        refuse(QStringLiteral("line settings %1 refused (%2)")
                   .arg(settings_, windowsErrorText(GetLastError())));
        return;
    }
    // Some drivers take a setting and keep the old one: read it back.
    DCB back{};
    back.DCBlength = sizeof back;
    if (GetCommState(h, &back) && back.BaudRate != dcb.BaudRate) {
        refuse(QStringLiteral("line settings %1 refused (the device kept %2 baud)")
                   .arg(settings_)
                   .arg(back.BaudRate));
        return;
    }
    // Writes hand the bytes to the driver; a stuck line must not hang the window for ever.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 2000;
    if (!SetCommTimeouts(h, &timeouts)) {
        refuse(QStringLiteral("time-outs refused (%1)").arg(windowsErrorText(GetLastError())));
        return;
    }
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    handle_ = h;
    buffer_.clear();
    head_ = 0;
    readLimit_ = 0;
    error_.clear();
}

bool Win32SerialCommPort::setReadLimit(unsigned long milliseconds) {
    if (readLimit_ == static_cast<long>(milliseconds)) return true;
    // 0: return at once with what is there. Otherwise: at once when a byte is there, else wait
    // up to the limit for the first one.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = milliseconds > 0 ? MAXDWORD : 0;
    t.ReadTotalTimeoutConstant = milliseconds;
    t.WriteTotalTimeoutMultiplier = 10;
    t.WriteTotalTimeoutConstant = 2000;
    if (!SetCommTimeouts(handleOf(handle_), &t)) {
        lost(GetLastError());
        return false;
    }
    readLimit_ = static_cast<long>(milliseconds);
    return true;
}

bool Win32SerialCommPort::readInto(std::chrono::milliseconds limit) {
    if (handle_ == nullptr) return false;
    if (head_ > 0 && head_ == buffer_.size()) {
        buffer_.clear();
        head_ = 0;
    }
    if (!setReadLimit(static_cast<unsigned long>(std::max<long long>(limit.count(), 0))))
        return false;
    for (;;) {
        const qsizetype at = buffer_.size();
        buffer_.resize(at + kReadPiece);
        DWORD n = 0;
        const BOOL ok = ReadFile(handleOf(handle_), buffer_.data() + at, kReadPiece, &n, nullptr);
        buffer_.resize(at + static_cast<qsizetype>(ok ? n : 0));
        if (!ok) {
            lost(GetLastError());
            return false;
        }
        if (n < kReadPiece) return true;
        if (!setReadLimit(0)) return false;  // maybe more, but never wait again for it
    }
}

int Win32SerialCommPort::inBufferCount() {
    if (handle_ == nullptr) return 0;
    // Ask the driver only when fewer bytes are buffered than the next input takes.
    if (buffer_.size() - head_ < std::max(inputLen_, 1)) {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(handleOf(handle_), &errors, &stat)) {
            lost(GetLastError());
            return 0;
        }
        if (stat.cbInQue > 0 && !readInto(std::chrono::milliseconds(0))) return 0;
    }
    return static_cast<int>(buffer_.size() - head_);
}

void Win32SerialCommPort::waitForBytes(std::chrono::milliseconds limit) {
    if (handle_ == nullptr || buffer_.size() > head_) return;
    readInto(limit);
}

void Win32SerialCommPort::discardInput() {
    buffer_.clear();
    head_ = 0;
    if (handle_ != nullptr) PurgeComm(handleOf(handle_), PURGE_RXCLEAR);
}

void Win32SerialCommPort::discardOutput() {
    if (handle_ != nullptr) PurgeComm(handleOf(handle_), PURGE_TXCLEAR | PURGE_TXABORT);
}

void Win32SerialCommPort::output(QByteArrayView bytes) {
    if (handle_ == nullptr || bytes.isEmpty()) return;
    DWORD written = 0;
    if (!WriteFile(handleOf(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr)) {
        lost(GetLastError());
    }
}

QByteArray Win32SerialCommPort::input() {
    QByteArray out;
    inputInto(out);
    return out;
}

void Win32SerialCommPort::inputInto(QByteArray& out) {
    const qsizetype waiting = buffer_.size() - head_;
    const qsizetype n = inputLen_ > 0 ? std::min<qsizetype>(inputLen_, waiting) : waiting;
    out.resize(n);
    std::copy_n(buffer_.constData() + head_, n, out.data());
    head_ += n;
}

}  // namespace tavrel

#endif
