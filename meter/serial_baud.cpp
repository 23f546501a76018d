// Kept apart: the kernel's termios2 header clashes with the C library's.
#include "meter/serial_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace zx840 {

bool SetArbitraryBaud(int fd, std::int32_t baudRate) {
    if (baudRate <= 0) {
        errno = EINVAL;
        return false;
    }
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(baudRate);
    tio.c_ospeed = static_cast<speed_t>(baudRate);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace zx840
