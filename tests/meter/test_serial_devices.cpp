#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

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

// Each line with the stable names that lead to it, and whether this user
// may open it; a device the user may not open says which group to join.
TEST(SerialDevices, DescribesStableNamesAndAccess) {
    const fs::path root =
        fs::temp_directory_path() / ("zx840-fake-dev-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "serial" / "by-id");
    fs::create_directories(root / "serial" / "by-path");
    for (const char* name : {"ttyS0", "ttyUSB0"}) {
        std::ofstream(root / name) << "";
    }
    fs::permissions(root / "ttyUSB0", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("../../ttyUSB0", root / "serial" / "by-id" / "usb-Meter_1234-if00");
    fs::create_symlink("../../ttyUSB0", root / "serial" / "by-path" / "pci-0:1.0-port0");
    fs::create_symlink("../../ttyUSB9", root / "serial" / "by-id" / "usb-Gone-if00");

    const std::vector<SerialDeviceInfo> devices = DescribeSerialDevices(root.string());
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].path, (root / "ttyS0").string());
    EXPECT_TRUE(devices[0].stableNames.empty());
    EXPECT_EQ(devices[1].path, (root / "ttyUSB0").string());
    EXPECT_EQ(devices[1].stableNames,
              (std::vector<std::string>{(root / "serial/by-id/usb-Meter_1234-if00").string(),
                                        (root / "serial/by-path/pci-0:1.0-port0").string()}));
    EXPECT_TRUE(devices[1].accessible);
    EXPECT_FALSE(devices[1].group.empty());
    EXPECT_EQ(PermissionHint("dialout"),
              "the device belongs to the group dialout: add your user to it (sudo usermod -aG "
              "dialout $USER) and log in again");

    // Another user may not open the owner's mode-600 device.
    if (::geteuid() == 0) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(2);
            }
            const std::vector<SerialDeviceInfo> seen = DescribeSerialDevices(root.string());
            ::_exit(seen.size() == 2 && !seen[1].accessible && seen[1].accessErrno == EACCES ? 0
                                                                                             : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    fs::remove_all(root);
}

}  // namespace
}  // namespace zx840
