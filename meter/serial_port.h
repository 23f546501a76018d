// A serial line for one exchange with the meter: exclusive open, raw 8N1,
// one write, one read bounded by an interval and a total timeout.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zx840 {

enum class PortError {
    None,
    NotFound,      // no such device (or an empty name)
    Busy,          // held by another open, of this or any other program
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
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;

    // Opens an existing device for reading and writing, for this open alone:
    // TIOCEXCL keeps other opens out, and a non-blocking flock on the
    // canonical path keeps out even root and opens through another name.
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

    // Writes all bytes, waiting for room as long as needed.
    PortStatus Write(std::span<const std::uint8_t> bytes);

    // Reads up to buffer.size() bytes within the read timeouts. A short
    // count is a result, not an error.
    ReadResult Read(std::span<std::uint8_t> buffer);

    void Close();

    int NativeHandle() const { return fd_; }

  private:
    int fd_ = -1;
    ReadTimeouts timeouts_;
};

const char* PortErrorText(PortError error);

}  // namespace zx840
