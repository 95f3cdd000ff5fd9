// termios2 lives in the kernel headers, which clash with <termios.h>; kept apart.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetCustomBaudRate(int fd, int baudRate) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_ispeed = static_cast<speed_t>(baudRate);
    tio.c_ospeed = static_cast<speed_t>(baudRate);
    return ioctl(fd, TCSETS2, &tio) == 0;
}
