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

}  // namespace zx840
