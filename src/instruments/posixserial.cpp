#include "tavlo/posixserial.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
using TClock = std::chrono::steady_clock;

int MsLeft(TClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

speed_t StandardSpeed(int baud) {
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    default: return B0;
    }
}
} // namespace

TPosixSerial::~TPosixSerial() { Close(); }

bool TPosixSerial::Open(const QString& devicePath) {
    Close();
    const QByteArray path = QFile::encodeName(devicePath);
    if (path.isEmpty())
        return false;
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Exclusive: TIOCEXCL keeps other openers out (except privileged ones), the flock also
    // keeps out a privileged second opener that honours it, this program included.
    if (!isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return false;
    }
    FFd = fd;
    return true;
}

void TPosixSerial::Close() {
    if (FFd < 0)
        return;
    // The exclusive flag outlives this descriptor while anyone else holds the terminal.
    ::ioctl(FFd, TIOCNXCL);
    ::flock(FFd, LOCK_UN);
    ::close(FFd);
    FFd = -1;
}

bool TPosixSerial::SetLine(int baudRate, int parity, int stopBits) {
    if (FFd < 0 || baudRate <= 0)
        return false;
    termios tio{};
    if (::tcgetattr(FFd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK);
    tio.c_iflag |= IGNBRK;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    switch (parity) {
    case 0: break;
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: return false;
    }
    switch (stopBits) {
    case 0: break;
    case 2: tio.c_cflag |= CSTOPB; break;
    default: return false; // one and a half stop bits need 5 data bits
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
    const speed_t speed = StandardSpeed(baudRate);
    if (speed != B0 && (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0))
        return false;
    if (::tcsetattr(FFd, TCSANOW, &tio) != 0)
        return false;
    if (speed == B0 && !SetCustomBaudRate(FFd, baudRate))
        return false;
    // DTR and RTS on; a pseudo-terminal has no modem lines, which is no failure.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(FFd, TIOCMBIS, &lines);
    return true;
}

bool TPosixSerial::SetReadTimeouts(int intervalMs, int multiplierMs, int constantMs) {
    if (FFd < 0 || intervalMs < 0 || multiplierMs < 0 || constantMs < 0)
        return false;
    FReadInterval = intervalMs;
    FReadMultiplier = multiplierMs;
    FReadConstant = constantMs;
    return true;
}

bool TPosixSerial::SetWriteTimeouts(int multiplierMs, int constantMs) {
    if (FFd < 0 || multiplierMs < 0 || constantMs < 0)
        return false;
    FWriteMultiplier = multiplierMs;
    FWriteConstant = constantMs;
    return true;
}

bool TPosixSerial::SetQueueSizes(int inputBytes, int outputBytes) {
    return FFd >= 0 && inputBytes > 0 && outputBytes > 0;
}

int TPosixSerial::BytesWaiting() const {
    if (FFd < 0)
        return -1;
    int count = 0;
    if (::ioctl(FFd, FIONREAD, &count) != 0)
        return -1;
    return count;
}

int64_t TPosixSerial::Write(const char* data, int64_t size) {
    if (FFd < 0 || size < 0)
        return -1;
    const auto deadline = TClock::now() + std::chrono::milliseconds(
                                              FWriteMultiplier * size + FWriteConstant);
    int64_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(FFd, data + done, static_cast<size_t>(size - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return -1;
        const int left = MsLeft(deadline);
        if (left == 0)
            return -1;
        pollfd p{FFd, POLLOUT, 0};
        if (::poll(&p, 1, left) < 0 && errno != EINTR)
            return -1;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
            return -1;
    }
    return done;
}

int64_t TPosixSerial::Read(char* data, int64_t maxSize) {
    if (FFd < 0 || maxSize < 0)
        return -1;
    const auto deadline = TClock::now() + std::chrono::milliseconds(
                                              FReadMultiplier * maxSize + FReadConstant);
    int64_t done = 0;
    while (done < maxSize) {
        const ssize_t n = ::read(FFd, data + done, static_cast<size_t>(maxSize - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return done > 0 ? done : -1;
        if (n == 0 && done == 0 && BytesWaiting() < 0)
            return -1;
        int wait = MsLeft(deadline);
        if (done > 0 && FReadInterval < wait)
            wait = FReadInterval;
        if (wait == 0)
            break;
        pollfd p{FFd, POLLIN, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0 && errno != EINTR)
            return done > 0 ? done : -1;
        if (r == 0 && done > 0)
            break; // the gap after the last byte ended the read
        if (p.revents & (POLLERR | POLLNVAL))
            return done > 0 ? done : -1;
        if ((p.revents & POLLHUP) && !(p.revents & POLLIN))
            return done > 0 ? done : -1;
    }
    return done;
}

void TPosixSerial::Flush() {
    if (FFd >= 0)
        ::tcflush(FFd, TCIOFLUSH);
}
