// Loads the meter simulator can stand for: the readings and one period of
// voltage and current samples that a real meter would report for them.
#pragma once

#include <vector>

#include "record/measurement_record.h"

namespace zx840 {

enum class LoadKind {
    Resistive,  // current in phase with the voltage, same shape
    Rectifier,  // bridge rectifier with smoothing capacitor: current pulses near the peaks
    Dimmer,     // phase-cut (leading edge) dimmer on a resistive load
};

struct VoltageHarmonic {
    int order = 3;          // 2 to 50
    double percent = 0.0;   // amplitude in percent of the fundamental
    double phaseDeg = 0.0;  // phase relative to the fundamental
};

struct LoadSettings {
    LoadKind kind = LoadKind::Resistive;
    double mainsRms = 230.0;     // RMS of the fundamental of the voltage, volts
    double frequency = 50.0;     // Hz, reported as the frequency reading
    double loadAmps = 1.0;       // RMS current the load would draw as a resistor, amperes
    double firingAngleDeg = 90;  // dimmer: delay after each voltage zero crossing
    std::vector<VoltageHarmonic> voltageHarmonics;  // added to the mains voltage
};

// Readings (Urms, Irms, PF, Freq, Power, Ucf, Icf) and the samples UWave and
// IWave for the load; spectra and distortion sums stay 0, as the meter sends
// none. Samples stay within -16384..16383: each channel switches range in
// factors of 2 so that its peak stays below 16000 counts (230 V mains peaks
// at 12000). Sample 96 lies just before the falling zero crossing of the
// voltage. Settings out of range are clamped; readings are always finite.
MeasurementRecord SimulateMeasurement(const LoadSettings& settings);

// Another load on the same line, for a meter that sends the waveforms of one
// load with the readings of another: a resistor for a rectifier or a dimmer,
// a rectifier for a resistor, on flat-topped mains (a third harmonic of 20
// percent in opposition), so that PF, Icf and Ucf all differ.
LoadSettings OtherLoad(const LoadSettings& settings);
// The readings of `settings` with the samples of OtherLoad(settings).
MeasurementRecord MismatchedMeasurement(const LoadSettings& settings);

}  // namespace zx840
