// A serial line for one exchange with the meter: exclusive open, raw 8N1,
// input purged before the request, one write, one read bounded by an
// interval and a total timeout.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "meter/uucp_lock.h"

namespace zx840 {

enum class PortError {
    None,
    NotFound,      // no such device (or an empty name)
    Busy,          // held by another open or lock file, of this or any other program
    AccessDenied,  // no permission
    NotATerminal,  // exists, but is no serial line
    Io,            // any other failure of the system call
};

struct PortStatus {
    PortError error = PortError::None;
    int sysErrno = 0;  // errno of the failing call, 0 when none

    explicit operator bool() const { return error == PortError::None; }
};

// Read timeouts with the usual serial-port meaning: the read ends after
// totalMultiplier * requested + totalConstant from its start, or earlier when
// `interval` passes between two bytes; the interval only runs once the first
// byte has arrived. A zero duration disables that limit; with every limit
// disabled the read waits until the buffer is full.
struct ReadTimeouts {
    std::chrono::milliseconds interval{0};
    std::chrono::milliseconds totalMultiplier{0};
    std::chrono::milliseconds totalConstant{0};
};

struct ReadResult {
    std::size_t count = 0;  // bytes received, also after a failure
    int sysErrno = 0;       // non-zero when the line failed (hang-up, I/O error)
};

class SerialPort {
  public:
    // Lock files go to UucpLockFolder(), or to `lockFolder` when given (an
    // empty one keeps none).
    SerialPort() : lockFolder_(UucpLockFolder()) {}
    explicit SerialPort(std::string lockFolder) : lockFolder_(std::move(lockFolder)) {}
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;

    // Opens an existing device for reading and writing, for this open alone.
    // The lock file LCK..NAME of the canonical device is honoured and held
    // (one of a dead process is taken over); a non-blocking flock keeps out
    // even root and opens through another name; TIOCEXCL keeps out programs
    // that use neither, on real serial lines only: on a pseudo-terminal the
    // far end keeps the line alive, so a holder killed before it could clear
    // the flag would lock every later open out for good.
    PortStatus Open(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }

    // Raw 8 data bits, no parity, 1 stop bit at `baudRate`; receiver on,
    // modem control lines ignored, no software flow control (it would eat
    // 0x11 and 0x13 bytes of binary data). Hardware flow control is left as
    // the driver has it. Speeds without a standard constant are set as
    // arbitrary rates where the driver supports it.
    PortStatus SetLine(std::int32_t baudRate);

    void SetReadTimeouts(const ReadTimeouts& timeouts) { timeouts_ = timeouts; }
    const ReadTimeouts& GetReadTimeouts() const { return timeouts_; }

    // Discards whatever was received but not read yet: a late or doubled
    // answer to an earlier request.
    PortStatus DiscardInput();

    // Writes all bytes, waiting for room as long as needed.
    PortStatus Write(std::span<const std::uint8_t> bytes);

    // Reads up to buffer.size() bytes within the read timeouts. A short
    // count is a result, not an error.
    ReadResult Read(std::span<std::uint8_t> buffer);

    void Close();

    int NativeHandle() const { return fd_; }
    // The lock file held while open, empty when none.
    const std::string& LockFile() const { return lock_.Path(); }

  private:
    std::string lockFolder_;
    UucpLock lock_;
    int fd_ = -1;
    bool exclusive_ = false;  // TIOCEXCL set by this open
    ReadTimeouts timeouts_;
};

const char* PortErrorText(PortError error);

}  // namespace zx840
