// Physics of the simulated loads.
//
// The meter times its period from the voltage: sample 96 lies 0.05 degree
// before the falling zero crossing (180 degrees of an undistorted fundamental,
// so sample 0 at about 45 degrees). Samples 0 and 1 share a sign, the voltage
// reads a few counts at sample 96 and is negative from sample 97 on, so an
// angle measured from the first voltage zero crossing has most of the period
// after it, and a current that stops just before the crossing reads zero
// there.
//
// Every waveform is first formed as a shape whose fundamental has a peak of
// 1, then multiplied by the peak of the mains voltage (sqrt(2) * mainsRms) or
// by the peak current of the resistor (sqrt(2) * loadAmps). The load is the
// resistor R = mainsRms / loadAmps, so shapes need no division by either.
//
// The readings come from the physical, unrounded values at the 256 sample
// phases; the samples are those values times the channel's scale, rounded.

#include "meter/sim/sim_load.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

namespace zx840 {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kSampleStep = 2 * kPi / kSamplesPerPeriod;
constexpr int kCrossingSample = 96;
constexpr double kCrossingLead = 0.05 * kPi / 180.0;  // radians
constexpr int kSearchPoints = 1024;                   // coarse grid for the crossing
constexpr int kBisections = 60;

// The rectifier circuit and the dimmer's zero-crossing search run on a finer
// grid; every sample phase is one of its points.
constexpr int kSubsteps = 32;
constexpr int kFinePoints = kSamplesPerPeriod * kSubsteps;
constexpr double kFineStep = 2 * kPi / kFinePoints;

// Settings are clamped to these, so that no intermediate value can overflow.
// Below the smallest value a voltage or current is taken as zero.
constexpr double kMaxVolts = 1e6;
constexpr double kMinVolts = 1e-6;
constexpr double kMaxAmps = 1e5;
constexpr double kMinAmps = 1e-9;
constexpr double kMaxPercent = 1000.0;
constexpr double kMaxFrequency = 1e6;
constexpr double kMaxFiringDeg = 360.0;
constexpr int kLowestHarmonic = 2;
constexpr int kHighestHarmonic = 50;

constexpr double kTriacDrop = 1.0;  // on-state voltage of the dimmer's triac, volts

// Rectifier: the load's resistor R on the DC side of a bridge, smoothed by a
// capacitor C and fed through a series resistance Rs (line, diodes and the
// capacitor's internal resistance). omega*R*C = 20 gives a ripple of about
// 15 percent; Rs = R/50 gives current pulses about 50 degrees wide, a power
// factor of about 0.67 and a current crest factor of about 2.6 on sine
// mains. With the DC voltage near the mains peak the load takes about 1.7
// times the power the same resistor would take from the mains directly.
constexpr double kOmegaRC = 20.0;
constexpr double kSeriesRatio = 0.02;
constexpr int kMaxSettlingPeriods = 400;
constexpr double kSettledChange = 1e-12;  // of the capacitor voltage, per period

// Sample ranges. A channel's nominal scale gives 12000 counts at the peak of
// 230 V mains, or at the peak of 1 A RMS of sine current. The channel is
// switched in steps of a factor 2 to the most sensitive range that keeps the
// peak below 16000 counts, but never more than 16 times the nominal scale.
constexpr double kSqrt2 = std::numbers::sqrt2;
constexpr double kNominalCountsPerVolt = 12000.0 / (230.0 * kSqrt2);
constexpr double kNominalCountsPerAmp = 12000.0 / kSqrt2;
constexpr double kRangeTop = 16000.0;
constexpr int kMostSensitiveRange = 4;
constexpr int kLeastSensitiveRange = -200;
constexpr std::int32_t kMinCount = -16384;
constexpr std::int32_t kMaxCount = 16383;

using Wave = std::array<double, kSamplesPerPeriod>;

double Clamped(double value, double low, double high, double ifNan) {
    if (std::isnan(value)) {
        return ifNan;
    }
    return std::clamp(value, low, high);
}

// A magnitude setting: non-negative, finite, and zero below `smallest`.
double Magnitude(double value, double smallest, double largest) {
    const double v = Clamped(value, 0.0, largest, 0.0);
    return v < smallest ? 0.0 : v;
}

struct Component {
    double order = 1.0;
    double amplitude = 1.0;
    double phase = 0.0;  // radians
};

// The shape of the mains voltage: a unit fundamental plus the harmonics.
class VoltageShape {
  public:
    explicit VoltageShape(const std::vector<VoltageHarmonic>& harmonics) {
        parts_.push_back(Component{});
        for (const VoltageHarmonic& h : harmonics) {
            if (h.order < kLowestHarmonic || h.order > kHighestHarmonic ||
                !std::isfinite(h.percent) || h.percent == 0.0) {
                continue;
            }
            const double degrees = std::isfinite(h.phaseDeg) ? std::fmod(h.phaseDeg, 360.0) : 0.0;
            parts_.push_back(Component{static_cast<double>(h.order),
                                       std::clamp(h.percent, -kMaxPercent, kMaxPercent) / 100.0,
                                       degrees * kPi / 180.0});
        }
    }

