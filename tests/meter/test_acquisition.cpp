#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "analysis/conduction_angles.h"
#include "meter/acquisition.h"
#include "meter/serial_port.h"
#include "meter/sim/meter_simulator.h"
#include "meter/uucp_lock.h"
#include "tests/pty_peer.h"

namespace zx840 {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// Short read timeouts for the failures whose timing is not under test.
constexpr ReadTimeouts kQuick{300ms, 0ms, 3000ms};

// Replies carry Urms 1, 2, 3... so a test sees which reply an exchange took.
std::vector<std::uint8_t> NumberedReply(float urms) {
    MeasurementRecord record;
    record.Urms = urms;
    const Reply reply = *EncodeReply(record);
    return {reply.begin(), reply.end()};
}

// Lock files of the exchanges go to a private folder for the test.
class LockFolderScope {
  public:
    LockFolderScope() { setenv("ZX840_LOCK_DIR", folder_.Path().c_str(), 1); }
    ~LockFolderScope() { unsetenv("ZX840_LOCK_DIR"); }
    LockFolderScope(const LockFolderScope&) = delete;
    LockFolderScope& operator=(const LockFolderScope&) = delete;
    const testing::TempLockFolder& Folder() const { return folder_; }

  private:
    testing::TempLockFolder folder_;
};

class AcquisitionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(locks_.Folder().Path().empty());
        options_.load.kind = LoadKind::Rectifier;
        std::string error;
        sim_ = MeterSimulator::CreatePty(options_, &error);
        ASSERT_TRUE(sim_) << error;
        sim_->Start();
        // A record that already holds an earlier measurement, to see that a
        // failure leaves it alone.
        previous_.Record.Urms = 231.5f;
        previous_.Record.UWave.fill(77);
        previous_.Record.USpec[0] = 1234.0f;
        previous_.Record.Ithd = 5.0f;
        previous_.Angles = {1.40625f, 2.8125f, 4.21875f};
        previous_.DataValid = 1;
    }

    WorkingRecord Expected() const {
        WorkingRecord expected;
        const auto reply = EncodeReply(SimulateMeasurement(options_.load));
        ApplyReply(*reply, table_, expected);
        return expected;
    }

    void ExpectFailure(AcquireFailure failure, const ReadTimeouts& timeouts = kQuick) {
        WorkingRecord working = previous_;
        const AcquireResult result = Acquire(sim_->DevicePath(), 9600, table_, working, timeouts);
        EXPECT_EQ(result.ok, 0);
        EXPECT_EQ(result.exchange.failure, failure);
        EXPECT_EQ(working, previous_);
        EXPECT_TRUE(locks_.Folder().Files().empty());  // no lock file outlives the exchange
        last_ = result.exchange;
    }

    void RestartSimulator() {
        sim_.reset();
        std::string error;
        sim_ = MeterSimulator::CreatePty(options_, &error);
        ASSERT_TRUE(sim_) << error;
        sim_->Start();
    }

    LockFolderScope locks_;
    SimulatorOptions options_;
    std::unique_ptr<MeterSimulator> sim_;
    HarmonicTable table_;
    WorkingRecord previous_;
    ExchangeResult last_;
};

TEST_F(AcquisitionTest, GoodExchangeAtBothSpeedsNamesTheSpeedInTheRequest) {
    const WorkingRecord expected = Expected();
    ASSERT_GT(expected.Angles.EndAngle, expected.Angles.StartAngle);
    for (const std::int32_t baud : {9600, 2400}) {
        WorkingRecord working = previous_;
        const AcquireResult result = Acquire(sim_->DevicePath(), baud, table_, working);
        EXPECT_EQ(result.ok, 1);
        EXPECT_EQ(result.exchange.failure, AcquireFailure::None);
        EXPECT_EQ(result.exchange.received, kReplySize);
        EXPECT_EQ(working, expected);
    }
    EXPECT_EQ(sim_->Requests(), (std::vector<Request>{{0x11, 0x30}, {0x11, 0x11}}));
    // The client can hold the whole reply before the simulator has counted
    // it: look once the simulator has finished both answers.
    ASSERT_TRUE(sim_->WaitForAnswers(2, 20s));
    EXPECT_EQ(sim_->RepliesSent(), 2);
    EXPECT_TRUE(locks_.Folder().Files().empty());
}

