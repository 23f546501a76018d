#include "draw/number_format.h"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace zx840 {

namespace {

// The longest fixed-notation double: sign, 309 integer digits, the point and
// at most kMaxPrecision decimals.
constexpr int kMaxPrecision = 50;
constexpr std::size_t kFixedBufferSize = 1 + 309 + 1 + kMaxPrecision + 8;

}  // namespace

std::string FormatFixed(double value, int precision, int width) {
    precision = std::clamp(precision, 0, kMaxPrecision);
    char buffer[kFixedBufferSize];
    // std::to_chars is locale-independent and, with a precision, rounds
    // exactly like printf's "%.*f".
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    std::string text = ec == std::errc{} ? std::string(buffer, end) : std::string();
    if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    }
    return text;
}

}  // namespace zx840
