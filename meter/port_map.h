// Maps the port names the operator picks, "COM1" to "COM8", onto device
// paths. Any other name is a path and opens as it stands.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace zx840 {

inline constexpr int kPortCount = 8;

class PortMap {
  public:
    // COMn starts on /dev/ttyS(n-1).
    PortMap();

    // The port number 1 to 8 of a name "COM1" to "COM8" (letters in any
    // case), nothing for any other name.
    static std::optional<int> ComNumber(const std::string& name);

    // The environment variable that overrides port n, "ZX840_COMn".
    static std::string EnvironmentName(int number);

    // The device for port n (1 to 8) from this map, without the environment.
    const std::string& Mapped(int number) const;
    void SetMapped(int number, std::string device);

    // The device a port name opens: for COMn the environment override when it
    // is set and not empty, else the map; any other name unchanged.
    std::string Resolve(const std::string& name) const;

  private:
    std::array<std::string, kPortCount> devices_;
};

}  // namespace zx840
