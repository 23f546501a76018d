// The Type and Result pages.
#include <cmath>

#include "draw/number_format.h"
#include "record/record_json.h"
#include "store/result.h"
#include "view/panel_text.h"
#include "web/web_html.h"

namespace zx840 {
namespace {

std::string Td(std::string_view text, const char* cls = nullptr) {
    std::string out = cls != nullptr ? std::string("<td class=\"") + cls + "\">" : "<td>";
    out += HtmlEscape(text);
    out += "</td>";
    return out;
}

std::string JsonNumbers(const std::vector<double>& values) {
    std::string out;
    JsonWriter json(out);
    json.BeginArray();
    for (const double v : values) {
        json.Double(v);
    }
    json.EndArray();
    return out;
}

std::string DataAttr(std::string_view name, const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) {
        return {};
    }
    std::string text;
    JsonWriter(text).Double(*value);
    return " data-" + std::string(name) + "=\"" + text + "\"";
}

std::string StatsTable(const TypeView& view) {
    std::string out =
        "<table id=\"stats\"><thead><tr><th>Reading</th><th>n</th><th>Mean</th><th>&sigma;</th>"
        "<th>Min</th><th>Max</th><th>Limit min</th><th>Limit max</th><th>Cpk</th></tr></thead>"
        "<tbody>";
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        const auto reading = static_cast<PlanReading>(i);
        const ReadingStats& r = view.stats.readings[i];
        const auto any = [&r](double v) { return r.count > 0 ? std::optional(v) : std::nullopt; };
        const auto limit = view.plan ? view.plan->Reading(reading) : std::nullopt;
        std::optional<double> cpk;
        if (limit) {
            cpk = limit->min && limit->max ? Cpk(r, *limit)
                  : limit->min             ? Cpl(r, *limit)
                                           : Cpu(r, *limit);
        }
        out += "<tr><td><a href=\"?reading=" + ReadingKey(reading) + "\">" +
               HtmlEscape(ReadingKey(reading)) + "</a></td>" + Td(std::to_string(r.count), "num") +
               Td(Number(any(r.mean), 4), "num") + Td(Number(r.stdDev, 4), "num") +
               Td(Number(any(r.min), 4), "num") + Td(Number(any(r.max), 4), "num") +
               Td(Number(limit ? limit->min : std::nullopt, 4), "num") +
               Td(Number(limit ? limit->max : std::nullopt, 4), "num") + Td(Number(cpk, 2), "num") +
               "</tr>";
    }
    out += "</tbody></table>";
    return out;
}

std::string ChartPart(const TypeView& view) {
    const ControlChart& c = view.chart;
    const std::string name = ReadingKey(c.reading);
    std::string out = "<form method=\"get\"><label>Reading <select name=\"reading\">";
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        const std::string key = ReadingKey(static_cast<PlanReading>(i));
        out += "<option" + std::string(key == name ? " selected" : "") + ">" + key + "</option>";
    }
    out +=
        "</select></label> <label>Last <input type=\"number\" name=\"n\" min=\"2\" "
        "max=\"10000\" value=\"" +
        std::to_string(view.lastN) + "\"></label> <button type=\"submit\">Show</button></form>";
    const auto limit = view.plan ? view.plan->Reading(c.reading) : std::nullopt;
    const auto around = [&](double k) {
        return c.sigma ? std::optional(c.mean + k * *c.sigma) : std::nullopt;
    };
    out += "<h2>" + HtmlEscape(name) + ", last " + std::to_string(c.values.size()) +
           " results</h2><p class=\"chartnote\">Mean " + Number(c.mean, 4) + ", &plusmn;3&sigma; " +
           Number(around(-3), 4) + " to " + Number(around(3), 4) + "</p>";
    out += "<canvas id=\"individuals\" data-chart=\"individuals\"" + std::string(" data-label=\"") +
           HtmlEscape(name) + "\" data-values=\"" + JsonNumbers(c.values) + "\"" +
           DataAttr("mean", c.mean) + DataAttr("ucl", around(3)) + DataAttr("lcl", around(-3)) +
           DataAttr("lsl", limit ? limit->min : std::nullopt) +
           DataAttr("usl", limit ? limit->max : std::nullopt) + "></canvas>";
    const Histogram h = HistogramOf(c.values, 20);
    std::vector<double> counts;
    std::vector<double> starts;
    for (std::size_t i = 0; i < h.counts.size(); ++i) {
        counts.push_back(static_cast<double>(h.counts[i]));
        starts.push_back(h.low + h.width * static_cast<double>(i));
    }
    out += "<canvas id=\"histogram\" data-chart=\"histogram\" data-starts=\"" +
           JsonNumbers(starts) + "\" data-values=\"" + JsonNumbers(counts) + "\"></canvas>";
    return out;
}

