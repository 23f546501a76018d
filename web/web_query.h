// What a browser or a client asks of the dashboard: the path and the query
// of a request read strictly. Every parameter is checked against the keys
// its page takes; anything else is a reason to refuse, never a guess.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plan/plan_file.h"
#include "store/results_store.h"

namespace zx840 {

// Bounds of a request line: longer ones are refused before they are read.
inline constexpr std::size_t kMaxPathBytes = 1024;
inline constexpr std::size_t kMaxQueryBytes = 2048;
inline constexpr std::size_t kMaxParameters = 16;

using QueryParams = std::vector<std::pair<std::string, std::string>>;

// "a=1&b=x%20y" decoded ('+' is a space); nothing, with `error` set, for a
// query too long, a broken %-escape, a key given twice or too many keys.
std::optional<QueryParams> ParseQuery(std::string_view query, std::string* error);
// A path segment decoded ("%3Cscript%3E"), nothing when broken.
std::optional<std::string> DecodeSegment(std::string_view segment);
// Text for a URL query value or path segment.
std::string EncodeComponent(std::string_view text);
// Parameters back as a query ("a=1&b=x%20y"), leaving out `skip`.
std::string EncodeQuery(const QueryParams& params, std::string_view skip = {});

// The value of `key`, if given.
std::optional<std::string> Param(const QueryParams& params, std::string_view key);

// The first key not in `allowed`, if any.
std::optional<std::string> UnknownKey(const QueryParams& params,
                                      std::initializer_list<std::string_view> allowed);

// A period: today (UTC), the last 8 h, 24 h or 7 days, or what since and
// until give (dates or ISO 8601 times).
struct Period {
    std::string name;  // "today", "8h", "24h", "7d" or "range"
    std::int64_t sinceMs = 0;
    std::optional<std::int64_t> untilMs;
};

// The length of a period that ends now, which moves with the clock ("8h",
// "24h", "7d"); nothing for any other name.
std::optional<std::int64_t> TrailingPeriodMs(std::string_view name);

// The period of `period`, `since` and `until` (today when none is given).
std::optional<Period> ReadPeriod(const QueryParams& params, std::int64_t nowMs, std::string* error);

// The filter of history's options as parameters: type, number (N or N-M),
// verdict (PASS or FAIL), station, and the period. `period` is not
// defaulted: without any of period, since, until every time is taken.
std::optional<ResultFilter> ReadFilter(const QueryParams& params, std::int64_t nowMs,
                                       std::string* error);

// A whole number from `min` to `max`, else nothing.
std::optional<std::int64_t> ReadCount(const std::string& text, std::int64_t min, std::int64_t max);

// Where the next page of a list begins: "TIME_MS.ID" of its last row.
std::string CursorText(const ResultKey& key);
std::optional<ResultKey> ReadCursor(const std::string& text);

// A plan reading by its name ("Power", "UthdPercent", ...).
std::optional<PlanReading> ReadReading(const std::string& name);
// The name a reading has in the history's JSON.
std::string ReadingKey(PlanReading reading);

}  // namespace zx840