    double operator()(double phase) const {
        double sum = 0.0;
        for (const Component& c : parts_) {
            sum += c.amplitude * std::sin(c.order * phase + c.phase);
        }
        return sum;
    }

  private:
    std::vector<Component> parts_;
};

// The shape on the fine grid, point j at `start` plus j steps.
std::vector<double> FineShape(const VoltageShape& shape, double start) {
    std::vector<double> fine(kFinePoints);
    for (int j = 0; j < kFinePoints; ++j) {
        fine[static_cast<std::size_t>(j)] = shape(start + j * kFineStep);
    }
    return fine;
}

Wave SampleShape(const std::vector<double>& fine) {
    Wave wave{};
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        wave[static_cast<std::size_t>(n)] = fine[static_cast<std::size_t>(n * kSubsteps)];
    }
    return wave;
}

// The phase of sample 0. The falling zero crossing nearest 180 degrees of
// the fundamental is found on a coarse grid and refined by bisection; a
// shape without one keeps the crossing of the bare fundamental.
double PeriodStart(const VoltageShape& shape) {
    const double step = 2 * kPi / kSearchPoints;
    double low = 0.0;
    double bestDistance = 2 * kPi;
    for (int j = 0; j < kSearchPoints; ++j) {
        const double from = j * step;
        if (shape(from) > 0.0 && shape(from + step) <= 0.0 &&
            std::abs(from + 0.5 * step - kPi) < bestDistance) {
            bestDistance = std::abs(from + 0.5 * step - kPi);
            low = from;
        }
    }
    if (bestDistance == 2 * kPi) {
        return kPi - kCrossingSample * kSampleStep - kCrossingLead;
    }
    double high = low + step;
    for (int b = 0; b < kBisections; ++b) {
        const double mid = 0.5 * (low + high);
        (shape(mid) > 0.0 ? low : high) = mid;
    }
    return high - kCrossingSample * kSampleStep - kCrossingLead;
}

// Where the voltage changes sign, as phases after the first grid point (0 to
// 2 pi), between grid points by linear interpolation. The grid wraps around.
std::vector<double> ZeroCrossings(const std::vector<double>& fine) {
    std::vector<double> crossings;
    for (int j = 0; j < kFinePoints; ++j) {
        const double a = fine[static_cast<std::size_t>(j)];
        const double b = fine[static_cast<std::size_t>((j + 1) % kFinePoints)];
        if ((a > 0.0) != (b > 0.0)) {
            crossings.push_back((j + a / (a - b)) * kFineStep);
        }
    }
    return crossings;
}

// Leading-edge phase cut: after each voltage zero crossing the triac waits
// `firing` radians, then conducts like the resistor, less its on-state drop
// (`drop`, as a share of the mains peak), until the voltage falls below that
// drop before the next zero crossing. A voltage that never changes sign never
// resets the delay, so the triac conducts throughout.
Wave DimmerCurrent(const std::vector<double>& fine, const Wave& voltage, double firing,
                   double drop) {
    const std::vector<double> crossings = ZeroCrossings(fine);
    Wave current{};
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        const double phase = n * kSampleStep;
        bool fired = true;
        if (!crossings.empty()) {
            // The last crossing at or before this phase, else the last one of
            // the previous period.
            double last = crossings.back() - 2 * kPi;
            for (double c : crossings) {
                if (c <= phase) {
                    last = c;
                }
            }
            fired = phase - last >= firing;
        }
        const auto i = static_cast<std::size_t>(n);
        const double v = voltage[i];
        current[i] = fired ? std::copysign(std::max(0.0, std::abs(v) - drop), v) : 0.0;
    }
    return current;
}

// Bridge rectifier with smoothing capacitor, in units where R = 1, voltage is
// the shape and time is the phase of the fundamental: C dVc/dt = i - Vc with
// C = omega*R*C, and i = (|v| - Vc) / Rs while |v| exceeds Vc, else 0. Each
// fine step is an implicit Euler step, stable for any Rs. The circuit runs
// period after period until it has settled; the line current of the last
// period carries the sign of the voltage.
Wave RectifierCurrent(const std::vector<double>& fine) {
    const double a = kFineStep / kOmegaRC;
    double vc = 0.0;
    std::vector<double> pulse(kFinePoints, 0.0);
    for (int period = 0; period < kMaxSettlingPeriods; ++period) {
        const double atStart = vc;
        double peak = 0.0;
        for (int j = 0; j < kFinePoints; ++j) {
            const double v = std::abs(fine[static_cast<std::size_t>(j)]);
            peak = std::max(peak, v);
            const double charging =
                (vc + a * v / kSeriesRatio) / (1.0 + a * (1.0 / kSeriesRatio + 1.0));
            vc = v > charging ? charging : vc / (1.0 + a);
            pulse[static_cast<std::size_t>(j)] = std::max(0.0, (v - vc) / kSeriesRatio);
        }
        if (std::abs(vc - atStart) <= kSettledChange * peak) {
            break;
        }
    }
    Wave current{};
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        const auto j = static_cast<std::size_t>(n * kSubsteps);
        current[static_cast<std::size_t>(n)] = std::copysign(pulse[j], fine[j]);
    }
    return current;
}

