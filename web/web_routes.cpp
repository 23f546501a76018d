// What each path of the dashboard answers, from the store.

#include "record/measurement_file.h"
#include "store/result_text.h"
#include "web/web_figures.h"
#include "web/web_html.h"
#include "web/web_json.h"
#include "web/web_site.h"

namespace zx840 {
namespace {

constexpr std::int64_t kLastResults = 20;
constexpr std::int64_t kDefaultChartPoints = 100;

WebResponse Json(std::string body) {
    WebResponse response;
    response.contentType = "application/json";
    response.body = std::move(body);
    return response;
}

WebResponse Html(std::string body) {
    WebResponse response;
    response.body = std::move(body);
    return response;
}

WebResponse StoreFailure(const StoreStatus& status, bool api) {
    return Refusal(503, "the store did not answer: " + status.message, api);
}

std::optional<std::string> BadKey(const QueryParams& params,
                                  std::initializer_list<std::string_view> allowed) {
    if (const auto key = UnknownKey(params, allowed)) {
        return "unknown parameter \"" + *key + "\"";
    }
    return std::nullopt;
}

}  // namespace

bool WebSite::PageOf(ResultFilter filter, const std::optional<std::string>& cursor,
                     std::int64_t rows, std::vector<Result>& found, std::optional<ResultKey>& next,
                     WebResponse& failure) {
    if (cursor) {
        filter.after = ReadCursor(*cursor);
        if (!filter.after) {
            failure = Refusal(400, "cursor is not one this server gave", true);
            return false;
        }
    }
    // One more than a page says whether another page follows.
    if (const StoreStatus status = store_.Find(filter, 0, rows + 1, Detail::Summary, found);
        !status) {
        failure = StoreFailure(status, true);
        return false;
    }
    if (static_cast<std::int64_t>(found.size()) > rows) {
        found.pop_back();
        next = ResultKey{found.back().timeMs, found.back().id};
    }
    return true;
}

std::optional<Result> WebSite::Find(const std::string& id, bool api, WebResponse& failure) {
    ResultFilter filter;
    filter.id = id;
    std::vector<Result> found;
    if (const StoreStatus status = store_.Find(filter, 0, 1, Detail::Full, found); !status) {
        failure = StoreFailure(status, api);
        return std::nullopt;
    }
    if (found.empty()) {
        failure = Refusal(404, "the store holds no result with that id", api);
        return std::nullopt;
    }
    return std::move(found.front());
}

WebResponse WebSite::LinePage(const Asked& asked, bool live) {
    if (const auto bad = BadKey(asked.params, {"period", "since", "until"})) {
        return Refusal(400, *bad, false);
    }
    std::string error;
    LineView view;
    view.params = asked.params;
    const auto period = ReadPeriod(asked.params, options_.now(), &error);
    if (!period) {
        return Refusal(400, error, false);
    }
    view.period = *period;
    ResultFilter filter;
    filter.sinceMs = period->sinceMs;
    filter.untilMs = period->untilMs;
    StoreStatus status = store_.Tally(filter, TallyBy::StationAndType, &view.tally);
    if (status) {
        status = store_.FailingChecks(filter, &view.pareto);
    }
    if (status) {
        status = store_.Find(filter, 0, kLastResults, Detail::Summary, view.last);
    }
    if (!status) {
        return StoreFailure(status, false);
    }
    return Html(live ? LineLiveHtml(view) : LineHtml(view));
}

WebResponse WebSite::SearchPage(const Asked& asked) {
    if (const auto bad = BadKey(asked.params, {"type", "number", "verdict", "station", "period",
                                               "since", "until", "cursor"})) {
        return Refusal(400, *bad, false);
    }
    SearchView view;
    // Empty fields of the form are as if not given.
    for (const auto& [key, value] : asked.params) {
        if (!value.empty()) {
            view.params.emplace_back(key, value);
        }
    }
    std::string error;
    const auto filter = ReadFilter(view.params, options_.now(), &error);
    if (!filter) {
        return Refusal(400, error, false);
    }
    WebResponse failure;
    if (!PageOf(*filter, Param(view.params, "cursor"), kSearchPageRows, view.rows, view.next,
                failure)) {
        failure.contentType = "text/html; charset=utf-8";
        failure.body = MessageHtml(failure.status, "the search could not be made");
        return failure;
    }
    return Html(SearchHtml(view));
}

WebResponse WebSite::TypePage(const Asked& asked) {
    if (const auto bad = BadKey(asked.params, {"reading", "n"})) {
        return Refusal(400, *bad, false);
    }
    TypeView view;
    view.type = asked.segments[1];
    view.params = asked.params;
    view.plan = options_.plan;
    const auto reading = ReadReading(Param(asked.params, "reading").value_or("Power"));
    const auto n = ReadCount(Param(asked.params, "n").value_or(std::to_string(kDefaultChartPoints)),
                             2, kMaxChartPoints);
    if (!reading) {
        return Refusal(400, "reading takes the name of a reading, such as Power or Irms", false);
    }
    if (!n) {
        return Refusal(400, "n takes a whole number from 2 to " + std::to_string(kMaxChartPoints),
                       false);
    }
    view.lastN = *n;
    ResultFilter filter;
    filter.type = view.type;
    std::vector<double> values;
    StoreStatus status = stats_.Get(filter, &view.stats);
    if (status) {
        status = store_.Scan(filter, *n, Detail::Summary, [&](const Result& r) {
            values.push_back(PlanReadingValue(*reading, r.working));
            return true;
        });
    }
    if (!status) {
        return StoreFailure(status, false);
    }
    view.chart = ControlChartOf(*reading, std::move(values));
    return Html(TypeHtml(view));
}

WebResponse WebSite::ResultPage(const Asked& asked) {
    if (!asked.params.empty()) {
        return Refusal(400, "a result's page takes no parameters", false);
    }
    WebResponse failure;
    const auto result = Find(asked.segments[1], false, failure);
    if (!result) {
        return failure;
    }
    if (asked.segments.size() == 2) {
        return Html(ResultHtml(*result, FiguresOf(*result)));
    }
    WebResponse file;
    if (asked.segments[2] == "test.ZX8") {
        const std::vector<std::uint8_t> bytes = SerializeTest(result->mark, result->working.Record);
        file.contentType = "application/octet-stream";
        file.body.assign(bytes.begin(), bytes.end());
        file.headers.emplace_back("Content-Disposition",
                                  "attachment; filename=\"" + result->id + ".ZX8\"");
        return file;
    }
    if (asked.segments[2] == "report.pdf") {
        const auto pdf = options_.pdf ? options_.pdf(*result) : std::nullopt;
        if (!pdf) {
            return Refusal(503, "the report could not be made", false);
        }
        file.contentType = "application/pdf";
        file.body = *pdf;
        return file;
    }
    return Refusal(404, "there is nothing here", false);
}

WebResponse WebSite::ApiResults(const Asked& asked) {
    if (asked.segments.size() == 3) {
        if (!asked.params.empty()) {
            return Refusal(400, "a result takes no parameters", true);
        }
        WebResponse failure;
        const auto result = Find(asked.segments[2], true, failure);
        return result ? Json(ResultJson(*result, Detail::Full) + "\n") : failure;
    }
    if (const auto bad = BadKey(asked.params, {"type", "number", "verdict", "station", "period",
                                               "since", "until", "limit", "cursor"})) {
        return Refusal(400, *bad, true);
    }
    std::string error;
    const auto filter = ReadFilter(asked.params, options_.now(), &error);
    if (!filter) {
        return Refusal(400, error, true);
    }
    const auto limit = ReadCount(Param(asked.params, "limit").value_or("100"), 1, kMaxApiRows);
    if (!limit) {
        return Refusal(400, "limit takes a whole number from 1 to " + std::to_string(kMaxApiRows),
                       true);
    }
    std::vector<Result> rows;
    std::optional<ResultKey> next;
    WebResponse failure;
    if (!PageOf(*filter, Param(asked.params, "cursor"), *limit, rows, next, failure)) {
        return failure;
    }
    return Json(ResultsPageJson(rows, next));
}

WebResponse WebSite::ApiStats(const Asked& asked) {
    if (const auto bad = BadKey(
            asked.params, {"type", "number", "verdict", "station", "period", "since", "until"})) {
        return Refusal(400, *bad, true);
    }
    std::string error;
    const auto filter = ReadFilter(asked.params, options_.now(), &error);
    if (!filter) {
        return Refusal(400, error, true);
    }
    if (!filter->type) {
        return Refusal(400, "stats needs type", true);
    }
    // A period that moves with the clock is a new filter at every question:
    // counted each time, and not kept, where it would push out the types'.
    const bool moving = TrailingPeriodMs(Param(asked.params, "period").value_or("")).has_value();
    ResultStats stats;
    const StoreStatus status = moving ? store_.Stats(*filter, &stats) : stats_.Get(*filter, &stats);
    if (!status) {
        return StoreFailure(status, true);
    }
    std::string text;
    JsonWriter json(text);
    WriteResultStats(json, *filter->type, filter->station, stats, options_.plan);
    return Json(text + "\n");
}

WebResponse WebSite::ApiYield(const Asked& asked) {
    if (const auto bad =
            BadKey(asked.params, {"by", "type", "station", "period", "since", "until"})) {
        return Refusal(400, *bad, true);
    }
    const std::string by = Param(asked.params, "by").value_or("");
    if (by != "station" && by != "type" && by != "hour") {
        return Refusal(400, "by takes station, type or hour, not \"" + by + "\"", true);
    }
    std::string error;
    const auto period = ReadPeriod(asked.params, options_.now(), &error);
    if (!period) {
        return Refusal(400, error, true);
    }
    ResultFilter filter;
    filter.type = Param(asked.params, "type");
    filter.station = Param(asked.params, "station");
    filter.sinceMs = period->sinceMs;
    filter.untilMs = period->untilMs;
    const YieldBy group = by == "station" ? YieldBy::Station
                          : by == "type"  ? YieldBy::Type
                                          : YieldBy::Hour;
    std::vector<TallyRow> tally;
    const TallyBy tallyBy = group == YieldBy::Hour ? TallyBy::Hour : TallyBy::StationAndType;
    if (const StoreStatus status = store_.Tally(filter, tallyBy, &tally); !status) {
        return StoreFailure(status, true);
    }
    return Json(YieldJson(YieldOf(tally, group), group));
}

WebResponse WebSite::Metrics() {
    // Counted on a connection of their own when they are (see
    // KeepMetrics) and recent; else here, and kept in their place.
    const std::int64_t now = options_.now();
    if (keptMetrics_ && now - keptMetrics_->first < 2 * options_.metricsLifetime.count()) {
        if (metricsAsked_) {
            metricsAsked_();
        }
    } else {
        keptMetrics_.emplace(now, CountMetrics(store_));
    }
    WebResponse response;
    response.contentType = "text/plain; version=0.0.4; charset=utf-8";
    response.body = MetricsText(keptMetrics_->second);
    return response;
}

void WebSite::KeepMetrics(MetricsView view) {
    keptMetrics_.emplace(options_.now(), std::move(view));
}

}  // namespace zx840
