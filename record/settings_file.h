// The settings file "ZX840EN.ini": port, speed and product information from
// one run to the next, as nine raw fields.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "record/defaults.h"
#include "record/product_mark.h"

namespace zx840 {

inline constexpr char kSettingsFileName[] = "ZX840EN.ini";
inline constexpr char kSettingsCreateFailed[] = "Can't create file ZX840EN.ini";
inline constexpr char kSettingsCreateCaption[] = "Create File";

struct Settings {
    std::int32_t Number = kDefaultNumber;
    std::string Type;
    std::string Temperature = kDefaultTemperature;
    std::string Humidity = kDefaultHumidity;
    std::string Operator;
    std::string ComPort = kDefaultComPort;
    std::int32_t BaudRate = kDefaultBaudRate;
    std::string Inspector;
    std::string Manufacturer;

    friend bool operator==(const Settings&, const Settings&) = default;
};

std::vector<std::uint8_t> SerializeSettings(const Settings& settings);

// The fields in file order; from the first one not read whole (the file
// ends, or a text announces more than the file holds) on, the defaults.
// `whole`, when given, tells whether all nine fields were read and nothing
// follows them.
Settings ParseSettings(std::span<const std::uint8_t> bytes, bool* whole = nullptr);

// The product information a settings file carries, which is the whole mark
// but the test day (that is today's at every start), into `mark`.
void ApplySettingsToMark(const Settings& settings, ProductMark& mark);
// What a settings file stores of the product information, port and speed.
Settings SettingsFor(const ProductMark& mark, const std::string& comPort, std::int32_t baudRate);

}  // namespace zx840
