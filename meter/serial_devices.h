// The serial devices this machine has, for choosing which one a COM name
// stands for.
#pragma once

#include <string>
#include <vector>

namespace zx840 {

// Device paths under `devRoot` (normally "/dev") that are serial lines:
// ttyS*, ttyUSB*, ttyACM*, ttyAMA*, ttyXRUSB* and rfcomm*, in natural order
// (ttyS2 before ttyS10), then the stable names under serial/by-id and
// serial/by-path. Built-in ttyS ports that have no hardware behind them are
// listed too: the system cannot always tell.
std::vector<std::string> ListSerialDevices(const std::string& devRoot = "/dev");

// A serial device as `zx840-cli ports` tells of it.
struct SerialDeviceInfo {
    std::string path;                      // "/dev/ttyUSB0"
    std::vector<std::string> stableNames;  // the serial/by-id and by-path names leading to it
    bool accessible = false;               // this user may open it for reading and writing
    int accessErrno = 0;                   // why not
    std::string group;                     // the group that owns the device ("dialout")
};

// The serial lines under `devRoot` (not the stable names themselves), each
// with the stable names that lead to it and whether this user may open it.
std::vector<SerialDeviceInfo> DescribeSerialDevices(const std::string& devRoot = "/dev");

// What to do about a device this user may not open: join its group.
std::string PermissionHint(const std::string& group);

}  // namespace zx840
