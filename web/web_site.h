// The dashboard as answers to requests, apart from any HTTP library: who
// may ask (a token, or the session a login gave), what each path answers,
// and a cache that all clients share, so that however many browsers watch
// the store answers each question at most once per lifetime. Used on one
// thread; the store is asked synchronously (see web_server.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "plan/plan_file.h"
#include "store/results_store.h"
#include "web/web_query.h"
#include "web/web_stats.h"

namespace zx840 {

struct WebRequest {
    std::string method;  // "GET", "HEAD", "POST", ...
    std::string path;    // as it came, %-escapes and all
    std::string query;   // after the '?', undecoded
    std::string authorization;
    std::string cookie;
    std::string body;  // of a POST
};

struct WebResponse {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

struct WebSiteOptions {
    // What a client must give (Bearer, or once on the login page); none
    // when empty.
    std::string token;
    // The limits of the Type page and of /api/stats.
    std::optional<TestPlan> plan;
    std::chrono::milliseconds cacheLifetime{2000};
    // The metrics count every result of the store, which no index serves
    // by station: a scrape's answer is kept longer (Prometheus scrapes
    // every 15 s by default).
    std::chrono::milliseconds metricsLifetime{15000};
    // How many filters' stats are kept up to date (see LiveStats).
    std::size_t keptStats = 64;
    // How often the background counts every type's stats afresh (see
    // web_background.h): what a count of results cannot tell, as many
    // removed as kept late between two questions of a type, lasts no
    // longer than this.
    std::chrono::milliseconds statsRecount{10 * 60 * 1000};
    // A kept result's report as a PDF document; nothing when it cannot be made.
    std::function<std::optional<std::string>(const Result&)> pdf;
    // A file of the site by its name under /static/ (web.css, web.js,
    // chart.js); nothing when there is none.
    std::function<std::optional<std::string>(const std::string&)> asset;
    // Milliseconds since 1970, UTC.
    std::function<std::int64_t()> now;
};

// Rows of a page of /search and the most /api/results gives at once.
inline constexpr std::int64_t kSearchPageRows = 50;
inline constexpr std::int64_t kMaxApiRows = 1000;
inline constexpr std::int64_t kMaxChartPoints = 10000;

class WebSite {
  public:
    WebSite(ResultsStore& store, WebSiteOptions options);

    WebResponse Handle(const WebRequest& request);

    // The stats of the Type page and of /api/stats as they are kept;
    // stats counted ahead elsewhere are handed in through it.
    LiveStats& KeptStats() { return stats_; }
    // Metrics counted elsewhere, on a connection of their own: /metrics
    // answers from the newest for twice their lifetime, then counts them
    // itself again.
    void KeepMetrics(MetricsView view);
    // Called whenever /metrics is answered from metrics counted elsewhere
    // (at most once per lifetime, the answer being kept for it): the next
    // are asked for then, so that they are ready for the next scrape and
    // nobody counts them while nobody scrapes. Nothing to call when empty.
    void WhenMetricsAsked(std::function<void()> ask) { metricsAsked_ = std::move(ask); }
    std::chrono::milliseconds StatsRecount() const { return options_.statsRecount; }

  private:
    // Parsed path and query of a request the client may make.
    struct Asked {
        std::vector<std::string> segments;  // decoded
        QueryParams params;
        bool api = false;  // answers JSON
    };

    bool Authorized(const WebRequest& request) const;
    WebResponse Login(const WebRequest& request);
    WebResponse Route(const Asked& asked);
    // A cached answer of `key`, or `make`'s, kept for the lifetime.
    WebResponse Cached(const std::string& key, std::chrono::milliseconds lifetime,
                       const std::function<WebResponse()>& make);

    WebResponse LinePage(const Asked& asked, bool live);
    WebResponse SearchPage(const Asked& asked);
    WebResponse TypePage(const Asked& asked);
    WebResponse ResultPage(const Asked& asked);
    WebResponse ApiResults(const Asked& asked);
    WebResponse ApiStats(const Asked& asked);
    WebResponse ApiYield(const Asked& asked);
    WebResponse Metrics();
    WebResponse Static(const std::string& name);

    // One page of results of `filter` after `cursor`; false after a store
    // failure, which `failure` then answers.
    bool PageOf(ResultFilter filter, const std::optional<std::string>& cursor, std::int64_t rows,
                std::vector<Result>& found, std::optional<ResultKey>& next, WebResponse& failure);
    // A result by id, whole; a 404 or 503 in `failure` otherwise.
    std::optional<Result> Find(const std::string& id, bool api, WebResponse& failure);

    ResultsStore& store_;
    WebSiteOptions options_;
    // The stats of the Type page and of /api/stats, kept up to date.
    LiveStats stats_;
    std::set<std::string> sessions_;
    std::deque<std::string> sessionOrder_;  // oldest first, for the bound
    struct Entry {
        std::int64_t madeMs = 0;
        WebResponse response;
    };
    std::map<std::string, Entry> cache_;
    std::optional<std::pair<std::int64_t, MetricsView>> keptMetrics_;  // when made, what
    std::function<void()> metricsAsked_;
};

// A response of status `status` with a reason: JSON for the API, a small
// page otherwise.
WebResponse Refusal(int status, const std::string& reason, bool api);

}  // namespace zx840