Wave Scaled(const Wave& shape, double peak) {
    Wave wave{};
    std::transform(shape.begin(), shape.end(), wave.begin(), [peak](double x) { return x * peak; });
    return wave;
}

double Peak(const Wave& wave) {
    double peak = 0.0;
    for (double x : wave) {
        peak = std::max(peak, std::abs(x));
    }
    return peak;
}

double Rms(const Wave& wave) {
    double sum = 0.0;
    for (double x : wave) {
        sum += x * x;
    }
    return std::sqrt(sum / kSamplesPerPeriod);
}

// Counts per unit of the range the channel switches to for this peak.
double RangeScale(double peak, double nominal) {
    int range = kMostSensitiveRange;
    while (range > kLeastSensitiveRange && peak * std::ldexp(nominal, range) >= kRangeTop) {
        --range;
    }
    return std::ldexp(nominal, range);
}

std::array<std::int32_t, kSamplesPerPeriod> ToCounts(const Wave& wave, double nominal) {
    const double scale = RangeScale(Peak(wave), nominal);
    std::array<std::int32_t, kSamplesPerPeriod> counts{};
    for (std::size_t n = 0; n < counts.size(); ++n) {
        const double c = std::clamp(std::round(wave[n] * scale), static_cast<double>(kMinCount),
                                    static_cast<double>(kMaxCount));
        counts[n] = static_cast<std::int32_t>(c);
    }
    return counts;
}

// A finite value as a float; the clamped settings keep every reading far
// inside the float range, this only makes sure of it.
float ToReading(double value) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    return static_cast<float>(Clamped(value, -kLargest, kLargest, 0.0));
}

}  // namespace

MeasurementRecord SimulateMeasurement(const LoadSettings& settings) {
    const double volts = Magnitude(settings.mainsRms, kMinVolts, kMaxVolts);
    // Without mains voltage the resistor behind any of the loads takes no current.
    const double amps = volts > 0.0 ? Magnitude(settings.loadAmps, kMinAmps, kMaxAmps) : 0.0;
    const double firing = Clamped(settings.firingAngleDeg, 0.0, kMaxFiringDeg, 0.0) * kPi / 180.0;

    const VoltageShape shape(settings.voltageHarmonics);
    const std::vector<double> fine = FineShape(shape, PeriodStart(shape));
    const Wave voltageShape = SampleShape(fine);

    Wave currentShape{};
    switch (settings.kind) {
        case LoadKind::Resistive:
            currentShape = voltageShape;
            break;
        case LoadKind::Rectifier:
            currentShape = RectifierCurrent(fine);
            break;
        case LoadKind::Dimmer:
            // Without mains the drop is never exceeded; amps is 0 then anyway.
            currentShape = DimmerCurrent(fine, voltageShape, firing,
                                         volts > 0.0 ? kTriacDrop / (kSqrt2 * volts) : 1.0);
            break;
    }

    const Wave u = Scaled(voltageShape, kSqrt2 * volts);
    const Wave i = Scaled(currentShape, kSqrt2 * amps);

    const double urms = Rms(u);
    const double irms = Rms(i);
    double power = 0.0;
    for (std::size_t n = 0; n < u.size(); ++n) {
        power += u[n] * i[n];
    }
    power /= kSamplesPerPeriod;

    MeasurementRecord record;
    record.Urms = ToReading(urms);
    record.Irms = ToReading(irms);
    record.Power = ToReading(power);
    record.PF =
        urms > 0.0 && irms > 0.0 ? ToReading(std::clamp(power / (urms * irms), -1.0, 1.0)) : 0.0f;
    record.Ucf = urms > 0.0 ? ToReading(Peak(u) / urms) : 0.0f;
    record.Icf = irms > 0.0 ? ToReading(Peak(i) / irms) : 0.0f;
    record.Freq = ToReading(Clamped(settings.frequency, 0.0, kMaxFrequency, 0.0));
    record.UWave = ToCounts(u, kNominalCountsPerVolt);
    record.IWave = ToCounts(i, kNominalCountsPerAmp);
    return record;
}

LoadSettings OtherLoad(const LoadSettings& settings) {
    LoadSettings other = settings;
    other.kind = settings.kind == LoadKind::Resistive ? LoadKind::Rectifier : LoadKind::Resistive;
    other.voltageHarmonics = {VoltageHarmonic{3, 20.0, 180.0}};
    return other;
}

MeasurementRecord MismatchedMeasurement(const LoadSettings& settings) {
    MeasurementRecord record = SimulateMeasurement(settings);
    const MeasurementRecord other = SimulateMeasurement(OtherLoad(settings));
    record.UWave = other.UWave;
    record.IWave = other.IWave;
    return record;
}

}  // namespace zx840
