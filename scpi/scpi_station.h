// What remote commands act on: the station, with its meter, product mark,
// test plans and results store. The server implements it over the meter
// session; tests over a stand-in.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "record/measurement_record.h"
#include "record/product_mark.h"

namespace zx840::scpi {

// One exchange with the meter as the station made it.
struct Measurement {
    bool ok = false;
    std::string failure;  // "F1", "F2" or "F3" when not ok
    std::string message;  // the failure's text for the operator
    WorkingRecord working;
    // The verdict of the active plan; nothing without a plan.
    std::optional<bool> pass;
    std::vector<std::string> failedChecks;
};

class Station {
  public:
    virtual ~Station() = default;

    // Manufacturer and program version, for *IDN?.
    virtual std::string Maker() const = 0;
    virtual std::string Version() const = 0;

    virtual ProductMark Mark() const = 0;
    virtual void SetMark(const ProductMark& mark) = 0;
    // The number plus one, as the toolbar's +1 does.
    virtual void StepNumber() = 0;

    // The active plan's name, empty for none.
    virtual std::string Plan() const = 0;
    // A plan of the plan folder by its name, or "" for none. The refusal
    // in words when the plan cannot be used.
    virtual std::optional<std::string> SetPlan(const std::string& name) = 0;

    virtual bool Storing() const = 0;
    virtual void SetStoring(bool on) = 0;

    virtual std::string Port() const = 0;  // "COM1"
    virtual bool SetPort(const std::string& port) = 0;
    virtual int Speed() const = 0;  // 2400 or 9600, as the meter speaks
    virtual bool SetSpeed(int speed) = 0;

    // Mark, plan and store setting back to the settings' values.
    virtual void Reset() = 0;

    // One exchange, queued behind the others of the station; `done` is
    // called once, later, on the caller's thread.
    virtual void Measure(std::function<void(const Measurement&)> done) = 0;
};

}  // namespace zx840::scpi
