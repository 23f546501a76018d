#include "meter/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>

#include "meter/serial_baud.h"

namespace zx840 {
namespace {

using Clock = std::chrono::steady_clock;

// Readable wake-ups in a row whose read brings nothing before the line is
// taken to be gone: far more than a busy line shows, far fewer than a spin
// that would burn the whole read timeout.
constexpr int kMaxEmptyReads = 1000;

PortError ErrorFromErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
        case ENODEV:
        case ENAMETOOLONG:
        case ELOOP:
            return PortError::NotFound;
        case EBUSY:
        case EWOULDBLOCK:
            return PortError::Busy;
        case EACCES:
        case EPERM:
        case EROFS:
            return PortError::AccessDenied;
        default:
            return PortError::Io;
    }
}

PortStatus Failure(int err) {
    return {ErrorFromErrno(err), err};
}

speed_t StandardSpeed(std::int32_t baud) {
    switch (baud) {
        case 50:
            return B50;
        case 75:
            return B75;
        case 110:
            return B110;
        case 134:
            return B134;
        case 150:
            return B150;
        case 200:
            return B200;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 1800:
            return B1800;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

// Slaves of Unix 98 pseudo-terminals (majors 136 to 143) and of the older
// BSD ones (major 3).
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    const unsigned int deviceMajor = major(st.st_rdev);
    return (deviceMajor >= 136 && deviceMajor <= 143) || deviceMajor == 3;
}

// Milliseconds until `deadline`, rounded up so a poll never wakes early.
int MillisUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

// The deadlines of one read of `requested` bytes: the total one, from its
// start, and once a byte has come the interval after the last one.
class ReadDeadlines {
  public:
    ReadDeadlines(const ReadTimeouts& timeouts, std::size_t requested)
        : interval_(timeouts.interval) {
        const Clock::duration total =
            timeouts.totalMultiplier * static_cast<long long>(requested) + timeouts.totalConstant;
        hasTotal_ = total > Clock::duration::zero();
        total_ = Clock::now() + total;
    }

    // How long a poll may wait for more bytes (-1: for ever); nothing once
    // a deadline has passed.
    std::optional<int> WaitMs(std::size_t received, Clock::time_point lastByte) const {
        const bool afterByte = interval_ > std::chrono::milliseconds::zero() && received > 0;
        if (!hasTotal_ && !afterByte) {
            return -1;
        }
        Clock::time_point deadline = hasTotal_ ? total_ : Clock::time_point::max();
        if (afterByte) {
            deadline = std::min(deadline, lastByte + interval_);
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        return MillisUntil(deadline);
    }

  private:
    std::chrono::milliseconds interval_;
    bool hasTotal_ = false;
    Clock::time_point total_;
};

}  // namespace

SerialPort::~SerialPort() {
    Close();
}

SerialPort::SerialPort(SerialPort&& other) noexcept
    : lockFolder_(other.lockFolder_),
      lock_(std::move(other.lock_)),
      fd_(std::exchange(other.fd_, -1)),
      exclusive_(std::exchange(other.exclusive_, false)),
      timeouts_(other.timeouts_) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
    if (this != &other) {
        Close();
        lockFolder_ = other.lockFolder_;
        lock_ = std::move(other.lock_);
        fd_ = std::exchange(other.fd_, -1);
        exclusive_ = std::exchange(other.exclusive_, false);
        timeouts_ = other.timeouts_;
    }
    return *this;
}

