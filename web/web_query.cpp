#include "web/web_query.h"

#include <algorithm>
#include <charconv>

#include "store/result_text.h"

namespace zx840 {
namespace {

constexpr std::int64_t kDayMs = 24 * 3600 * 1000LL;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> Decode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += plusIsSpace && c == '+' ? ' ' : c;
        }
    }
    return out;
}

}  // namespace

std::optional<QueryParams> ParseQuery(std::string_view query, std::string* error) {
    QueryParams params;
    if (query.size() > kMaxQueryBytes) {
        *error = "the query is longer than " + std::to_string(kMaxQueryBytes) + " bytes";
        return std::nullopt;
    }
    std::size_t start = 0;
    while (start < query.size()) {
        const std::size_t amp = std::min(query.find('&', start), query.size());
        const std::string_view pair = query.substr(start, amp - start);
        start = amp + 1;
        if (pair.empty()) {
            continue;
        }
        const std::size_t eq = std::min(pair.find('='), pair.size());
        const auto key = Decode(pair.substr(0, eq), true);
        const auto value = Decode(pair.substr(std::min(eq + 1, pair.size())), true);
        if (!key || !value) {
            *error = "a broken %-escape in the query";
            return std::nullopt;
        }
        if (key->empty()) {
            // Nothing could name it again: refused like any unknown name.
            *error = "a parameter without a name";
            return std::nullopt;
        }
        if (Param(params, *key)) {
            *error = "\"" + *key + "\" is given twice";
            return std::nullopt;
        }
        if (params.size() == kMaxParameters) {
            *error = "more than " + std::to_string(kMaxParameters) + " parameters";
            return std::nullopt;
        }
        params.emplace_back(*key, *value);
    }
    return params;
}

std::optional<std::string> DecodeSegment(std::string_view segment) {
    return Decode(segment, false);
}

std::string EncodeComponent(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            u == '-' || u == '_' || u == '.' || u == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

std::string EncodeQuery(const QueryParams& params, std::string_view skip) {
    std::string out;
    for (const auto& [key, value] : params) {
        if (key == skip) {
            continue;
        }
        out += out.empty() ? "" : "&";
        out += EncodeComponent(key);
        out += '=';
        out += EncodeComponent(value);
    }
    return out;
}

std::optional<std::string> Param(const QueryParams& params, std::string_view key) {
    for (const auto& [name, value] : params) {
        if (name == key) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::string> UnknownKey(const QueryParams& params,
                                      std::initializer_list<std::string_view> allowed) {
    for (const auto& [name, value] : params) {
        if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
            return name;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> TrailingPeriodMs(std::string_view name) {
    if (name == "8h") {
        return 8 * 3600 * 1000LL;
    }
    if (name == "24h") {
        return kDayMs;
    }
    if (name == "7d") {
        return 7 * kDayMs;
    }
    return std::nullopt;
}

std::optional<Period> ReadPeriod(const QueryParams& params, std::int64_t nowMs,
                                 std::string* error) {
    Period period;
    const auto name = Param(params, "period").value_or("");
    const auto since = Param(params, "since");
    const auto until = Param(params, "until");
    if (since || until) {
        if (!name.empty() && name != "range") {
            *error = "period " + name + " does not go with since or until";
            return std::nullopt;
        }
        period.name = "range";
        if (since) {
            const auto time = ParseIsoTime(*since);
            if (!time) {
                *error = "since takes a date or an ISO 8601 time, not \"" + *since + "\"";
                return std::nullopt;
            }
            period.sinceMs = *time;
        }
        if (until) {
            const auto time = ParseIsoTime(*until);
            if (!time) {
                *error = "until takes a date or an ISO 8601 time, not \"" + *until + "\"";
                return std::nullopt;
            }
            // A date alone takes its whole day.
            period.untilMs = *time + (until->size() == 10 ? kDayMs - 1 : 0);
        }
        return period;
    }
    if (name.empty() || name == "today") {
        period.name = "today";
        period.sinceMs = nowMs - ((nowMs % kDayMs) + kDayMs) % kDayMs;
    } else if (const auto length = TrailingPeriodMs(name)) {
        period.name = name;
        period.sinceMs = nowMs - *length;
    } else {
        *error = "period takes today, 8h, 24h, 7d or range, not \"" + name + "\"";
        return std::nullopt;
    }
    return period;
}

std::optional<ResultFilter> ReadFilter(const QueryParams& params, std::int64_t nowMs,
                                       std::string* error) {
    ResultFilter filter;
    filter.type = Param(params, "type");
    filter.station = Param(params, "station");
    if (const auto number = Param(params, "number")) {
        const std::optional<NumberRange> range = ParseNumberRange(*number);
        if (!range) {
            *error = "number takes N or N-M, not \"" + *number + "\"";
            return std::nullopt;
        }
        filter.numberFrom = range->from;
        filter.numberTo = range->to;
    }
    if (const auto verdict = Param(params, "verdict")) {
        if (*verdict != "PASS" && *verdict != "FAIL") {
            *error = "verdict takes PASS or FAIL, not \"" + *verdict + "\"";
            return std::nullopt;
        }
        filter.pass = *verdict == "PASS";
    }
    if (Param(params, "period") || Param(params, "since") || Param(params, "until")) {
        const auto period = ReadPeriod(params, nowMs, error);
        if (!period) {
            return std::nullopt;
        }
        if (period->name != "range" || Param(params, "since")) {
            filter.sinceMs = period->sinceMs;
        }
        filter.untilMs = period->untilMs;
    }
    return filter;
}

std::optional<std::int64_t> ReadCount(const std::string& text, std::int64_t min, std::int64_t max) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::string CursorText(const ResultKey& key) {
    return std::to_string(key.timeMs) + "." + key.id;
}

std::optional<ResultKey> ReadCursor(const std::string& text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || text.size() - dot - 1 > 64 ||
        dot + 1 == text.size()) {
        return std::nullopt;
    }
    const auto time = ReadCount(text.substr(0, dot), -(1LL << 50), 1LL << 50);
    const std::string id = text.substr(dot + 1);
    const bool plain = std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-';
    });
    if (!time || !plain) {
        return std::nullopt;
    }
    return ResultKey{*time, id};
}

std::string ReadingKey(PlanReading reading) {
    return reading == PlanReading::Uthd   ? "UthdPercent"
           : reading == PlanReading::Ithd ? "IthdPercent"
                                          : PlanReadingName(reading);
}

std::optional<PlanReading> ReadReading(const std::string& name) {
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        const auto reading = static_cast<PlanReading>(i);
        if (ReadingKey(reading) == name) {
            return reading;
        }
    }
    return std::nullopt;
}

}  // namespace zx840
