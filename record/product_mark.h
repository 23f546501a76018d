// The product information attached to a test.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "record/defaults.h"

namespace zx840 {

struct ProductMark {
    std::string Manufacturer;
    std::string Type;
    std::int32_t Number = kDefaultNumber;
    std::string Temperature = kDefaultTemperature;  // degrees Celsius, as typed
    std::string Humidity = kDefaultHumidity;        // percent, as typed
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
