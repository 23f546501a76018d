// The measurement record: everything measured or computed for one test.
#pragma once

#include <array>
#include <cstdint>

namespace zx840 {

inline constexpr int kHarmonicOrders = 50;  // orders 1 to 50, element 0 is order 1
inline constexpr int kSamplesPerPeriod = 256;

// Fields in their declared order. Readings are stored as the meter reported
// them; spectra and distortion sums are in raw sample counts.
struct MeasurementRecord {
    float Freq = 0.0f;   // line frequency, Hz
    float Icf = 0.0f;    // current crest factor
    float Ucf = 0.0f;    // voltage crest factor
    float PF = 0.0f;     // power factor
    float Power = 0.0f;  // active power, W
    float Irms = 0.0f;   // RMS current, A
    float Urms = 0.0f;   // RMS voltage, V
    float Uthd = 0.0f;   // root-sum-square of USpec[1..49], counts
    float Ithd = 0.0f;   // root-sum-square of ISpec[1..49], counts
    std::array<float, kHarmonicOrders> USpec{};
    std::array<float, kHarmonicOrders> ISpec{};
    std::array<std::int32_t, kSamplesPerPeriod> UWave{};
    std::array<std::int32_t, kSamplesPerPeriod> IWave{};

    friend bool operator==(const MeasurementRecord&, const MeasurementRecord&) = default;
};

// Where the current starts to flow, peaks and stops, in degrees after the
// voltage zero crossing. Derived from the waveforms, never saved.
struct ConductionAngles {
    float StartAngle = 0.0f;
    float PeakAngle = 0.0f;
    float EndAngle = 0.0f;

    friend bool operator==(const ConductionAngles&, const ConductionAngles&) = default;
};

// The view's working copy: the record, its DataValid flag (1 while it holds
// a measurement, acquired or loaded) and the angles derived from it.
struct WorkingRecord {
    MeasurementRecord Record;
    std::uint8_t DataValid = 0;
    ConductionAngles Angles;

    friend bool operator==(const WorkingRecord&, const WorkingRecord&) = default;
};

}  // namespace zx840
