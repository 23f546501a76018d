#include "record/mark_number.h"

#include <algorithm>
#include <limits>

namespace zx840 {
namespace {

constexpr std::size_t kConsidered = 31;  // characters of the field that count

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

NumberResult CheckMarkNumber(const std::string& field) {
    const std::string text = field.substr(0, kConsidered);
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    const std::size_t first = i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t digitsStart = i;
    long long magnitude = 0;  // saturates just above the 32-bit range
    constexpr long long kCap = 1LL << 32;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        magnitude = std::min(kCap, magnitude * 10 + (text[i] - '0'));
        ++i;
    }
    const bool hasDigits = i > digitsStart;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    if (!hasDigits || i != text.size()) {
        return {NumberCheck::NotInteger, 0};
    }
    const long long value =
        std::clamp(negative ? -magnitude : magnitude,
                   static_cast<long long>(std::numeric_limits<std::int32_t>::min()),
                   static_cast<long long>(std::numeric_limits<std::int32_t>::max()));
    if (value == 0 && text[first] != '0') {
        return {NumberCheck::NotInteger, 0};
    }
    if (value < 0) {
        return {NumberCheck::OutOfRange, static_cast<std::int32_t>(value)};
    }
    return {NumberCheck::Ok, static_cast<std::int32_t>(value)};
}

std::int32_t NextNumber(std::int32_t number, bool* wrapped) {
    *wrapped = number == std::numeric_limits<std::int32_t>::max();
    return *wrapped ? 1 : number + 1;
}

}  // namespace zx840
