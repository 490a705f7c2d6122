// Speeds outside the classic table (14400 baud) through the kernel's arbitrary-rate interface.
// Its structures clash with the C library's termios, so they live in a file of their own.

#include "custom_speed.h"

#ifdef __linux__
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>

namespace tavrel {

int setCustomSpeed(int fd, int baud) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    if (::ioctl(fd, TCSETS2, &t) != 0) return errno;
    // A driver may take the call and keep another rate: read back what the line runs at.
    struct termios2 back {};
    if (::ioctl(fd, TCGETS2, &back) != 0) return errno;
    const long kept = static_cast<long>(back.c_ospeed);
    // UART dividers rarely hit a rate exactly; 2 % either way still frames bytes.
    if ((back.c_cflag & CBAUD) != BOTHER || std::labs(kept - baud) * 50 > baud) return EINVAL;
    return 0;
}

}  // namespace tavrel

#else

#include <cerrno>

namespace tavrel {
int setCustomSpeed(int, int) { return ENOTSUP; }
}  // namespace tavrel

#endif
