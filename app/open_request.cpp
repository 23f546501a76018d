#include "app/open_request.h"

namespace zx840 {

OpenRequest ReadOpenRequest(std::string_view received) {
    using Status = OpenRequest::Status;
    const std::size_t end = received.find('\n');
    const std::string_view line = received.substr(0, end);
    const bool tooLong = line.size() > kMaxOpenRequestPath;
    const bool badStart = !line.empty() && line.front() != '/';
    const bool hasNul = line.find('\0') != std::string_view::npos;
    if (tooLong || badStart || hasNul) {
        return {Status::Refused, {}};
    }
    if (end == std::string_view::npos) {
        return {Status::Incomplete, {}};
    }
    // An empty line, or anything after the one request, is no request.
    if (line.empty() || end + 1 != received.size()) {
        return {Status::Refused, {}};
    }
    return {Status::Complete, std::string(line)};
}

std::string EncodeOpenRequest(std::string_view absolutePath) {
    std::string message(absolutePath);
    message += '\n';
    if (ReadOpenRequest(message).status != OpenRequest::Status::Complete) {
        return {};
    }
    return message;
}

}  // namespace zx840
