// What a bench analyzer shows beside the meter's seven readings, from the
// same exchange: the displacement factor and phase angle of the
// fundamentals, distortion referred to the fundamental and to the RMS, the
// K-factor, apparent and reactive power. And the meter checked against its
// own samples: the power factor and both crest factors recomputed from the
// waveforms, which do not depend on the samples' scale.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "record/measurement_record.h"

namespace zx840 {

class JsonWriter;

// In the order of their JSON members, CSV columns and checks.
enum class DerivedQuantity {
    DisplacementPF,    // cos(PhaseAngle)
    PhaseAngle,        // degrees, voltage fundamental minus current fundamental: + lags
    DistortionFactor,  // I1 / I, i.e. 1 / sqrt(1 + (Ithd/100)^2)
    IthdR,             // percent of the RMS of orders 1 to 50
    UthdR,
    KFactor,        // sum n^2 In^2 / sum In^2, orders 1 to 50
    ApparentPower,  // Urms * Irms, VA
    ReactivePower,  // sqrt(S^2 - P^2) with the sign of PhaseAngle, var
};
inline constexpr std::size_t kDerivedQuantities = 8;

// The quantity's key: JSON member, CSV column, plan key and check item.
const char* DerivedQuantityName(DerivedQuantity quantity);

struct DerivedQuantities {
    // NaN where a quantity does not exist (no fundamental, no current).
    std::array<double, kDerivedQuantities> values{};

    double operator[](DerivedQuantity quantity) const {
        return values[static_cast<std::size_t>(quantity)];
    }
    // NaN equals NaN here: two results with the same values are the same.
    friend bool operator==(const DerivedQuantities& a, const DerivedQuantities& b);
};

// The quantities of `record`. Everything spectral comes from one DFT of the
// samples in double precision (orders 1 to 50, the period being exactly 256
// samples), not from the stored spectra and distortion sums: the meter
// sends no distortion, the stored sums are rounded to single precision
// after every addition, and a test file's spectra may have been written by
// anything. So IthdR equals Ithd/sqrt(1+Ithd^2) of the samples' own
// distortion, and every quantity agrees with the others to the last bit.
// ApparentPower and ReactivePower take Urms, Irms and Power as read.
DerivedQuantities ComputeDerived(const MeasurementRecord& record);

// The meter checked against its samples.
//
// PF from the samples is mean(u*i) / (rms(u) * rms(i)), a crest factor
// peak / RMS: ratios in which the scale of the samples cancels. The meter
// and its samples disagree when the PF differs by more than 0.03, or a crest
// factor by more than 5 percent of the samples' value. 0.03 is what one
// sample (1.4 degrees) of skew between the channels can move the PF of any
// sinusoidal load (sin(phi) * 2 pi / 256 <= 0.0245), so a meter whose channels
// are sampled one after the other is not flagged; a crest factor from 256
// points per period misses the peak of a pulse as narrow as a rectifier's by
// a percent or two, and 5 percent leaves room for a peak the meter's own,
// faster detector sees between two samples. A reading from another load, or
// a waveform from another exchange, misses both by far.
inline constexpr double kPfTolerance = 0.03;
inline constexpr double kCrestTolerancePercent = 5.0;
// A channel whose samples have an RMS below this many counts is not judged:
// whole counts alone could then move its crest factor by more than the
// tolerance allows.
inline constexpr double kLeastJudgedRmsCounts = 50.0;

struct ReadingAgreement {
    const char* reading = "";  // "PF", "Icf", "Ucf"
    double meter = 0.0;
    double samples = 0.0;     // NaN when not judged
    double difference = 0.0;  // PF: |meter - samples|; crest: percent of samples
    double tolerance = 0.0;   // in the units of `difference`
    bool judged = false;      // both channels (PF) or the channel large enough
    bool agrees = true;       // judged and within the tolerance, or not judged
};

// PF, Icf and Ucf, in this order.
std::array<ReadingAgreement, 3> CheckMeter(const MeasurementRecord& record);
// Those of CheckMeter that disagree.
std::vector<ReadingAgreement> Disagreements(const MeasurementRecord& record);

// "PF 0.998 (samples 0.6712, tolerance 0.03); Icf 1.414 (samples 2.61,
// tolerance 5 %)": the figures of each disagreement; empty when none.
std::string DisagreementText(const std::vector<ReadingAgreement>& disagreements);

// The members a measurement's JSON has beyond the record's: each derived
// quantity (null where there is none), then "Consistency" only when the
// meter and its samples disagree: {"PF":{"Meter":m,"Samples":s,
// "Difference":d,"Tolerance":t}, ...}.
void WriteDerivedMembers(JsonWriter& json, const MeasurementRecord& record);

}  // namespace zx840
