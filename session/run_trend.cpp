#include "session/run_trend.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "draw/number_format.h"
#include "record/csv.h"
#include "record/record_json.h"
#include "record/text_pieces.h"

namespace zx840 {
namespace {

constexpr double kSecondsPerHour = 3600.0;

constexpr const char* kUnits[kPlanReadings] = {"V", "A",  "V",   "A",   "",    "",  "W",
                                               "",  "Hz", "deg", "deg", "deg", "%", "%"};

PlanReading ReadingAt(std::size_t index) {
    return static_cast<PlanReading>(index);
}

}  // namespace

TrendPoint TrendPointOf(double seconds, const WorkingRecord& working,
                        const std::optional<Verdict>& verdict) {
    TrendPoint point;
    point.seconds = seconds;
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        point.values[i] = PlanReadingValue(ReadingAt(i), working);
    }
    if (verdict) {
        point.pass = verdict->pass;
    }
    return point;
}

const char* TrendReadingUnit(PlanReading reading) {
    return kUnits[static_cast<std::size_t>(reading)];
}

void RunningStats::Add(double value) {
    if (!std::isfinite(value)) {
        return;
    }
    ++count;
    const double delta = value - mean;
    mean += delta / static_cast<double>(count);
    m2 += delta * (value - mean);
    min = std::min(min, value);
    max = std::max(max, value);
}

std::optional<double> RunningStats::Sigma() const {
    if (count < 2) {
        return std::nullopt;
    }
    return std::sqrt(std::max(0.0, m2) / static_cast<double>(count - 1));
}

void RunSummary::Add(const TrendPoint& point) {
    ++acquisitions;
    ++good;
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        readings[i].Add(point.values[i]);
    }
    constexpr auto kPower = static_cast<std::size_t>(PlanReading::Power);
    if (last_) {
        const double p0 = last_->values[kPower];
        const double p1 = point.values[kPower];
        const double dt = point.seconds - last_->seconds;
        if (std::isfinite(p0) && std::isfinite(p1) && dt > 0.0) {
            energyWh += 0.5 * (p0 + p1) * dt / kSecondsPerHour;
        }
    }
    last_ = point;
    seconds = point.seconds;
    if (point.pass) {
        judged = true;
        ++(*point.pass ? passed : judgedFail);
        if (!*point.pass && !firstFailSeconds) {
            firstFailSeconds = point.seconds;
            firstFailNumber = good;
        }
    }
}

void WriteRunSummaryMembers(JsonWriter& json, const RunSummary& summary) {
    const auto judgedCount = [&](const char* key, std::int64_t count) {
        json.Key(key);
        summary.judged ? json.Int(count) : json.Null();
    };
    json.Key("Acquisitions").Int(summary.acquisitions);
    json.Key("Good").Int(summary.good);
    json.Key("Failed").Int(summary.failed);
    judgedCount("Pass", summary.passed);
    judgedCount("Fail", summary.judgedFail);
    json.Key("Seconds").Double(summary.seconds);
    json.Key("EnergyWh").Double(summary.energyWh);
    json.Key("FirstFailSeconds").Double(summary.firstFailSeconds);
    json.Key("FirstFailNumber");
    summary.firstFailSeconds ? json.Int(summary.firstFailNumber) : json.Null();
    json.Key("Readings").BeginObject();
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        const RunningStats& stats = summary.readings[i];
        const bool any = stats.count > 0;
        json.Key(PlanReadingName(ReadingAt(i))).BeginObject();
        json.Key("Count").Int(stats.count);
        json.Key("Min").Double(any ? std::optional<double>(stats.min) : std::nullopt);
        json.Key("Mean").Double(any ? std::optional<double>(stats.mean) : std::nullopt);
        json.Key("Max").Double(any ? std::optional<double>(stats.max) : std::nullopt);
        json.Key("Sigma").Double(stats.Sigma());
        json.EndObject();
    }
    json.EndObject();
}

std::string DurationText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 59.95) {
        return FormatFixed(std::isfinite(seconds) ? seconds : 0.0, 1) + "s";
    }
    auto rest = static_cast<std::int64_t>(std::llround(std::min(seconds, kLongestDuration)));
    const std::int64_t days = rest / 86400;
    rest %= 86400;
    const std::int64_t hours = rest / 3600;
    rest %= 3600;
    const std::int64_t minutes = rest / 60;
    const std::int64_t secs = rest % 60;
    const auto two = [](std::int64_t v) {
        std::string digits = v < 10 ? "0" : "";
        digits += std::to_string(v);
        return digits;
    };
    std::string text;
    if (days > 0) {
        text = TextOf(std::to_string(days), "d", two(hours), "h");
    } else if (hours > 0) {
        text = TextOf(std::to_string(hours), "h");
    }
    text += text.empty() ? std::to_string(minutes) : two(minutes);
    text += "m";
    text += two(secs);
    text += "s";
    return text;
}

