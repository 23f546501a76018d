#include "tools/cli_text.h"

#include <charconv>
#include <cmath>

#include "analysis/power_quality.h"
#include "draw/number_format.h"
#include "record/derived_values.h"
#include "record/record_json.h"

namespace zx840 {

std::string Counted(std::size_t count, const char* singular, const char* plural) {
    std::string text = std::to_string(count);
    text += ' ';
    text += count == 1 ? singular : plural;
    return text;
}

void PrintText(std::ostream& out, const WorkingRecord& working) {
    // FormatFixed, not printf: the decimal mark is "." whatever the locale.
    const MeasurementRecord& r = working.Record;
    const auto fixed = [](double value, int decimals, int width = 0) {
        return FormatFixed(value, decimals, width);
    };
    const double upeak = Upeak(r);
    const double ipeak = Ipeak(r);
    const double percentU = PercentOfFundamental(r.Uthd, r.USpec[0]);
    const double percentI = PercentOfFundamental(r.Ithd, r.ISpec[0]);
    out << "Voltage      " << fixed(r.Urms, 2, 10) << " V     peak " << fixed(upeak, 2)
        << " V   crest factor " << fixed(r.Ucf, 3) << "\n"
        << "Current      " << fixed(r.Irms, 4, 10) << " A     peak " << fixed(ipeak, 4)
        << " A   crest factor " << fixed(r.Icf, 3) << "\n"
        << "Power        " << fixed(r.Power, 2, 10) << " W\n"
        << "Power factor " << fixed(r.PF, 4, 10) << "\n"
        << "Frequency    " << fixed(r.Freq, 2, 10) << " Hz\n"
        << "Distortion   voltage " << fixed(percentU, 2) << " %   current " << fixed(percentI, 2)
        << " %\n"
        << "Conduction   start " << fixed(working.Angles.StartAngle, 2) << "   peak "
        << fixed(working.Angles.PeakAngle, 2) << "   end " << fixed(working.Angles.EndAngle, 2)
        << " degrees\n";
    if (working.DataValid == 1) {
        if (const auto disagreements = Disagreements(r); !disagreements.empty()) {
            out << "Meter check  the readings disagree with the samples: "
                << DisagreementText(disagreements) << "\n";
        }
    }
}

void PrintVerdictText(std::ostream& out, const Verdict& verdict) {
    out << verdict.Line() << "   plan " << verdict.plan << "\n";
    if (!verdict.preCompliance.empty()) {
        out << "             " << verdict.preCompliance << "\n";
    }
    const auto number = [](double value) {
        return std::isfinite(value) ? ShortestDouble(value) : std::string("not a number");
    };
    for (const Check& check : verdict.checks) {
        if (check.pass) {
            continue;
        }
        out << "  FAIL " << check.item << " = " << number(check.value);
        if (check.min) {
            out << "   min " << number(*check.min);
        }
        if (check.max) {
            out << "   max " << number(*check.max);
        }
        if (!check.note.empty()) {
            out << "   (" << check.note << ")";
        }
        out << "\n";
    }
}

namespace {

// Six significant digits, locale-free.
std::string Rounded(double value) {
    char buffer[32];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return ec == std::errc{} ? std::string(buffer, end) : std::string();
}

void PrintReadingLine(std::ostream& out, PlanReading reading, const RunningStats& stats) {
    out << "zx840-cli:   " << PlanReadingName(reading);
    if (const std::string unit = TrendReadingUnit(reading); !unit.empty()) {
        out << " (" << unit << ")";
    }
    if (stats.count == 0) {
        out << ": no value\n";
        return;
    }
    out << ": min " << Rounded(stats.min) << ", mean " << Rounded(stats.mean) << ", max "
        << Rounded(stats.max);
    if (const auto sigma = stats.Sigma()) {
        out << ", sigma " << Rounded(*sigma);
    }
    out << "\n";
}

}  // namespace

void PrintRunSummary(std::ostream& out, const RunSummary& summary, bool interrupted) {
    if (summary.good > 0) {
        out << "zx840-cli: run of " << DurationText(summary.seconds) << ", energy "
            << Rounded(summary.energyWh) << " Wh";
        if (summary.firstFailSeconds) {
            out << ", first FAIL after " << DurationText(*summary.firstFailSeconds)
                << " (good acquisition " << summary.firstFailNumber << ")";
        } else if (summary.judged) {
            out << ", no FAIL";
        }
        out << "\n";
        for (const PlanReading reading : kDefaultTrendReadings) {
            PrintReadingLine(out, reading, summary.Of(reading));
        }
    }
    out << "zx840-cli: "
        << Counted(static_cast<std::size_t>(summary.acquisitions), "acquisition", "acquisitions")
        << ", " << summary.good << " good, " << summary.failed << " failed";
    if (summary.judged) {
        out << ", " << summary.passed << " PASS, " << summary.judgedFail << " FAIL";
    }
    out << (interrupted ? ", interrupted" : "") << "\n";
}

}  // namespace zx840
