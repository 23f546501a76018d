#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "meter/protocol.h"
#include "meter/serial_port.h"
#include "tests/pty_peer.h"

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
    // The second chunk comes long after the interval and long before the
    // total timeout: only the interval can end the read without it.
    port.SetReadTimeouts({100ms, 0ms, 5000ms});
    peer.Script(2, {{400ms, Bytes(10)}, {2000ms, Bytes(10)}});
    ASSERT_TRUE(port.Write(std::vector<std::uint8_t>{0x11, 0x30}));
    std::uint8_t buffer[64];
    const auto start = Clock::now();
    const ReadResult result = port.Read(buffer);
    const auto elapsed = Since(start);
    EXPECT_EQ(result.count, 10u);  // the silence after the first chunk ends the read
    EXPECT_EQ(result.sysErrno, 0);
    EXPECT_GE(elapsed, 480ms);
    peer.Join();
    EXPECT_EQ(peer.Received(), (std::vector<std::uint8_t>{0x11, 0x30}));
}

TEST(SerialPortRead, TotalTimeoutCountsPerRequestedByteAndReturnsAShortCount) {
    PtyPeer peer;
    SerialPort port;
    ASSERT_TRUE(port.Open(peer.Path()));
    port.SetLine(9600);
    // 10 ms per byte for 20 bytes plus 100 ms: 300 ms in all; bytes trickle
    // in every 50 ms for 2 s, so the 1 s interval never ends the read.
    port.SetReadTimeouts({1000ms, 10ms, 100ms});
    std::vector<PtyPeer::Chunk> trickle;
    for (int i = 0; i < 40; ++i) {
        trickle.push_back({50ms, Bytes(1)});
    }
    peer.Script(1, trickle);
    ASSERT_TRUE(port.Write(std::vector<std::uint8_t>{0x11}));
    std::uint8_t buffer[20];
    const auto start = Clock::now();
    const ReadResult result = port.Read(buffer);
    EXPECT_GE(Since(start), 300ms);
    EXPECT_EQ(result.sysErrno, 0);
    EXPECT_GE(result.count, 1u);
    EXPECT_LT(result.count, 20u);  // ended by the total timeout, with a short count
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
    const auto start = Clock::now();
    ReadResult result = port.Read(buffer);
    EXPECT_EQ(result.count, 8u);
    EXPECT_EQ(result.sysErrno, 0);
    EXPECT_LT(Since(start), 4000ms);  // not the 5 s interval after the last byte

    // Ended by the hang-up (an error), not by the 5 s interval (no error).
    std::uint8_t rest[64];
    result = port.Read(rest);
    peer.Join();
    EXPECT_LE(result.count, 5u);
    EXPECT_NE(result.sysErrno, 0);
}

// A process id that is certainly not running: a child that has ended and
// been reaped.
pid_t DeadProcessId() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return child;
}

void WriteLockFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string LockText(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

std::string LockPathOf(const testing::TempLockFolder& folder, const std::string& device) {
    return folder.Path() + "/" + UucpLockFileName(std::filesystem::canonical(device).string());
}

// Opens `path` in a child process that has no administrator rights, which
// would let it past an exclusive-mode flag left on the line: true when the
// open succeeds.
bool OpensAsAnOrdinaryUser(const std::string& path, const std::string& lockFolder) {
    const pid_t child = fork();
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
        if (syscall(SYS_capget, &header, data) == 0) {
            data[CAP_TO_INDEX(CAP_SYS_ADMIN)].effective &= ~CAP_TO_MASK(CAP_SYS_ADMIN);
            syscall(SYS_capset, &header, data);
        }
        SerialPort port(lockFolder);
        _exit(port.Open(path) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SerialPortLockFile, IsHeldWhileOpenInTheUsualFormAndRemovedOnClose) {
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    testing::TempLockFolder folder;
    const std::string lock = LockPathOf(folder, peer.Path());
    EXPECT_EQ(UucpLockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");

    SerialPort port(folder.Path());
    ASSERT_TRUE(port.Open(peer.Path()));
    EXPECT_EQ(port.LockFile(), lock);
    EXPECT_EQ(ReadText(lock), LockText(getpid()));
    EXPECT_EQ(folder.Files().size(), 1u);  // no temporary file left beside it
    EXPECT_EQ((std::filesystem::status(lock).permissions() & std::filesystem::perms::others_read),
              std::filesystem::perms::others_read);

    // This process holds it too: a second open of ours is refused.
    SerialPort second(folder.Path());
    EXPECT_EQ(second.Open(peer.Path()).error, PortError::Busy);
    EXPECT_TRUE(std::filesystem::exists(lock));
    port.Close();
    EXPECT_TRUE(folder.Files().empty());

    // Where no lock file can be kept, the port opens without one.
    SerialPort unlocked(folder.Path() + "/missing");
    EXPECT_TRUE(unlocked.Open(peer.Path()));
    EXPECT_TRUE(unlocked.LockFile().empty());
}

TEST(SerialPortLockFile, LiveOwnerKeepsTheDeviceAndADeadOneIsTakenOver) {
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    testing::TempLockFolder folder;
    const std::string lock = LockPathOf(folder, peer.Path());
    SerialPort port(folder.Path());

    WriteLockFile(lock, LockText(getppid()));  // a live process of another program
    EXPECT_EQ(port.Open(peer.Path()).error, PortError::Busy);
    EXPECT_EQ(ReadText(lock), LockText(getppid()));  // left as it was

    WriteLockFile(lock, LockText(DeadProcessId()));
    ASSERT_TRUE(port.Open(peer.Path()));
    EXPECT_EQ(ReadText(lock), LockText(getpid()));
    port.Close();
    EXPECT_FALSE(std::filesystem::exists(lock));

    // Another program may be writing a lock file it just made; an empty one
    // is taken for abandoned only once it is old.
    WriteLockFile(lock, "");
    EXPECT_EQ(port.Open(peer.Path()).error, PortError::Busy);
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1);
    std::filesystem::last_write_time(lock, old);
    EXPECT_TRUE(port.Open(peer.Path()));
    port.Close();
    EXPECT_TRUE(folder.Files().empty());
}

TEST(SerialPortLockFile, IsGoneAfterEveryFailure) {
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    testing::TempLockFolder folder;
    {
        SerialPort port(folder.Path());
        EXPECT_EQ(port.Open(folder.Path() + "/no-such-device").error, PortError::NotFound);
        const auto file = std::filesystem::path(folder.Path()) / "not-a-tty";
        std::ofstream(file) << "x";
        EXPECT_EQ(port.Open(file.string()).error, PortError::NotATerminal);
        std::filesystem::remove(file);
        EXPECT_TRUE(folder.Files().empty());

        // Held through flock alone, by a program that keeps no lock file.
        const int holder = ::open(peer.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(flock(holder, LOCK_EX), 0);
        EXPECT_EQ(port.Open(peer.Path()).error, PortError::Busy);
        EXPECT_TRUE(folder.Files().empty());
        ::close(holder);

        // A write that fails because the far end went away.
        ASSERT_TRUE(port.Open(peer.Path()));
        EXPECT_EQ(folder.Files().size(), 1u);
        peer.HangUp();
        EXPECT_FALSE(port.Write(std::vector<std::uint8_t>{0x11, 0x30}));
    }  // closed by the destructor
    EXPECT_TRUE(folder.Files().empty());
}

TEST(SerialPortOpen, AHolderKilledMidReadLocksNobodyOut) {
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    testing::TempLockFolder folder;
    const pid_t child = fork();
    if (child == 0) {
        SerialPort port(folder.Path());
        if (!port.Open(peer.Path()) || !port.SetLine(9600) ||
            !port.Write(std::vector<std::uint8_t>{0x11, 0x30})) {
            _exit(1);
        }
        std::uint8_t buffer[kReplySize];
        port.Read(buffer);  // no limits: waits until it is killed
        _exit(2);
    }
    // The request has arrived, so the child is reading with the port open.
    const bool requested = peer.Expect(2, 20000ms);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(requested);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadText(LockPathOf(folder, peer.Path())), LockText(child));  // stale now

    EXPECT_TRUE(OpensAsAnOrdinaryUser(peer.Path(), folder.Path()));
    SerialPort port(folder.Path());
    ASSERT_TRUE(port.Open(peer.Path()));
    EXPECT_EQ(ReadText(port.LockFile()), LockText(getpid()));
    port.Close();
    EXPECT_TRUE(folder.Files().empty());
}

}  // namespace
}  // namespace zx840
