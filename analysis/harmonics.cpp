// Harmonic spectra of one period of 256 samples, orders 1 to 50.
//
// The direct evaluation computes a cosine and a sine for every (n, k) pair.
// The table path precomputes those same values once and feeds one sample into
// all 50 orders at a time. It gives identical bits: the same cosines and sines,
// the same additions in the same order for each order, and the factor 1/256
// moved to the end where that provably changes no bit (see AccumulateRow).
#include "analysis/harmonics.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace zx840 {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kInvSamples = 0.00390625;  // 1/256, an exact power of two
constexpr double kZeroBand = 1e-12;

using Wave = std::array<std::int32_t, kSamplesPerPeriod>;
using Spectrum = std::array<float, kHarmonicOrders>;

// Values strictly inside (-1e-12, 1e-12) become exactly 0, so that the
// rounding noise of cos(pi/2) and the like contributes nothing to the sums.
double ClampNearZero(double v) {
    return (v > -kZeroBand && v < kZeroBand) ? 0.0 : v;
}

struct CosSin {
    double c;
    double s;
};

// The phase of sample n at order k depends on the product n*k only. Both the
// direct evaluation and the table go through this one function, so they use
// the same expression and the same library calls.
CosSin PhaseTerms(int product) {
    const double angle = static_cast<double>(product) * kTwoPi * kInvSamples;
    return {ClampNearZero(std::cos(angle)), ClampNearZero(std::sin(angle))};
}

float Magnitude(double re, double im) {
    return static_cast<float>(std::sqrt(re * re + im * im));
}

// Root-sum-square of orders 2 to 50 in increasing order. The running sum is
// held in single precision; each square is added to it in double precision
// (the square of a float is exact there) and only the sum is rounded to
// single precision, once per addition.
float Distortion(const Spectrum& spectrum) {
    float sum = 0.0f;
    for (int k = 2; k <= kHarmonicOrders; ++k) {
        const double m = spectrum[static_cast<std::size_t>(k - 1)];
        sum = static_cast<float>(static_cast<double>(sum) + m * m);
    }
    return static_cast<float>(std::sqrt(static_cast<double>(sum)));
}

void DirectChannel(const Wave& wave, Spectrum& spectrum, float& distortion) {
    for (int k = 1; k <= kHarmonicOrders; ++k) {
        double re = 0.0;
        double im = 0.0;
        for (int n = 0; n < kSamplesPerPeriod; ++n) {
            const CosSin t = PhaseTerms(n * k);
            const double x = static_cast<double>(wave[static_cast<std::size_t>(n)]);
            re = re + (x * t.c) * kInvSamples;
            im = im + (x * t.s) * kInvSamples;
        }
        spectrum[static_cast<std::size_t>(k - 1)] = Magnitude(re, im);
    }
    distortion = Distortion(spectrum);
}

// Unscaled sums of x(n)*cos and x(n)*sin for the 50 orders of both channels.
struct Accumulators {
    alignas(64) double ure[kHarmonicOrders];
    alignas(64) double uim[kHarmonicOrders];
    alignas(64) double ire[kHarmonicOrders];
    alignas(64) double iim[kHarmonicOrders];
};

// One sample of each channel into all 50 orders. Every accumulator is its
// own sum over n, so vectorising across the orders changes no rounding.
//
// The factor 1/256 is left out here and applied once to the final sums. That
// gives the same bits as scaling every term: multiplying by a power of two
// is exact and commutes with rounding unless a value leaves the normal
// range. No value does: a nonzero term x*c has |x| >= 1 and |c| >= 1e-12, so
// every term and every partial sum is a multiple of 2^-92 (far above the
// subnormal range even after the scaling), and |sum| <= 256 * 2^31 cannot
// overflow.
void AccumulateRow(Accumulators& acc, const double* __restrict c, const double* __restrict s,
                   double xu, double xi) {
    for (int k = 0; k < kHarmonicOrders; ++k) {
        acc.ure[k] = acc.ure[k] + xu * c[k];
        acc.uim[k] = acc.uim[k] + xu * s[k];
        acc.ire[k] = acc.ire[k] + xi * c[k];
        acc.iim[k] = acc.iim[k] + xi * s[k];
    }
}

void FinishChannel(const double* re, const double* im, Spectrum& spectrum, float& distortion) {
    for (int k = 0; k < kHarmonicOrders; ++k) {
        spectrum[static_cast<std::size_t>(k)] = Magnitude(re[k] * kInvSamples, im[k] * kInvSamples);
    }
    distortion = Distortion(spectrum);
}

// Both channels share one pass over the table, which halves its memory
// traffic; the channels are independent, so the order between them does not
// matter to the results. Also built for AVX2, chosen at load time where the
// processor has it: wider vectors, the same multiplies and adds in the same
// order (AVX2 brings no fused multiply-add, and contraction is off anyway).
[[gnu::target_clones("avx2", "default")]] void Accumulate(const HarmonicTable& table,
                                                          const MeasurementRecord& record,
                                                          Accumulators& acc) {
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        const std::size_t at = static_cast<std::size_t>(n);
        AccumulateRow(acc, table.Cos(n), table.Sin(n), static_cast<double>(record.UWave[at]),
                      static_cast<double>(record.IWave[at]));
    }
}

}  // namespace

void ComputeHarmonicsDirect(MeasurementRecord& record) {
    DirectChannel(record.UWave, record.USpec, record.Uthd);
    DirectChannel(record.IWave, record.ISpec, record.Ithd);
}

HarmonicTable::HarmonicTable()
    : cos_(static_cast<std::size_t>(kSamplesPerPeriod) * kHarmonicOrders),
      sin_(static_cast<std::size_t>(kSamplesPerPeriod) * kHarmonicOrders) {
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        for (int k = 1; k <= kHarmonicOrders; ++k) {
            const CosSin t = PhaseTerms(n * k);
            const std::size_t at =
                static_cast<std::size_t>(n) * kHarmonicOrders + static_cast<std::size_t>(k - 1);
            cos_[at] = t.c;
            sin_[at] = t.s;
        }
    }
}

void ComputeHarmonics(const HarmonicTable& table, MeasurementRecord& record) {
    Accumulators acc{};
    Accumulate(table, record, acc);
    FinishChannel(acc.ure, acc.uim, record.USpec, record.Uthd);
    FinishChannel(acc.ire, acc.iim, record.ISpec, record.Ithd);
}

}  // namespace zx840
