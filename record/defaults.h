// The values a test starts from when nothing was stored: the port, the line
// speed and the product information of a first run.
#pragma once

#include <cstdint>

namespace zx840 {

inline constexpr char kDefaultComPort[] = "COM1";
inline constexpr std::int32_t kDefaultBaudRate = 9600;
inline constexpr std::int32_t kDefaultNumber = 1;
inline constexpr char kDefaultTemperature[] = "25";  // degrees Celsius
inline constexpr char kDefaultHumidity[] = "65";     // percent

}  // namespace zx840
