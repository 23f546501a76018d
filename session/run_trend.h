// A run of measurements in view: its statistics (counts, verdicts, each
// reading's minimum, mean, maximum and spread, the energy, the time to the
// first FAIL) and its readings over time in a bounded number of buckets, so
// that a run of a week costs no more memory than one of a minute. The
// window's Trend panel and zx840-cli acquire both summarise a run with this,
// so the two cannot come to differ. No Qt.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plan/plan_file.h"
#include "plan/verdict.h"
#include "record/measurement_record.h"

namespace zx840 {

class JsonWriter;

// One good measurement as the run takes it.
struct TrendPoint {
    double seconds = 0.0;  // since the run began, when the exchange was over
    // Each reading as a plan limits it (PlanReadingValue); NaN where it has none.
    std::array<double, kPlanReadings> values{};
    std::optional<bool> pass;  // the verdict; nothing when not judged
};
TrendPoint TrendPointOf(double seconds, const WorkingRecord& working,
                        const std::optional<Verdict>& verdict);

// The unit of a reading as the run shows it ("V", "A", "W", "Hz", "%",
// "deg"; empty for the power and crest factors).
const char* TrendReadingUnit(PlanReading reading);

// The readings a run shows unless the operator chose others.
inline constexpr PlanReading kDefaultTrendReadings[] = {PlanReading::Power, PlanReading::Irms,
                                                        PlanReading::PF, PlanReading::Ithd};

// Minimum, mean, maximum and sample standard deviation of one reading,
// kept by Welford's running method: no sum of squares that loses the
// spread of large values. Values that are not finite are left out.
struct RunningStats {
    std::int64_t count = 0;
    double mean = 0.0;
    double m2 = 0.0;  // the sum of squared deviations from the mean
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();

    void Add(double value);
    // Needs two values.
    std::optional<double> Sigma() const;
};

struct RunSummary {
    std::int64_t acquisitions = 0;  // exchanges, good or failed
    std::int64_t good = 0;
    std::int64_t failed = 0;  // exchanges that failed
    bool judged = false;      // a plan judged the run
    std::int64_t passed = 0;  // verdicts
    std::int64_t judgedFail = 0;
    std::array<RunningStats, kPlanReadings> readings;
    // Trapezoids of Power between the times of consecutive good measurements.
    double energyWh = 0.0;
    double seconds = 0.0;  // of the last good measurement
    std::optional<double> firstFailSeconds;
    std::int64_t firstFailNumber = 0;  // the good measurement it was, from 1

    void Add(const TrendPoint& point);
    void AddFailedExchange() {
        ++acquisitions;
        ++failed;
    }
    const RunningStats& Of(PlanReading reading) const {
        return readings[static_cast<std::size_t>(reading)];
    }

  private:
    std::optional<TrendPoint> last_;  // for the next trapezoid
};

// The summary's members, as one JSON object holds them:
// "Acquisitions","Good","Failed","Pass","Fail" (null when not judged),
// "Seconds","EnergyWh","FirstFailSeconds","FirstFailNumber" (null without a
// FAIL), "Readings":{"Urms":{"Count","Min","Mean","Max","Sigma"},...}.
void WriteRunSummaryMembers(JsonWriter& json, const RunSummary& summary);

// A span of time for a person: "12.5s" under a minute, else in whole
// seconds as ParseDuration reads it: "2m05s", "1h02m03s", "2d01h00m00s".
std::string DurationText(double seconds);

// A duration as a person writes it: "8h", "30m", "90s", "1h30m", "2d",
// "1d12h" or plain seconds "90"; whole numbers, the units d, h, m and s
// each at most once and in that order, more than nothing and at most
// kLongestDuration. Nothing, with `problem` saying why, for anything else.
inline constexpr double kLongestDuration = 3650.0 * 86400.0;  // ten years
std::optional<double> ParseDuration(std::string_view text, std::string* problem);

// The readings of a run over time in at most `capacity` buckets. Each point
// goes into the last bucket until it holds as many as every bucket may;
// when all are full, neighbours merge pairwise and each bucket may hold
// twice as many. A bucket keeps the times of its first and last point, the
// minimum, maximum and sum of each reading and its first FAIL, so extremes
// and failures survive any number of merges.
struct TrendBucket {
    double firstSeconds = 0.0;
    double lastSeconds = 0.0;
    std::int64_t points = 0;
    std::int64_t fails = 0;    // FAIL verdicts among them
    double failSeconds = 0.0;  // of the first of them
    std::array<double, kPlanReadings> failValues{};
    std::array<double, kPlanReadings> min{};
    std::array<double, kPlanReadings> max{};
    std::array<double, kPlanReadings> sum{};
    std::array<std::int64_t, kPlanReadings> count{};  // values that are finite

    // The mean of a reading over the bucket; NaN without a value.
    double Mean(PlanReading reading) const;
};

class TrendSeries {
  public:
    static constexpr std::size_t kDefaultCapacity = 512;
    // `capacity` is made even and at least 2.
    explicit TrendSeries(std::size_t capacity = kDefaultCapacity);

    void Add(const TrendPoint& point);
    void Clear();

    const std::vector<TrendBucket>& Buckets() const { return buckets_; }
    std::size_t Capacity() const { return capacity_; }
    std::int64_t PointsPerBucket() const { return perBucket_; }
    std::int64_t Points() const { return points_; }

  private:
    void Compact();

    std::size_t capacity_;
    std::vector<TrendBucket> buckets_;  // reserved once: the memory never grows
    std::int64_t perBucket_ = 1;
    std::int64_t points_ = 0;
};

// The run as CSV: a header, then one row per bucket: "Seconds" (of its
// first point), "LastSeconds", "Points", "Fails", and for each reading its
// mean, minimum and maximum ("Power", "PowerMin", "PowerMax", ...). While
// no bucket holds more than one point these are the measurements
// themselves.
std::string TrendCsv(const TrendSeries& series);

}  // namespace zx840
