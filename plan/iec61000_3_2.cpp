#include "plan/iec61000_3_2.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "analysis/conduction_angles.h"
#include "plan/verdict.h"

namespace zx840 {

namespace {

constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kDegreesPerSampleD = 360.0 / kSamplesPerPeriod;

// Class C: percent of the fundamental current; h3 is 30 × PF.
double ClassCPercent(int order, double pf) {
    switch (order) {
        case 2:
            return 2.0;
        case 3:
            return 30.0 * pf;
        case 5:
            return 10.0;
        case 7:
            return 7.0;
        case 9:
            return 5.0;
        default:
            return order >= 11 && order % 2 == 1 ? 3.0 : 0.0;
    }
}

// Class D: milliamperes per watt of active power.
double ClassDMilliampsPerWatt(int order) {
    switch (order) {
        case 3:
            return 3.4;
        case 5:
            return 1.9;
        case 7:
            return 1.0;
        case 9:
            return 0.5;
        case 11:
            return 0.35;
        default:
            return order >= 13 && order % 2 == 1 ? 3.85 / order : 0.0;
    }
}

std::string OrderItem(int order) {
    return "IEC I" + std::to_string(order);
}

// Amperes RMS per spectrum count: the meter's RMS current over the RMS of
// the samples, times the square root of 2 (a spectrum entry is half the
// peak of its component). Nothing when the samples are all zero.
std::optional<double> AmperesPerCount(const MeasurementRecord& record) {
    double sum = 0.0;
    for (const std::int32_t sample : record.IWave) {
        sum += static_cast<double>(sample) * static_cast<double>(sample);
    }
    if (sum == 0.0) {
        return std::nullopt;
    }
    return static_cast<double>(record.Irms) * kSqrt2 / std::sqrt(sum / kSamplesPerPeriod);
}

double Amperes(const MeasurementRecord& record, double perCount, int order) {
    return perCount * static_cast<double>(record.ISpec[static_cast<std::size_t>(order - 1)]);
}

Check HarmonicCheck(const MeasurementRecord& record, double perCount, int order,
                    double maxAmperes) {
    Check check;
    check.item = OrderItem(order);
    check.value = Amperes(record, perCount, order);
    check.max = maxAmperes;
    check.pass = WithinLimit(check.value, std::nullopt, check.max);
    FailOnOutOfRange(check, record, {{RecordQuantity::Irms}, {RecordQuantity::ISpec, order}});
    return check;
}

// A check that passes without a limit, saying why.
Check NoLimit(const std::string& item, double value, const std::string& note) {
    Check check;
    check.item = item;
    check.value = value;
    check.note = note;
    check.pass = std::isfinite(value);
    if (!check.pass) {
        check.note = "not a number: the class cannot be applied";
    }
    return check;
}

void AngleChecks(const MeasurementRecord& record, std::vector<Check>& checks) {
    const std::optional<WaveformAngles> angles = LowPowerLightingAngles(record);
    const auto add = [&](const char* item, double value, std::optional<double> min,
                         std::optional<double> max) {
        Check check;
        check.item = item;
        check.value = value;
        check.min = min;
        check.max = max;
        check.pass = angles.has_value() && WithinLimit(value, min, max);
        if (!angles) {
            check.note = "no voltage zero crossing or no current in the period";
        }
        checks.push_back(check);
    };
    const WaveformAngles a = angles.value_or(WaveformAngles{});
    add("IEC StartAngle", a.start, std::nullopt, 60.0);
    add("IEC PeakAngle", a.peak, std::nullopt, 65.0);
    add("IEC EndAngle", a.end, 90.0, std::nullopt);
}

// The values of the record every check of a class depends on besides its
// own harmonic: the power that selects and scales the limits, the power
// factor and the fundamental they are taken from.
void FailOnClassInputs(IecClass iecClass, const MeasurementRecord& record, Check& check) {
    using enum RecordQuantity;
    switch (iecClass) {
        case IecClass::A:
        case IecClass::B:
            return;
        case IecClass::C:
            return FailOnOutOfRange(check, record, {{Power}, {PF}, {ISpec, 1}});
        case IecClass::C25:
            return FailOnOutOfRange(check, record, {{Power}, {ISpec, 1}});
        case IecClass::D:
            return FailOnOutOfRange(check, record, {{Power}});
    }
}

void AppendClassChecks(IecClass iecClass, const MeasurementRecord& record, double perCount,
                       std::vector<Check>& checks) {
    const double power = record.Power;
    const double fundamental = Amperes(record, perCount, 1);
    const auto harmonic = [&](int order, double maxAmperes) {
        return HarmonicCheck(record, perCount, order, maxAmperes);
    };
    switch (iecClass) {
        case IecClass::A:
        case IecClass::B: {
            const double factor = iecClass == IecClass::B ? 1.5 : 1.0;
            for (int n = 2; n <= kIecHighestOrder; ++n) {
                checks.push_back(harmonic(n, factor * ClassALimit(n)));
            }
            return;
        }
        case IecClass::C: {
            if (!(power > 25.0)) {
                checks.push_back(NoLimit("IEC Class C", power, "Class C sets limits above 25 W"));
                return;
            }
            for (int n = 2; n <= kIecHighestOrder; ++n) {
                const double percent = ClassCPercent(n, record.PF);
                if (percent != 0.0 || n == 3) {
                    checks.push_back(harmonic(n, percent / 100.0 * fundamental));
                }
            }
            return;
        }
        case IecClass::C25: {
            if (power > 25.0 || !std::isfinite(power)) {
                checks.push_back(
                    NoLimit("IEC Class C25", power, "Class C25 sets limits up to 25 W only"));
                return;
            }
            checks.push_back(harmonic(3, 0.86 * fundamental));
            checks.push_back(harmonic(5, 0.61 * fundamental));
            AngleChecks(record, checks);
            return;
        }
        case IecClass::D: {
            if (!(power > 75.0 && power <= 600.0)) {
                checks.push_back(
                    NoLimit("IEC Class D", power, "Class D sets limits from 75 W to 600 W only"));
                return;
            }
            for (int n = 3; n <= kIecHighestOrder; n += 2) {
                const double perWatt = ClassDMilliampsPerWatt(n) / 1000.0 * power;
                checks.push_back(harmonic(n, std::min(perWatt, ClassALimit(n))));
            }
            return;
        }
    }
}

}  // namespace

std::optional<double> HarmonicCurrent(const MeasurementRecord& record, int order) {
    const std::optional<double> perCount = AmperesPerCount(record);
    if (!perCount || order < 1 || order > kHarmonicOrders) {
        return std::nullopt;
    }
    return Amperes(record, *perCount, order);
}

double ClassALimit(int order) {
    if (order < 2 || order > kIecHighestOrder) {
        return 0.0;
    }
    if (order % 2 == 0) {
        switch (order) {
            case 2:
                return 1.08;
            case 4:
                return 0.43;
            case 6:
                return 0.30;
            default:
                return 0.23 * 8.0 / order;
        }
    }
    switch (order) {
        case 3:
            return 2.30;
        case 5:
            return 1.14;
        case 7:
            return 0.77;
        case 9:
            return 0.40;
        case 11:
            return 0.33;
        case 13:
            return 0.21;
        default:
            return 0.15 * 15.0 / order;
    }
}

std::optional<WaveformAngles> LowPowerLightingAngles(const MeasurementRecord& record) {
    const std::optional<int> crossing = VoltageZeroCrossing(record);
    if (!crossing) {
        return std::nullopt;
    }
    const auto& wave = record.IWave;
    const auto magnitude = [&wave](int i) {
        return std::fabs(static_cast<double>(wave[static_cast<std::size_t>(i)]));
    };
    double largest = 0.0;
    for (int i = 0; i < kSamplesPerPeriod; ++i) {
        largest = std::max(largest, magnitude(i));
    }
    if (largest == 0.0) {
        return std::nullopt;
    }
    const double threshold = 0.05 * largest;
    const int z = *crossing;
    const int last = kSamplesPerPeriod - 1;
    int j = z;
    while (j < last && magnitude(j) < threshold) {
        ++j;
    }
    const int start = j;
    while (j < last && magnitude(j) >= threshold) {
        ++j;
    }
    const int end = j;
    int peak = start;
    for (int n = start + 1; n < end; ++n) {
        if (magnitude(n) > magnitude(peak)) {
            peak = n;
        }
    }
    return WaveformAngles{(start - z) * kDegreesPerSampleD, (peak - z) * kDegreesPerSampleD,
                          (end - z) * kDegreesPerSampleD};
}

void AppendIecChecks(IecClass iecClass, const MeasurementRecord& record,
                     std::vector<Check>& checks) {
    const std::optional<double> perCount = AmperesPerCount(record);
    if (!perCount) {
        // An unplugged unit emits nothing and must not pass for it.
        Check check;
        check.item = "IEC";
        check.note = kNoCurrentNote;
        checks.push_back(std::move(check));
        return;
    }
    const std::size_t first = checks.size();
    AppendClassChecks(iecClass, record, *perCount, checks);
    for (std::size_t i = first; i < checks.size(); ++i) {
        FailOnClassInputs(iecClass, record, checks[i]);
    }
}

}  // namespace zx840