PortStatus SerialPort::Open(const std::string& path) {
    Close();
    if (path.empty()) {
        return {PortError::NotFound, ENOENT};
    }
    // Resolve links first, so two names of one device share one lock.
    std::unique_ptr<char, decltype(&std::free)> canonical(realpath(path.c_str(), nullptr),
                                                          &std::free);
    if (!canonical) {
        return Failure(errno);
    }
    // The lock file first, as every program that uses one does; it goes with
    // `lock` on each failure below.
    UucpLock lock;
    if (lock.Take(lockFolder_, canonical.get()) == UucpLockResult::Busy) {
        return {PortError::Busy, EBUSY};
    }
    // Non-blocking, so the open never waits for a carrier; no O_CREAT, so
    // only an existing device opens.
    const int fd = ::open(canonical.get(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return Failure(errno);
    }
    if (!isatty(fd)) {
        ::close(fd);
        return {PortError::NotATerminal, ENOTTY};
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return Failure(err);
    }
    const bool exclusive = !IsPseudoTerminal(fd);
    if (exclusive && ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;
        ::close(fd);
        return Failure(err);
    }
    fd_ = fd;
    exclusive_ = exclusive;
    lock_ = std::move(lock);
    return {};
}

PortStatus SerialPort::SetLine(std::int32_t baudRate) {
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) {
        return Failure(errno);
    }
    // Raw binary input and output; flow control by hardware stays as it is.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK | IUCLC);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = StandardSpeed(baudRate);
    if (speed != B0) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) {
        return Failure(errno);
    }
    if (speed == B0 && !SetArbitraryBaud(fd_, baudRate)) {
        return Failure(errno != 0 ? errno : EINVAL);
    }
    return {};
}

PortStatus SerialPort::DiscardInput() {
    if (fd_ < 0) {
        return {PortError::Io, EBADF};
    }
    if (tcflush(fd_, TCIFLUSH) != 0) {
        return Failure(errno);
    }
    return {};
}

PortStatus SerialPort::Write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) {
        return {PortError::Io, EBADF};
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            return Failure(errno);
        }
        pollfd pfd{fd_, POLLOUT, 0};
        if (poll(&pfd, 1, -1) < 0 && errno != EINTR) {
            return Failure(errno);
        }
        if ((pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (pfd.revents & POLLOUT) == 0) {
            return {PortError::Io, EIO};
        }
    }
    return {};
}

ReadResult SerialPort::Read(std::span<std::uint8_t> buffer) {
    ReadResult result;
    if (fd_ < 0) {
        result.sysErrno = EBADF;
        return result;
    }
    const ReadDeadlines deadlines(timeouts_, buffer.size());
    Clock::time_point lastByte{};
    int emptyReads = 0;

    while (result.count < buffer.size()) {
        const std::optional<int> waitMs = deadlines.WaitMs(result.count, lastByte);
        if (!waitMs) {
            break;
        }
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = poll(&pfd, 1, *waitMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.sysErrno = errno;
            break;
        }
        if (ready == 0) {
            continue;  // the deadline check above ends the read
        }
        if ((pfd.revents & POLLIN) == 0) {
            // Hung up or failed with nothing left to read.
            result.sysErrno = (pfd.revents & POLLNVAL) != 0 ? EBADF : EIO;
            break;
        }
        const ssize_t n = ::read(fd_, buffer.data() + result.count, buffer.size() - result.count);
        if (n > 0) {
            result.count += static_cast<std::size_t>(n);
            lastByte = Clock::now();
            emptyReads = 0;
        } else if (n == 0) {
            // With VMIN and VTIME 0 a read finding nothing returns 0, also
            // after a wake-up whose data someone else flushed meanwhile. Only
            // a hang-up, or nothing but empty reads, means the line is gone.
            if ((pfd.revents & POLLHUP) != 0 || ++emptyReads >= kMaxEmptyReads) {
                result.sysErrno = EIO;
                break;
            }
        } else if (errno != EAGAIN && errno != EINTR) {
            result.sysErrno = errno;
            break;
        }
    }
    return result;
}

void SerialPort::Close() {
    if (fd_ < 0) {
        return;
    }
    if (exclusive_) {
        ioctl(fd_, TIOCNXCL);
    }
    flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
    exclusive_ = false;
    lock_.Release();
}

const char* PortErrorText(PortError error) {
    switch (error) {
        case PortError::None:
            return "no error";
        case PortError::NotFound:
            return "no such device";
        case PortError::Busy:
            return "in use by another program";
        case PortError::AccessDenied:
            return "permission denied";
        case PortError::NotATerminal:
            return "not a serial device";
        case PortError::Io:
            return "input/output error";
    }
    return "unknown error";
}

}  // namespace zx840
