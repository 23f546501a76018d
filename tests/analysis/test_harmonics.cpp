#include "analysis/harmonics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace zx840 {
namespace {

using Wave = std::array<std::int32_t, kSamplesPerPeriod>;

constexpr double kPi = 3.14159265358979323846;
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// sum of amplitude * sin(2 pi order n / 256), rounded to whole counts.
Wave Sines(std::initializer_list<std::pair<int, double>> parts) {
    Wave w{};
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        double v = 0.0;
        for (const auto& [order, amplitude] : parts) {
            v += amplitude * std::sin(2.0 * kPi * order * n / kSamplesPerPeriod);
        }
        w[static_cast<std::size_t>(n)] = static_cast<std::int32_t>(std::lround(v));
    }
    return w;
}

MeasurementRecord Analysed(const Wave& u, const Wave& i) {
    MeasurementRecord r;
    r.UWave = u;
    r.IWave = i;
    ComputeHarmonicsDirect(r);
    return r;
}

// The magnitudes of an exact DFT with phases reduced modulo one period, in
// long double: an independent reference for the direct evaluation.
std::array<double, kHarmonicOrders> ReferenceSpectrum(const Wave& w) {
    std::array<double, kHarmonicOrders> out{};
    for (int k = 1; k <= kHarmonicOrders; ++k) {
        long double re = 0.0L;
        long double im = 0.0L;
        for (int n = 0; n < kSamplesPerPeriod; ++n) {
            const long double phase = 2.0L * 3.14159265358979323846264338L * ((n * k) % 256) / 256;
            re += w[static_cast<std::size_t>(n)] * std::cos(phase);
            im += w[static_cast<std::size_t>(n)] * std::sin(phase);
        }
        out[static_cast<std::size_t>(k - 1)] = static_cast<double>(std::hypot(re, im) / 256);
    }
    return out;
}

TEST(HarmonicsDirect, AllZeroChannelGivesZeroSpectrumAndDistortion) {
    const MeasurementRecord r = Analysed(Wave{}, Sines({{1, 1000.0}}));
    for (float m : r.USpec) {
        EXPECT_EQ(m, 0.0f);
    }
    EXPECT_EQ(r.Uthd, 0.0f);
    // The other channel is processed on its own.
    EXPECT_NEAR(r.ISpec[0], 500.0f, 0.05f);
}

TEST(HarmonicsDirect, FundamentalWithThirdHarmonic) {
    const MeasurementRecord r = Analysed(Sines({{1, 1000.0}, {3, 100.0}}), Wave{});
    EXPECT_NEAR(r.USpec[0], 500.05, 0.01);
    EXPECT_NEAR(r.USpec[2], 50.01, 0.01);
    for (int k = 0; k < kHarmonicOrders; ++k) {
        if (k != 0 && k != 2) {
            EXPECT_LT(r.USpec[static_cast<std::size_t>(k)], 0.06f) << "order " << k + 1;
        }
    }
    EXPECT_NEAR(r.Uthd, 50.01, 0.01);
    EXPECT_NEAR(100.0 * r.Uthd / r.USpec[0], 10.0, 0.005);
    EXPECT_EQ(r.ISpec, (std::array<float, kHarmonicOrders>{}));
}

TEST(HarmonicsDirect, SquareWave) {
    Wave w{};
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        w[static_cast<std::size_t>(n)] = n < 128 ? 1000 : -1000;
    }
    const MeasurementRecord r = Analysed(Wave{}, w);
    EXPECT_NEAR(r.ISpec[0], 636.6, 0.05);
    EXPECT_NEAR(r.ISpec[2], 212.3, 0.05);
    for (int k = 1; k < kHarmonicOrders; k += 2) {
        EXPECT_LT(r.ISpec[static_cast<std::size_t>(k)], 0.001f) << "order " << k + 1;
    }
    EXPECT_NEAR(100.0 * r.Ithd / r.ISpec[0], 47.4, 0.05);
}

TEST(HarmonicsDirect, DistortionCoversOrdersTwoToFifty) {
    // Order 1 alone adds nothing; order 50 alone is the whole sum.
    const MeasurementRecord r = Analysed(Sines({{1, 2000.0}}), Sines({{50, 2000.0}}));
    EXPECT_NEAR(r.USpec[0], 1000.0, 0.1);
    EXPECT_LT(r.Uthd, 0.1f);
    EXPECT_NEAR(r.ISpec[49], 1000.0, 0.1);
    EXPECT_NEAR(r.Ithd, r.ISpec[49], 0.01);
}

