// The message a second start sends to the running program: the absolute
// path of the file to open, as bytes, ended by a newline; the running
// program answers with kOpenRequestReply once it has taken the request.
// One request per connection. Pure, so that the reader can be fuzzed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zx840 {

inline constexpr std::string_view kOpenRequestReply = "OK\n";
// The longest path a request may carry (the system's PATH_MAX).
inline constexpr std::size_t kMaxOpenRequestPath = 4096;

struct OpenRequest {
    enum class Status {
        Incomplete,  // no newline yet: wait for more bytes
        Refused,     // not a request: drop the connection
        Complete,    // `path` holds the file to open
    };
    Status status = Status::Incomplete;
    std::string path;
};

// Reads what a connection has received so far. A complete request is a
// single line holding an absolute path (it begins with "/") without NUL
// bytes, no longer than kMaxOpenRequestPath, and nothing after its newline.
// Refused stays refused whatever arrives later; Incomplete never turns into
// Refused for bytes that a complete request could still begin with.
OpenRequest ReadOpenRequest(std::string_view received);

// The bytes a second start sends for `absolutePath`; empty when the path
// could not be read back as a complete request.
std::string EncodeOpenRequest(std::string_view absolutePath);

}  // namespace zx840
