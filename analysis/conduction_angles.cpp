// Start, peak and end of current conduction, counted in samples from the
// first voltage zero crossing of the period.
#include "analysis/conduction_angles.h"

#include <cstddef>
#include <cstdint>

namespace zx840 {
namespace {

constexpr int kLastSample = kSamplesPerPeriod - 1;
constexpr std::int64_t kConductionThreshold = 5;  // counts

// True when either value is zero or their signs are opposite, i.e. when their
// product would be zero or negative. The product itself could overflow.
bool DifferInSign(std::int32_t a, std::int32_t b) {
    return a == 0 || b == 0 || ((a < 0) != (b < 0));
}

// |x| in 64 bits, so INT32_MIN has a magnitude too.
std::int64_t Magnitude(std::int32_t x) {
    const std::int64_t wide = x;
    return wide < 0 ? -wide : wide;
}

float ToDegrees(int samples) {
    return static_cast<float>(samples * 1.40625);
}

}  // namespace

std::optional<int> VoltageZeroCrossing(const MeasurementRecord& record) {
    const auto& u = record.UWave;
    if (DifferInSign(u[0], u[1])) {
        return std::nullopt;
    }
    int z = 1;
    while (z < kLastSample &&
           !DifferInSign(u[static_cast<std::size_t>(z)], u[static_cast<std::size_t>(z + 1)])) {
        ++z;
    }
    if (z == kLastSample) {
        return std::nullopt;  // no sign change between samples 1 and 255
    }
    return z;
}

ConductionAngles ComputeConductionAngles(const MeasurementRecord& record) {
    const auto& i = record.IWave;
    const auto current = [&i](int index) { return Magnitude(i[static_cast<std::size_t>(index)]); };

    const std::optional<int> crossing = VoltageZeroCrossing(record);
    if (!crossing) {
        return {};
    }
    const int z = *crossing;

    // Conduction starts at the first sample of at least 5 counts and ends at
    // the first later one of 5 counts or less; neither walk passes sample 255.
    int j = z;
    while (j < kLastSample && current(j) < kConductionThreshold) {
        ++j;
    }
    const int start = j - z;
    while (j < kLastSample && current(j) > kConductionThreshold) {
        ++j;
    }
    const int end = j - z;

    // The largest magnitude within [start, end); the first of equal peaks wins.
    int peak = start;
    for (int n = start + 1; n < end; ++n) {
        if (current(z + n) > current(z + peak)) {
            peak = n;
        }
    }

    return {ToDegrees(start), ToDegrees(peak), ToDegrees(end)};
}

}  // namespace zx840