TEST(HarmonicsDirect, AgreesWithExactReferenceAndIsRotationInvariant) {
    std::mt19937 gen(20240601);
    std::uniform_int_distribution<std::int32_t> noise(-300, 300);
    Wave w = Sines({{1, 15000.0}, {3, 2000.0}, {7, 800.0}, {23, 90.0}});
    for (auto& x : w) {
        x += noise(gen);
    }
    const auto reference = ReferenceSpectrum(w);
    const MeasurementRecord base = Analysed(w, w);
    for (std::size_t k = 0; k < kHarmonicOrders; ++k) {
        EXPECT_NEAR(base.USpec[k], reference[k], 1e-6 * reference[0]) << "order " << k + 1;
        EXPECT_EQ(base.USpec[k], base.ISpec[k]);
    }
    for (int shift : {1, 37, 128, 255}) {
        Wave rotated = w;
        std::rotate(rotated.begin(), rotated.begin() + shift, rotated.end());
        const MeasurementRecord r = Analysed(rotated, Wave{});
        for (std::size_t k = 0; k < kHarmonicOrders; ++k) {
            EXPECT_NEAR(r.USpec[k], base.USpec[k], 1e-6 * base.USpec[0])
                << "shift " << shift << " order " << k + 1;
        }
        EXPECT_NEAR(r.Uthd, base.Uthd, 1e-6 * base.USpec[0]) << "shift " << shift;
    }
}

// A spike at sample 0 makes every magnitude exactly x(0) / 256, so the
// distortion is determined by the accumulation alone: each square is added
// in double precision and the running sum rounded to single precision after
// every addition. Rounding each square to single precision first gives a
// different last bit for both of these channels.
TEST(HarmonicsDirect, DistortionRoundsTheSumNotTheSquares) {
    Wave u{};
    Wave i{};
    u[0] = 4099 * 256;
    i[0] = -4105 * 256;
    MeasurementRecord r = Analysed(u, i);
    for (std::size_t k = 0; k < kHarmonicOrders; ++k) {
        ASSERT_EQ(r.USpec[k], 4099.0f) << "order " << k + 1;
        ASSERT_EQ(r.ISpec[k], 4105.0f) << "order " << k + 1;
    }
    const auto bits = [](float f) { return std::bit_cast<std::uint32_t>(f); };
    EXPECT_EQ(bits(r.Uthd), 0x46e029feu) << r.Uthd;  // not 0x46e029fd
    EXPECT_EQ(bits(r.Ithd), 0x46e07dffu) << r.Ithd;  // not 0x46e07dfb
    const HarmonicTable table;
    MeasurementRecord fast;
    fast.UWave = u;
    fast.IWave = i;
    ComputeHarmonics(table, fast);
    EXPECT_EQ(bits(fast.Uthd), 0x46e029feu);
    EXPECT_EQ(bits(fast.Ithd), 0x46e07dffu);
}

// Compares every output of the two paths bit for bit; names the first
// difference.
::testing::AssertionResult SameBits(const MeasurementRecord& a, const MeasurementRecord& b) {
    const auto bits = [](float f) { return std::bit_cast<std::uint32_t>(f); };
    for (std::size_t k = 0; k < kHarmonicOrders; ++k) {
        if (bits(a.USpec[k]) != bits(b.USpec[k]) || bits(a.ISpec[k]) != bits(b.ISpec[k])) {
            return ::testing::AssertionFailure()
                   << "order " << k + 1 << ": U " << a.USpec[k] << " vs " << b.USpec[k] << ", I "
                   << a.ISpec[k] << " vs " << b.ISpec[k];
        }
    }
    if (bits(a.Uthd) != bits(b.Uthd) || bits(a.Ithd) != bits(b.Ithd)) {
        return ::testing::AssertionFailure() << "distortion differs";
    }
    if (!(a == b)) {
        return ::testing::AssertionFailure() << "a field outside the analysis output differs";
    }
    return ::testing::AssertionSuccess();
}

