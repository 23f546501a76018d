// Who may ask, what each path is, and the shared cache.
#include "web/web_site.h"

#include <algorithm>
#include <random>

#include "web/web_html.h"
#include "web/web_json.h"

namespace zx840 {
namespace {

constexpr std::size_t kMaxSessions = 1024;
constexpr std::size_t kMaxCacheEntries = 256;
constexpr std::size_t kMaxSegmentBytes = 256;
constexpr char kSessionCookie[] = "zx840_session";

// Compares without stopping at the first difference.
bool SameSecret(const std::string& a, const std::string& b) {
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        differ |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
    }
    return differ == 0 && !a.empty();
}

std::string NewSession() {
    std::random_device random;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string id;
    for (int i = 0; i < 32; ++i) {
        id += kHex[random() & 15];
    }
    return id;
}

std::optional<std::string> CookieValue(const std::string& header, std::string_view name) {
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find(';', start);
        end = end == std::string::npos ? header.size() : end;
        std::string_view pair(header.data() + start, end - start);
        while (!pair.empty() && pair.front() == ' ') {
            pair.remove_prefix(1);
        }
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
            pair[name.size()] == '=') {
            return std::string(pair.substr(name.size() + 1));
        }
        start = end + 1;
    }
    return std::nullopt;
}

// The decoded segments of a path; nothing for one that is broken or too long.
std::optional<std::vector<std::string>> Segments(const std::string& path) {
    std::vector<std::string> segments;
    if (path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        end = end == std::string::npos ? path.size() : end;
        const auto segment = DecodeSegment(std::string_view(path).substr(start, end - start));
        if (!segment || segment->size() > kMaxSegmentBytes ||
            segment->find('\0') != std::string::npos) {
            return std::nullopt;
        }
        if (!segment->empty() || end < path.size()) {
            segments.push_back(*segment);
        }
        start = end + 1;
    }
    return segments;
}

}  // namespace

WebResponse Refusal(int status, const std::string& reason, bool api) {
    WebResponse response;
    response.status = status;
    if (api) {
        response.contentType = "application/json";
        response.body = ErrorJson(reason);
    } else {
        response.body = MessageHtml(status, reason);
    }
    return response;
}

WebSite::WebSite(ResultsStore& store, WebSiteOptions options)
    : store_(store), options_(std::move(options)), stats_(store, options_.keptStats) {}

bool WebSite::Authorized(const WebRequest& request) const {
    if (options_.token.empty()) {
        return true;
    }
    constexpr std::string_view kBearer = "Bearer ";
    if (request.authorization.starts_with(kBearer) &&
        SameSecret(request.authorization.substr(kBearer.size()), options_.token)) {
        return true;
    }
    const auto session = CookieValue(request.cookie, kSessionCookie);
    return session && sessions_.count(*session) > 0;
}

WebResponse WebSite::Login(const WebRequest& request) {
    WebResponse response;
    if (request.method != "POST") {
        response.body = LoginHtml(false);
        return response;
    }
    std::string error;
    const auto form = ParseQuery(request.body, &error);
    const auto token = form ? Param(*form, "token") : std::nullopt;
    if (options_.token.empty() || !token || !SameSecret(*token, options_.token)) {
        response.status = 401;
        response.body = LoginHtml(true);
        return response;
    }
    const std::string session = NewSession();
    sessions_.insert(session);
    sessionOrder_.push_back(session);
    if (sessionOrder_.size() > kMaxSessions) {
        sessions_.erase(sessionOrder_.front());
        sessionOrder_.pop_front();
    }
    response.status = 303;
    response.headers.emplace_back("Location", "/");
    response.headers.emplace_back("Set-Cookie", std::string(kSessionCookie) + "=" + session +
                                                    "; HttpOnly; SameSite=Strict; Path=/");
    return response;
}

