// Derived quantities and the meter's self-check, from one period of 256
// samples of each channel and the readings of the same exchange.
#include "analysis/power_quality.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string_view>

#include "record/record_json.h"

namespace zx840 {
namespace {

constexpr const char* kNames[kDerivedQuantities] = {
    "DisplacementPF", "PhaseAngle", "DistortionFactor", "IthdR",
    "UthdR",          "KFactor",    "ApparentPower",    "ReactivePower"};

using Wave = std::array<std::int32_t, kSamplesPerPeriod>;

// One order of a channel's DFT, sum of x(n) e^(-j 2 pi n k / 256), unscaled.
struct Line {
    double re = 0.0;
    double im = 0.0;
};

struct Spectrum {
    std::array<Line, kHarmonicOrders> lines;  // order k at k - 1

    double Squared(int order) const {
        const Line& l = lines[static_cast<std::size_t>(order - 1)];
        return l.re * l.re + l.im * l.im;
    }
    // Sum of the squared magnitudes of orders `from` to 50.
    double SquaresFrom(int from) const {
        double sum = 0.0;
        for (int k = from; k <= kHarmonicOrders; ++k) {
            sum += Squared(k);
        }
        return sum;
    }
};

// The phase n*k is taken modulo one period, so each angle is one of 256,
// each computed once.
Spectrum Transform(const Wave& wave) {
    static const auto kTurn = [] {
        std::array<Line, kSamplesPerPeriod> turn{};
        for (int m = 0; m < kSamplesPerPeriod; ++m) {
            const double angle = 2.0 * std::numbers::pi * m / kSamplesPerPeriod;
            turn[static_cast<std::size_t>(m)] = {std::cos(angle), -std::sin(angle)};
        }
        return turn;
    }();
    Spectrum spectrum;
    for (int k = 1; k <= kHarmonicOrders; ++k) {
        Line& line = spectrum.lines[static_cast<std::size_t>(k - 1)];
        for (int n = 0; n < kSamplesPerPeriod; ++n) {
            const Line& t = kTurn[static_cast<std::size_t>((n * k) % kSamplesPerPeriod)];
            const double x = wave[static_cast<std::size_t>(n)];
            line.re += x * t.re;
            line.im += x * t.im;
        }
    }
    return spectrum;
}

// Distortion in percent of the RMS of orders 1 to 50.
double DistortionOfRms(const Spectrum& s) {
    const double all = s.SquaresFrom(1);
    return all > 0.0 ? 100.0 * std::sqrt(s.SquaresFrom(2) / all) : std::nan("");
}

// The voltage fundamental's phase less the current's, in degrees within
// (-180, 180]: the angle of U1 times the conjugate of I1.
double PhaseAngleOf(const Spectrum& u, const Spectrum& i) {
    const Line& a = u.lines[0];
    const Line& b = i.lines[0];
    if (u.Squared(1) == 0.0 || i.Squared(1) == 0.0) {
        return std::nan("");
    }
    const double degrees =
        std::atan2(a.im * b.re - a.re * b.im, a.re * b.re + a.im * b.im) * 180.0 / std::numbers::pi;
    return degrees == -180.0 ? 180.0 : degrees;
}

double KFactorOf(const Spectrum& s) {
    double weighted = 0.0;
    for (int k = 1; k <= kHarmonicOrders; ++k) {
        weighted += static_cast<double>(k) * k * s.Squared(k);
    }
    const double all = s.SquaresFrom(1);
    return all > 0.0 ? weighted / all : std::nan("");
}

struct ChannelFigures {
    double sumSquares = 0.0;
    double peak = 0.0;
    double Rms() const { return std::sqrt(sumSquares / kSamplesPerPeriod); }
};

ChannelFigures FiguresOf(const Wave& wave) {
    ChannelFigures figures;
    for (const std::int32_t sample : wave) {
        const double x = sample;
        figures.sumSquares += x * x;
        figures.peak = std::max(figures.peak, std::abs(x));
    }
    return figures;
}

ReadingAgreement CrestAgreement(const char* reading, float meter, const ChannelFigures& channel) {
    ReadingAgreement a{reading, meter, std::nan(""), 0.0, kCrestTolerancePercent, false, true};
    if (channel.Rms() < kLeastJudgedRmsCounts) {
        return a;
    }
    a.judged = true;
    a.samples = channel.peak / channel.Rms();
    a.difference = std::abs(static_cast<double>(meter) - a.samples) / a.samples * 100.0;
    // A reading that is not a number agrees with nothing.
    a.agrees = a.difference <= a.tolerance;
    return a;
}

}  // namespace

const char* DerivedQuantityName(DerivedQuantity quantity) {
    return kNames[static_cast<std::size_t>(quantity)];
}

bool operator==(const DerivedQuantities& a, const DerivedQuantities& b) {
    for (std::size_t q = 0; q < kDerivedQuantities; ++q) {
        const double x = a.values[q];
        const double y = b.values[q];
        if (!(x == y || (std::isnan(x) && std::isnan(y)))) {
            return false;
        }
    }
    return true;
}

DerivedQuantities ComputeDerived(const MeasurementRecord& record) {
    const Spectrum u = Transform(record.UWave);
    const Spectrum i = Transform(record.IWave);
    const double phase = PhaseAngleOf(u, i);
    const double iAll = i.SquaresFrom(1);
    const double apparent = static_cast<double>(record.Urms) * static_cast<double>(record.Irms);
    const double power = record.Power;
    const double reactive = std::sqrt(std::max(0.0, apparent * apparent - power * power));

    DerivedQuantities d;
    const auto set = [&d](DerivedQuantity q, double value) {
        d.values[static_cast<std::size_t>(q)] = value;
    };
    set(DerivedQuantity::PhaseAngle, phase);
    set(DerivedQuantity::DisplacementPF, std::cos(phase * std::numbers::pi / 180.0));
    set(DerivedQuantity::DistortionFactor,
        iAll > 0.0 ? std::sqrt(i.Squared(1) / iAll) : std::nan(""));
    set(DerivedQuantity::IthdR, DistortionOfRms(i));
    set(DerivedQuantity::UthdR, DistortionOfRms(u));
    set(DerivedQuantity::KFactor, KFactorOf(i));
    set(DerivedQuantity::ApparentPower, apparent);
    // Without a phase angle the sign is unknown, unless there is nothing to sign.
    set(DerivedQuantity::ReactivePower,
        reactive == 0.0 ? 0.0 : (std::isnan(phase) ? phase : std::copysign(reactive, phase)));
    return d;
}

std::array<ReadingAgreement, 3> CheckMeter(const MeasurementRecord& record) {
    const ChannelFigures u = FiguresOf(record.UWave);
    const ChannelFigures i = FiguresOf(record.IWave);
    ReadingAgreement pf{"PF", record.PF, std::nan(""), 0.0, kPfTolerance, false, true};
    if (u.Rms() >= kLeastJudgedRmsCounts && i.Rms() >= kLeastJudgedRmsCounts) {
        double product = 0.0;
        for (std::size_t n = 0; n < record.UWave.size(); ++n) {
            product += static_cast<double>(record.UWave[n]) * record.IWave[n];
        }
        pf.judged = true;
        pf.samples = product / std::sqrt(u.sumSquares * i.sumSquares);
        pf.difference = std::abs(static_cast<double>(record.PF) - pf.samples);
        pf.agrees = pf.difference <= pf.tolerance;
    }
    return {pf, CrestAgreement("Icf", record.Icf, i), CrestAgreement("Ucf", record.Ucf, u)};
}

std::vector<ReadingAgreement> Disagreements(const MeasurementRecord& record) {
    std::vector<ReadingAgreement> out;
    for (const ReadingAgreement& a : CheckMeter(record)) {
        if (!a.agrees) {
            out.push_back(a);
        }
    }
    return out;
}

std::string DisagreementText(const std::vector<ReadingAgreement>& disagreements) {
    std::string text;
    const auto number = [](double value) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.4g", value);
        return std::string(buffer);
    };
    for (const ReadingAgreement& a : disagreements) {
        const bool pf = std::string_view(a.reading) == "PF";
        text += text.empty() ? "" : "; ";
        text += a.reading;
        text += ' ';
        text += number(a.meter) + " (samples " + number(a.samples) + ", tolerance ";
        text += pf ? number(a.tolerance) : number(a.tolerance) + " %";
        text += ')';
    }
    return text;
}

void WriteDerivedMembers(JsonWriter& json, const MeasurementRecord& record) {
    const DerivedQuantities derived = ComputeDerived(record);
    for (std::size_t q = 0; q < kDerivedQuantities; ++q) {
        json.Key(kNames[q]).Double(derived.values[q]);
    }
    const std::vector<ReadingAgreement> disagreements = Disagreements(record);
    if (disagreements.empty()) {
        return;
    }
    json.Key("Consistency").BeginObject();
    for (const ReadingAgreement& a : disagreements) {
        json.Key(a.reading).BeginObject().Key("Meter").Float(static_cast<float>(a.meter));
        json.Key("Samples").Double(a.samples).Key("Difference").Double(a.difference);
        json.Key("Tolerance").Double(a.tolerance).EndObject();
    }
    json.EndObject();
}

}  // namespace zx840
