#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "meter/serial_devices.h"

namespace zx840 {
namespace {

namespace fs = std::filesystem;

TEST(SerialDevices, ListsSerialLinesInNaturalOrderThenStableNames) {
    const fs::path root = fs::temp_directory_path() / "zx840-fake-dev";
    fs::remove_all(root);
    fs::create_directories(root / "serial" / "by-id");
    for (const char* name : {"ttyS10", "ttyS2", "ttyS0", "ttyUSB1", "ttyUSB0", "ttyACM0", "tty",
                             "tty1", "console", "ttySX", "null", "rfcomm0"}) {
        std::ofstream(root / name) << "";
    }
    fs::create_symlink("../../ttyUSB0", root / "serial" / "by-id" / "usb-Meter_1234-if00");
    const auto devices = ListSerialDevices(root.string());
    const std::string r = root.string() + "/";
    EXPECT_EQ(devices, (std::vector<std::string>{
                           r + "rfcomm0", r + "ttyACM0", r + "ttyS0", r + "ttyS2", r + "ttyS10",
                           r + "ttyUSB0", r + "ttyUSB1", r + "serial/by-id/usb-Meter_1234-if00"}));
    EXPECT_TRUE(ListSerialDevices((root / "missing").string()).empty());
    fs::remove_all(root);
}

}  // namespace
}  // namespace zx840
