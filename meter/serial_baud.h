// Line speeds that have no standard termios constant.
#pragma once

#include <cstdint>

namespace zx840 {

// Sets input and output speed of the open terminal `fd` to `baudRate`
// exactly, through the kernel's arbitrary-rate interface. False (errno set)
// when the driver refuses it.
bool SetArbitraryBaud(int fd, std::int32_t baudRate);

}  // namespace zx840
