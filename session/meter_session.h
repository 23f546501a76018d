// The meter session: the one place the program measures. It holds the line
// (port, speed and the map of port names onto devices), runs one exchange
// at a time on a thread of its own, runs the continuous test, judges each
// good measurement against the active plan and hands it to the results
// keeper. Whoever shows or uses measurements subscribes to its signals.
// Requests that come while an exchange runs wait their turn, in order, and
// so does other work that must not happen in the middle of one. No widgets,
// and no event loop of its own: the caller's thread never waits.
#pragma once

#include <QBasicTimer>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "meter/port_map.h"
#include "record/defaults.h"
#include "record/product_mark.h"
#include "session/measurement.h"

namespace zx840 {

class BackgroundKeeper;

// Who asked for a measurement.
enum class MeasureOrigin {
    Operator,    // Comm Pass
    Continuous,  // a tick of the continuous test
    Remote,      // a client of the remote control
};

// A good measurement with the verdict it was given when it came.
struct SessionMeasurement {
    MeasureOrigin origin = MeasureOrigin::Operator;
    WorkingRecord working;
    std::optional<Verdict> verdict;  // nothing without an active plan
};

// An exchange that failed; `exchange.failure` says how.
struct SessionFailure {
    MeasureOrigin origin = MeasureOrigin::Operator;
    ExchangeResult exchange;
};

class MeterSession : public QObject {
    Q_OBJECT
  public:
    explicit MeterSession(QObject* parent = nullptr);
    // Waits for the exchange in progress; requests still waiting are dropped.
    ~MeterSession() override;

    // The line of the next exchange: a port name ("COM1" to "COM8" through
    // the port map, anything else a device path) and a speed.
    void SetPort(std::string name) { portName_ = std::move(name); }
    void SetBaudRate(std::int32_t baudRate) { baudRate_ = baudRate; }
    const std::string& PortName() const { return portName_; }
    std::int32_t BaudRate() const { return baudRate_; }
    PortMap& Ports() { return ports_; }

    // The plan that judges each measurement, or none; `refusal` says why
    // none judges although one was chosen (its file cannot be read), and
    // measurements are then kept as not judged. Emits planChanged.
    void SetPlan(std::optional<TestPlan> plan, std::string refusal = {});
    const std::optional<TestPlan>& Plan() const { return plan_; }
    const std::string& PlanRefusal() const { return planRefusal_; }

    // Each good measurement goes to `keeper` (none: it is not kept), with
    // the product information `mark` gives at that moment.
    void SetKeeper(BackgroundKeeper* keeper) { keeper_ = keeper; }
    // The station kept results name; empty: this computer's (LocalStation).
    void SetStation(std::string station) { station_ = std::move(station); }
    void SetMarkSource(std::function<ProductMark()> mark) { mark_ = std::move(mark); }

    // One measurement: started now, or once those asked for earlier are over.
    void Request(MeasureOrigin origin);
    // Runs `work` now when no exchange is in progress, else as soon as the
    // one in progress is over, before the next starts; in the order handed
    // over. Dropped when `context` is gone by then.
    void WhenIdle(QObject* context, std::function<void()> work);

    // The continuous test: measurements one after the other until Stop or
    // the first failure of one of its own. Stop lets the tick already due
    // run its measurement; none follows it.
    void StartContinuousTest();
    void StopContinuousTest() { continuous_ = false; }
    bool ContinuousTest() const { return continuous_; }
    bool TimerRunning() const { return timer_.isActive(); }

    bool ExchangeInProgress() const { return current_.has_value(); }
    // Requests waiting behind the exchange in progress.
    int Waiting() const { return static_cast<int>(waiting_.size()); }
    // The last good measurement; a failure leaves it as it was.
    const std::optional<SessionMeasurement>& Last() const { return last_; }

  signals:
    void measured(const zx840::SessionMeasurement& measurement);
    void failed(const zx840::SessionFailure& failure);
    // A continuous test began (none was running): a new run.
    void continuousStarted();
    // True when an exchange starts while none ran, false once the last one
    // asked for is over.
    void busyChanged(bool busy);
    void planChanged();

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    // What the exchange's thread hands back.
    struct Exchanged {
        std::uint64_t planRevision = 0;  // of the plan it was judged against
        Measurement measurement;
        WorkingRecord working;
    };
    void StartNext();
    void Finish(const Exchanged& done);
    void Keep(const SessionMeasurement& measurement);
    void RunIdleWork();
    bool ContinuousPending() const;

    std::string portName_ = kDefaultComPort;
    std::int32_t baudRate_ = kDefaultBaudRate;
    PortMap ports_;
    const HarmonicTable table_;  // also read by the exchange's thread
    std::optional<TestPlan> plan_;
    std::string planRefusal_;
    std::uint64_t planRevision_ = 0;  // one more at every SetPlan
    BackgroundKeeper* keeper_ = nullptr;
    std::function<ProductMark()> mark_;
    std::string station_;
    std::int64_t lastResultMs_ = 0;         // keeps results of one millisecond in order
    std::optional<MeasureOrigin> current_;  // the exchange in progress
    std::deque<MeasureOrigin> waiting_;
    std::deque<std::pair<QPointer<QObject>, std::function<void()>>> idleWork_;
    std::thread worker_;  // runs the exchange in progress
    bool busy_ = false;   // as busyChanged last told it
    bool continuous_ = false;
    QBasicTimer timer_;  // paces the continuous test, 1 ms
    std::optional<SessionMeasurement> last_;
};

}  // namespace zx840
