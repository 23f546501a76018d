#include "meter/sim/sim_load.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "analysis/conduction_angles.h"
#include "analysis/harmonics.h"

namespace zx840 {
namespace {

constexpr double kStep = 360.0 / kSamplesPerPeriod;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

LoadSettings Load(LoadKind kind, double volts = 230.0, double amps = 1.0, double firing = 90.0) {
    return {.kind = kind,
            .mainsRms = volts,
            .loadAmps = amps,
            .firingAngleDeg = firing,
            .voltageHarmonics = {}};
}

int PeakCounts(const std::array<std::int32_t, kSamplesPerPeriod>& wave) {
    return std::abs(std::ranges::max(wave, {}, [](std::int32_t x) { return std::abs(x); }));
}

// Finite readings, and both channels ranged below 16000 counts (a sample
// clipped at the end of the range would show as 16383).
void ExpectSane(const MeasurementRecord& r) {
    for (float x : {r.Urms, r.Irms, r.PF, r.Freq, r.Power, r.Ucf, r.Icf}) {
        EXPECT_TRUE(std::isfinite(x));
    }
    EXPECT_LE(std::abs(r.PF), 1.0f);
    EXPECT_LE(PeakCounts(r.UWave), 16000);
    EXPECT_LE(PeakCounts(r.IWave), 16000);
}

TEST(SimLoadTest, ResistiveLoadFollowsTheVoltage) {
    for (auto [volts, amps] : {std::pair{230.0, 0.25}, std::pair{120.0, 16.0}}) {
        LoadSettings s = Load(LoadKind::Resistive, volts, amps);
        s.frequency = 60.0;
        const MeasurementRecord r = SimulateMeasurement(s);
        ExpectSane(r);
        EXPECT_NEAR(r.Urms, volts, 1e-3 * volts);
        EXPECT_NEAR(r.Irms, amps, 1e-3 * amps);
        EXPECT_NEAR(r.Power, volts * amps, 1e-3 * volts * amps);
        EXPECT_NEAR(r.PF, 1.0, 1e-6);
        EXPECT_NEAR(r.Ucf, std::numbers::sqrt2, 1e-3);
        EXPECT_NEAR(r.Icf, std::numbers::sqrt2, 1e-3);
        EXPECT_EQ(r.Freq, 60.0f);
        EXPECT_GE(std::min(PeakCounts(r.UWave), PeakCounts(r.IWave)), 8000);
    }
    // 230 V peaks near 12000 counts; samples 0 and 1 share a sign and the
    // voltage falls through zero just after sample 96.
    const MeasurementRecord r = SimulateMeasurement(Load(LoadKind::Resistive));
    EXPECT_NEAR(PeakCounts(r.UWave), 12000, 10);
    EXPECT_TRUE(r.UWave[0] > 0 && r.UWave[1] > 0 && r.UWave[96] > 0 && r.UWave[97] < 0);
    EXPECT_LT(r.UWave[96], 30);
}

TEST(SimLoadTest, RectifierDrawsShortPulsesAtThePeaks) {
    for (double amps : {0.1, 10.0}) {
        const MeasurementRecord r = SimulateMeasurement(Load(LoadKind::Rectifier, 230.0, amps));
        ExpectSane(r);
        EXPECT_TRUE(r.PF > 0.4f && r.PF < 0.8f) << r.PF;
        EXPECT_GT(r.Icf, 2.0f);
        EXPECT_TRUE(r.Power > 230.0 * amps && r.Power < 2 * 230.0 * amps) << r.Power;

        // Current only within 70 degrees of the voltage peaks (samples 32 and
        // 160), with the voltage's sign, in two pulses 40 to 70 degrees wide.
        int positive = 0;
        int negative = 0;
        for (int n = 0; n < kSamplesPerPeriod; ++n) {
            const std::int32_t i = r.IWave[static_cast<std::size_t>(n)];
            if (i != 0) {
                EXPECT_LE(std::abs(n - (i > 0 ? 32 : 160)) * kStep, 70.0) << n;
                EXPECT_GT(i * r.UWave[static_cast<std::size_t>(n)], 0) << n;
                ++(i > 0 ? positive : negative);
            }
        }
        EXPECT_EQ(positive, negative);
        EXPECT_TRUE(positive * kStep >= 40.0 && positive * kStep <= 70.0) << positive;

        const ConductionAngles a = ComputeConductionAngles(r);
        EXPECT_TRUE(0 < a.StartAngle && a.StartAngle < a.PeakAngle && a.PeakAngle < a.EndAngle &&
                    a.EndAngle < 180)
            << a.StartAngle << " " << a.PeakAngle << " " << a.EndAngle;
    }
}

TEST(SimLoadTest, DimmerCutsTheFrontOfEachHalfCycle) {
    const MeasurementRecord full = SimulateMeasurement(Load(LoadKind::Resistive));
    for (double firing : {20.0, 90.0, 150.0}) {
        const MeasurementRecord r = SimulateMeasurement(Load(LoadKind::Dimmer, 230, 1, firing));
        ExpectSane(r);
        // Measured from sample 96, just before the zero crossing: the first
        // sample at least `firing` after the crossing.
        const ConductionAngles a = ComputeConductionAngles(r);
        EXPECT_TRUE(a.StartAngle >= firing && a.StartAngle <= firing + kStep + 0.1) << firing;
        EXPECT_NEAR(a.PeakAngle, std::max(a.StartAngle, 90.0f), kStep) << firing;
        EXPECT_TRUE(a.EndAngle > 175 && a.EndAngle <= 180) << firing;
        // A phase-cut sine keeps 1 - a/pi + sin(2a)/(2pi) of the power.
        const double rad = firing * std::numbers::pi / 180.0;
        const double kept = 1 - rad / std::numbers::pi + std::sin(2 * rad) / (2 * std::numbers::pi);
        EXPECT_NEAR(r.Power / full.Power, kept, 0.02) << firing;
    }
    // No delay is the resistor less the triac's drop; half a cycle or more
    // never fires.
    EXPECT_NEAR(SimulateMeasurement(Load(LoadKind::Dimmer, 230, 1, 0)).Power, full.Power, 2.0);
    for (double firing : {180.0, 1e9, kInf}) {
        const MeasurementRecord r = SimulateMeasurement(Load(LoadKind::Dimmer, 230, 1, firing));
        EXPECT_TRUE(r.Irms == 0 && r.PF == 0 && r.Icf == 0 && PeakCounts(r.IWave) == 0);
    }
}

TEST(SimLoadTest, VoltageHarmonicsShowInTheSpectrum) {
    LoadSettings s = Load(LoadKind::Resistive);
    s.voltageHarmonics = {{3, 5.0, 30.0}, {5, 3.0, -90.0}, {50, 1.0, 0.0}};
    MeasurementRecord r = SimulateMeasurement(s);
    EXPECT_NEAR(r.Urms, 230.0 * std::sqrt(1 + 0.05 * 0.05 + 0.03 * 0.03 + 0.01 * 0.01), 0.05);
    ComputeHarmonicsDirect(r);
    for (std::size_t k = 1; k < kHarmonicOrders; ++k) {
        const double expected = k == 2 ? 5.0 : k == 4 ? 3.0 : k == 49 ? 1.0 : 0.0;
        EXPECT_NEAR(100.0 * r.USpec[k] / r.USpec[0], expected, 0.05) << k + 1;
        EXPECT_NEAR(100.0 * r.ISpec[k] / r.ISpec[0], expected, 0.05) << k + 1;
    }
    // Orders outside 2..50 and amounts that are not numbers change nothing.
    LoadSettings ignored = s;
    for (int order : {-3, 0, 1, 51}) {
        ignored.voltageHarmonics.push_back({order, 10.0, 0.0});
    }
    ignored.voltageHarmonics.push_back({7, kNaN, 0.0});
    EXPECT_EQ(SimulateMeasurement(ignored), SimulateMeasurement(s));
    // On distorted mains the dimmer still starts at its firing angle.
    s.kind = LoadKind::Dimmer;
    s.firingAngleDeg = 60.0;
    const ConductionAngles a = ComputeConductionAngles(SimulateMeasurement(s));
    EXPECT_TRUE(a.StartAngle >= 60 && a.StartAngle <= 60 + kStep + 0.1) << a.StartAngle;
}

TEST(SimLoadTest, ExtremeAndDegenerateSettingsStayInRange) {
    std::vector<VoltageHarmonic> heavy;
    for (int order = 2; order <= 50; ++order) {
        heavy.push_back({order, 1000.0, 7.0 * order});
    }
    for (LoadKind kind : {LoadKind::Resistive, LoadKind::Rectifier, LoadKind::Dimmer}) {
        for (double volts : {0.0, -5.0, 1e-300, 1e-3, 230.0, 1e300, kInf, kNaN}) {
            for (double amps : {0.0, -1.0, 1e-12, 1e-3, 1e5, kInf, kNaN}) {
                for (bool distorted : {false, true}) {
                    LoadSettings s = Load(kind, volts, amps, kNaN);
                    s.frequency = distorted ? kInf : -50.0;
                    s.voltageHarmonics = distorted ? heavy : std::vector<VoltageHarmonic>{};
                    SCOPED_TRACE(testing::Message() << static_cast<int>(kind) << " " << volts
                                                    << " V " << amps << " A " << distorted);
                    const MeasurementRecord r = SimulateMeasurement(s);
                    ExpectSane(r);
                    EXPECT_TRUE(!(volts >= 230.0) || PeakCounts(r.UWave) >= 8000);
                    if (!(r.Urms > 0)) {
                        EXPECT_TRUE(r.Irms == 0 && r.Power == 0 && r.PF == 0);
                        EXPECT_EQ(PeakCounts(r.UWave) + PeakCounts(r.IWave), 0);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace zx840
