// The meter session on its own, with no window, against a meter driven by
// hand on a pseudo-terminal: each reply goes out only once its request has
// come, so what waits and what runs shows exactly.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <string>
#include <vector>

#include "session/meter_session.h"
#include "tests/pty_peer.h"

namespace zx840 {
namespace {

using namespace std::chrono_literals;

// Processes events until `condition` holds; false after a minute without.
template <typename Condition>
bool Await(Condition condition) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > 60000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// Replies carry Urms 1, 2, 3... so the order they were taken in shows.
std::vector<std::uint8_t> ReplyWithUrms(int urms) {
    MeasurementRecord record;
    record.Urms = static_cast<float>(urms);
    const Reply reply = *EncodeReply(record);
    return {reply.begin(), reply.end()};
}

TEST(MeterSession, RequestsDuringAnExchangeWaitTheirTurnAndAFailureKeepsTheLastMeasurement) {
    int argc = 1;
    char name[] = "session_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    testing::PtyPeer meter;
    ASSERT_TRUE(meter.Ok());
    MeterSession session;
    session.SetPort(meter.Path());
    std::vector<std::string> events;
    int measured = 0;
    QObject::connect(&session, &MeterSession::measured, [&](const SessionMeasurement& m) {
        std::string event = m.origin == MeasureOrigin::Operator ? "F3 " : "tick ";
        event += std::to_string(static_cast<int>(m.working.Record.Urms));
        if (m.verdict) {
            event += m.verdict->pass ? " PASS" : " FAIL";
        }
        events.push_back(event);
        ++measured;
    });
    QObject::connect(&session, &MeterSession::failed, [&](const SessionFailure& f) {
        events.push_back(f.exchange.failure == AcquireFailure::BadReply ? "bad reply" : "failed");
    });
    QObject::connect(&session, &MeterSession::busyChanged,
                     [&](bool busy) { events.push_back(busy ? "busy" : "idle"); });

    // F3; while the meter holds its answer back, F3 again, the continuous
    // test's first tick and a plan.
    session.Request(MeasureOrigin::Operator);
    ASSERT_TRUE(meter.Expect(kRequestSize, 10s));
    session.Request(MeasureOrigin::Operator);
    session.StartContinuousTest();
    session.SetPlan(ParsePlan(R"({"Urms": {"min": 2.5}})", "floor.zx8plan").plan);
    ASSERT_TRUE(Await([&] { return session.Waiting() == 2; }));
    EXPECT_TRUE(session.ExchangeInProgress());

    // One at a time: a second exchange opened while one runs would find the
    // line taken, and fail.
    for (int reply = 1; reply <= 4; ++reply) {
        if (reply > 1) {
            ASSERT_TRUE(Await([&] { return session.ExchangeInProgress(); }));
            ASSERT_TRUE(meter.Expect(kRequestSize, 10s)) << reply;
        }
        if (reply == 4) {
            session.StopContinuousTest();  // the tick under way is the last
        }
        ASSERT_TRUE(meter.Send(ReplyWithUrms(reply)));
        ASSERT_TRUE(Await([&] { return measured == reply; }));
    }
    ASSERT_TRUE(Await([&] { return !session.ExchangeInProgress() && !session.TimerRunning(); }));
    // The first measurement is judged by the plan set while it was made.
    EXPECT_EQ(events, (std::vector<std::string>{"busy", "F3 1 FAIL", "F3 2 FAIL", "tick 3 PASS",
                                                "idle", "busy", "tick 4 PASS", "idle"}));

    const SessionMeasurement last = *session.Last();
    std::vector<std::uint8_t> bad = ReplyWithUrms(5);
    bad[0] = 0x00;  // no reply mark
    events.clear();
    session.Request(MeasureOrigin::Operator);
    ASSERT_TRUE(meter.Expect(kRequestSize, 10s));
    ASSERT_TRUE(meter.Send(bad));
    ASSERT_TRUE(Await([&] { return !session.ExchangeInProgress(); }));
    EXPECT_EQ(events, (std::vector<std::string>{"busy", "bad reply", "idle"}));
    EXPECT_EQ(session.Last()->working, last.working);
    EXPECT_TRUE(session.Last()->verdict->pass);
}

}  // namespace
}  // namespace zx840
