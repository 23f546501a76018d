#include "web/web_json.h"

#include <map>

#include "record/record_json.h"
#include "store/result_text.h"

namespace zx840 {

std::string ErrorJson(std::string_view reason) {
    std::string out;
    JsonWriter(out).BeginObject().Key("Error").String(reason).EndObject();
    return out + "\n";
}

std::string ResultsPageJson(const std::vector<Result>& rows, const std::optional<ResultKey>& next) {
    std::string out;
    JsonWriter json(out);
    json.BeginObject().Key("Results").BeginArray(JsonWriter::Layout::OneLineEach);
    for (const Result& r : rows) {
        WriteResult(json, r, Detail::Summary);
    }
    json.EndArray().Key("Next");
    if (next) {
        json.String(CursorText(*next));
    } else {
        json.Null();
    }
    json.EndObject();
    return out + "\n";
}

std::string YieldJson(const std::vector<YieldRow>& rows, YieldBy by) {
    const char* key = by == YieldBy::Station ? "Station" : by == YieldBy::Type ? "Type" : "Hour";
    std::string out;
    JsonWriter json(out);
    json.BeginArray(JsonWriter::Layout::OneLineEach);
    for (const YieldRow& row : rows) {
        json.BeginObject().Key(key).String(row.name).Key("Count").Int(row.count);
        json.Key("Passed").Int(row.passed).Key("Failed").Int(row.failed);
        json.Key("Yield").Double(YieldPercent(row)).EndObject();
    }
    json.EndArray();
    return out + "\n";
}

std::string MetricLabel(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string MetricsText(const MetricsView& view) {
    std::string out;
    const auto labels = [](const TallyRow& t) {
        return "{station=\"" + MetricLabel(t.station) + "\",type=\"" + MetricLabel(t.type) + "\"}";
    };
    out += "# HELP zx840_results_total Results kept in the store.\n";
    out += "# TYPE zx840_results_total counter\n";
    for (const TallyRow& t : view.tally) {
        out += "zx840_results_total" + labels(t) + " " + std::to_string(t.count) + "\n";
    }
    out += "# HELP zx840_failures_total Results kept with the verdict FAIL.\n";
    out += "# TYPE zx840_failures_total counter\n";
    for (const TallyRow& t : view.tally) {
        out += "zx840_failures_total" + labels(t) + " " + std::to_string(t.failed) + "\n";
    }
    std::map<std::string, std::int64_t> last;
    for (const TallyRow& t : view.tally) {
        last[t.station] = std::max(last[t.station], t.lastMs);
    }
    out +=
        "# HELP zx840_last_result_timestamp_seconds When the station's newest result was made.\n";
    out += "# TYPE zx840_last_result_timestamp_seconds gauge\n";
    for (const auto& [station, ms] : last) {
        std::string seconds;
        JsonWriter(seconds).Double(static_cast<double>(ms) / 1000.0);
        out += "zx840_last_result_timestamp_seconds{station=\"" + MetricLabel(station) + "\"} " +
               seconds + "\n";
    }
    out += "# HELP zx840_store_up Whether the store answered the last query.\n";
    out += "# TYPE zx840_store_up gauge\n";
    out += std::string("zx840_store_up ") + (view.storeUp ? "1" : "0") + "\n";
    std::string seconds;
    JsonWriter(seconds).Double(view.querySeconds);
    out += "# HELP zx840_store_query_seconds How long the store took to answer the metrics.\n";
    out += "# TYPE zx840_store_query_seconds gauge\n";
    out += "zx840_store_query_seconds " + seconds + "\n";
    return out;
}

}  // namespace zx840
