// The texts of the panel: its twelve readouts and the rows of the harmonic list.
#pragma once

#include <array>
#include <string>

#include "draw/number_format.h"
#include "record/measurement_record.h"
#include "record/reading_range.h"

namespace zx840 {

struct Readout {
    int id;            // the value box
    std::string text;  // as shown
    // Why a value it is made from lies outside its physical range (the
    // box is flagged); empty when none does.
    std::string outOfRange;
};

// In the order they are set: Urms, Irms, Upeak, Ipeak, Ucf, Icf, Power, PF,
// Freq, then the three angles.
std::array<Readout, 12> Readouts(const WorkingRecord& working);

struct HarmonicRow {
    std::string order;    // "2" to "50"
    std::string voltage;  // percent of the voltage fundamental, "%.1f%%"
    std::string current;  // percent of the current fundamental, "%4.1f%%"
};

inline constexpr int kHarmonicRows = kHarmonicOrders - 1;  // orders 2 to 50

// Orders 2 to 50; a cell whose fundamental is 0 (or whose percentage is not
// a finite number) shows 0.0%.
std::array<HarmonicRow, kHarmonicRows> HarmonicRows(const MeasurementRecord& record);

// The column headings of the harmonic list.
inline constexpr const char* kHarmonicHeadings[3] = {"    ORD.", "U_SPEC", "I_SPEC"};
inline constexpr int kHarmonicColumnWidth = 76;

// A value or bound of a check as the panel shows numbers: fixed decimals
// and the unit of the item (V, A, W, Hz, %, Deg); amperes for the emission
// checks, percent for harmonic and distortion limits; "-" for no number.
std::string CheckValueText(const std::string& item, double value);

}  // namespace zx840