std::optional<double> ParseDuration(std::string_view text, std::string* problem) {
    constexpr std::string_view kUnitsInOrder = "dhms";
    constexpr double kFactors[] = {86400.0, 3600.0, 60.0, 1.0};
    const auto refuse = [&](std::string why) -> std::optional<double> {
        why += "; write for example 8h, 30m, 90s, 1h30m or 2d";
        *problem = std::move(why);
        return std::nullopt;
    };
    if (text.empty()) {
        return refuse("the duration is empty");
    }
    double total = 0.0;
    std::size_t lastUnit = 0;  // one past the rank of the last unit read
    std::size_t at = 0;
    while (at < text.size()) {
        std::int64_t number = 0;
        const auto [end, ec] = std::from_chars(text.data() + at, text.data() + text.size(), number);
        const std::size_t digits = static_cast<std::size_t>(end - (text.data() + at));
        if (digits == 0 || !std::isdigit(static_cast<unsigned char>(text[at]))) {
            return refuse(TextOf("a whole number is missing before \"", text.substr(at), "\""));
        }
        if (ec != std::errc{} || digits > 12) {
            return refuse(TextOf("the number ", text.substr(at, digits), " is too large"));
        }
        at += digits;
        if (at == text.size() && lastUnit == 0) {
            total = static_cast<double>(number);  // plain seconds
            break;
        }
        const std::size_t rank = at < text.size() ? kUnitsInOrder.find(text[at]) : 0;
        if (at == text.size() || rank == std::string_view::npos) {
            return refuse(at == text.size()
                              ? std::string("the last number has no unit")
                              : TextOf("\"", text.substr(at, 1), "\" is no unit (d, h, m or s)"));
        }
        if (rank + 1 <= lastUnit) {
            return refuse("the units go from d to s, each at most once");
        }
        lastUnit = rank + 1;
        total += static_cast<double>(number) * kFactors[rank];
        ++at;
    }
    if (total <= 0.0) {
        return refuse("the duration must be longer than nothing");
    }
    if (total > kLongestDuration) {
        return refuse("the duration is longer than ten years");
    }
    return total;
}

double TrendBucket::Mean(PlanReading reading) const {
    const auto i = static_cast<std::size_t>(reading);
    return count[i] > 0 ? sum[i] / static_cast<double>(count[i])
                        : std::numeric_limits<double>::quiet_NaN();
}

namespace {

TrendBucket BucketOf(const TrendPoint& point) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    TrendBucket bucket;
    bucket.firstSeconds = point.seconds;
    bucket.lastSeconds = point.seconds;
    bucket.points = 1;
    const bool fail = point.pass.has_value() && !*point.pass;
    bucket.fails = fail ? 1 : 0;
    bucket.failSeconds = point.seconds;
    bucket.failValues = point.values;
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        const double v = point.values[i];
        const bool finite = std::isfinite(v);
        bucket.min[i] = finite ? v : kInf;
        bucket.max[i] = finite ? v : -kInf;
        bucket.sum[i] = finite ? v : 0.0;
        bucket.count[i] = finite ? 1 : 0;
    }
    return bucket;
}

// `later` taken into `into`, which holds the points before it.
void Merge(TrendBucket& into, const TrendBucket& later) {
    if (into.fails == 0 && later.fails > 0) {
        into.failSeconds = later.failSeconds;
        into.failValues = later.failValues;
    }
    into.lastSeconds = later.lastSeconds;
    into.points += later.points;
    into.fails += later.fails;
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        into.min[i] = std::min(into.min[i], later.min[i]);
        into.max[i] = std::max(into.max[i], later.max[i]);
        into.sum[i] += later.sum[i];
        into.count[i] += later.count[i];
    }
}

}  // namespace

TrendSeries::TrendSeries(std::size_t capacity) : capacity_(std::max<std::size_t>(2, capacity)) {
    capacity_ += capacity_ % 2;
    buckets_.reserve(capacity_);
}

void TrendSeries::Clear() {
    buckets_.clear();
    perBucket_ = 1;
    points_ = 0;
}

void TrendSeries::Add(const TrendPoint& point) {
    ++points_;
    if (!buckets_.empty() && buckets_.back().points < perBucket_) {
        Merge(buckets_.back(), BucketOf(point));
        return;
    }
    if (buckets_.size() == capacity_) {
        Compact();
    }
    buckets_.push_back(BucketOf(point));
}

void TrendSeries::Compact() {
    // Every bucket is full: pairs become one, and each may hold twice as many.
    for (std::size_t i = 0; i < capacity_ / 2; ++i) {
        TrendBucket merged = buckets_[2 * i];
        Merge(merged, buckets_[2 * i + 1]);
        buckets_[i] = merged;
    }
    buckets_.resize(capacity_ / 2);
    perBucket_ *= 2;
}

std::string TrendCsv(const TrendSeries& series) {
    std::string text;
    CsvRow header(text);
    header.Text("Seconds").Text("LastSeconds").Text("Points").Text("Fails");
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        const std::string name = PlanReadingName(ReadingAt(i));
        header.Text(name).Text(name + "Min").Text(name + "Max");
    }
    header.End();
    for (const TrendBucket& bucket : series.Buckets()) {
        CsvRow row(text);
        row.Double(bucket.firstSeconds).Double(bucket.lastSeconds);
        row.Int(bucket.points).Int(bucket.fails);
        for (std::size_t i = 0; i < kPlanReadings; ++i) {
            if (bucket.count[i] == 0) {
                row.Empty(3);
                continue;
            }
            row.Double(bucket.Mean(ReadingAt(i))).Double(bucket.min[i]).Double(bucket.max[i]);
        }
        row.End();
    }
    return text;
}

}  // namespace zx840