std::string MarkTable(const ProductMark& m) {
    std::string out = "<table id=\"mark\"><tbody>";
    const std::pair<const char*, std::string> rows[] = {
        {"Manufacturer", m.Manufacturer},
        {"Type", m.Type},
        {"Number", std::to_string(m.Number)},
        {"Temperature", m.Temperature},
        {"Humidity", m.Humidity},
        {"Operator", m.Operator},
        {"Testday", m.Testday},
    };
    for (const auto& [name, value] : rows) {
        out += "<tr><th>" + std::string(name) + "</th>" + Td(value) + "</tr>";
    }
    return out + "</tbody></table>";
}

std::string ReadoutTable(const WorkingRecord& working) {
    static constexpr const char* kNames[12] = {
        "Urms (V)",  "Irms (A)", "Upeak (V)", "Ipeak (A)",   "Ucf",        "Icf",
        "Power (W)", "PF",       "Freq (Hz)", "Start angle", "Peak angle", "End angle"};
    const auto readouts = Readouts(working);
    std::string out = "<table id=\"readouts\"><tbody>";
    for (std::size_t i = 0; i < readouts.size(); ++i) {
        const bool flagged = !readouts[i].outOfRange.empty();
        out += "<tr><th>" + std::string(kNames[i]) + "</th>" +
               Td(readouts[i].text, flagged ? "num flagged" : "num") + "</tr>";
    }
    return out + "</tbody></table>";
}

std::string HarmonicTable(const MeasurementRecord& record) {
    std::string out =
        "<table id=\"harmonics\"><thead><tr><th>Order</th><th>U</th><th>I</th></tr></thead><tbody>";
    for (const HarmonicRow& row : HarmonicRows(record)) {
        out += "<tr>" + Td(row.order, "num") + Td(row.voltage, "num") + Td(row.current, "num") +
               "</tr>";
    }
    return out + "</tbody></table>";
}

std::string VerdictPart(const Result& result) {
    if (!result.verdict) {
        return "<p class=\"none\">No verdict" +
               (result.unjudged.empty() ? std::string() : ": " + HtmlEscape(result.unjudged)) +
               "</p>";
    }
    const Verdict verdict = VerdictOf(*result.verdict);
    std::string out = std::string("<p id=\"verdict\" class=\"") +
                      (verdict.pass ? "pass\">PASS" : "fail\">FAIL") + "</p><p>Plan " +
                      HtmlEscape(verdict.plan) + "</p>";
    out +=
        "<table id=\"checks\"><thead><tr><th>Check</th><th>Value</th><th>Min</th><th>Max</th>"
        "<th>Verdict</th><th>Note</th></tr></thead><tbody>";
    for (const Check& c : verdict.checks) {
        const auto bound = [&c](const std::optional<double>& v) {
            return v ? CheckValueText(c.item, *v) : std::string("-");
        };
        out += "<tr>" + Td(c.item) + Td(CheckValueText(c.item, c.value), "num") +
               Td(bound(c.min), "num") + Td(bound(c.max), "num") +
               Td(c.pass ? "PASS" : "FAIL", c.pass ? "pass" : "fail") + Td(c.note) + "</tr>";
    }
    return out + "</tbody></table>";
}

}  // namespace

std::string TypeHtml(const TypeView& view) {
    std::string body =
        "<p>" + std::to_string(view.stats.count) + " results, " +
        std::to_string(view.stats.passed) + " PASS, " + std::to_string(view.stats.failed) +
        " FAIL" + (view.plan ? ", limits of the plan " + HtmlEscape(view.plan->name) : "") + "</p>";
    body += StatsTable(view);
    body += ChartPart(view);
    return HtmlPage("Type " + view.type, body);
}

std::string ResultHtml(const Result& result, const ResultFigures& figures) {
    const std::string base = "/result/" + EncodeComponent(result.id);
    std::string body = "<p>" + HtmlEscape(IsoTimeUtc(result.timeMs)) + " at " +
                       HtmlEscape(result.station) + " &middot; <a id=\"zx8\" href=\"" + base +
                       "/test.ZX8\" download>Test file (.ZX8)</a> &middot; <a id=\"pdf\" href=\"" +
                       base + "/report.pdf\">Report (PDF)</a></p>";
    body +=
        "<div class=\"panel\">" + MarkTable(result.mark) + ReadoutTable(result.working) + "</div>";
    body += "<figure id=\"waveform\">" + figures.waveform +
            "<figcaption>Waveforms</figcaption></figure>";
    body += "<div class=\"spectra\"><figure id=\"uspec\">" + figures.voltageSpectrum +
            "<figcaption>Voltage spectrum</figcaption></figure><figure id=\"ispec\">" +
            figures.currentSpectrum + "<figcaption>Current spectrum</figcaption></figure></div>";
    body += "<div class=\"panel\">" + HarmonicTable(result.working.Record) + "<div>" +
            VerdictPart(result) + "</div></div>";
    return HtmlPage("Result " + result.mark.Type + " " + std::to_string(result.mark.Number), body);
}

}  // namespace zx840
