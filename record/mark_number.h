// The product number: how the Mark dialog reads it and how it steps.
#pragma once

#include <cstdint>
#include <string>

namespace zx840 {

enum class NumberCheck {
    Ok,
    NotInteger,  // "Please enter an integer."
    OutOfRange,  // "Please enter an integer between 0 and 2147483647."
};

struct NumberResult {
    NumberCheck check = NumberCheck::NotInteger;
    std::int32_t value = 0;
};

// Reads the Number field: of its first 31 characters, blanks and tabs
// around an optional sign and decimal digits; values beyond 32 bits become
// the nearest limit; a zero value must be written with the digit 0 first;
// the number must lie from 0 to 2147483647.
NumberResult CheckMarkNumber(const std::string& text);

inline constexpr char kNotIntegerMessage[] = "Please enter an integer.";
inline constexpr char kNumberRangeMessage[] = "Please enter an integer between 0 and 2147483647.";

// Number add one: the next number, or 1 after the largest (then `wrapped`).
std::int32_t NextNumber(std::int32_t number, bool* wrapped);

inline constexpr char kNumberOverflowMessage[] =
    "Number overflow!\n\nNumber will be changed to one!\nYou can change it by \"Product Mark\" "
    "under Product menu.";
inline constexpr char kNumberOverflowCaption[] = "Warning";

}  // namespace zx840
