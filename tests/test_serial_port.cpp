#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "meter/serial_port.h"
#include "pty_peer.h"

namespace zx840 {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::PtyPeer;

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t value = 0x55) {
    return std::vector<std::uint8_t>(count, value);
}

TEST(SerialPortOpen, FailsForNamesThatAreNoSerialLine) {
    SerialPort port;
    EXPECT_EQ(port.Open("").error, PortError::NotFound);
    EXPECT_EQ(port.Open("/dev/zx840-no-such-port").error, PortError::NotFound);
    EXPECT_EQ(port.Open("COM1").error, PortError::NotFound);  // names are resolved by the caller
    const auto file = std::filesystem::temp_directory_path() / "zx840-not-a-tty";
    std::ofstream(file) << "x";
    EXPECT_EQ(port.Open(file.string()).error, PortError::NotATerminal);
    std::filesystem::remove(file);
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPortOpen, IsExclusiveAlsoThroughAnotherNameAndForRoot) {
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    const auto link = std::filesystem::temp_directory_path() / "zx840-port-link";
    std::filesystem::remove(link);
    std::filesystem::create_symlink(peer.Path(), link);

    SerialPort holder;
    ASSERT_TRUE(holder.Open(peer.Path()));
    SerialPort second;
    EXPECT_EQ(second.Open(peer.Path()).error, PortError::Busy);
    EXPECT_EQ(second.Open(link.string()).error, PortError::Busy);
    holder.Close();
    EXPECT_TRUE(second.Open(link.string()));
    EXPECT_EQ(holder.Open(peer.Path()).error, PortError::Busy);
    std::filesystem::remove(link);
}

TEST(SerialPortLine, IsRawEightNoneOneAndKeepsHardwareFlowControl) {
    PtyPeer peer;
    SerialPort port;
    ASSERT_TRUE(port.Open(peer.Path()));
    termios before{};
    ASSERT_EQ(tcgetattr(port.NativeHandle(), &before), 0);
    before.c_cflag |= CRTSCTS | PARENB | CSTOPB;
    before.c_iflag |= IXON | ICRNL;
    before.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(tcsetattr(port.NativeHandle(), TCSANOW, &before), 0);

    ASSERT_TRUE(port.SetLine(2400));
    termios after{};
    ASSERT_EQ(tcgetattr(port.NativeHandle(), &after), 0);
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B2400));
    EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B2400));
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(after.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_NE(after.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(after.c_iflag & (IXON | ICRNL), 0u);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), 0u);

    ASSERT_TRUE(port.SetLine(9600));
    ASSERT_EQ(tcgetattr(port.NativeHandle(), &after), 0);
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));
    // A speed without a standard constant is still taken as it is.
    EXPECT_TRUE(port.SetLine(4000));
}

TEST(SerialPortRead, IntervalTimeoutRunsOnlyAfterTheFirstByte) {
    PtyPeer peer;
    SerialPort port;
    ASSERT_TRUE(port.Open(peer.Path()));
    port.SetLine(9600);
    port.SetReadTimeouts({100ms, 0ms, 3000ms});
    peer.Script(2, {{400ms, Bytes(10)}, {600ms, Bytes(10)}});
    ASSERT_TRUE(port.Write(std::vector<std::uint8_t>{0x11, 0x30}));
    std::uint8_t buffer[64];
    const auto start = Clock::now();
    const ReadResult result = port.Read(buffer);
    const auto elapsed = Since(start);
    EXPECT_EQ(result.count, 10u);  // the silence after the first chunk ends the read
    EXPECT_EQ(result.sysErrno, 0);
    EXPECT_GE(elapsed, 480ms);
    EXPECT_LT(elapsed, 950ms);
    peer.Join();
    EXPECT_EQ(peer.Received(), (std::vector<std::uint8_t>{0x11, 0x30}));
}

TEST(SerialPortRead, TotalTimeoutCountsPerRequestedByteAndReturnsAShortCount) {
    PtyPeer peer;
    SerialPort port;
    ASSERT_TRUE(port.Open(peer.Path()));
    port.SetLine(9600);
    // 10 ms per byte for 20 bytes plus 100 ms: 300 ms in all; bytes trickle
    // in every 50 ms, so the interval never ends the read.
    port.SetReadTimeouts({200ms, 10ms, 100ms});
    std::vector<PtyPeer::Chunk> trickle;
    for (int i = 0; i < 15; ++i) {
        trickle.push_back({50ms, Bytes(1)});
    }
    peer.Script(1, trickle);
    ASSERT_TRUE(port.Write(std::vector<std::uint8_t>{0x11}));
    std::uint8_t buffer[20];
    const auto start = Clock::now();
    const ReadResult result = port.Read(buffer);
    const auto elapsed = Since(start);
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 600ms);
    EXPECT_GE(result.count, 3u);
    EXPECT_LT(result.count, 15u);
}

TEST(SerialPortRead, EndsAtOnceWhenTheBufferIsFullOrTheLineHangsUp) {
    PtyPeer peer;
    SerialPort port;
    ASSERT_TRUE(port.Open(peer.Path()));
    port.SetLine(9600);
    port.SetReadTimeouts({5000ms, 5ms, 5000ms});
    peer.Script(1, {{0ms, Bytes(8)}, {100ms, Bytes(5)}}, /*hangUp=*/true);
    ASSERT_TRUE(port.Write(std::vector<std::uint8_t>{0x11}));
    std::uint8_t buffer[8];
    auto start = Clock::now();
    ReadResult result = port.Read(buffer);
    EXPECT_EQ(result.count, 8u);
    EXPECT_LT(Since(start), 1000ms);

    std::uint8_t rest[64];
    start = Clock::now();
    result = port.Read(rest);
    peer.Join();
    EXPECT_LT(Since(start), 2000ms);  // not the 5 s interval: the far end is gone
    EXPECT_LE(result.count, 5u);
    EXPECT_NE(result.sysErrno, 0);
}

}  // namespace
}  // namespace zx840
