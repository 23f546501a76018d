// The settings file "ZX840EN.ini": port, speed and product information from
// one run to the next, as nine raw fields.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zx840 {

inline constexpr char kSettingsFileName[] = "ZX840EN.ini";
inline constexpr char kSettingsCreateFailed[] = "Can't create file ZX840EN.ini";
inline constexpr char kSettingsCreateCaption[] = "Create File";

struct Settings {
    std::int32_t Number = 1;
    std::string Type;
    std::string Temperature = "25";
    std::string Humidity = "65";
    std::string Operator;
    std::string ComPort = "COM1";
    std::int32_t BaudRate = 9600;
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

}  // namespace zx840
