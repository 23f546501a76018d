#include "remote/session_station.h"

#include <algorithm>

#include "plan/plan_file.h"
#include "record/product_identity.h"

namespace zx840 {

SessionStation::SessionStation(MeterSession& session, StationHooks hooks, QObject* parent)
    : QObject(parent), session_(session), hooks_(std::move(hooks)) {
    // Remote exchanges end in the order they were asked: the oldest waiting
    // answer is the one that ended.
    connect(&session_, &MeterSession::measured, this, [this](const SessionMeasurement& m) {
        if (m.origin != MeasureOrigin::Remote) {
            return;
        }
        scpi::Measurement measured;
        measured.ok = true;
        measured.working = m.working;
        if (m.verdict) {
            measured.pass = m.verdict->pass;
            for (const Check& check : m.verdict->checks) {
                if (!check.pass) {
                    measured.failedChecks.push_back(check.item);
                }
            }
        }
        Answer(measured);
    });
    connect(&session_, &MeterSession::failed, this, [this](const SessionFailure& f) {
        if (f.origin != MeasureOrigin::Remote) {
            return;
        }
        scpi::Measurement measured;
        measured.failure = FailureCode(f.exchange.failure);
        measured.message = FailureMessage(f.exchange.failure).text;
        Answer(measured);
    });
}

void SessionStation::Answer(const scpi::Measurement& measured) {
    if (asked_.empty()) {
        return;
    }
    auto done = std::move(asked_.front());
    asked_.pop_front();
    done(measured);
}

std::string SessionStation::Maker() const {
    return kSettingsOrganization;
}

std::string SessionStation::Version() const {
    return kVersionText;
}

ProductMark SessionStation::Mark() const {
    return hooks_.mark ? hooks_.mark() : mark_;
}

void SessionStation::SetMark(const ProductMark& mark) {
    if (hooks_.setMark) {
        hooks_.setMark(mark);
    } else {
        mark_ = mark;
    }
}

void SessionStation::StepNumber() {
    ProductMark mark = Mark();
    ++mark.Number;
    SetMark(mark);
}

std::string SessionStation::Plan() const {
    return session_.Plan() ? session_.Plan()->name : std::string();
}

std::optional<std::string> SessionStation::SetPlan(const std::string& name) {
    if (name.empty()) {
        session_.SetPlan(std::nullopt);
        return std::nullopt;
    }
    std::vector<std::string> errors;
    std::vector<TestPlan> plans = ReadPlanFolder(hooks_.planFolder, &errors);
    const auto found = std::find_if(plans.begin(), plans.end(),
                                    [&name](const TestPlan& plan) { return plan.name == name; });
    if (found == plans.end()) {
        for (const std::string& error : errors) {
            if (error.find(name) != std::string::npos) {
                return error;  // the plan's file is there but cannot be used
            }
        }
        std::string refusal = "no plan \"";
        refusal += name;
        refusal += "\" in ";
        refusal += hooks_.planFolder;
        return refusal;
    }
    session_.SetPlan(std::move(*found));
    return std::nullopt;
}

bool SessionStation::Storing() const {
    return hooks_.storing ? hooks_.storing() : storing_;
}

void SessionStation::SetStoring(bool on) {
    if (hooks_.setStoring) {
        hooks_.setStoring(on);
    } else {
        storing_ = on;
    }
}

std::string SessionStation::Port() const {
    return session_.PortName();
}

bool SessionStation::SetPort(const std::string& port) {
    // The meter's ports by their names; devices are the port map's business.
    if (port.size() != 4 || port.compare(0, 3, "COM") != 0 || port[3] < '1' || port[3] > '8') {
        return false;
    }
    session_.SetPort(port);
    if (hooks_.lineChanged) {
        hooks_.lineChanged();
    }
    return true;
}

int SessionStation::Speed() const {
    return session_.BaudRate();
}

bool SessionStation::SetSpeed(int speed) {
    if (speed != 2400 && speed != 9600) {
        return false;
    }
    session_.SetBaudRate(speed);
    if (hooks_.lineChanged) {
        hooks_.lineChanged();
    }
    return true;
}

void SessionStation::Reset() {
    if (hooks_.reset) {
        hooks_.reset();
    }
}

void SessionStation::Measure(std::function<void(const scpi::Measurement&)> done) {
    asked_.push_back(std::move(done));
    session_.Request(MeasureOrigin::Remote);
}

}  // namespace zx840
