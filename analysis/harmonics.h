// Harmonic spectra (orders 1 to 50) and distortion sums of the two waveforms.
#pragma once

#include <vector>

#include "record/measurement_record.h"

namespace zx840 {

// The direct evaluation: for each order k and sample n its own cosine and
// sine of (n*k) * 2pi * (1/256), values within 1e-12 of zero taken as zero,
// sums scaled by 1/256 in double precision, magnitudes rounded to single
// precision, distortion summed over orders 2 to 50 with the sum rounded to
// single precision after every addition.
// Sets USpec, ISpec, Uthd and Ithd from UWave and IWave.
void ComputeHarmonicsDirect(MeasurementRecord& record);

// The cosines and sines of every product n*k the evaluation needs, computed
// once by the same expression as the direct evaluation, so the fast path
// gives the same bits.
class HarmonicTable {
  public:
    HarmonicTable();

    // Laid out [n][k-1] so that one sample feeds all 50 orders at once.
    const double* Cos(int n) const { return &cos_[static_cast<std::size_t>(n) * kHarmonicOrders]; }
    const double* Sin(int n) const { return &sin_[static_cast<std::size_t>(n) * kHarmonicOrders]; }

  private:
    std::vector<double> cos_;
    std::vector<double> sin_;
};

// Same results as ComputeHarmonicsDirect, bit for bit, from the table.
void ComputeHarmonics(const HarmonicTable& table, MeasurementRecord& record);

}  // namespace zx840
