// libFuzzer target for the reader of open-request messages, which the
// running program applies to whatever a local client sends:
// - reads never go past the end of the input (AddressSanitizer);
// - a complete request holds an absolute path without NUL or newline, no
//   longer than the limit, and encodes back to exactly the input;
// - every prefix of a complete request is incomplete, and a refused input
//   stays refused whatever follows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/open_request.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using zx840::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using Status = zx840::OpenRequest::Status;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const zx840::OpenRequest request = zx840::ReadOpenRequest(input);
    switch (request.status) {
        case Status::Complete:
            Check(!request.path.empty() && request.path.front() == '/');
            Check(request.path.size() <= zx840::kMaxOpenRequestPath);
            Check(request.path.find('\0') == std::string::npos);
            Check(request.path.find('\n') == std::string::npos);
            Check(zx840::EncodeOpenRequest(request.path) == input);
            for (std::size_t cut = 0; cut < size; cut += 1 + size / 16) {
                Check(zx840::ReadOpenRequest(input.substr(0, cut)).status == Status::Incomplete);
            }
            break;
        case Status::Refused:
            Check(request.path.empty());
            Check(zx840::ReadOpenRequest(std::string(input) + "/x\n").status == Status::Refused);
            break;
        case Status::Incomplete:
            Check(request.path.empty());
            Check(input.find('\n') == std::string_view::npos);
            break;
    }
    return 0;
}
