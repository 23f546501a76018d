// One kept test: the measurement with its product information, when and
// where it was made, and its verdict when a plan judged it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plan/verdict.h"
#include "record/measurement_record.h"
#include "record/product_mark.h"

namespace zx840 {

enum class ResultSource { Acquisition, File, Import };

// How much of a result a read brings: without the spectra (but their
// fundamentals) and the waveforms, or all of it.
enum class Detail { Summary, Full };
// "acquisition", "file", "import": as stored and listed.
const char* ResultSourceName(ResultSource source);
std::optional<ResultSource> ResultSourceFromName(std::string_view name);

struct ResultVerdict {
    bool pass = false;
    std::string plan;
    std::vector<std::string> failedChecks;  // the items of the failing checks, in plan order
    std::string json;                       // the verdict as VerdictJson gives it

    friend bool operator==(const ResultVerdict&, const ResultVerdict&) = default;
};
ResultVerdict ResultVerdictOf(const Verdict& verdict);
// The verdict a result was given, whole (from its JSON), or as much as its
// columns hold when the JSON cannot be read.
Verdict VerdictOf(const ResultVerdict& kept);

struct Result {
    std::string id;           // a UUID, lower case, without braces
    std::int64_t timeMs = 0;  // milliseconds since 1970-01-01 UTC
    std::string station;      // the computer that made or imported it
    std::string programVersion;
    ResultSource source = ResultSource::Acquisition;
    ProductMark mark;
    WorkingRecord working;
    std::optional<ResultVerdict> verdict;
    // Why a result has no verdict although a plan was to judge it ("Plan
    // refused: ..."); empty otherwise.
    std::string unjudged;
    // The derived quantities as the store lists them, for a result read
    // without its spectra and waveforms; nothing where `working` is whole
    // and they are computed from it (DerivedOf).
    std::optional<DerivedQuantities> derived;

    friend bool operator==(const Result&, const Result&) = default;
};

// The derived quantities of a result: as listed, else from its record.
inline DerivedQuantities DerivedOf(const Result& result) {
    return result.derived ? *result.derived : ComputeDerived(result.working.Record);
}

// A result made now on this station with a fresh id. Its time is at least
// `notBeforeMs`: a caller that passes one more than its previous result's
// time keeps results made within one millisecond in the order they were made.
Result NewResult(ResultSource source, const ProductMark& mark, const WorkingRecord& working,
                 const std::optional<Verdict>& verdict, std::int64_t notBeforeMs = 0);

// The id of an imported file: the same content always gives the same id, so
// importing a file twice keeps it once.
std::string ImportedResultId(const std::vector<std::uint8_t>& content);

// This station's name: ZX840_STATION when set, else the host name.
std::string LocalStation();

// Milliseconds since the epoch as "2026-12-08T22:36:53.123Z", and back.
// ParseIsoTime reads a date (its midnight UTC) or a date and a time,
// YYYY-MM-DDTHH:MM[:SS[.FRACTION]], with Z, an offset +HH:MM or -HH:MM (up
// to 14 hours) or no zone (UTC), of a real calendar day of the years 1 to
// 9999. Nothing for any other text: no field is read past a wrong character.
std::string IsoTimeUtc(std::int64_t timeMs);
std::optional<std::int64_t> ParseIsoTime(const std::string& text);

// Little-endian bytes of the arrays, as the store keeps them.
std::string FloatBytes(const float* values, std::size_t count);
std::string IntBytes(const std::int32_t* values, std::size_t count);
// False when `bytes` does not hold exactly `count` values.
bool FloatsFromBytes(std::string_view bytes, float* values, std::size_t count);
bool IntsFromBytes(std::string_view bytes, std::int32_t* values, std::size_t count);

}  // namespace zx840
