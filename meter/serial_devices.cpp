#include "meter/serial_devices.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
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

// Which entries of a folder are listed: those with the names of serial
// devices, or all.
enum class Names { Serial, All };

std::vector<std::string> Entries(const fs::path& folder, Names listed) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (listed == Names::All || IsSerialName(name)) {
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

std::vector<SerialDeviceInfo> DescribeSerialDevices(const std::string& devRoot) {
    const fs::path root(devRoot);
    std::vector<SerialDeviceInfo> devices;
    for (const std::string& path : Entries(root, Names::Serial)) {
        SerialDeviceInfo info;
        info.path = path;
        info.accessible = ::access(path.c_str(), R_OK | W_OK) == 0;
        info.accessErrno = info.accessible ? 0 : errno;
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0) {
            std::vector<char> buffer(16384);
            group gr{};
            group* found = nullptr;
            if (::getgrgid_r(status.st_gid, &gr, buffer.data(), buffer.size(), &found) == 0 &&
                found != nullptr) {
                info.group = found->gr_name;
            } else {
                info.group = std::to_string(status.st_gid);
            }
        }
        devices.push_back(std::move(info));
    }
    for (const char* stable : {"serial/by-id", "serial/by-path"}) {
        for (const std::string& link : Entries(root / stable, Names::All)) {
            std::error_code error;
            const fs::path target = fs::canonical(link, error);
            if (error) {
                continue;
            }
            for (SerialDeviceInfo& info : devices) {
                std::error_code same;
                if (fs::equivalent(info.path, target, same)) {
                    info.stableNames.push_back(link);
                }
            }
        }
    }
    return devices;
}

std::string PermissionHint(const std::string& group) {
    const std::string name = group.empty() ? std::string("dialout") : group;
    return "the device belongs to the group " + name + ": add your user to it (sudo usermod -aG " +
           name + " $USER) and log in again";
}

std::vector<std::string> ListSerialDevices(const std::string& devRoot) {
    const fs::path root(devRoot);
    std::vector<std::string> devices = Entries(root, Names::Serial);
    for (const char* stable : {"serial/by-id", "serial/by-path"}) {
        for (std::string& path : Entries(root / stable, Names::All)) {
            devices.push_back(std::move(path));
        }
    }
    return devices;
}

}  // namespace zx840
