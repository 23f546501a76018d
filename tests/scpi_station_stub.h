// A station for the remote-control tests and the fuzzer: settings in
// memory, exchanges answered when the test says (or at once).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "scpi/scpi_station.h"

namespace zx840::testing {

class StubStation : public scpi::Station {
  public:
    std::string Maker() const override { return "Maker"; }
    std::string Version() const override { return "1.05"; }
    ProductMark Mark() const override { return mark; }
    void SetMark(const ProductMark& m) override { mark = m; }
    void StepNumber() override { ++mark.Number; }
    std::string Plan() const override { return plan; }
    std::optional<std::string> SetPlan(const std::string& name) override {
        if (!name.empty() && name != "PSU-60") {
            return "no plan \"" + name + "\" in the plan folder";
        }
        plan = name;
        return std::nullopt;
    }
    bool Storing() const override { return storing; }
    void SetStoring(bool on) override { storing = on; }
    std::string Port() const override { return port; }
    bool SetPort(const std::string& p) override {
        const bool known = p.size() == 4 && p.rfind("COM", 0) == 0 && p[3] >= '1' && p[3] <= '8';
        if (known) {
            port = p;
        }
        return known;
    }
    int Speed() const override { return speed; }
    bool SetSpeed(int s) override {
        const bool known = s == 2400 || s == 9600;
        if (known) {
            speed = s;
        }
        return known;
    }
    void Reset() override {
        mark = {};
        plan.clear();
        storing = true;
    }
    void Measure(std::function<void(const scpi::Measurement&)> done) override {
        if (immediate) {
            done(*immediate);
        } else {
            waiting.push_back(std::move(done));
        }
    }
    // Answers the oldest exchange waiting.
    void Answer(const scpi::Measurement& measured) {
        auto done = std::move(waiting.front());
        waiting.pop_front();
        done(measured);
    }

    ProductMark mark;
    std::string plan;
    bool storing = true;
    std::string port = "COM1";
    int speed = 9600;
    std::optional<scpi::Measurement> immediate;  // when set, every exchange answers at once
    std::deque<std::function<void(const scpi::Measurement&)>> waiting;
};

}  // namespace zx840::testing
