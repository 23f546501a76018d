// Command line of zx840-meter-sim.
#pragma once

#include <string>
#include <vector>

#include "meter/sim/meter_simulator.h"

namespace zx840 {

struct SimCommandLine {
    SimulatorOptions options;
    std::string device;  // serve this device instead of a new pseudo-terminal
    std::string link;    // make this symbolic link point at the pseudo-terminal
    bool help = false;
    bool version = false;
};

extern const char kSimUsage[];

// Parses `args` (without the program name). On a mistake returns false and
// says why in `error`. With -h or --help only `help` is set.
bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine* result,
                         std::string* error);

// What standard error shows for a mistake: the problem, the usage line and
// where the help is, not the whole help.
std::string SimUsage(const std::string& problem);

}  // namespace zx840
