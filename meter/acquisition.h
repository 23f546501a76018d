// One acquisition: a request and a reply over the serial line, decoded into
// the working record and analysed.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/harmonics.h"
#include "meter/protocol.h"
#include "meter/serial_port.h"
#include "record/measurement_record.h"
#include "record/product_identity.h"

namespace zx840 {

// The timeouts of the reply read: at most 5 ms per byte plus 5 s in all
// (10265 ms for a full reply), and at most 5 s between two bytes.
inline constexpr ReadTimeouts kMeterReadTimeouts{
    std::chrono::milliseconds(5000), std::chrono::milliseconds(5), std::chrono::milliseconds(5000)};

enum class AcquireFailure {
    None,
    OpenFailed,   // the port cannot be opened
    WriteFailed,  // the request cannot be written
    BadReply,     // no reply, short, or not starting with the reply mark
};

// A message box for the operator: the text and its caption.
struct OperatorMessage {
    std::string text;
    std::string caption;
};

// The message the operator sees for a failure (empty for None).
OperatorMessage FailureMessage(AcquireFailure failure);

// The failure's short name where a line or a remote client reads it: F1
// the port cannot be opened, F2 the request cannot be written, F3 no valid
// reply (as the tool's exit statuses 2, 3 and 4); empty for None.
const char* FailureCode(AcquireFailure failure);

// What one exchange brought back. The reply buffer is cleared before the
// read, so a reply one byte short reads its missing last byte as 0.
struct ExchangeResult {
    AcquireFailure failure = AcquireFailure::None;
    PortStatus port;           // why the open or the write failed
    std::size_t received = 0;  // bytes of reply received
    int readErrno = 0;         // non-zero when the line failed during the read
    Reply reply{};
};

// The exchange on the line: open `device` exclusively, set `baudRate` 8N1,
// discard anything already received, write the request, read up to 1053
// bytes within `timeouts`, close, check the reply. The port is closed on every exit. Safe to run
// off the user interface thread: it touches nothing but the device.
ExchangeResult ExchangeWithMeter(const std::string& device, std::int32_t baudRate,
                                 const ReadTimeouts& timeouts = kMeterReadTimeouts);

// Takes an accepted reply into the working record: readings and samples,
// then the spectra and distortion sums, then the conduction angles, then
// DataValid = 1.
void ApplyReply(const Reply& reply, const HarmonicTable& table, WorkingRecord& working);

// Both steps at once: 1 when the reply was accepted and applied, 0 after a
// failure, which then leaves `working` exactly as it was.
struct AcquireResult {
    int ok = 0;
    ExchangeResult exchange;
};
AcquireResult Acquire(const std::string& device, std::int32_t baudRate, const HarmonicTable& table,
                      WorkingRecord& working, const ReadTimeouts& timeouts = kMeterReadTimeouts);

}  // namespace zx840
