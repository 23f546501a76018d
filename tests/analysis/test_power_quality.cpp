// The meter checked against its samples: never flagged on the simulated
// loads a healthy meter sends, always on readings of another load; a plan
// that checks the meter or limits derived quantities judges by them.
#include <gtest/gtest.h>

#include <random>

#include "analysis/power_quality.h"
#include "meter/acquisition.h"
#include "meter/protocol.h"
#include "meter/sim/sim_load.h"
#include "plan/plan_file.h"
#include "plan/verdict.h"
#include "record/record_json.h"

namespace zx840 {
namespace {

// The record as the window or acquire would take the reply in.
WorkingRecord Received(const MeasurementRecord& sent) {
    static const HarmonicTable table;
    const std::optional<Reply> reply = EncodeReply(sent);
    EXPECT_TRUE(reply);
    WorkingRecord working;
    ApplyReply(*reply, table, working);
    return working;
}

LoadSettings RandomLoad(std::mt19937& random) {
    const auto uniform = [&random](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    LoadSettings load;
    load.kind = static_cast<LoadKind>(random() % 3);
    load.mainsRms = uniform(90.0, 440.0);
    load.frequency = uniform(45.0, 65.0);
    load.loadAmps = std::exp(uniform(std::log(0.002), std::log(80.0)));
    load.firingAngleDeg = uniform(0.0, 175.0);
    for (int h = static_cast<int>(random() % 4); h > 0; --h) {
        load.voltageHarmonics.push_back(
            {static_cast<int>(2 + random() % 20), uniform(0.0, 8.0), uniform(-180.0, 180.0)});
    }
    return load;
}

TEST(MeterCheck, TenThousandExchangesOfVariedLoadsRaiseNoFalseAlarm) {
    std::mt19937 random(840);
    int alarms = 0;
    for (int n = 0; n < 10000; ++n) {
        const LoadSettings load = RandomLoad(random);
        const auto disagreements = Disagreements(Received(SimulateMeasurement(load)).Record);
        if (!disagreements.empty() && ++alarms <= 5) {
            ADD_FAILURE() << "load kind " << static_cast<int>(load.kind) << ", " << load.mainsRms
                          << " V, " << load.loadAmps << " A, firing " << load.firingAngleDeg << ": "
                          << DisagreementText(disagreements);
        }
    }
    EXPECT_EQ(alarms, 0);
}

TEST(MeterCheck, ReadingsOfAnotherLoadAreFlaggedAndFailAPlanThatChecksTheMeter) {
    PlanRead read = ParsePlan(R"({"MeterCheck": true, "KFactor": {"max": 50},
                                  "DisplacementPF": {"min": 0.5}, "Urms": {"min": 1}})",
                              "meter.zx8plan");
    ASSERT_TRUE(read.plan) << read.error;
    EXPECT_EQ(ParsePlan(PlanToJson(*read.plan), "meter.zx8plan").plan, read.plan);
    const std::vector<std::string> items{"Urms",          "DisplacementPF", "KFactor",
                                         "MeterCheck PF", "MeterCheck Icf", "MeterCheck Ucf"};
    for (const LoadKind kind : {LoadKind::Resistive, LoadKind::Rectifier, LoadKind::Dimmer}) {
        LoadSettings load;
        load.kind = kind;
        const WorkingRecord clean = Received(SimulateMeasurement(load));
        const std::optional<Verdict> pass = Judge(*read.plan, clean);
        ASSERT_TRUE(pass);
        EXPECT_TRUE(pass->pass) << pass->Line();
        // PF, Icf and Ucf all disagree.
        const WorkingRecord mismatched = Received(MismatchedMeasurement(load));
        EXPECT_EQ(Disagreements(mismatched.Record).size(), 3u);
        const std::optional<Verdict> fail = Judge(*read.plan, mismatched);
        ASSERT_TRUE(fail);
        std::vector<std::string> judged;
        for (const Check& check : fail->checks) {
            judged.push_back(check.item);
            EXPECT_EQ(check.pass, !check.item.starts_with("MeterCheck")) << check.item;
        }
        EXPECT_EQ(judged, items);
        EXPECT_NE(fail->checks[3].note.find("meter " + JsonFloat(mismatched.Record.PF)),
                  std::string::npos)
            << fail->checks[3].note;
    }
}

}  // namespace
}  // namespace zx840