// Runs both paths on the same waveforms, starting from different stale
// outputs, so a path that leaves an element unwritten is caught too.
::testing::AssertionResult TableMatchesDirect(const HarmonicTable& table, const Wave& u,
                                              const Wave& i) {
    MeasurementRecord direct;
    direct.UWave = u;
    direct.IWave = i;
    direct.Freq = 50.0f;
    MeasurementRecord fast = direct;
    direct.USpec.fill(-1.0f);
    direct.Ithd = -1.0f;
    fast.ISpec.fill(7.0f);
    fast.Uthd = 7.0f;
    ComputeHarmonicsDirect(direct);
    ComputeHarmonics(table, fast);
    return SameBits(direct, fast);
}

TEST(HarmonicTable, BitIdenticalToDirectOnExtremeWaveforms) {
    const HarmonicTable table;
    Wave zeros{};
    Wave maxes;
    maxes.fill(kMax);
    Wave mins;
    mins.fill(kMin);
    Wave alternating;
    Wave meter_range;
    Wave ramp;
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        const auto at = static_cast<std::size_t>(n);
        alternating[at] = n % 2 == 0 ? kMax : kMin;
        meter_range[at] = n < 128 ? 49151 : -49152;
        ramp[at] = -49152 + n * 384;
    }
    const Wave pairs[][2] = {
        {zeros, zeros},
        {maxes, mins},
        {mins, maxes},
        {alternating, maxes},
        {meter_range, ramp},
        {ramp, alternating},
        {Sines({{50, 49151.0}}), Sines({{25, 1.0}})},
    };
    for (const auto& p : pairs) {
        EXPECT_TRUE(TableMatchesDirect(table, p[0], p[1]));
    }
    // Single spikes of either extreme at a handful of positions.
    for (int pos : {0, 1, 63, 64, 128, 191, 255}) {
        Wave spike_max{};
        Wave spike_min{};
        spike_max[static_cast<std::size_t>(pos)] = kMax;
        spike_min[static_cast<std::size_t>(pos)] = kMin;
        EXPECT_TRUE(TableMatchesDirect(table, spike_max, spike_min)) << "position " << pos;
    }
}

TEST(HarmonicTable, BitIdenticalToDirectOnRandomWaveforms) {
    const HarmonicTable table;
    std::mt19937 gen(840);
    std::uniform_int_distribution<std::int32_t> full(kMin, kMax);
    std::uniform_int_distribution<std::int32_t> symmetric(-kMax, kMax);
    std::uniform_int_distribution<std::int32_t> meter(-49152, 49151);
    std::uniform_int_distribution<std::int32_t> small(-6, 6);
    std::uniform_real_distribution<double> amplitude(0.0, 16000.0);
    std::uniform_int_distribution<int> order(1, 60);
    const auto fill = [&gen](auto& dist) {
        Wave w;
        for (auto& x : w) {
            x = dist(gen);
        }
        return w;
    };
    for (int round = 0; round < 100; ++round) {
        EXPECT_TRUE(TableMatchesDirect(table, fill(full), fill(meter))) << "round " << round;
        EXPECT_TRUE(TableMatchesDirect(table, fill(small), fill(full))) << "round " << round;
        Wave u = Sines({{1, amplitude(gen)}, {order(gen), amplitude(gen) / 10}});
        Wave i = Sines({{order(gen), amplitude(gen)}, {order(gen), amplitude(gen) / 100}});
        for (std::size_t n = 0; n < u.size(); ++n) {
            u[n] += small(gen);
            i[n] += small(gen);
        }
        EXPECT_TRUE(TableMatchesDirect(table, u, i)) << "round " << round;
        // Symmetries that cancel whole sums exactly leave only rounding noise
        // in those orders, so it shows any change in order or clamping.
        Wave half_wave = fill(round % 2 == 0 ? symmetric : meter);
        Wave mirrored = fill(round % 2 == 0 ? meter : full);
        for (std::size_t n = 0; n < 128; ++n) {
            half_wave[n + 128] = -half_wave[n];
            mirrored[(256 - n) % 256] = mirrored[n];
        }
        EXPECT_TRUE(TableMatchesDirect(table, half_wave, mirrored)) << "round " << round;
    }
}

}  // namespace
}  // namespace zx840