TEST_F(AcquisitionTest, PortThatCannotBeOpenedLeavesTheRecord) {
    WorkingRecord working = previous_;
    AcquireResult result = Acquire("/dev/zx840-missing", 9600, table_, working);
    EXPECT_EQ(result.exchange.failure, AcquireFailure::OpenFailed);
    EXPECT_EQ(result.exchange.port.error, PortError::NotFound);
    result = Acquire("", 9600, table_, working);
    EXPECT_EQ(result.exchange.failure, AcquireFailure::OpenFailed);
    EXPECT_EQ(working, previous_);

    SerialPort holder;  // another program has the port
    ASSERT_TRUE(holder.Open(sim_->DevicePath()));
    result = Acquire(sim_->DevicePath(), 9600, table_, working);
    EXPECT_EQ(result.ok, 0);
    EXPECT_EQ(result.exchange.failure, AcquireFailure::OpenFailed);
    EXPECT_EQ(result.exchange.port.error, PortError::Busy);
    EXPECT_EQ(working, previous_);
    EXPECT_TRUE(sim_->Requests().empty());
    holder.Close();
    EXPECT_TRUE(locks_.Folder().Files().empty());
    EXPECT_EQ(Acquire(sim_->DevicePath(), 9600, table_, working).ok, 1);
    EXPECT_TRUE(locks_.Folder().Files().empty());
}

TEST_F(AcquisitionTest, LockFileOfALiveProgramGivesTheOpenFailure) {
    const std::string lock =
        locks_.Folder().Path() + "/" +
        UucpLockFileName(std::filesystem::canonical(sim_->DevicePath()).string());
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getppid()));
    std::ofstream(lock) << text;
    WorkingRecord working = previous_;
    const AcquireResult result = Acquire(sim_->DevicePath(), 9600, table_, working);
    EXPECT_EQ(result.exchange.failure, AcquireFailure::OpenFailed);
    EXPECT_EQ(result.exchange.port.error, PortError::Busy);
    EXPECT_EQ(working, previous_);
    EXPECT_TRUE(sim_->Requests().empty());
    EXPECT_TRUE(std::filesystem::exists(lock));  // the other program's lock stays
}

TEST_F(AcquisitionTest, SilentMeterFailsAfterTheFullTotalTimeout) {
    sim_->SetFault({FaultMode::NoAnswer, 0, -1});
    const auto start = Clock::now();
    ExpectFailure(AcquireFailure::BadReply, kMeterReadTimeouts);
    const auto elapsed = Since(start);
    EXPECT_GE(elapsed, 10265ms);
    EXPECT_LT(elapsed, 20000ms);  // ends, even on a loaded machine
    EXPECT_EQ(last_.received, 0u);
}

TEST_F(AcquisitionTest, StallLongerThanTheIntervalEndsTheRead) {
    options_.stall = 9000ms;  // far beyond the 5 s interval
    RestartSimulator();
    sim_->SetFault({FaultMode::Stall, 0, 1});
    const auto start = Clock::now();
    ExpectFailure(AcquireFailure::BadReply, kMeterReadTimeouts);
    EXPECT_GE(Since(start), 5000ms);
    EXPECT_EQ(last_.received, 512u);  // ended before the stalled rest came
}

TEST_F(AcquisitionTest, ShortWrongAndGarbledRepliesFail) {
    sim_->SetFault({FaultMode::ShortReply, 0, 1});
    ExpectFailure(AcquireFailure::BadReply);
    EXPECT_EQ(last_.received, 1051u);

    sim_->SetFault({FaultMode::WrongMark, 0, 1});
    ExpectFailure(AcquireFailure::BadReply);
    EXPECT_EQ(last_.received, kReplySize);
    EXPECT_NE(last_.reply[0], kReplyMark);

    sim_->SetFault({FaultMode::Garbage, 0, 5});
    for (int i = 0; i < 5; ++i) {
        ExpectFailure(AcquireFailure::BadReply);
    }
    // After the faults the meter answers properly again.
    WorkingRecord working = previous_;
    EXPECT_EQ(Acquire(sim_->DevicePath(), 9600, table_, working).ok, 1);
    EXPECT_EQ(working, Expected());
}

