#include "meter/serial_devices.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace zx840 {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPrefixes[] = {"ttyS",   "ttyUSB",   "ttyACM",
                                          "ttyAMA", "ttyXRUSB", "rfcomm"};

bool IsSerialName(const std::string& name) {
    for (const std::string_view prefix : kPrefixes) {
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                        [](unsigned char c) { return std::isdigit(c) != 0; })) {
            return true;
        }
    }
    return false;
}

// "ttyS10" after "ttyS2": compare the name part, then the number.
bool NaturalLess(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        std::size_t digits = s.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(s[digits - 1])) != 0) {
            --digits;
        }
        const std::string number = s.substr(digits);
        return std::make_pair(s.substr(0, digits), number.empty() ? -1L : std::stol(number));
    };
    return split(a) < split(b);
}

std::vector<std::string> Entries(const fs::path& folder, bool serialNamesOnly) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!serialNamesOnly || IsSerialName(name)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        paths.push_back((folder / name).string());
    }
    return paths;
}

}  // namespace

std::vector<std::string> ListSerialDevices(const std::string& devRoot) {
    const fs::path root(devRoot);
    std::vector<std::string> devices = Entries(root, true);
    for (const char* stable : {"serial/by-id", "serial/by-path"}) {
        for (std::string& path : Entries(root / stable, false)) {
            devices.push_back(std::move(path));
        }
    }
    return devices;
}

}  // namespace zx840