WebResponse WebSite::Handle(const WebRequest& request) {
    const bool api = request.path.starts_with("/api/") || request.path == "/metrics";
    if (request.path.size() > kMaxPathBytes) {
        return Refusal(414, "the path is longer than " + std::to_string(kMaxPathBytes) + " bytes",
                       api);
    }
    if (request.path == "/login") {
        return Login(request);
    }
    if (!Authorized(request)) {
        WebResponse refused = Refusal(401, "a valid token is needed", api);
        if (!api) {
            refused.body = LoginHtml(!request.authorization.empty());
        }
        refused.headers.emplace_back("WWW-Authenticate", "Bearer");
        return refused;
    }
    if (request.method != "GET" && request.method != "HEAD") {
        WebResponse refused = Refusal(405, "only GET and HEAD are answered here", api);
        refused.headers.emplace_back("Allow", "GET, HEAD");
        return refused;
    }
    Asked asked;
    asked.api = api;
    std::string error;
    const auto segments = Segments(request.path);
    const auto params = ParseQuery(request.query, &error);
    if (!segments) {
        return Refusal(400, "the path is broken or a part of it is too long", api);
    }
    if (!params) {
        return Refusal(400, error, api);
    }
    asked.segments = *segments;
    asked.params = *params;
    if (asked.segments.size() == 2 && asked.segments[0] == "static") {
        return Static(asked.segments[1]);
    }
    const auto lifetime =
        request.path == "/metrics" ? options_.metricsLifetime : options_.cacheLifetime;
    return Cached(request.path + "?" + request.query, lifetime, [&] { return Route(asked); });
}

WebResponse WebSite::Cached(const std::string& key, std::chrono::milliseconds kept,
                            const std::function<WebResponse()>& make) {
    const std::int64_t now = options_.now();
    const std::int64_t lifetime = kept.count();
    if (const auto found = cache_.find(key);
        found != cache_.end() && now - found->second.madeMs < lifetime) {
        return found->second.response;
    }
    WebResponse response = make();
    if (response.status >= 500) {
        return response;
    }
    if (cache_.size() >= kMaxCacheEntries) {
        const std::int64_t longest =
            std::max(options_.cacheLifetime, options_.metricsLifetime).count();
        std::erase_if(cache_, [&](const auto& e) { return now - e.second.madeMs >= longest; });
        if (cache_.size() >= kMaxCacheEntries) {
            cache_.clear();
        }
    }
    cache_[key] = {now, response};
    return response;
}

WebResponse WebSite::Route(const Asked& asked) {
    const auto& s = asked.segments;
    const std::size_t n = s.size();
    if (n == 0) {
        return LinePage(asked, false);
    }
    if (n == 1 && s[0] == "live") {
        return LinePage(asked, true);
    }
    if (n == 1 && s[0] == "search") {
        return SearchPage(asked);
    }
    if (n == 2 && s[0] == "type") {
        return TypePage(asked);
    }
    if ((n == 2 || n == 3) && s[0] == "result") {
        return ResultPage(asked);
    }
    if (n == 1 && s[0] == "metrics") {
        return asked.params.empty() ? Metrics()
                                    : Refusal(400, "/metrics takes no parameters", true);
    }
    if (n >= 2 && s[0] == "api") {
        if (s[1] == "results" && n <= 3) {
            return ApiResults(asked);
        }
        if (s[1] == "stats" && n == 2) {
            return ApiStats(asked);
        }
        if (s[1] == "yield" && n == 2) {
            return ApiYield(asked);
        }
    }
    return Refusal(404, "there is nothing here", asked.api);
}

WebResponse WebSite::Static(const std::string& name) {
    const auto body = options_.asset ? options_.asset(name) : std::nullopt;
    if (!body) {
        return Refusal(404, "there is nothing here", false);
    }
    WebResponse response;
    response.contentType =
        name.ends_with(".css") ? "text/css; charset=utf-8" : "text/javascript; charset=utf-8";
    response.body = *body;
    response.headers.emplace_back("Cache-Control", "max-age=3600");
    return response;
}

}  // namespace zx840
