// The product information attached to a test.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace zx840 {

struct ProductMark {
    std::string Manufacturer;
    std::string Type;
    std::int32_t Number = 1;
    std::string Temperature = "25";  // degrees Celsius, as typed
    std::string Humidity = "65";     // percent, as typed
    std::string Operator;
    std::string Inspector;  // carried, never shown
    std::string Testday;    // "%y-%m-%d"

    friend bool operator==(const ProductMark&, const ProductMark&) = default;
};

// A date as the test day shows it: two-digit year, month and day, "26-12-07".
std::string FormatTestday(const std::tm& date);
// Today's local date in that form.
std::string TodayTestday();

}  // namespace zx840
