// The dashboard's parts below HTTP: reading requests strictly, pages that
// show hostile text as text, the metrics' format, the counts the store
// makes for it, and the site's tokens, sessions and shared cache.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cmath>
#include <functional>
#include <regex>

#include "tests/store_test_support.h"
#include "web/web_background.h"
#include "web/web_html.h"
#include "web/web_json.h"
#include "web/web_site.h"
#include "web/web_stats.h"

namespace zx840 {

void PrintTo(const TallyRow& r, std::ostream* os) {
    *os << r.station << "/" << r.type << "/" << r.hourMs << ": " << r.count << " " << r.passed
        << " " << r.failed << " last " << r.lastMs;
}

namespace {

using testing::OddResult;

constexpr std::int64_t kNoon = 1765454400000;  // 2025-12-11T12:00:00Z

TEST(WebQuery, EveryParameterIsReadStrictlyOrRefusedWithItsReason) {
    struct Case {
        const char* query;
        const char* error;  // "" when taken
    };
    for (const auto& [query, error] : std::initializer_list<Case>{
             {"type=PSU+60&number=3-9&verdict=FAIL&station=a%2Fb", ""},
             {"type=%3Cscript%3E", ""},
             {"type=%G1", "a broken %-escape in the query"},
             {"type=%4", "a broken %-escape in the query"},
             {"type=a&type=b", "\"type\" is given twice"},
             {"type=a&=0400", "a parameter without a name"},
             {"a=1&b=2&c=3&d=4&e=5&f=6&g=7&h=8&i=9&j=10&k=11&l=12&m=13&n=14&o=15&p=16&q=17",
              "more than 16 parameters"},
             {"number=9-3", "number takes N or N-M, not \"9-3\""},
             {"number=99999999999", "number takes N or N-M, not \"99999999999\""},
             {"verdict=pass", "verdict takes PASS or FAIL, not \"pass\""},
             {"since=2026-02-30", "since takes a date or an ISO 8601 time, not \"2026-02-30\""},
             {"until=yesterday", "until takes a date or an ISO 8601 time, not \"yesterday\""},
             {"period=2d", "period takes today, 8h, 24h, 7d or range, not \"2d\""},
             {"period=8h&since=2026-01-01", "period 8h does not go with since or until"},
         }) {
        std::string why;
        const auto params = ParseQuery(query, &why);
        const auto filter = params ? ReadFilter(*params, kNoon, &why) : std::nullopt;
        EXPECT_EQ(filter ? "" : why, error) << query;
    }
    std::string why;
    EXPECT_FALSE(ParseQuery(std::string(kMaxQueryBytes + 1, 'a'), &why));
    const auto filter =
        ReadFilter(*ParseQuery("type=PSU+60&station=a%2Fb&number=3-9", &why), 0, &why);
    EXPECT_EQ(filter->type, "PSU 60");
    EXPECT_EQ(filter->station, "a/b");
    EXPECT_EQ(std::pair(*filter->numberFrom, *filter->numberTo), std::pair(3, 9));
    EXPECT_FALSE(filter->sinceMs);

    // Periods: today from midnight UTC, a date alone as `until` takes its day.
    struct PeriodCase {
        const char* query;
        std::int64_t since;
        std::optional<std::int64_t> until;
    };
    for (const auto& [query, since, until] : std::initializer_list<PeriodCase>{
             {"", kNoon - 12 * 3600000, std::nullopt},
             {"period=8h", kNoon - 8 * 3600000, std::nullopt},
             {"period=7d", kNoon - 7 * 86400000, std::nullopt},
             {"since=2025-12-01&until=2025-12-02", 1764547200000, 1764719999999},
         }) {
        const auto period = ReadPeriod(*ParseQuery(query, &why), kNoon, &why);
        ASSERT_TRUE(period) << query << why;
        EXPECT_EQ(period->sinceMs, since) << query;
        EXPECT_EQ(period->untilMs, until) << query;
    }

    // Cursors: only what CursorText writes.
    const ResultKey key{kNoon, "0a1b-2c"};
    EXPECT_EQ(ReadCursor(CursorText(key)), key);
    for (const char* bad : {"", "12", ".ab", "12.", "x.ab", "12.AB", "12.a'b", "1e3.ab"}) {
        EXPECT_FALSE(ReadCursor(bad)) << bad;
    }
}

TEST(WebPages, HostileTextFromTheStoreIsShownAsTextAndNoPageHasAnInlineScript) {
    const std::string hostile = "<script>alert('x')</script>\"&";
    Result r = OddResult(3);
    r.station = hostile;
    r.mark.Type = hostile;
    r.mark.Operator = hostile;
    r.verdict->failedChecks = {hostile};
    LineView line;
    line.params = {{"period", hostile}};
    line.tally = {{hostile, hostile, 0, 3, 1, 2, kNoon}};
    line.pareto = {{hostile, 2}};
    line.last = {r};
    TypeView type;
    type.type = hostile;
    SearchView search{{{"type", hostile}}, {r}, ResultKey{1, "ab"}};
    for (const std::string& page :
         {LineHtml(line), TypeHtml(type), SearchHtml(search), ResultHtml(r, {}), LoginHtml(true),
          MessageHtml(400, hostile)}) {
        EXPECT_EQ(page.find("<script>"), std::string::npos) << page;
        EXPECT_EQ(page.find("'x'"), std::string::npos);
        // Only the site's files are scripts.
        const std::regex script("<script[^>]*>");
        for (auto it = std::sregex_iterator(page.begin(), page.end(), script);
             it != std::sregex_iterator(); ++it) {
            EXPECT_TRUE(it->str() == "<script src=\"/static/chart.js\" defer>" ||
                        it->str() == "<script src=\"/static/web.js\" defer>")
                << it->str();
        }
    }
    EXPECT_EQ(HtmlEscape(hostile), "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&quot;&amp;");
}

TEST(WebMetrics, CountersPerStationAndTypeTheNewestPerStationAndTheStoresHealth) {
    MetricsView view;
    view.tally = {{"L1", "A\"\\\n", 0, 5, 3, 2, 2000}, {"L1", "B", 0, 1, 1, 0, 7500}};
    view.storeUp = true;
    view.querySeconds = 0.25;
    const std::string text = MetricsText(view);
    for (const char* line : {
             "# TYPE zx840_results_total counter\n",
             "zx840_results_total{station=\"L1\",type=\"A\\\"\\\\\\n\"} 5\n",
             "zx840_failures_total{station=\"L1\",type=\"B\"} 0\n",
             "# TYPE zx840_last_result_timestamp_seconds gauge\n",
             "zx840_last_result_timestamp_seconds{station=\"L1\"} 7.5\n",
             "zx840_store_up 1\n",
             "zx840_store_query_seconds 0.25\n",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    }
    // Every sample line is NAME{LABELS} VALUE or NAME VALUE.
    const std::regex sample(R"(^(#.*|[a-z0-9_]+(\{.*\})? [0-9.e+-]+)$)");
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        EXPECT_TRUE(std::regex_match(text.substr(start, end - start), sample))
            << text.substr(start, end - start);
        start = end + 1;
    }
}

TEST(WebViews, YieldsAndAControlChartFromTheirCounts) {
    const std::vector<TallyRow> tally = {
        {"L2", "A", 0, 4, 3, 1, 0}, {"L1", "A", 0, 2, 0, 0, 0}, {"L1", "B", 0, 5, 1, 3, 0}};
    EXPECT_EQ(YieldOf(tally, YieldBy::Station),
              (std::vector<YieldRow>{{"L1", 7, 1, 3}, {"L2", 4, 3, 1}}));
    EXPECT_EQ(YieldOf(tally, YieldBy::Type),
              (std::vector<YieldRow>{{"A", 6, 3, 1}, {"B", 5, 1, 3}}));
    EXPECT_EQ(YieldPercent({"L1", 7, 1, 3}), 25.0);
    EXPECT_FALSE(YieldPercent({"A", 2, 0, 0}));
    // Newest first in, oldest first out; spread from the mean moving range.
    const ControlChart chart = ControlChartOf(PlanReading::Power, {4.0, 1.0, 3.0, 2.0});
    EXPECT_EQ(chart.values, (std::vector<double>{2.0, 3.0, 1.0, 4.0}));
    EXPECT_DOUBLE_EQ(chart.mean, 2.5);
    EXPECT_DOUBLE_EQ(*chart.sigma, (1.0 + 2.0 + 3.0) / 3.0 / 1.128);
    EXPECT_EQ(HistogramOf({0.0, 1.0, 2.0, 10.0}, 5).counts,
              (std::vector<std::int64_t>{2, 1, 0, 0, 1}));
}

class WebStoreTest : public testing::BackendTest {};

// Twelve results at three stations, two types, three verdicts.
std::vector<Result> LineResults() {
    std::vector<Result> all;
    for (std::uint32_t i = 0; i < 12; ++i) {
        Result r = OddResult(900 + i);
        r.timeMs = kNoon + (i % 4) * 3600000 + i;
        r.station = i % 3 == 0 ? "Zeta" : i % 3 == 1 ? "alpha" : "Beta";
        r.mark.Type = i < 8 ? "S1" : "S2";
        r.verdict->pass = i % 2 == 0;
        r.verdict->failedChecks = r.verdict->pass ? std::vector<std::string>{}
                                  : i % 4 == 1    ? std::vector<std::string>{"Power", "IEC I3"}
                                                  : std::vector<std::string>{"IEC I3"};
        if (i == 11) {
            r.verdict.reset();
        }
        all.push_back(r);
    }
    return all;
}

TEST_P(WebStoreTest, TheEngineCountsByStationTypeAndHourAndTheFailingChecks) {
    StoreStatus status;
    auto store = ResultsStore::Open(scratch_->Url(), &status);
    ASSERT_TRUE(store) << status.message;
    ASSERT_TRUE(store->WriteAll(LineResults()));
    std::vector<TallyRow> rows;
    ASSERT_TRUE(store->Tally({}, TallyBy::StationAndType, &rows));
    const auto at = [](std::int64_t hour, std::int64_t i) { return kNoon + hour * 3600000 + i; };
    EXPECT_EQ(rows, (std::vector<TallyRow>{{"Beta", "S1", 0, 2, 1, 1, at(2, 2)},
                                           {"Beta", "S2", 0, 2, 1, 0, at(3, 11)},
                                           {"Zeta", "S1", 0, 3, 2, 1, at(3, 3)},
                                           {"Zeta", "S2", 0, 1, 0, 1, at(1, 9)},
                                           {"alpha", "S1", 0, 3, 1, 2, at(3, 7)},
                                           {"alpha", "S2", 0, 1, 1, 0, at(2, 10)}}));
    // The last two hours: the few results of a period are looked up by time.
    ResultFilter late;
    late.sinceMs = at(2, 0);
    ASSERT_TRUE(store->Tally(late, TallyBy::StationAndType, &rows));
    EXPECT_EQ(rows, (std::vector<TallyRow>{{"Beta", "S1", 0, 1, 1, 0, at(2, 2)},
                                           {"Beta", "S2", 0, 1, 0, 0, at(3, 11)},
                                           {"Zeta", "S1", 0, 2, 1, 1, at(3, 3)},
                                           {"alpha", "S1", 0, 1, 0, 1, at(3, 7)},
                                           {"alpha", "S2", 0, 1, 1, 0, at(2, 10)}}));
    ResultFilter s1;
    s1.type = "S1";
    ASSERT_TRUE(store->Tally(s1, TallyBy::Hour, &rows));
    ASSERT_EQ(rows.size(), 4u);
    for (std::size_t h = 0; h < 4; ++h) {
        EXPECT_EQ(rows[h].hourMs, kNoon + static_cast<std::int64_t>(h) * 3600000);
        EXPECT_EQ(rows[h].count, 2);
    }
    std::vector<CheckCount> pareto;
    ASSERT_TRUE(store->FailingChecks({}, &pareto));
    EXPECT_EQ(pareto, (std::vector<CheckCount>{{"IEC I3", 5}, {"Power", 3}}));
    ASSERT_TRUE(store->FailingChecks(s1, &pareto));
    EXPECT_EQ(pareto, (std::vector<CheckCount>{{"IEC I3", 4}, {"Power", 2}}));
}

void ExpectSameStats(const ResultStats& got, const ResultStats& want, const std::string& when) {
    SCOPED_TRACE(when);
    EXPECT_EQ(got.count, want.count);
    EXPECT_EQ(got.passed, want.passed);
    EXPECT_EQ(got.failed, want.failed);
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        const ReadingStats& g = got.readings[i];
        const ReadingStats& w = want.readings[i];
        SCOPED_TRACE(PlanReadingName(static_cast<PlanReading>(i)));
        EXPECT_EQ(g.count, w.count);
        EXPECT_EQ(g.min, w.min);
        EXPECT_EQ(g.max, w.max);
        EXPECT_NEAR(g.mean, w.mean, 1e-12 * (std::fabs(w.min) + std::fabs(w.max)));
        ASSERT_EQ(g.stdDev.has_value(), w.stdDev.has_value());
        if (w.stdDev) {
            EXPECT_NEAR(*g.stdDev, *w.stdDev, 1e-9 * *w.stdDev + 1e-12);
        }
    }
}

// The stats the dashboard keeps are the store's own however results come:
// one or several at a time (merged, never counted afresh), late with an
// older time, in the millisecond of the newest counted, or removed (counted
// afresh), or of another type.
TEST_P(WebStoreTest, KeptStatsAreTheStoresWhetherResultsArriveInOrderLateOrGo) {
    StoreStatus status;
    auto store = ResultsStore::Open(scratch_->Url(), &status);
    ASSERT_TRUE(store) << status.message;
    LiveStats live(*store, 2);
    ResultFilter s1;
    s1.type = "S1";
    const auto check = [&](const ResultFilter& filter, const std::string& when) {
        ResultStats got;
        ResultStats want;
        ASSERT_TRUE(live.Get(filter, &got));
        ASSERT_TRUE(store->Stats(filter, &want));
        ExpectSameStats(got, want, when);
    };
    check(s1, "empty");
    std::vector<Result> kept;
    for (std::uint32_t i = 0; i < 24; ++i) {
        Result r = OddResult(700 + i);
        r.timeMs = kNoon + (i == 6 ? 5 : i) * 1000;  // 5 and 6 at one time, ordered by id
        r.mark.Type = i % 5 == 4 ? "S2" : "S1";
        r.working.Record.Freq = 50.0f;                       // all alike: mean 50, no spread
        r.working.Record.USpec[0] = i == 3 ? 0.0f : 325.0f;  // one without a percentage
        r.verdict->pass = i % 3 != 0;
        if (i == 7) {
            r.verdict.reset();
        }
        ASSERT_TRUE(store->Write(r));
        kept.push_back(r);
        // One at a time, then several at once.
        if (i < 4 || i % 5 == 4) {
            check(s1, "after " + std::to_string(i + 1));
        }
    }
    EXPECT_EQ(live.Recounts(), 1);
    ResultStats s1Stats;
    ASSERT_TRUE(live.Get(s1, &s1Stats));
    EXPECT_EQ(s1Stats.readings[static_cast<std::size_t>(PlanReading::Freq)].stdDev, 0.0);
    EXPECT_EQ(live.Recounts(), 1);

    for (const std::int64_t timeMs : {kept.back().timeMs, kNoon - 1}) {
        Result late = OddResult(800 + static_cast<std::uint32_t>(live.Recounts()));
        late.timeMs = timeMs;
        late.mark.Type = "S1";
        ASSERT_TRUE(store->Write(late));
        check(s1, "kept late at " + std::to_string(timeMs));
    }
    EXPECT_EQ(live.Recounts(), 3);
    ASSERT_TRUE(store->Remove({kept[5].id, kept.back().id}));
    check(s1, "removed, the newest too");
    EXPECT_EQ(live.Recounts(), 4);

    // Two filters are kept: a third pushes out the one used least lately.
    ResultFilter passed = s1;
    passed.pass = true;
    ResultFilter s2;
    s2.type = "S2";
    check(passed, "passed");
    check(s2, "S2");
    EXPECT_EQ(live.Recounts(), 6);
    check(s1, "S1 again");
    EXPECT_EQ(live.Recounts(), 7);
    check(s2, "S2 again");
    EXPECT_EQ(live.Recounts(), 7);
}

// What the server counts in the background answers as the site would
// have counted it: every type's stats ahead (only as many types as are
// kept, the newest first) and again at an interval, and the metrics
// again at each lifetime.
TEST_P(WebStoreTest, CountsInTheBackgroundAnswerAsTheSiteWouldHaveCounted) {
    int argc = 1;
    char name[] = "web_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    const auto waitFor = [](const std::function<bool()>& done) {
        while (!done()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    };
    StoreStatus status;
    auto store = ResultsStore::Open(scratch_->Url(), &status);
    ASSERT_TRUE(store) << status.message;
    ASSERT_TRUE(store->WriteAll(LineResults()));
    std::int64_t now = kNoon;
    WebSiteOptions options;
    options.now = [&now] { return now; };
    options.metricsLifetime = std::chrono::milliseconds(100);
    const auto countAhead = [&](WebSite& site) {
        int types = -1;
        BackgroundCounts counts(site, store->Url());
        QObject::connect(&counts, &BackgroundCounts::statsCounted, [&](int n) { types = n; });
        counts.Start();
        waitFor([&] { return types >= 0; });
        return types;
    };
    WebSite site(*store, options);
    WebSite counting(*store, options);
    EXPECT_EQ(countAhead(site), 2);
    for (const char* type : {"S1", "S2"}) {
        const WebRequest request{"GET", "/api/stats", std::string("type=") + type, "", "", ""};
        const WebResponse answer = site.Handle(request);
        EXPECT_EQ(answer.status, 200) << answer.body;
        EXPECT_EQ(answer.body, counting.Handle(request).body);
    }
    EXPECT_EQ(site.KeptStats().Recounts(), 0);
    EXPECT_EQ(counting.KeptStats().Recounts(), 2);
    // Periods that move with the clock are counted, not kept in their place.
    for (int i = 0; i < 70; ++i) {
        now += 2000;
        const WebRequest moving{"GET", "/api/stats", "type=S1&period=8h", "", "", ""};
        ASSERT_EQ(site.Handle(moving).status, 200);
    }
    ASSERT_EQ(site.Handle({"GET", "/api/stats", "type=S2", "", "", ""}).status, 200);
    EXPECT_EQ(site.KeptStats().Recounts(), 0);
    WebSiteOptions one = options;
    one.keptStats = 1;
    WebSite keepsOne(*store, one);
    EXPECT_EQ(countAhead(keepsOne), 1);
    ASSERT_EQ(keepsOne.Handle({"GET", "/api/stats", "type=S2", "", "", ""}).status, 200);
    EXPECT_EQ(keepsOne.KeptStats().Recounts(), 0);

    // The metrics of the store, for a site whose own store is another,
    // empty one: they can only come from the background.
    testing::ScratchStore other(false);
    auto empty = ResultsStore::Open(other.Url(), &status);
    ASSERT_TRUE(empty) << status.message;
    WebSite elsewhere(*empty, options);
    const auto metrics = [&] {
        now += 150;  // the answer before is over, the metrics kept are not
        return elsewhere.Handle({"GET", "/metrics", "", "", "", ""}).body;
    };
    const std::string beta = "zx840_results_total{station=\"Beta\",type=\"S1\"} ";
    {
        int rounds = 0;
        BackgroundCounts counts(elsewhere, store->Url());
        QObject::connect(&counts, &BackgroundCounts::metricsCounted, [&] { ++rounds; });
        counts.Start();
        waitFor([&] { return rounds >= 1; });  // as the server starts
        EXPECT_NE(metrics().find(beta + "2\n"), std::string::npos);
        waitFor([&] { return rounds >= 2; });  // asked for by the scrape
        Result late = OddResult(990);
        late.station = "Beta";
        late.mark.Type = "S1";
        ASSERT_TRUE(store->Write(late));
        EXPECT_NE(metrics().find(beta + "2\n"), std::string::npos);
        waitFor([&] { return rounds >= 3; });
        EXPECT_NE(metrics().find(beta + "3\n"), std::string::npos);
    }
    // Kept metrics twice their lifetime old: the site counts its own.
    now += 1000;
    EXPECT_EQ(metrics().find("zx840_results_total{"), std::string::npos);

    // As many removed as kept late between two questions: no count of
    // results tells, the next count in the background does.
    WebSiteOptions often = options;
    often.statsRecount = std::chrono::milliseconds(100);
    often.metricsLifetime = std::chrono::milliseconds(1);
    WebSite watched(*store, often);
    int rounds = 0;
    int metricsRounds = 0;
    BackgroundCounts counts(watched, store->Url());
    QObject::connect(&counts, &BackgroundCounts::statsCounted, [&](int) { ++rounds; });
    QObject::connect(&counts, &BackgroundCounts::metricsCounted, [&] { ++metricsRounds; });
    counts.Start();
    waitFor([&] { return rounds >= 1; });
    const WebRequest s1{"GET", "/api/stats", "type=S1", "", "", ""};
    ASSERT_EQ(watched.Handle(s1).status, 200);
    ASSERT_TRUE(store->Remove({LineResults().front().id}));
    Result late = OddResult(991);
    late.timeMs = kNoon - 1;
    late.mark.Type = "S1";
    ASSERT_TRUE(store->Write(late));
    const int seen = rounds;
    waitFor([&] { return rounds >= seen + 2; });
    now += 3000;  // the answer before is over
    EXPECT_EQ(watched.Handle(s1).body, WebSite(*store, options).Handle(s1).body);
    // Unasked, the metrics are counted only with the stats (the next
    // round's may just have come), however short their lifetime.
    EXPECT_LE(metricsRounds, rounds + 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, WebStoreTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "PostgreSQL" : "SQLite";
                         });

TEST(WebSite, ATokenOrItsSessionIsNeededAndAllClientsShareOneAnswerPerLifetime) {
    testing::ScratchStore scratch(false);
    StoreStatus status;
    auto store = ResultsStore::Open(scratch.Url(), &status);
    ASSERT_TRUE(store) << status.message;
    ASSERT_TRUE(store->WriteAll(LineResults()));
    std::int64_t now = kNoon + 5 * 3600000;
    WebSiteOptions options;
    options.token = "secret-token";
    options.now = [&now] { return now; };
    WebSite site(*store, options);
    const auto ask = [&](std::string path, std::string authorization = "Bearer secret-token",
                         std::string cookie = "") {
        const std::size_t q = path.find('?');
        WebRequest request{"GET",
                           path.substr(0, q),
                           q == std::string::npos ? "" : path.substr(q + 1),
                           authorization,
                           cookie,
                           ""};
        return site.Handle(request);
    };
    for (const char* path : {"/", "/api/results", "/metrics", "/static/web.css", "/nothing"}) {
        EXPECT_EQ(ask(path, "").status, 401) << path;
        EXPECT_EQ(ask(path, "Bearer secret-tokem").status, 401) << path;
        EXPECT_EQ(ask(path, "", "zx840_session=guess").status, 401) << path;
    }
    WebRequest login{"POST", "/login", "", "", "", "token=secret-tokem"};
    EXPECT_EQ(site.Handle(login).status, 401);
    login.body = "token=secret-token";
    const WebResponse signedIn = site.Handle(login);
    ASSERT_EQ(signedIn.status, 303);
    const std::string cookie = signedIn.headers.at(1).second.substr(0, 46);
    EXPECT_EQ(ask("/api/yield?by=station", "", cookie).status, 200);
    EXPECT_EQ(ask("/nothing").status, 404);
    EXPECT_EQ(ask("/api/results", "Bearer secret-token").status, 200);

    // A result kept meanwhile shows once the answer's lifetime is over.
    const std::string before = ask("/api/yield?by=type").body;
    EXPECT_NE(before.find("\"Count\":8"), std::string::npos) << before;
    Result late = OddResult(999);
    late.timeMs = now - 1;
    late.mark.Type = "S1";
    ASSERT_TRUE(store->Write(late));
    EXPECT_EQ(ask("/api/yield?by=type").body, before);
    now += 2000;
    EXPECT_NE(ask("/api/yield?by=type").body.find("\"Count\":9"), std::string::npos);
}

}  // namespace
}  // namespace zx840
