// The station as remote commands see it, over the meter session: remote
// measurements queue at the session behind the window's and the continuous
// test's, each answer goes back to the client that asked (exchanges end in
// the order they were asked), and the product information, plan and store
// setting are whatever the program that serves keeps them in.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "scpi/scpi_station.h"
#include "session/meter_session.h"

namespace zx840 {

// Where the serving program keeps what remote commands change. Each may be
// left empty: the station then keeps it itself (the mark, the store
// setting) or on the session (the plan, by name from `planFolder`).
struct StationHooks {
    std::function<ProductMark()> mark;
    std::function<void(const ProductMark&)> setMark;
    std::function<bool()> storing;
    std::function<void(bool)> setStoring;
    // The port or speed changed: the window shows them.
    std::function<void()> lineChanged;
    // Product information, plan and store setting as the settings hold them.
    std::function<void()> reset;
    std::string planFolder;
};

class SessionStation : public QObject, public scpi::Station {
    Q_OBJECT
  public:
    SessionStation(MeterSession& session, StationHooks hooks, QObject* parent = nullptr);

    std::string Maker() const override;
    std::string Version() const override;
    ProductMark Mark() const override;
    void SetMark(const ProductMark& mark) override;
    void StepNumber() override;
    std::string Plan() const override;
    std::optional<std::string> SetPlan(const std::string& name) override;
    bool Storing() const override;
    void SetStoring(bool on) override;
    std::string Port() const override;
    bool SetPort(const std::string& port) override;
    int Speed() const override;
    bool SetSpeed(int speed) override;
    void Reset() override;
    void Measure(std::function<void(const scpi::Measurement&)> done) override;

    // What the station keeps itself when no hook does.
    void SetOwnMark(const ProductMark& mark) { mark_ = mark; }
    void SetHooks(StationHooks hooks) { hooks_ = std::move(hooks); }

  private:
    void Answer(const scpi::Measurement& measured);

    MeterSession& session_;
    StationHooks hooks_;
    ProductMark mark_;
    bool storing_ = true;
    std::deque<std::function<void(const scpi::Measurement&)>> asked_;
};

}  // namespace zx840
