// A kept result as the history lists it: one JSON object, or one CSV row
// under the history's header. The command-line tool and the History window
// both write these, so an export looks the same from either.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "record/record_json.h"
#include "store/result.h"
#include "store/results_store.h"

namespace zx840 {

// {"Id", "Time", "Station", "Source", the eight product fields, the readings,
// "Upeak", "Ipeak", "UthdPercent", "IthdPercent", the angles, "Verdict",
// the derived quantities (DerivedQuantityName, null where there is none)};
// Detail::Full adds "USpec", "ISpec", "UWave" and "IWave". The CSV has the
// derived quantities as its last columns, empty where there is none.
std::string ResultJson(const Result& result, Detail detail);
// The same as one value of what `json` is writing.
void WriteResult(JsonWriter& json, const Result& result, Detail detail);

// One object of stats as `stats` writes it: the type, the station when
// the stats are of one, the counts and each reading; with a plan that
// limits a reading, its Cpk (null without both ends), and Cpl and Cpu for
// the ends it gives.
void WriteResultStats(JsonWriter& json, const std::string& type,
                      const std::optional<std::string>& station, const ResultStats& stats,
                      const std::optional<TestPlan>& plan);

// The header line and one result's line, each ended with CRLF, appended.
void AppendResultCsvHeader(std::string& csv);
void AppendResultCsv(std::string& csv, const Result& result);

// "N" or "N-M" (N <= M, both 32-bit, N may be negative): the product
// numbers a history filter takes. Nothing for anything else.
struct NumberRange {
    std::int32_t from = 0;
    std::int32_t to = 0;
};
std::optional<NumberRange> ParseNumberRange(std::string_view text);

}  // namespace zx840
