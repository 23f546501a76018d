#include "meter/port_map.h"

#include <cctype>
#include <cstdlib>

namespace zx840 {

PortMap::PortMap() {
    for (int i = 0; i < kPortCount; ++i) {
        devices_[static_cast<std::size_t>(i)] = "/dev/ttyS" + std::to_string(i);
    }
}

std::optional<int> PortMap::ComNumber(const std::string& name) {
    if (name.size() != 4) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) {
            return std::nullopt;
        }
    }
    const char digit = name[3];
    if (digit < '1' || digit > '0' + kPortCount) {
        return std::nullopt;
    }
    return digit - '0';
}

std::string PortMap::EnvironmentName(int number) {
    return "ZX840_COM" + std::to_string(number);
}

const std::string& PortMap::Mapped(int number) const {
    return devices_.at(static_cast<std::size_t>(number - 1));
}

void PortMap::SetMapped(int number, std::string device) {
    devices_.at(static_cast<std::size_t>(number - 1)) = std::move(device);
}

std::string PortMap::Resolve(const std::string& name) const {
    const auto number = ComNumber(name);
    if (!number) {
        return name;
    }
    const char* overridden = std::getenv(EnvironmentName(*number).c_str());
    if (overridden != nullptr && *overridden != '\0') {
        return overridden;
    }
    return Mapped(*number);
}

}  // namespace zx840
