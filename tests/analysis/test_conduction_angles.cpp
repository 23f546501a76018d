#include "analysis/conduction_angles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace zx840 {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// A voltage positive up to and including sample `last_positive`, negative
// after it, so the first sign change lies between last_positive and the next.
MeasurementRecord VoltageCrossingAfter(int last_positive) {
    MeasurementRecord r;
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        r.UWave[static_cast<std::size_t>(n)] = n <= last_positive ? 1000 : -1000;
    }
    return r;
}

ConductionAngles Samples(int start, int peak, int end) {
    return {start * kDegreesPerSample, peak * kDegreesPerSample, end * kDegreesPerSample};
}

TEST(ConductionAngles, IntervalsAfterTheCrossing) {
    struct Case {
        const char* what;
        int z;  // last positive voltage sample
        int from;
        std::vector<std::int32_t> current;
        ConductionAngles expected;
    };
    const Case cases[] = {
        // Current before Z is ignored; 5 counts ends conduction.
        {"ordinary pulse",
         100,
         98,
         {900, -900, 0, 4, -4, 6, -300, 200, 7, 5, 400},
         Samples(3, 4, 7)},
        {"crossing between 254 and 255", 254, 254, {100}, Samples(0, 0, 1)},
        {"exactly 5 at the start", 10, 10, {0, 1, -5, 100, 0}, Samples(2, 2, 2)},
        {"already conducting at Z", 10, 10, {-6, 20, 5}, Samples(0, 1, 2)},
        {"first of equal peaks", 20, 20, {0, 10, 300, 50, -300, 300, 0}, Samples(1, 2, 6)},
        {"INT32_MIN is the largest", 20, 20, {0, 10, kMax, 50, kMin, kMax, 0}, Samples(1, 4, 6)},
    };
    for (const Case& c : cases) {
        MeasurementRecord r = VoltageCrossingAfter(c.z);
        for (std::size_t n = 0; n < c.current.size(); ++n) {
            r.IWave[static_cast<std::size_t>(c.from) + n] = c.current[n];
        }
        EXPECT_EQ(ComputeConductionAngles(r), c.expected) << c.what;
        // A falling voltage is treated like a rising one.
        for (auto& u : r.UWave) {
            u = -u;
        }
        EXPECT_EQ(ComputeConductionAngles(r), c.expected) << c.what << ", falling";
    }
    EXPECT_EQ(Samples(3, 4, 7).StartAngle, 4.21875f);
}

TEST(ConductionAngles, AllZeroWithoutAUsableCrossing) {
    MeasurementRecord r = VoltageCrossingAfter(100);
    r.IWave.fill(kMax);
    const auto angles_with_u = [&r](std::size_t at, std::int32_t value) {
        MeasurementRecord copy = r;
        copy.UWave[at] = value;
        return ComputeConductionAngles(copy);
    };
    EXPECT_EQ(angles_with_u(0, 0), ConductionAngles{});
    EXPECT_EQ(angles_with_u(0, -5), ConductionAngles{});
    EXPECT_EQ(angles_with_u(1, 0), ConductionAngles{});

    // No sign change within the record, also at the extremes of the range.
    r = VoltageCrossingAfter(255);
    r.IWave.fill(kMax);
    EXPECT_EQ(ComputeConductionAngles(r), ConductionAngles{});
    r.UWave.fill(kMin);
    EXPECT_EQ(ComputeConductionAngles(r), ConductionAngles{});
    r.UWave.fill(kMax);
    EXPECT_EQ(ComputeConductionAngles(r), ConductionAngles{});
}

TEST(ConductionAngles, WalksStopBeforeSample255) {
    // Extreme voltages, and a zero sample counts as a sign change.
    MeasurementRecord r;
    r.UWave.fill(kMin);
    r.UWave[200] = kMax;
    EXPECT_EQ(ComputeConductionAngles(r), Samples(56, 56, 56));
    r.UWave[31] = 0;
    EXPECT_EQ(ComputeConductionAngles(r), Samples(225, 225, 225));

    // Never reaching 5 counts: all three at 255 - Z; sample 255 is not looked at.
    r = VoltageCrossingAfter(55);
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        r.IWave[static_cast<std::size_t>(n)] = (n % 9) - 4;  // -4 .. 4
    }
    r.IWave[255] = 1000;
    EXPECT_EQ(ComputeConductionAngles(r), Samples(200, 200, 200));
    EXPECT_EQ(ComputeConductionAngles(r).EndAngle, 281.25f);

    // Conducting to the end of the record: the end walk stops at 255 too.
    r = VoltageCrossingAfter(10);
    for (int n = 12; n < 255; ++n) {
        r.IWave[static_cast<std::size_t>(n)] = 6;
    }
    r.IWave[255] = 900;
    EXPECT_EQ(ComputeConductionAngles(r), Samples(2, 2, 245));
}

}  // namespace
}  // namespace zx840
