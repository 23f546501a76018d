#include "tools/cli_failure.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "meter/serial_devices.h"
#include "tools/cli.h"

namespace zx840 {

int FailureStatus(AcquireFailure failure) {
    switch (failure) {
        case AcquireFailure::None:
            return kCliOk;
        case AcquireFailure::OpenFailed:
            return kCliOpenFailed;
        case AcquireFailure::WriteFailed:
            return kCliWriteFailed;
        case AcquireFailure::BadReply:
            return kCliBadReply;
    }
    return kCliBadReply;
}

std::string FailureDetail(const ExchangeResult& exchange, const std::string& port,
                          const std::string& device) {
    std::ostringstream detail;
    detail << port;
    if (device != port) {
        detail << " (" << device << ")";
    }
    switch (exchange.failure) {
        case AcquireFailure::OpenFailed:
        case AcquireFailure::WriteFailed:
            detail << ": " << PortErrorText(exchange.port.error);
            if (exchange.port.sysErrno != 0) {
                detail << " (" << std::strerror(exchange.port.sysErrno) << ")";
            }
            if (exchange.port.sysErrno == EACCES || exchange.port.sysErrno == EPERM) {
                std::string group;
                for (const SerialDeviceInfo& info : DescribeSerialDevices()) {
                    if (info.path == device) {
                        group = info.group;
                    }
                }
                detail << "; " << PermissionHint(group);
            }
            break;
        case AcquireFailure::BadReply: {
            // Plain decimal, whatever locale the stream may carry.
            detail << ": " << std::to_string(exchange.received) << " bytes received";
            if (exchange.received > 0) {
                char mark[8];
                std::snprintf(mark, sizeof mark, "%x", static_cast<unsigned>(exchange.reply[0]));
                detail << ", first byte 0x" << mark;
            }
            if (exchange.readErrno != 0) {
                detail << ", line error: " << std::strerror(exchange.readErrno);
            }
            break;
        }
        case AcquireFailure::None:
            break;
    }
    return detail.str();
}

int ReportFailure(std::ostream& err, const ExchangeResult& exchange, const std::string& port,
                  const std::string& device) {
    err << FailureMessage(exchange.failure).text << "\n"
        << "detail: " << FailureDetail(exchange, port, device) << "\n";
    return FailureStatus(exchange.failure);
}

}  // namespace zx840