TEST_F(AcquisitionTest, LeftoversOfAStalledReplyDoNotSpoilTheNextExchange) {
    options_.stall = 400ms;
    RestartSimulator();
    // A terminal watching the line keeps it open, so the rest of the stalled
    // reply stays queued on it after the exchange has given up.
    const int watcher = ::open(sim_->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(watcher, 0);
    sim_->SetFault({FaultMode::Stall, 1, 1});
    WorkingRecord working;
    EXPECT_EQ(Acquire(sim_->DevicePath(), 9600, table_, working, kQuick).ok, 1);
    ExpectFailure(AcquireFailure::BadReply, {200ms, 0ms, 3000ms});
    EXPECT_EQ(last_.received, 512u);
    ASSERT_TRUE(sim_->WaitForAnswers(2, 20s));  // the rest is on the line now
    working = previous_;
    EXPECT_EQ(Acquire(sim_->DevicePath(), 9600, table_, working, kQuick).ok, 1);
    EXPECT_EQ(working, Expected());
    ::close(watcher);
}

TEST_F(AcquisitionTest, PacedReplyTakesItsWireTime) {
    options_.paced = true;
    RestartSimulator();
    WorkingRecord working;
    const auto start = Clock::now();
    EXPECT_EQ(Acquire(sim_->DevicePath(), 9600, table_, working).ok, 1);
    EXPECT_GE(Since(start), 1096ms);  // 1053 bytes of 10 bits at 9600 baud
    EXPECT_EQ(working, Expected());
}

TEST(Acquisition, ReplyOneByteShortIsTakenWithItsLastByteZero) {
    const LockFolderScope locks;
    testing::PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    MeasurementRecord sent;
    sent.Urms = 230.0f;
    sent.IWave[255] = -1000;  // 18 FC on the wire; FC never arrives
    sent.UWave[0] = 1000;
    auto bytes = *EncodeReply(sent);
    peer.Script(2, {{0ms, std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1)}});
    const HarmonicTable table;
    WorkingRecord working;
    const AcquireResult result = Acquire(peer.Path(), 2400, table, working, kQuick);
    peer.Join();
    EXPECT_EQ(result.ok, 1);
    EXPECT_EQ(result.exchange.received, 1052u);
    EXPECT_EQ(working.Record.IWave[255], 0x18);
    EXPECT_EQ(working.Record.UWave[0], 1000);
    EXPECT_EQ(working.Record.Urms, 230.0f);
    EXPECT_EQ(working.DataValid, 1);
    EXPECT_EQ(peer.Received(), (std::vector<std::uint8_t>{0x11, 0x11}));
}

// The peer answers each request only after the exchange has given up, or
// twice: every exchange still shows the answer to its own request.
TEST(Acquisition, LateOrDoubledReplyIsNeverTakenForTheNextOne) {
    const LockFolderScope locks;
    testing::PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    const HarmonicTable table;
    const ReadTimeouts quick{100ms, 0ms, 300ms};
    WorkingRecord working;

    // 1 comes after the total timeout: that exchange fails.
    peer.Script(2, {});
    AcquireResult result = Acquire(peer.Path(), 9600, table, working, quick);
    peer.Join();
    EXPECT_EQ(result.exchange.failure, AcquireFailure::BadReply);
    EXPECT_EQ(result.exchange.received, 0u);
    ASSERT_TRUE(peer.Send(NumberedReply(1.0f)));

    // The next exchange gets 2, its own reply, not the late 1.
    peer.Script(2, {{0ms, NumberedReply(2.0f)}});
    result = Acquire(peer.Path(), 9600, table, working, quick);
    peer.Join();
    EXPECT_EQ(result.ok, 1);
    EXPECT_EQ(working.Record.Urms, 2.0f);

    // 3 comes twice; the exchange after it still gets 4.
    const std::vector<std::uint8_t> three = NumberedReply(3.0f);
    std::vector<std::uint8_t> twice = three;
    twice.insert(twice.end(), three.begin(), three.end());
    peer.Script(2, {{0ms, twice}});
    result = Acquire(peer.Path(), 9600, table, working, quick);
    peer.Join();  // both copies are on the line
    EXPECT_EQ(result.ok, 1);
    EXPECT_EQ(working.Record.Urms, 3.0f);

    peer.Script(2, {{0ms, NumberedReply(4.0f)}});
    result = Acquire(peer.Path(), 9600, table, working, quick);
    peer.Join();
    EXPECT_EQ(result.ok, 1);
    EXPECT_EQ(working.Record.Urms, 4.0f);
    EXPECT_EQ(peer.Received().size(), 8u);  // four requests, one per exchange
}

TEST(Acquisition, OperatorMessagesAreExact) {
    EXPECT_EQ(FailureMessage(AcquireFailure::OpenFailed).text,
              "Can't get touch with mainframe! Please check:\n1.The communication port;\n"
              "2.The communication cable;\n3.The power.");
    EXPECT_EQ(FailureMessage(AcquireFailure::OpenFailed).caption, "ZX840 DIGITAL POWER METER");
    EXPECT_EQ(FailureMessage(AcquireFailure::WriteFailed).text, "Can't write the port!");
    EXPECT_EQ(FailureMessage(AcquireFailure::WriteFailed).caption, "Error");
    EXPECT_EQ(FailureMessage(AcquireFailure::BadReply).text,
              "Communication failed!Please check:\n1.The communication port;\n"
              "2.The communication cable;\n3.The power.");
    EXPECT_EQ(FailureMessage(AcquireFailure::BadReply).caption, "ZX840 DIGITAL POWER METER");
}

}  // namespace
}  // namespace zx840
