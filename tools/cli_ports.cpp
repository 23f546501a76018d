// zx840-cli ports: the serial lines of this machine, their stable names, the
// COM name that opens each, and whether this user may open them.
#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "meter/port_map.h"
#include "meter/serial_devices.h"
#include "tools/cli_commands.h"

namespace zx840 {

int PortsCommand(const CommandCall& call) {
    std::ostream& out = call.out;
    const std::vector<SerialDeviceInfo> devices = DescribeSerialDevices();
    const PortMap ports;
    if (devices.empty()) {
        out << "No serial devices found.\n";
        return kCliOk;
    }
    for (const SerialDeviceInfo& device : devices) {
        out << device.path;
        for (int number = 1; number <= kPortCount; ++number) {
            const std::string name = "COM" + std::to_string(number);
            if (ports.Resolve(name) == device.path) {
                out << "  " << name;
            }
        }
        out << (device.accessible ? "  usable" : "  not usable: ");
        if (!device.accessible) {
            out << std::strerror(device.accessErrno);
            if (device.accessErrno == EACCES || device.accessErrno == EPERM) {
                out << "; " << PermissionHint(device.group);
            }
        }
        out << "\n";
        for (const std::string& stable : device.stableNames) {
            out << "    " << stable << "\n";
        }
    }
    return kCliOk;
}

}  // namespace zx840
