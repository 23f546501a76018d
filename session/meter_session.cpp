#include "session/meter_session.h"

#include <QLoggingCategory>
#include <QTimerEvent>
#include <algorithm>

#include "store/background_keeper.h"
#include "store/result.h"

Q_LOGGING_CATEGORY(lcMeter, "zx840.meter", QtWarningMsg)

namespace zx840 {

MeterSession::MeterSession(QObject* parent) : QObject(parent) {}

MeterSession::~MeterSession() {
    timer_.stop();
    if (worker_.joinable()) {
        worker_.join();  // nothing may cut an exchange short
    }
}

void MeterSession::SetPlan(std::optional<TestPlan> plan, std::string refusal) {
    plan_ = std::move(plan);
    planRefusal_ = plan_ ? std::string() : std::move(refusal);
    ++planRevision_;
    emit planChanged();
}

void MeterSession::Request(MeasureOrigin origin) {
    waiting_.push_back(origin);
    StartNext();
}

void MeterSession::WhenIdle(QObject* context, std::function<void()> work) {
    idleWork_.emplace_back(context, std::move(work));
    RunIdleWork();
}

void MeterSession::RunIdleWork() {
    // Work may start an exchange (or wait in a dialog while one starts): what
    // is left then waits for that one to be over.
    while (!current_ && !idleWork_.empty()) {
        auto [context, work] = std::move(idleWork_.front());
        idleWork_.pop_front();
        if (context != nullptr) {
            work();
        }
    }
}

void MeterSession::StartNext() {
    if (current_ || waiting_.empty()) {
        return;
    }
    current_ = waiting_.front();
    waiting_.pop_front();
    if (!busy_) {
        busy_ = true;
        emit busyChanged(true);
    }
    // The exchange can take ten seconds; this thread goes on meanwhile.
    worker_ = std::thread([this, device = ports_.Resolve(portName_), baud = baudRate_, plan = plan_,
                           revision = planRevision_] {
        Exchanged done;
        done.planRevision = revision;
        done.measurement = Measure(device, baud, table_, plan ? &*plan : nullptr, done.working);
        QMetaObject::invokeMethod(
            this, [this, done] { Finish(done); }, Qt::QueuedConnection);
    });
}

void MeterSession::Finish(const Exchanged& done) {
    worker_.join();
    const MeasureOrigin origin = *current_;
    current_.reset();
    const bool good = done.measurement.ok == 1;
    if (good) {
        SessionMeasurement measurement{origin, done.working, done.measurement.verdict};
        if (done.planRevision != planRevision_) {
            // The plan changed while the meter answered: the active one judges.
            measurement.verdict = plan_ ? Judge(*plan_, measurement.working) : std::nullopt;
        }
        last_ = measurement;
        Keep(measurement);
        emit measured(measurement);
    } else {
        qCInfo(lcMeter) << "exchange failed:" << FailureCode(done.measurement.exchange.failure)
                        << "after" << done.measurement.exchange.received << "bytes of reply";
        emit failed(SessionFailure{origin, done.measurement.exchange});
    }
    if (origin == MeasureOrigin::Continuous) {
        if (!good) {
            continuous_ = false;
        } else if (continuous_) {
            timer_.start(1, this);
        }
    }
    RunIdleWork();
    StartNext();
    if (!current_ && busy_) {
        busy_ = false;
        emit busyChanged(false);
    }
}

void MeterSession::Keep(const SessionMeasurement& measurement) {
    if (keeper_ == nullptr) {
        return;
    }
    Result result = NewResult(ResultSource::Acquisition, mark_ ? mark_() : ProductMark{},
                              measurement.working, measurement.verdict, lastResultMs_ + 1);
    if (!result.verdict && !planRefusal_.empty()) {
        result.unjudged = "Plan refused: ";
        result.unjudged += planRefusal_;
    }
    if (!station_.empty()) {
        result.station = station_;
    }
    lastResultMs_ = result.timeMs;
    keeper_->Keep(std::move(result));
}

bool MeterSession::ContinuousPending() const {
    return current_ == MeasureOrigin::Continuous ||
           std::find(waiting_.begin(), waiting_.end(), MeasureOrigin::Continuous) != waiting_.end();
}

void MeterSession::StartContinuousTest() {
    const bool started = !continuous_;
    continuous_ = true;
    if (started) {
        emit continuousStarted();
    }
    // A tick waiting or under way goes on to the next by itself.
    if (!ContinuousPending()) {
        timer_.start(1, this);
    }
}

void MeterSession::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    timer_.stop();
    Request(MeasureOrigin::Continuous);
}

}  // namespace zx840
