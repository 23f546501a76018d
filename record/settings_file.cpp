#include "record/settings_file.h"

#include "record/archive.h"

namespace zx840 {

std::vector<std::uint8_t> SerializeSettings(const Settings& s) {
    std::vector<std::uint8_t> out;
    WriteInt32(out, s.Number);
    WriteArchiveString(out, s.Type);
    WriteArchiveString(out, s.Temperature);
    WriteArchiveString(out, s.Humidity);
    WriteArchiveString(out, s.Operator);
    WriteArchiveString(out, s.ComPort);
    WriteInt32(out, s.BaudRate);
    WriteArchiveString(out, s.Inspector);
    WriteArchiveString(out, s.Manufacturer);
    return out;
}

Settings ParseSettings(std::span<const std::uint8_t> bytes, bool* whole) {
    ArchiveReader in(bytes);
    Settings s;
    // Each field is taken only when read whole; the first failure leaves it
    // and all after it at their defaults.
    const auto text = [&in](std::string& field) {
        std::string value;
        if (!in.ReadString(value)) {
            return false;
        }
        field = std::move(value);
        return true;
    };
    const auto number = [&in](std::int32_t& field) {
        std::int32_t value = 0;
        if (!in.ReadInt32(value)) {
            return false;
        }
        field = value;
        return true;
    };
    const bool all = number(s.Number) && text(s.Type) && text(s.Temperature) && text(s.Humidity) &&
                     text(s.Operator) && text(s.ComPort) && number(s.BaudRate) &&
                     text(s.Inspector) && text(s.Manufacturer);
    if (whole != nullptr) {
        *whole = all && in.Remaining() == 0;
    }
    return s;
}

void ApplySettingsToMark(const Settings& settings, ProductMark& mark) {
    mark.Manufacturer = settings.Manufacturer;
    mark.Type = settings.Type;
    mark.Number = settings.Number;
    mark.Temperature = settings.Temperature;
    mark.Humidity = settings.Humidity;
    mark.Operator = settings.Operator;
    mark.Inspector = settings.Inspector;
}

Settings SettingsFor(const ProductMark& mark, const std::string& comPort, std::int32_t baudRate) {
    Settings settings;
    settings.Number = mark.Number;
    settings.Type = mark.Type;
    settings.Temperature = mark.Temperature;
    settings.Humidity = mark.Humidity;
    settings.Operator = mark.Operator;
    settings.ComPort = comPort;
    settings.BaudRate = baudRate;
    settings.Inspector = mark.Inspector;
    settings.Manufacturer = mark.Manufacturer;
    return settings;
}

}  // namespace zx840
