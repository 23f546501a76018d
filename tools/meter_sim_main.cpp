// zx840-meter-sim: a meter on a pseudo-terminal (or a given serial device).
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "record/product_identity.h"
#include "tools/sim_options.h"

namespace {

zx840::MeterSimulator* g_simulator = nullptr;

void OnSignal(int) {
    if (g_simulator != nullptr) {
        g_simulator->RequestStop();
    }
}

}  // namespace

int main(int argc, char** argv) {
    zx840::SimCommandLine command;
    std::string error;
    if (!zx840::ParseSimCommandLine(std::vector<std::string>(argv + 1, argv + argc), &command,
                                    &error)) {
        std::cerr << zx840::SimUsage(error);
        return 1;
    }
    if (command.help) {
        std::cout << zx840::kSimUsage;
        return 0;
    }
    if (command.version) {
        std::cout << "zx840-meter-sim " << zx840::kVersionText << "\n";
        return 0;
    }
    auto simulator =
        command.device.empty()
            ? zx840::MeterSimulator::CreatePty(command.options, &error)
            : zx840::MeterSimulator::OpenDevice(command.device, command.options, &error);
    if (!simulator) {
        std::cerr << "zx840-meter-sim: " << error << "\n";
        return 2;
    }
    if (!command.link.empty()) {
        ::unlink(command.link.c_str());
        if (::symlink(simulator->DevicePath().c_str(), command.link.c_str()) != 0) {
            std::perror(("zx840-meter-sim: " + command.link).c_str());
            return 2;
        }
    }
    g_simulator = simulator.get();
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);

    std::cout << simulator->DevicePath() << std::endl;
    simulator->Serve();
    g_simulator = nullptr;
    if (!command.link.empty()) {
        ::unlink(command.link.c_str());
    }
    return 0;
}
